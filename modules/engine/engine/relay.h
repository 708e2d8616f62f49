// Relay: the station's source is another server's stream. The engine pulls
// http://RelayHostname:RelayPort/RelayStreamUrl (https:// when the host is written
// "https://name", the upstream's certificate verified against the system's trusted certificates
// and the operator's own), asks for ICY titles and takes them out of the audio, and feeds the
// station as a source would. When the upstream fails it tries again with a growing pause;
// listeners stay connected meanwhile (for the station's time-out).
#pragma once

#include "engine/session.h"
#include "engine/station.h"
#include "engine/transport.h"

#include <array>
#include <memory>
#include <optional>
#include <string>

namespace orvanta::engine {

// Where a relay pulls its stream from, and how the log names it.
struct RelayTarget {
    std::string host;
    int port = 0;
    std::string path = "/";
    bool secure = false;
    std::string label;  // "Relay from host:port", "Fallback stream http://..."
};

// The station's own upstream, as the relay settings name it.
RelayTarget RelayTargetOf(const EngineSettings& settings);
// A stream URL (http:// or https://, a host, an optional port, a path): the target, or nothing
// with the reason in `why`.
std::optional<RelayTarget> ParseStreamUrl(std::string_view url, std::string* why);

class RelaySession : public Session, public std::enable_shared_from_this<RelaySession> {
public:
    // The station's own upstream, a live source.
    explicit RelaySession(const EngineContext& engine);
    // `target` feeding the station as `feed`.
    RelaySession(const EngineContext& engine, RelayTarget target, Feed feed);
    ~RelaySession() override;

    void Start();
    void Close() override;

private:
    void Connect();
    void Connected(std::unique_ptr<Transport> transport);
    void CloseConnection();
    void ReadHead();
    bool TakeHead();
    void ReadBody();
    // Audio and ICY blocks interleaved: the audio goes to the station, the titles too.
    bool Consume(std::string_view data);
    // Sets the title the upstream's last ICY block named, once the relay is on air.
    void TakeTitle();
    void Failed(const std::string& why);
    void ScheduleRetry();

    RelayTarget m_target;
    Feed m_feed;
    tcp::resolver m_resolver;
    tcp::socket m_socket;  // while connecting
    std::shared_ptr<TlsHandshake> m_handshake;
    std::unique_ptr<Transport> m_transport;
    asio::steady_timer m_timer;
    std::string m_buffer;
    std::string m_request;
    std::array<char, kReadBufferBytes> m_readBuffer{};
    bool m_closed = false;
    bool m_onAir = false;
    int m_failures = 0;
    StreamFormat m_format = StreamFormat::Unknown;
    SourceInfo m_info;
    // ICY de-interleaving: 0 when the upstream sends none.
    size_t m_metaInterval = 0;
    size_t m_untilMetadata = 0;
    size_t m_metadataLeft = 0;
    bool m_wantLengthByte = false;
    std::string m_metadata;
    std::optional<std::string> m_pendingTitle;
};

// The upstream as RelayHostname names it: "name", "http://name" or "https://name".
struct RelayUpstream {
    std::string host;
    bool secure = false;
};
RelayUpstream ParseRelayHost(std::string_view host);

// The StreamTitle of an ICY metadata block's text, or nothing when it has none.
std::optional<std::string> StreamTitleOf(std::string_view block);

}  // namespace orvanta::engine
