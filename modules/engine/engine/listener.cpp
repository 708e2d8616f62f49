#include "engine/listener.h"

#include "stream/icy_metadata.h"

namespace orvanta::engine {

ListenerSession::ListenerSession(const EngineContext& engine, std::unique_ptr<Transport> transport,
                                 std::string responseHead, bool icyMetadata, std::string userAgent,
                                 bool mmsh)
    : Session(engine),
      m_transport(std::move(transport)),
      m_head(std::move(responseHead)),
      m_icyMetadata(icyMetadata),
      m_userAgent(std::move(userAgent)),
      m_mmsh(mmsh ? std::make_unique<MmshFraming>() : nullptr) {}

ListenerSession::~ListenerSession() {
    if (!m_closed) {
        m_engine.station.RemoveListener(this);
    }
}

void ListenerSession::Start() {
    Station& station = m_engine.station;
    m_id = station.AddListener(this);
    m_address = RemoteAddress(m_transport->Socket());
    m_since = std::chrono::steady_clock::now();
    m_engine.log.Write("Listener connected from " + m_address + " (" + LogSafe(m_userAgent) + ")");
    m_cursor = station.Chain().BurstStart(kBurstBytes, station.Generation());
    // The station's jingle comes first; the stream joins where it is when the intro is out.
    m_intro = station.IntroFor();
    WatchForClose();
    Pump();
}

void ListenerSession::WatchForClose() {
    // Players send nothing after their request; a read that ends means they hung up, which a
    // listener idle between two chunks would otherwise notice only at its next write.
    auto self = shared_from_this();
    m_transport->ReadSome(asio::buffer(&m_readByte, 1), [self](const asio::error_code& ec, size_t) {
        if (ec) {
            self->CloseBecause("left");
        } else {
            self->WatchForClose();
        }
    });
}

void ListenerSession::AddAudio(const ChunkPtr& chunk, size_t& budget) {
    const std::string& bytes = chunk->bytes;
    if (m_mmsh && m_offset == 0 && !bytes.empty()) {
        // Each chunk of an ASF station is one packet: one data chunk of the protocol.
        m_mmsh->heads.push_back(MakeMmshChunkHead('D', bytes.size(), m_mmsh->sequence++));
        m_buffers.emplace_back(asio::buffer(m_mmsh->heads.back()));
    }
    AddBytes(bytes, m_offset, budget);
}

void ListenerSession::AddBytes(const std::string& bytes, size_t& offset, size_t& budget) {
    while (offset < bytes.size() && budget > 0) {
        size_t take = std::min(bytes.size() - offset, budget);
        if (m_icyMetadata) {
            take = std::min(take, m_untilMetadata);
        }
        m_buffers.emplace_back(bytes.data() + offset, take);
        offset += take;
        budget -= take;
        if (!m_icyMetadata) {
            continue;
        }
        m_untilMetadata -= take;
        if (m_untilMetadata == 0) {
            m_untilMetadata = kIcyMetaInt;
            // The whole block after a change, a single zero byte ("no change") otherwise.
            auto current = m_engine.station.MetadataBlock();
            if (current != m_lastMetadata) {
                m_lastMetadata = current;
                m_buffers.emplace_back(asio::buffer(*current));
                m_heldTexts.push_back(std::move(current));
            } else {
                const std::string& none = EmptyIcyMetadataBlock();
                m_buffers.emplace_back(asio::buffer(none));
            }
        }
    }
}

void ListenerSession::Pump() {
    if (m_writing || m_closed) {
        return;
    }
    Station& station = m_engine.station;
    ChunkChain& chain = station.Chain();
    m_buffers.clear();
    m_heldChunks.clear();
    m_heldTexts.clear();
    if (m_mmsh) {
        m_mmsh->heads.clear();
    }

    if (m_cursor < chain.Tail()) {
        if (m_intro) {
            // The intro took that long: the stream joins where it is now.
            m_cursor = chain.BurstStart(kBurstBytes, station.Generation());
        } else {
            // Fallen too far behind: its audio is gone. Holding it would hold memory for nothing.
            CloseBecause("fell too far behind");
            return;
        }
    }
    size_t budget = kMaxWriteBytes;
    if (m_intro) {
        // Held until the write completes: the buffers point into it.
        AddBytes(m_intro->bytes, m_introSent, budget);
    }
    while (budget > 0) {
        ChunkPtr chunk = chain.At(m_cursor);
        if (!chunk) {
            break;
        }
        if (!m_started) {
            if (!chunk->syncPoint) {
                ++m_cursor;
                continue;
            }
            m_started = true;
            // An Ogg or ASF listener gets the headers of the stream it joins before any audio:
            // the newest of its generation (an ASF header carries the title on air now).
            std::shared_ptr<const std::string> headers = chunk->headers;
            if (headers && chunk->generation == station.Generation()) {
                headers = station.Headers();
            }
            if (headers && !headers->empty()) {
                if (m_mmsh) {
                    m_mmsh->heads.push_back(MakeMmshChunkHead('H', headers->size(), 0));
                    m_buffers.emplace_back(asio::buffer(m_mmsh->heads.back()));
                }
                m_buffers.emplace_back(asio::buffer(*headers));
                m_heldTexts.push_back(std::move(headers));
            }
        }
        AddAudio(chunk, budget);
        m_heldChunks.push_back(chunk);
        if (m_offset >= chunk->bytes.size()) {
            ++m_cursor;
            m_offset = 0;
        }
    }
    // The response goes out at once, with the burst when there is one, so players see the
    // stream begin even while the source is between two chunks.
    if (!m_headSent) {
        m_buffers.insert(m_buffers.begin(), asio::buffer(m_head));
        m_headSent = true;
    }
    if (m_buffers.empty()) {
        station.WaitForData(this);
        return;
    }
    m_writing = true;
    auto self = shared_from_this();
    m_transport->Write(m_buffers, [self](const asio::error_code& ec, size_t written) {
        self->m_writing = false;
        self->m_engine.status.sentBytes.fetch_add(written, std::memory_order_relaxed);
        self->m_bytes += written;
        if (ec) {
            self->CloseBecause("left");
            return;
        }
        // The first write carried the head and the burst; later ones carry a tick's audio.
        // With thousands of listeners, what the first one left behind adds up.
        if (!self->m_head.empty()) {
            std::string().swap(self->m_head);
            std::vector<asio::const_buffer>().swap(self->m_buffers);
            std::vector<ChunkPtr>().swap(self->m_heldChunks);
        }
        self->m_buffers.clear();
        self->m_heldChunks.clear();
        self->m_heldTexts.clear();
        if (self->m_intro && self->m_introSent >= self->m_intro->bytes.size()) {
            self->m_intro.reset();
        }
        if (self->m_mmsh) {
            self->m_mmsh->heads.clear();
        }
        // Catching up goes on at once; a listener that keeps up waits for the next tick, when
        // the audio gathered meanwhile goes out in one write.
        if (self->Behind() >= kCatchUpBytes) {
            self->Pump();
        } else if (!self->m_closed) {
            self->m_engine.station.WaitForData(self.get());
        }
    });
}

size_t ListenerSession::Behind() const {
    const ChunkChain& chain = m_engine.station.Chain();
    size_t bytes = 0;
    for (uint64_t seq = m_cursor; seq < chain.Head() && bytes < kCatchUpBytes; ++seq) {
        if (const ChunkPtr chunk = chain.At(seq)) {
            bytes += chunk->bytes.size() - (seq == m_cursor ? m_offset : 0);
        }
    }
    return bytes;
}

void ListenerSession::Close() {
    CloseBecause("the server stopped");
}

void ListenerSession::CloseBecause(std::string_view reason) {
    if (m_closed) {
        return;
    }
    m_closed = true;
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - m_since)
            .count();
    m_engine.log.Write("Listener disconnected from " + m_address + " after " +
                       std::to_string(seconds) + " s, " + std::to_string(m_bytes) + " bytes (" +
                       std::string(reason) + ")");
    m_transport->Close();
    m_engine.station.RemoveListener(this);
}

}  // namespace orvanta::engine
