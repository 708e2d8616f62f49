// The station's source: an encoder pushing audio, over an Icecast-style request body (raw
// until close, or chunked) or after a SHOUTcast-v1 login.
#pragma once

#include "engine/session.h"
#include "engine/station.h"
#include "engine/transport.h"
#include "http/chunked.h"

#include <memory>
#include <string>

namespace orvanta::engine {

class SourceSession : public Session,
                      public StationSource,
                      public std::enable_shared_from_this<SourceSession> {
public:
    // `pending` holds audio that arrived with the request or login.
    SourceSession(const EngineContext& engine, std::unique_ptr<Transport> transport,
                  std::string pending, StreamFormat format, SourceInfo info, std::string mount,
                  bool chunked);
    ~SourceSession() override;

    void Start();
    void Close() override;

    const std::string& Address() const override { return m_address; }
    std::chrono::system_clock::time_point ConnectedAt() const override { return m_connectedAt; }
    void CloseBecause(std::string_view reason) override;

private:
    void Read();
    // Handles body bytes; false when the source must go.
    bool Consume(std::string_view data);
    bool Deliver(std::string_view audio);
    // Before the station is taken: holds the first bytes until they prove to be audio of the
    // source's format. False when they cannot be.
    bool Verify(std::string_view audio);
    void Refuse(const std::string& why);
    void ArmTimeout();

    std::unique_ptr<Transport> m_transport;
    std::string m_pending;
    StreamFormat m_format;
    SourceInfo m_info;
    std::string m_mount;
    bool m_chunked;
    ChunkedDecoder m_decoder;
    bool m_onAir = false;  // holds the station
    // Reads the first bytes to decide whether they are what the source said they are.
    std::unique_ptr<FormatReader> m_probe;
    asio::steady_timer m_verdictTimer;
    bool m_refused = false;
    std::string m_address;
    std::chrono::steady_clock::time_point m_since;
    std::chrono::system_clock::time_point m_connectedAt = std::chrono::system_clock::now();
    std::string m_closeReason;  // for the log line of its departure, when it was closed for one
    uint64_t m_bytes = 0;
    bool m_closed = false;
    // Why it goes, for the statistics, when it goes for another reason than hanging up.
    const char* m_endReason = "left";
    asio::steady_timer m_timeout;
    std::array<char, kReadBufferBytes> m_readBuffer{};
};

}  // namespace orvanta::engine
