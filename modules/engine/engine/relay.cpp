#include "engine/relay.h"

#include "engine/outbound.h"
#include "engine/tls_context.h"
#include "stream/format_table.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace orvanta::engine {

namespace {
constexpr int kMaxRetrySeconds = 30;
// An upstream's response head is a few hundred bytes.
constexpr size_t kMaxHeadBytes = 16 * 1024;
}  // namespace

std::optional<std::string> StreamTitleOf(std::string_view block) {
    constexpr std::string_view kKey = "StreamTitle='";
    const size_t start = block.find(kKey);
    if (start == std::string_view::npos) {
        return std::nullopt;
    }
    const size_t from = start + kKey.size();
    // The value ends at "';" (a quote inside a title stays, as players read it).
    const size_t end = block.find("';", from);
    if (end == std::string_view::npos) {
        return std::nullopt;
    }
    return std::string(block.substr(from, end - from));
}

RelayTarget RelayTargetOf(const EngineSettings& settings) {
    const RelayUpstream upstream = ParseRelayHost(settings.relayHost);
    RelayTarget target;
    target.host = upstream.host;
    target.secure = upstream.secure;
    target.port = settings.relayPort;
    target.path = settings.relayStreamUrl;
    if (target.path.empty() || target.path[0] != '/') {
        target.path.insert(target.path.begin(), '/');
    }
    target.label = "Relay from " + LogSafe(settings.relayHost) + ":" + std::to_string(target.port);
    return target;
}

std::optional<RelayTarget> ParseStreamUrl(std::string_view url, std::string* why) {
    RelayTarget target;
    target.label = "Fallback stream " + LogSafe(url);
    std::string_view rest = url;
    if (rest.size() > 8 && EqualsIgnoreCase(rest.substr(0, 8), "https://")) {
        target.secure = true;
        rest.remove_prefix(8);
    } else if (rest.size() > 7 && EqualsIgnoreCase(rest.substr(0, 7), "http://")) {
        rest.remove_prefix(7);
    } else {
        *why = "it is not an http:// or https:// address";
        return std::nullopt;
    }
    const size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    target.path = slash == std::string_view::npos ? "/" : std::string(rest.substr(slash));
    target.port = target.secure ? 443 : 80;
    if (!authority.empty() && authority.front() == '[') {
        // An IPv6 address: [::1]:8000.
        const size_t close = authority.find(']');
        if (close == std::string_view::npos) {
            *why = "its address has no closing bracket";
            return std::nullopt;
        }
        target.host = std::string(authority.substr(1, close - 1));
        authority.remove_prefix(close + 1);
    } else {
        const size_t colon = authority.find(':');
        target.host = std::string(authority.substr(0, colon));
        authority.remove_prefix(colon == std::string_view::npos ? authority.size() : colon);
    }
    if (!authority.empty()) {
        int port = 0;
        const std::string_view digits = authority.substr(1);
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
        if (authority[0] != ':' || ec != std::errc() || end != digits.data() + digits.size() ||
            port < 1 || port > 65535) {
            *why = "its port is not a number from 1 to 65535";
            return std::nullopt;
        }
        target.port = port;
    }
    const auto unsafe = [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7f; };
    if (target.host.empty() || std::any_of(target.host.begin(), target.host.end(), unsafe) ||
        std::any_of(target.path.begin(), target.path.end(), unsafe)) {
        *why = "it names no host, or holds spaces or control characters";
        return std::nullopt;
    }
    return target;
}

RelaySession::RelaySession(const EngineContext& engine)
    : RelaySession(engine, RelayTargetOf(engine.settings), Feed::Live) {}

RelaySession::RelaySession(const EngineContext& engine, RelayTarget target, Feed feed)
    : Session(engine),
      m_target(std::move(target)),
      m_feed(feed),
      m_resolver(engine.io),
      m_socket(engine.io),
      m_timer(engine.io) {}

RelaySession::~RelaySession() {
    if (m_onAir) {
        m_engine.station.SourceGone(m_feed);
    }
}

void RelaySession::Start() {
    Connect();
}

void RelaySession::Close() {
    if (m_closed) {
        return;
    }
    m_closed = true;
    CloseConnection();
    m_resolver.cancel();
    m_timer.cancel();
    if (m_onAir) {
        m_onAir = false;
        m_engine.station.SourceGone(m_feed);
    }
}

RelayUpstream ParseRelayHost(std::string_view host) {
    RelayUpstream upstream;
    for (const auto& [scheme, secure] :
         {std::pair<std::string_view, bool>{"https://", true}, {"http://", false}}) {
        if (host.size() > scheme.size() &&
            EqualsIgnoreCase(host.substr(0, scheme.size()), scheme)) {
            host.remove_prefix(scheme.size());
            upstream.secure = secure;
            break;
        }
    }
    // A slash after the name would be a path; the stream's path is a setting of its own.
    upstream.host = std::string(host.substr(0, host.find('/')));
    return upstream;
}

void RelaySession::Connect() {
    if (m_closed) {
        return;
    }
    const RelayTarget& upstream = m_target;
    m_request = "GET " + upstream.path + " HTTP/1.0\r\nHost: " + upstream.host + ":" +
                std::to_string(upstream.port) +
                "\r\nUser-Agent: Orvanta Server relay\r\nIcy-MetaData: 1\r\nAccept: */*\r\n\r\n";
    m_buffer.clear();
    m_metaInterval = 0;
    auto self = shared_from_this();
    ConnectOutbound(m_resolver, m_socket, upstream.host, upstream.port,
                    [self, upstream](const std::string& failure) {
                        if (!failure.empty()) {
                            self->Failed(failure);
                            return;
                        }
                        if (!upstream.secure) {
                            self->Connected(MakePlainTransport(std::move(self->m_socket)));
                            return;
                        }
                        std::string problem;
                        auto context = MakeClientContext(
                            self->m_engine.settings.tlsTrustedCertificates, &problem);
                        if (!context) {
                            self->Failed(problem);
                            return;
                        }
                        self->m_handshake = ConnectTls(
                            std::move(self->m_socket), context, upstream.host,
                            [self](std::unique_ptr<Transport> transport, const std::string& why) {
                                self->m_handshake.reset();
                                if (!transport) {
                                    self->Failed(why);
                                    return;
                                }
                                self->Connected(std::move(transport));
                            });
                    });
}

void RelaySession::Connected(std::unique_ptr<Transport> transport) {
    if (m_closed) {
        transport->Close();
        return;
    }
    m_transport = std::move(transport);
    auto self = shared_from_this();
    m_transport->Write(asio::buffer(m_request), [self](const asio::error_code& written, size_t) {
        if (written) {
            self->Failed("cannot send the request");
            return;
        }
        self->ReadHead();
    });
}

void RelaySession::ReadHead() {
    auto self = shared_from_this();
    m_transport->ReadSome(asio::buffer(m_readBuffer), [self](const asio::error_code& ec, size_t n) {
        if (ec) {
            self->Failed("the upstream closed before its answer");
            return;
        }
        self->m_buffer.append(self->m_readBuffer.data(), n);
        if (self->m_buffer.size() > kMaxHeadBytes) {
            self->Failed("the upstream's answer is too large");
            return;
        }
        if (!self->TakeHead()) {
            self->ReadHead();
        }
    });
}

// Parses "HTTP/1.x 200 ..." or "ICY 200 OK" and the header block. True once it is handled
// (the body read started, or the attempt failed).
bool RelaySession::TakeHead() {
    const LineResult status = ReadLine(m_buffer);
    if (status.status == ParseStatus::Incomplete) {
        return false;
    }
    const std::string& line = status.line;
    const size_t space = line.find(' ');
    const bool ok = status.status == ParseStatus::Complete && space != std::string::npos &&
                    (line.rfind("HTTP/1.", 0) == 0 || line.rfind("ICY", 0) == 0) &&
                    line.compare(space + 1, 3, "200") == 0;
    if (!ok) {
        Failed("the upstream answered: " + line.substr(0, 80));
        return true;
    }
    const HeaderBlockResult block =
        ParseHeaderBlock(std::string_view(m_buffer).substr(status.consumed));
    if (block.status == ParseStatus::Incomplete) {
        return false;
    }
    if (block.status != ParseStatus::Complete) {
        Failed("the upstream's headers cannot be read");
        return true;
    }
    m_info = SourceInfoFromHeaders(block.headers);
    m_format = m_info.contentType.empty() ? StreamFormat::Unknown
                                          : FormatFromContentType(m_info.contentType);
    for (const Header& header : block.headers) {
        if (EqualsIgnoreCase(header.name, "icy-metaint")) {
            const int interval = std::atoi(header.value.c_str());
            m_metaInterval =
                interval > 0 && interval <= 1 << 20 ? static_cast<size_t>(interval) : 0;
        }
    }
    m_untilMetadata = m_metaInterval;
    m_wantLengthByte = false;
    m_metadataLeft = 0;
    std::string body = m_buffer.substr(status.consumed + block.consumed);
    m_buffer.clear();
    if (!Consume(body)) {
        Failed("the upstream sends no audio we can relay");
        return true;
    }
    ReadBody();
    return true;
}

void RelaySession::ReadBody() {
    auto self = shared_from_this();
    m_transport->ReadSome(asio::buffer(m_readBuffer), [self](const asio::error_code& ec, size_t n) {
        if (ec) {
            self->Failed("the upstream went away");
            return;
        }
        self->m_engine.status.receivedBytes.fetch_add(n, std::memory_order_relaxed);
        if (!self->Consume(std::string_view(self->m_readBuffer.data(), n))) {
            self->Failed("the upstream sends no audio we can relay");
            return;
        }
        self->ReadBody();
    });
}

bool RelaySession::Consume(std::string_view data) {
    std::string audio;
    if (m_metaInterval == 0) {
        audio.assign(data);
    } else {
        while (!data.empty()) {
            if (m_wantLengthByte) {
                m_metadataLeft = static_cast<unsigned char>(data[0]) * 16u;
                data.remove_prefix(1);
                m_wantLengthByte = false;
                m_metadata.clear();
                if (m_metadataLeft == 0) {
                    m_untilMetadata = m_metaInterval;
                }
                continue;
            }
            if (m_metadataLeft > 0) {
                const size_t take = std::min(m_metadataLeft, data.size());
                m_metadata.append(data.substr(0, take));
                data.remove_prefix(take);
                m_metadataLeft -= take;
                if (m_metadataLeft == 0) {
                    m_untilMetadata = m_metaInterval;
                    if (auto title = StreamTitleOf(m_metadata)) {
                        m_pendingTitle = std::move(title);
                    }
                }
                continue;
            }
            const size_t take = std::min(m_untilMetadata, data.size());
            audio.append(data.substr(0, take));
            data.remove_prefix(take);
            m_untilMetadata -= take;
            if (m_untilMetadata == 0) {
                m_wantLengthByte = true;
            }
        }
    }
    Station& station = m_engine.station;
    if (audio.empty()) {
        TakeTitle();
        return true;
    }
    if (!m_onAir) {
        // Without a content type the first audio tells the format; under a loose one (AAC
        // labelled audio/mpeg) it does when it tells one this station takes, as for sources.
        if (m_format == StreamFormat::Unknown) {
            m_format = SniffFormat(audio);
            if (m_format == StreamFormat::Unknown) {
                return false;
            }
        } else if (InfoOf(m_format).looseLabel) {
            const StreamFormat sniffed = SniffFormat(audio);
            if (sniffed != StreamFormat::Unknown && m_engine.settings.AcceptsSource(sniffed)) {
                m_format = sniffed;
            }
        }
        if (!station.MayTake(m_feed)) {
            // A local source has the station: the relay waits its turn.
            return false;
        }
        station.SourceConnected(m_format, m_info, "/", m_feed);
        m_onAir = true;
        m_engine.log.Write(m_target.label + " on air (" + ContentTypeOf(m_format) + ")");
        m_failures = 0;
    }
    const bool ok = station.SourceData(audio);
    TakeTitle();
    return ok;
}

void RelaySession::TakeTitle() {
    // Only once on air: going on air starts the station's title afresh.
    if (m_onAir && m_pendingTitle) {
        m_engine.station.SetFeedTitle(m_feed, *m_pendingTitle);
        m_pendingTitle.reset();
    }
}

void RelaySession::Failed(const std::string& why) {
    if (m_closed) {
        return;  // closed on purpose: what its connection says now is no news
    }
    m_engine.log.Write(m_target.label + ": " + why + "; trying again");
    CloseConnection();
    if (m_onAir) {
        m_onAir = false;
        m_engine.station.SourceGone(m_feed);
    }
    ScheduleRetry();
}

void RelaySession::CloseConnection() {
    asio::error_code ignored;
    m_socket.close(ignored);
    if (m_handshake) {
        m_handshake->Cancel();
    }
    if (m_transport) {
        m_transport->Close();
    }
}

void RelaySession::ScheduleRetry() {
    if (m_closed || m_engine.sessions.Stopping()) {
        return;
    }
    // 1, 2, 4 ... 30 seconds: an upstream that is down is not hammered.
    const int seconds = std::min(kMaxRetrySeconds, 1 << std::min(m_failures, 5));
    ++m_failures;
    m_timer.expires_after(std::chrono::seconds(seconds));
    auto self = shared_from_this();
    m_timer.async_wait([self](const asio::error_code& ec) {
        if (!ec && !self->m_closed) {
            self->m_socket = tcp::socket(self->m_engine.io);
            self->Connect();
        }
    });
}

}  // namespace orvanta::engine
