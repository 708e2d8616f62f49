#include "engine/source.h"

#include "stream/format_table.h"

namespace orvanta::engine {

namespace {
// Enough to tell MP3, Ogg and ASF (framed or not) apart when the source named no content type.
constexpr size_t kSniffBytes = 28;
// A source must show audio of its format (frames or pages that follow one another) within
// this much data or this long after its first byte, whichever comes first; until then its
// listeners, if any, still belong to whoever had the station before.
constexpr size_t kVerdictBytes = 64 * 1024;
constexpr auto kVerdictTime = std::chrono::seconds(3);

// The mount as the log names it: the path listeners reach the stream on. A SHOUTcast-v1 source
// has no mount of its own (it logs in on "/"), and its listeners find it at /stream.
std::string MountForLog(const std::string& mount) {
    return LogSafe(mount.empty() || mount == "/" ? "/stream" : mount);
}
}  // namespace

SourceSession::SourceSession(const EngineContext& engine, std::unique_ptr<Transport> transport,
                             std::string pending, StreamFormat format, SourceInfo info,
                             std::string mount, bool chunked)
    : Session(engine),
      m_transport(std::move(transport)),
      m_pending(std::move(pending)),
      m_format(format),
      m_info(std::move(info)),
      m_mount(std::move(mount)),
      m_chunked(chunked),
      m_verdictTimer(engine.io),
      m_timeout(engine.io) {}

SourceSession::~SourceSession() {
    if (m_onAir) {
        m_engine.station.SourceGone();
    }
}

void SourceSession::Start() {
    m_address = RemoteAddress(m_transport->Socket());
    if (m_engine.station.HasSource()) {
        Refuse("another source went on air first");
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
    m_timeout.expires_after(std::chrono::seconds(m_engine.settings.TimeoutSeconds()));
    auto self = shared_from_this();
    m_timeout.async_wait([self](const asio::error_code& ec) {
        if (ec || self->m_closed) {
            return;
        }
        // A source silent for the time-out is gone; its listeners wait for the next one.
        const std::string seconds = std::to_string(self->m_engine.settings.TimeoutSeconds());
        if (self->m_onAir) {
            self->m_engine.log.Write("Source from " + self->m_address + " sent nothing for " +
                                     seconds + " s");
            self->m_endReason = "silent";
            self->Close();
        } else {
            self->Refuse("it sent no audio within " + seconds + " s of its login");
        }
    });
}

void SourceSession::Read() {
    auto self = shared_from_this();
    m_transport->ReadSome(asio::buffer(m_readBuffer), [self](const asio::error_code& ec, size_t n) {
        if (ec) {
            self->Close();
            return;
        }
        self->m_engine.status.receivedBytes.fetch_add(n, std::memory_order_relaxed);
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
        return Verify(audio);
    }
    m_bytes += audio.size();
    if (!m_engine.station.SourceData(audio)) {
        m_engine.log.Write("Source from " + m_address +
                           " dropped: it sends no audio of its format");
        m_endReason = "no audio of its format";
        return false;
    }
    return true;
}

bool SourceSession::Verify(std::string_view audio) {
    if (m_refused) {
        return false;
    }
    const bool first = m_pending.empty();
    m_pending.append(audio);
    if (first) {
        auto self = shared_from_this();
        m_verdictTimer.expires_after(kVerdictTime);
        m_verdictTimer.async_wait([self](const asio::error_code& ec) {
            if (!ec && !self->m_onAir && !self->m_closed) {
                self->Refuse("its first " + std::to_string(self->m_pending.size()) + " bytes, in " +
                             std::to_string(kVerdictTime.count()) + " s, hold no " +
                             ContentTypeOf(self->m_format) + " audio");
            }
        });
    }
    if (!m_probe) {
        // Without a content type the first bytes tell the format; under a loose one (AAC
        // labelled audio/mpeg) they do when they tell one this station takes.
        if (m_format == StreamFormat::Unknown || InfoOf(m_format).looseLabel) {
            if (m_pending.size() < kSniffBytes) {
                return true;
            }
            const StreamFormat sniffed = SniffFormat(m_pending);
            if (m_format == StreamFormat::Unknown || m_engine.settings.AcceptsSource(sniffed)) {
                m_format = sniffed;
            }
            if (!m_engine.settings.AcceptsSource(m_format)) {
                Refuse("it named no content type and sends no audio this station takes");
                return false;
            }
        }
        m_probe = MakeFormatReader(m_format);
        audio = m_pending;
    }
    std::vector<MediaUnit> ignored;
    m_probe->Feed(audio, ignored);
    if (!m_probe->SawAudio()) {
        if (m_pending.size() >= kVerdictBytes) {
            Refuse("its first " + std::to_string(m_pending.size()) + " bytes hold no " +
                   ContentTypeOf(m_format) + " audio");
            return false;
        }
        return true;
    }
    m_probe.reset();
    m_verdictTimer.cancel();
    Station& station = m_engine.station;
    if (station.HasSource()) {
        Refuse("another source went on air first");
        return false;
    }
    station.SourceConnected(m_format, m_info, m_mount);
    station.SetLiveSource(this);
    m_onAir = true;
    m_since = std::chrono::steady_clock::now();
    m_engine.log.Write("Source connected from " + m_address + " on " + MountForLog(m_mount) + " (" +
                       ContentTypeOf(m_format) + ", \"" + LogSafe(m_info.name) + "\")");
    const std::string verified = std::move(m_pending);
    m_pending.clear();
    return Deliver(verified);
}

void SourceSession::Refuse(const std::string& why) {
    if (m_refused || m_closed) {
        return;
    }
    m_refused = true;
    m_engine.log.Write("Source from " + m_address + " on " + MountForLog(m_mount) +
                       " refused: " + why);
    Close();
}

void SourceSession::Close() {
    if (m_closed) {
        return;
    }
    m_closed = true;
    m_transport->Close();
    m_timeout.cancel();
    m_verdictTimer.cancel();
    if (m_onAir) {
        m_onAir = false;
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                                 std::chrono::steady_clock::now() - m_since)
                                 .count();
        m_engine.log.Write("Source disconnected from " + m_address + " after " +
                           std::to_string(seconds) + " s, " + std::to_string(m_bytes) + " bytes" +
                           (m_closeReason.empty() ? "" : " (" + m_closeReason + ")"));
        if (StatsStore* stats = m_engine.station.Stats()) {
            const StatsTime now = StatsNow();
            stats->Record(SourceConnectionRecord{
                now - seconds, now, m_address, m_info.userAgent, ContentTypeOf(m_format),
                m_engine.station.Info().bitrate,
                m_engine.sessions.Stopping() ? "server stopped" : m_endReason});
        }
        m_engine.station.SourceGone();
    }
}

void SourceSession::CloseBecause(std::string_view reason) {
    m_closeReason = reason;
    m_endReason = "kicked";  // the only reason the station closes a source for
    Close();
}

}  // namespace orvanta::engine
