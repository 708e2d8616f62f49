// One listener: a cursor into the station's chunk chain, written with gather writes of
// several chunks at a time; the chunks themselves are shared, never copied.
#pragma once

#include "engine/session.h"
#include "engine/station.h"
#include "engine/transport.h"
#include "stream/asf.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace orvanta::engine {

class ListenerSession final : public Session,
                              public StationListener,
                              public std::enable_shared_from_this<ListenerSession> {
public:
    // `responseHead` is the HTTP header block, sent together with the burst. `mmsh`: an ASF
    // listener that spoke the Windows Media HTTP streaming handshake, which wants the stream's
    // header and each packet framed in chunks of that protocol.
    ListenerSession(const EngineContext& engine, std::unique_ptr<Transport> transport,
                    std::string responseHead, bool icyMetadata, std::string userAgent,
                    bool mmsh = false);
    ~ListenerSession() override;

    void Start();
    void Pump() override;
    void Close() override;
    void CloseBecause(std::string_view reason) override;
    uint64_t Id() const override { return m_id; }
    // While the intro goes out the listener needs no audio of the chain yet (it joins where the
    // chain is once the intro is out).
    uint64_t Cursor() const override { return m_intro ? UINT64_MAX : m_cursor; }
    const std::string& Address() const override { return m_address; }
    const std::string& UserAgent() const override { return m_userAgent; }
    std::chrono::steady_clock::time_point Since() const override { return m_since; }
    bool Icy() const override { return m_icyMetadata; }
    uint64_t BytesSent() const override { return m_bytes; }
    bool Secure() const override { return m_transport->Secure(); }

private:
    // Adds the bytes of `chunk` from the cursor's offset, with metadata blocks inserted every
    // kIcyMetaInt audio bytes for listeners that asked for them.
    void AddAudio(const ChunkPtr& chunk, size_t& budget);
    // Adds `bytes` from `offset` on, up to `budget`, metadata blocks inserted as above.
    void AddBytes(const std::string& bytes, size_t& offset, size_t& budget);
    void WatchForClose();
    // Audio in the chain beyond the cursor, counted up to kCatchUpBytes.
    size_t Behind() const;

    std::unique_ptr<Transport> m_transport;
    std::string m_head;
    bool m_headSent = false;
    bool m_icyMetadata;
    bool m_started = false;  // found its first sync point
    bool m_writing = false;
    bool m_closed = false;
    // Advances when a write is handed out, so a write under way counts as sent; its chunks are
    // held in m_heldChunks until it completes.
    uint64_t m_cursor = 0;
    size_t m_offset = 0;  // into the chunk at the cursor
    size_t m_untilMetadata = kIcyMetaInt;
    std::shared_ptr<const std::string> m_lastMetadata;
    // The intro still to send, and how much of it is sent; null once it is all out.
    std::shared_ptr<const IntroAudio> m_intro;
    size_t m_introSent = 0;

    // What the write under way points into, kept alive until it completes.
    std::vector<asio::const_buffer> m_buffers;
    std::vector<ChunkPtr> m_heldChunks;
    std::vector<std::shared_ptr<const std::string>> m_heldTexts;
    char m_readByte = 0;
    std::string m_userAgent;
    std::string m_address;
    std::chrono::steady_clock::time_point m_since;
    uint64_t m_bytes = 0;
    uint64_t m_id = 0;  // the station's number for it, once it joined
    // The chunk heads of the write under way, for handshake listeners only (most listeners are
    // not, and each byte per listener counts with tens of thousands of them).
    struct MmshFraming {
        std::deque<MmshChunkHead> heads;
        uint32_t sequence = 0;
    };
    std::unique_ptr<MmshFraming> m_mmsh;
};

}  // namespace orvanta::engine
