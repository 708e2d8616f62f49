#include "engine/source.h"

namespace orvanta::engine {

namespace {
// Enough to tell MP3 from Ogg when the source named no content type.
constexpr size_t kSniffBytes = 4;
}  // namespace

SourceSession::SourceSession(Core& core, tcp::socket socket, std::string pending,
                             StreamFormat format, SourceInfo info, std::string mount, bool chunked)
    : Session(core),
      m_socket(std::move(socket)),
      m_pending(std::move(pending)),
      m_format(format),
      m_info(std::move(info)),
      m_mount(std::move(mount)),
      m_chunked(chunked),
      m_timeout(core.Io()) {}

SourceSession::~SourceSession() {
    if (m_onAir) {
        m_core.GetStation().SourceGone();
    }
}

void SourceSession::Start() {
    m_address = RemoteAddress(m_socket);
    if (m_core.GetStation().HasSource()) {
        Close();
        return;
    }
    std::string pending = std::move(m_pending);
    m_pending.clear();
    ArmTimeout();
    if (!Consume(pending)) {
        Close();
        return;
    }
    Read();
}

void SourceSession::ArmTimeout() {
    m_timeout.expires_after(std::chrono::seconds(m_core.Settings().TimeoutSeconds()));
    auto self = shared_from_this();
    m_timeout.async_wait([self](const asio::error_code& ec) {
        if (!ec) {
            // A source silent for the time-out is gone; its listeners wait for the next one.
            self->Close();
        }
    });
}

void SourceSession::Read() {
    auto self = shared_from_this();
    m_socket.async_read_some(
        asio::buffer(m_readBuffer), [self](const asio::error_code& ec, size_t n) {
            if (ec) {
                self->Close();
                return;
            }
            self->m_core.Status().receivedBytes.fetch_add(n, std::memory_order_relaxed);
            self->ArmTimeout();
            if (!self->Consume(std::string_view(self->m_readBuffer.data(), n))) {
                self->Close();
                return;
            }
            self->Read();
        });
}

bool SourceSession::Consume(std::string_view data) {
    if (!m_chunked) {
        return Deliver(data);
    }
    std::string body;
    m_decoder.Feed(data, body);
    if (m_decoder.Failed()) {
        return false;
    }
    if (!body.empty() && !Deliver(body)) {
        return false;
    }
    return !m_decoder.Done();
}

bool SourceSession::Deliver(std::string_view audio) {
    if (audio.empty()) {
        return true;
    }
    if (!m_onAir) {
        // Without a content type the first bytes tell the format.
        if (m_format == StreamFormat::Unknown) {
            m_pending.append(audio);
            if (m_pending.size() < kSniffBytes) {
                return true;
            }
            m_format = SniffFormat(m_pending);
            if (m_format == StreamFormat::Unknown) {
                return false;
            }
            audio = m_pending;
        }
        Station& station = m_core.GetStation();
        if (station.HasSource()) {
            return false;
        }
        station.SourceConnected(m_format, m_info, m_mount);
        m_onAir = true;
        m_since = std::chrono::steady_clock::now();
        m_core.Log("Source connected from " + m_address + " on " + LogSafe(m_mount) + " (" +
                   ContentTypeOf(m_format) + ", \"" + LogSafe(m_info.name) + "\")");
    }
    m_bytes += audio.size();
    const bool ok = m_core.GetStation().SourceData(audio);
    m_pending.clear();
    if (!ok) {
        m_core.Log("Source from " + m_address + " dropped: it sends no audio of its format");
    }
    return ok;
}

void SourceSession::Close() {
    if (m_closed) {
        return;
    }
    m_closed = true;
    asio::error_code ec;
    m_socket.close(ec);
    m_timeout.cancel();
    if (m_onAir) {
        m_onAir = false;
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                                 std::chrono::steady_clock::now() - m_since)
                                 .count();
        m_core.Log("Source disconnected from " + m_address + " after " + std::to_string(seconds) +
                   " s, " + std::to_string(m_bytes) + " bytes");
        m_core.GetStation().SourceGone();
    }
}

}  // namespace orvanta::engine
