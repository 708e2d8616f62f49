// A connection before we know what it is. On the listen port it carries an HTTP request: a
// listener, an Icecast-style source (SOURCE, PUT), a title update, a page. On the source port
// it carries a SHOUTcast-v1 login, or an HTTP request from clients that send their title
// updates there.
#include "engine/core.h"
#include "engine/http_reply.h"
#include "engine/listener.h"
#include "engine/source.h"
#include "engine/transport.h"
#include "hls/playlist.h"
#include "web/content.h"
#include "web/pages.h"

#include <algorithm>
#include <array>
#include <string>
#include <sys/socket.h>

namespace orvanta::engine {

namespace {

constexpr const char kAllowSource[] = "GET, PUT, OPTIONS, SOURCE";
constexpr const char kIcyLoginOk[] = "OK2\r\nicy-caps:11\r\n\r\n";
constexpr const char kIcyLoginRefused[] = "invalid password\r\n";
// v1 has no word for "in use": any answer but OK is a refusal to every encoder, and this one
// tells the truth (butt, for one, retries quietly instead of reporting a wrong password).
constexpr const char kIcyStreamInUse[] = "Stream in use\r\n";

// Handshake players quote the id of their session; ours only need to differ. Engine thread only.
uint32_t NextMmshClientId() {
    static uint32_t last = 0;
    return ++last;
}

bool Contains(const std::string* text, std::string_view part) {
    return text != nullptr && text->find(part) != std::string::npos;
}

std::string BasicChallenge(const std::string& realm) {
    return "WWW-Authenticate: Basic realm=\"" + HeaderSafe(realm) + "\"\r\n";
}

class Connection : public Session, public std::enable_shared_from_this<Connection> {
public:
    Connection(Core& core, tcp::socket socket, PortKind kind)
        : Session(core),
          m_socket(std::move(socket)),
          m_timer(core.Io()),
          m_kind(kind),
          m_mode(kind == PortKind::Source ? Mode::FirstLine : Mode::HttpHead) {}

    ~Connection() override { EndHandshake(); }

    void Start() {
        m_address = RemoteAddress(m_socket);
        m_started = std::chrono::steady_clock::now();
        // Slow or silent clients do not hold a connection for ever; the TLS handshake counts.
        SetDeadline(m_started + m_core.Settings().headerTimeout);
        auto self = shared_from_this();
        // The first byte tells a TLS handshake (a record of type 22) from anything else, so
        // http:// and https:// share one port.
        m_socket.async_wait(tcp::socket::wait_read, [self](const asio::error_code& ec) {
            if (ec || self->m_done) {
                self->Close();
                return;
            }
            self->Detected(self->PeekFirstByte());
        });
    }

    void Close() override {
        m_done = true;
        asio::error_code ec;
        m_socket.close(ec);
        if (m_handshake) {
            m_handshake->Cancel();
        }
        if (m_transport) {
            m_transport->Close();
        }
        m_timer.cancel();
    }

private:
    enum class Mode { FirstLine, HttpHead, IcyHeaders, Done };

    // The first byte waiting on the socket, left there; -1 when the peer closed.
    int PeekFirstByte() {
        unsigned char first = 0;
        const ssize_t got = ::recv(m_socket.native_handle(), &first, 1, MSG_PEEK);
        return got == 1 ? first : -1;
    }

    void Detected(int firstByte) {
        constexpr int kTlsHandshakeRecord = 0x16;
        if (firstByte < 0) {
            Close();
            return;
        }
        const bool tls = firstByte == kTlsHandshakeRecord;
        if (m_kind == PortKind::Source && tls) {
            // Encoders speak the v1 login in the clear; a TLS client here has the wrong port.
            m_core.LogRefusal(m_address, "(TLS on the SHOUTcast-v1 source port, which is plain)");
            Close();
            return;
        }
        if (!tls) {
            m_transport = MakePlainTransport(std::move(m_socket));
            if (m_kind == PortKind::TlsOnly) {
                m_what = "plain request on the TLS-only port";
                Reply(PlainError(400, "This port speaks only HTTPS"));
                return;
            }
            Read();
            return;
        }
        auto context = m_core.TlsContext();
        if (!context) {
            m_core.LogRefusal(m_address, "(a TLS handshake, but no certificate is loaded)");
            Close();
            return;
        }
        const bool admitted =
            m_core.BeginHandshake(m_handshakePlace, m_address, [weak = weak_from_this()] {
                if (auto self = weak.lock()) {
                    self->m_core.LogRefusal(self->m_address,
                                            "(its TLS handshake dropped for a newer one: too many "
                                            "under way)");
                    self->Close();
                }
            });
        if (!admitted) {
            m_core.LogRefusal(m_address, "(too many TLS handshakes under way)");
            Close();
            return;
        }
        // A handshake has a shorter time than the request head: a place held for long is a
        // place another client does not get.
        SetDeadline(std::min(m_started + m_core.Settings().handshakeTimeout,
                             m_started + m_core.Settings().headerTimeout));
        auto self = shared_from_this();
        m_handshake = AcceptTls(
            std::move(m_socket), context,
            [self](std::unique_ptr<Transport> transport, const std::string& why) {
                self->EndHandshake();
                self->m_handshake.reset();
                if (!transport || self->m_done) {
                    if (!why.empty() && !self->m_done) {
                        self->m_core.LogRefusal(self->m_address, "(" + why + ")");
                    }
                    self->Close();
                    return;
                }
                self->SetDeadline(self->m_started + self->m_core.Settings().headerTimeout);
                self->m_transport = std::move(transport);
                self->Read();
            });
    }

    void EndHandshake() { m_core.EndHandshake(m_handshakePlace); }

    // Closes the connection at `when` unless its request head has come by then.
    void SetDeadline(std::chrono::steady_clock::time_point when) {
        auto self = shared_from_this();
        m_timer.expires_at(when);
        m_timer.async_wait([self](const asio::error_code& ec) {
            if (ec) {
                return;
            }
            if (self->m_handshake) {
                self->m_core.LogRefusal(self->m_address,
                                        "(the TLS handshake did not finish in time)");
            } else if (self->m_mode != Mode::Done) {
                self->m_core.LogRefusal(self->m_address, "(timed out waiting for its request)");
            }
            self->Close();
        });
    }

    void Read() {
        auto self = shared_from_this();
        m_transport->ReadSome(asio::buffer(m_readBuffer),
                              [self](const asio::error_code& ec, size_t n) {
                                  if (ec || self->m_done) {
                                      self->Close();
                                      return;
                                  }
                                  self->m_buffer.append(self->m_readBuffer.data(), n);
                                  self->Process();
                              });
    }

    void Process() {
        if (m_mode == Mode::FirstLine) {
            const LineResult line = ReadLine(m_buffer);
            if (line.status == ParseStatus::Incomplete) {
                Read();
                return;
            }
            if (line.status != ParseStatus::Complete) {
                m_what = "source login";
                Reply(kIcyLoginRefused,
                      "login line over " + std::to_string(kMaxIcyLineBytes) + " bytes");
                return;
            }
            if (LooksLikeHttpRequestLine(line.line)) {
                m_mode = Mode::HttpHead;
            } else {
                m_buffer.erase(0, line.consumed);
                IcyLogin(line.line);
                return;
            }
        }
        if (m_mode == Mode::IcyHeaders) {
            const HeaderBlockResult block = ParseHeaderBlock(m_buffer);
            if (block.status == ParseStatus::Incomplete) {
                Read();
                return;
            }
            if (block.status != ParseStatus::Complete) {
                m_core.LogRefusal(m_address, "source login: header block too large");
                Close();
                return;
            }
            std::string audio = m_buffer.substr(block.consumed);
            SourceInfo info = SourceInfoFromHeaders(block.headers);
            StreamFormat format = info.contentType.empty()
                                      ? StreamFormat::Mp3
                                      : FormatFromContentType(info.contentType);
            if (!m_core.Settings().AcceptsSource(format)) {
                m_core.LogRefusal(m_address, "source login: content type " +
                                                 LogSafe(info.contentType) + " not supported");
                Close();
                return;
            }
            StartSource(std::move(audio), format, std::move(info), "/", false);
            return;
        }
        if (m_mode == Mode::HttpHead) {
            HeadResult head = ParseRequestHead(m_buffer);
            if (head.status == ParseStatus::Incomplete) {
                Read();
                return;
            }
            if (head.status == ParseStatus::TooLarge) {
                Reply(PlainError(431, "Request Header Fields Too Large"));
                return;
            }
            if (head.status != ParseStatus::Complete) {
                Reply(PlainError(400, "Bad Request"));
                return;
            }
            m_mode = Mode::Done;
            HandleRequest(head.request, m_buffer.substr(head.consumed));
        }
    }

    // Whether the address may try a password now; answers `refusal` when it may not. Held-back
    // logins are told per network by the hold log rather than as refusals per address, so a
    // guesser rotating addresses cannot fill the log.
    bool MayTryPassword(const std::string& refusal) {
        const LoginGuard::Hold hold = m_core.Guard().HeldFor(m_address, LoginGuard::Clock::now());
        if (hold.wait.count() == 0) {
            return true;
        }
        const std::string why = hold.own
                                    ? std::to_string(hold.failures) + " wrong passwords in a row"
                                    : "too many wrong passwords from everywhere";
        m_core.LogHold(m_address, "after " + why + ", refused " + m_address + " for " +
                                      std::to_string(hold.wait.count()) + " s");
        m_quiet = true;
        Reply(refusal);
        return false;
    }

    void WrongPassword() {
        const LoginGuard::Verdict verdict =
            m_core.Guard().Failed(m_address, LoginGuard::Clock::now());
        if (verdict.newlyHeld) {
            m_core.LogHold(m_address, "after " + std::to_string(verdict.failures) +
                                          " wrong passwords in a row from " + m_address +
                                          ", held for " + std::to_string(verdict.hold.count()) +
                                          " s");
        }
        if (!verdict.networkHeld.empty()) {
            m_core.LogHold(m_address, "after many wrong passwords from " + verdict.networkHeld +
                                          ": its new addresses wait for the station-wide budget");
        }
    }

    std::string TooManyAttempts() const {
        const auto wait = m_core.Guard().HeldFor(m_address, LoginGuard::Clock::now()).wait;
        return PlainError(
            429, "Too Many Requests",
            "Retry-After: " + std::to_string(std::max<int64_t>(wait.count(), 1)) + "\r\n");
    }

    // SHOUTcast v1: the password line, then OK2 at once (clients that pipeline their headers
    // have sent them already; the rest wait for it), then the header block.
    void IcyLogin(const std::string& line) {
        const EngineSettings& settings = m_core.Settings();
        m_what = "source login";
        // libshout probes before every real login: refused, as it expects, and neither counted
        // against the address nor logged.
        if (IsPokeProbe(line)) {
            m_quiet = true;
            Reply(kIcyLoginRefused);
            return;
        }
        if (IsGarbageLoginLine(line, settings.sourcePassword)) {
            Reply(kIcyLoginRefused, "not a login line: empty or control bytes");
            return;
        }
        if (!MayTryPassword(kIcyLoginRefused)) {
            return;
        }
        if (!IcyPasswordMatches(line, settings.sourcePassword)) {
            WrongPassword();
            Reply(kIcyLoginRefused, "wrong password");
            return;
        }
        m_core.Guard().Succeeded(m_address, LoginGuard::Clock::now());
        if (m_core.GetStation().HasSource()) {
            Reply(kIcyStreamInUse, "a source is on air already");
            return;
        }
        m_mode = Mode::IcyHeaders;
        auto self = shared_from_this();
        m_transport->Write(asio::buffer(kIcyLoginOk, sizeof kIcyLoginOk - 1),
                           [self](const asio::error_code& ec, size_t) {
                               if (ec) {
                                   self->Close();
                                   return;
                               }
                               self->Process();
                           });
    }

    void HandleRequest(const Request& request, std::string rest) {
        const std::string& method = request.method;
        // For the log: never the query, which may hold a password.
        m_what = method + " " + request.path;
        if (method == "OPTIONS") {
            Reply(Response(204, "No Content", "", "", "Allow: GET, HEAD, OPTIONS\r\n"));
        } else if (method == "SOURCE" || method == "PUT") {
            HandleSource(request, std::move(rest));
        } else if (method != "GET" && method != "HEAD") {
            Reply(PlainError(405, "Method Not Allowed", "Allow: GET, HEAD, OPTIONS\r\n"));
        } else if (request.path == "/admin.cgi") {
            AdminCgi(request);
        } else if (request.path == "/admin/metadata") {
            AdminMetadata(request);
        } else if (request.path == kHlsPlaylistPath ||
                   request.path.rfind(kHlsSegmentFolder, 0) == 0) {
            HandleHls(request);
        } else if (IsStreamRequest(request)) {
            HandleListener(request);
        } else {
            HandlePage(request);
        }
    }

    // "/" is the stream for players and the station's page for browsers; the other stream
    // paths are always the stream.
    bool IsStreamRequest(const Request& request) const {
        const std::string& path = request.path;
        if (path.rfind("/;", 0) == 0 || path == "/stream" || path == "/listen" ||
            path == "/stream.mp3" || path == "/stream.ogg") {
            return true;
        }
        const Station& station = m_core.GetStation();
        if (!station.Mount().empty() && station.Mount() != "/" && path == station.Mount()) {
            return true;
        }
        if (path != "/") {
            return false;
        }
        const bool browser = Contains(request.Find("User-Agent"), "Mozilla") &&
                             Contains(request.Find("Accept"), "text/html");
        return WantsIcyMetadata(request) || !browser;
    }

    // Status pages and playlists never count against the listener limit and answer whatever
    // the source is doing.
    void HandlePage(const Request& request) {
        const Station& station = m_core.GetStation();
        const EngineSettings& settings = m_core.Settings();
        const std::string& path = request.path;
        const std::string html = "text/html; charset=utf-8";
        std::string body;
        std::string type;
        std::string headers;
        if (path == "/7.html") {
            body = SevenHtml(station.Snapshot());
            type = "text/html";
            headers = HtmlPageHeaders();
        } else if (path == "/played.html") {
            body = PlayedHtml(station.Snapshot());
            type = html;
            headers = HtmlPageHeaders();
        } else if (path == "/status-json.xsl" || path == "/status.json") {
            body = StatusJson(station.Snapshot(), StreamUrl(request), path == "/status.json");
            type = "application/json; charset=utf-8";
        } else if (path == "/listen.pls" || path == "/listen.m3u") {
            const bool pls = path == "/listen.pls";
            body = Playlist(StreamUrl(request), station.Snapshot().name, pls);
            type = pls ? "audio/x-scpls" : "audio/x-mpegurl";
        } else {
            // The content folder first; the station's own page where it has no index page.
            ContentFolder folder;
            folder.root = settings.contentDirectory;
            folder.indexPage = settings.indexPage;
            if (!settings.logDirectory.empty()) {
                folder.privateFolders.push_back(settings.logDirectory);
            }
            folder.privateFiles = m_core.PrivateFiles();
            for (const auto& [device, inode] : m_core.PrivateIdentities()) {
                folder.privateIdentities.push_back(FileIdentity{device, inode});
            }
            const std::string_view target(request.target);
            const ContentFile file = ResolveContent(folder, target.substr(0, target.find('?')),
                                                    request.method != "HEAD");
            if (file.status == ContentStatus::Found) {
                std::string response = Response(200, "OK", file.contentType, "");
                // The length is the file's, also for HEAD.
                const std::string zero = "Content-Length: 0\r\n";
                response.replace(response.find(zero), zero.size(),
                                 "Content-Length: " + std::to_string(file.size) + "\r\n");
                Reply(response + file.body);
                return;
            }
            if (path == "/" || path == "/index.html") {
                body = StationPage(station.Snapshot(), StreamPath());
                type = html;
                headers = HtmlPageHeaders();
            } else if (file.status == ContentStatus::Forbidden) {
                Reply(PlainError(403, "Forbidden"));
                return;
            } else {
                Reply(PlainError(404, "Not Found"));
                return;
            }
        }
        if (request.method == "HEAD") {
            std::string head = Response(200, "OK", type, body, headers);
            head.resize(head.size() - body.size());
            Reply(std::move(head));
            return;
        }
        Reply(Response(200, "OK", type, body, headers));
    }

    // The path of the stream: the mount its source used, else "/stream".
    std::string StreamPath() const {
        const std::string& mount = m_core.GetStation().Mount();
        return !mount.empty() && mount != "/" ? mount : "/stream";
    }

    // The stream's address as the client reached us: its Host header when it is a plain
    // host[:port], else the loopback address and our port.
    std::string StreamUrl(const Request& request) const {
        std::string host;
        if (const std::string* given = request.Find("Host")) {
            host = *given;
        }
        const bool plain = !host.empty() && host.size() < 256 &&
                           host.find_first_not_of(
                               "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                               "0123456789.-:[]") == std::string::npos;
        if (!plain) {
            host = "127.0.0.1:" + std::to_string(m_core.Port());
        }
        // The mount is the source's own text: only what a URL path may hold goes out as is.
        std::string path;
        for (const char c : StreamPath()) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte <= 0x20 || byte >= 0x7F || c == '"' || c == '<' || c == '>' || c == '%' ||
                c == '\\' || c == '#' || c == '?') {
                static constexpr char kHex[] = "0123456789ABCDEF";
                path += '%';
                path += kHex[byte >> 4];
                path += kHex[byte & 15];
            } else {
                path += c;
            }
        }
        return std::string(m_transport && m_transport->Secure() ? "https://" : "http://") + host +
               path;
    }

    // The source password in the request's Basic credentials. Without credentials it answers
    // the challenge (encoders send a first request without them to learn the scheme: normal,
    // neither counted nor logged as a refusal); with wrong ones it counts against the address.
    // True when the password is right; otherwise the answer has gone out.
    bool SourceAuthorized(const Request& request, const std::string& extraHeaders = {}) {
        const std::string& password = m_core.Settings().sourcePassword;
        const std::string* authorization = request.Find("Authorization");
        if (authorization == nullptr) {
            m_quiet = true;
            Reply(PlainError(401, "Unauthorized", BasicChallenge(kServerName) + extraHeaders));
            return false;
        }
        if (!MayTryPassword(TooManyAttempts())) {
            return false;
        }
        const auto credentials = ParseBasicAuth(*authorization);
        // One password for the station: any user name goes with it ("source" by convention).
        if (password.empty() || !credentials ||
            !ConstantTimeEquals(credentials->password, password)) {
            WrongPassword();
            Reply(PlainError(401, "Unauthorized", BasicChallenge(kServerName) + extraHeaders),
                  "wrong password");
            return false;
        }
        m_core.Guard().Succeeded(m_address, LoginGuard::Clock::now());
        return true;
    }

    void HandleSource(const Request& request, std::string rest) {
        if (!SourceAuthorized(request, "Allow: " + std::string(kAllowSource) + "\r\n")) {
            return;
        }
        if (request.path.empty() || request.path[0] != '/') {
            Reply(PlainError(400, "Bad Request"));
            return;
        }
        if (m_core.GetStation().HasSource()) {
            // Encoders read 403 as "mountpoint in use" and try again later.
            Reply(PlainError(403, "Mountpoint in use"));
            return;
        }
        SourceInfo info = SourceInfoFromHeaders(request.headers);
        StreamFormat format = StreamFormat::Unknown;
        if (!info.contentType.empty()) {
            format = FormatFromContentType(info.contentType);
            if (!m_core.Settings().AcceptsSource(format)) {
                Reply(PlainError(415, "Content-type not supported"));
                return;
            }
        }
        const bool chunked = Contains(request.Find("Transfer-Encoding"), "chunked");
        const bool expectContinue =
            request.Find("Expect") != nullptr &&
            AsciiLower(*request.Find("Expect")).find("100-continue") != std::string::npos;
        std::string answer;
        if (request.method == "SOURCE") {
            answer = "HTTP/1.0 200 OK\r\n\r\n";
        } else if (expectContinue) {
            // Only now, after the password: clients read the first status line only.
            answer = "HTTP/1.1 100 Continue\r\n\r\n";
        }
        if (answer.empty()) {
            StartSource(std::move(rest), format, std::move(info), request.path, chunked);
            return;
        }
        m_answer = std::move(answer);
        auto self = shared_from_this();
        m_transport->Write(
            asio::buffer(m_answer),
            [self, rest = std::move(rest), format, info = std::move(info), mount = request.path,
             chunked](const asio::error_code& ec, size_t) mutable {
                if (ec) {
                    self->Close();
                    return;
                }
                self->StartSource(std::move(rest), format, std::move(info), mount, chunked);
            });
    }

    void StartSource(std::string pending, StreamFormat format, SourceInfo info,
                     const std::string& mount, bool chunked) {
        m_done = true;
        m_timer.cancel();
        auto source =
            std::make_shared<SourceSession>(m_core, std::move(m_transport), std::move(pending),
                                            format, std::move(info), mount, chunked);
        source->Start();
    }

    void HandleListener(const Request& request) {
        const EngineSettings& settings = m_core.Settings();
        Station& station = m_core.GetStation();
        if (settings.privateBroadcast != 0 && !PrivateListenerAdmitted(request)) {
            return;
        }
        if (!station.HasSource()) {
            Reply(PlainError(404, "Stream not available"));
            return;
        }
        const bool mmsh = station.Format() == StreamFormat::Asf && SpeaksMmsh(request);
        if (mmsh && !MmshPlayRequest(request)) {
            MmshDescribe();
            return;
        }
        // Only audio listeners count against the limit; pages and updates never do.
        if (static_cast<int64_t>(station.ListenerCount()) >= settings.maxClients) {
            Reply(PlainError(503, "Maximum listeners reached"));
            return;
        }
        const bool icy = WantsIcyMetadata(request) && station.Format() == StreamFormat::Mp3;
        std::string head = mmsh ? MmshHead(true) : ListenerHead(icy);
        if (request.method == "HEAD") {
            Reply(std::move(head));
            return;
        }
        m_done = true;
        m_timer.cancel();
        const std::string* agent = request.Find("User-Agent");
        auto listener =
            std::make_shared<ListenerSession>(m_core, std::move(m_transport), std::move(head), icy,
                                              agent != nullptr ? *agent : "", mmsh);
        listener->Start();
    }

    // Players of the Windows Media HTTP streaming handshake (mmsh://) name themselves and send
    // their session in Pragma lines.
    static bool SpeaksMmsh(const Request& request) {
        const std::string* agent = request.Find("User-Agent");
        if (agent != nullptr &&
            (agent->rfind("NSPlayer", 0) == 0 || agent->rfind("NSServer", 0) == 0)) {
            return true;
        }
        return std::any_of(request.headers.begin(), request.headers.end(), [](const Header& h) {
            return AsciiLower(h.name) == "pragma" && Contains(&h.value, "xClientGUID");
        });
    }

    // The handshake's first request asks for the stream's header only, the second one
    // (xPlayStrm=1) for the stream.
    static bool MmshPlayRequest(const Request& request) {
        return std::any_of(request.headers.begin(), request.headers.end(), [](const Header& h) {
            return AsciiLower(h.name) == "pragma" && Contains(&h.value, "xPlayStrm=1");
        });
    }

    std::string MmshHead(bool play) const {
        std::string head = "HTTP/1.0 200 OK\r\n";
        head += play ? "Content-Type: application/x-mms-framed\r\n"
                     : "Content-Type: application/vnd.ms.wms-hdr.asfv1\r\n";
        head += "Server: " + std::string(kServerName) + "\r\n";
        head += "Cache-Control: no-cache\r\nPragma: no-cache\r\n";
        head += "Pragma: client-id=" + std::to_string(NextMmshClientId()) + "\r\n";
        head += "Pragma: features=\"broadcast\"\r\nConnection: close\r\n";
        return head + "\r\n";
    }

    // The header request: the stream's header in its chunk, then the end of the answer. Like a
    // page, it does not count against the listener limit.
    void MmshDescribe() {
        const auto headers = m_core.GetStation().Headers();
        if (!headers || headers->empty()) {
            Reply(PlainError(503, "Stream not ready"));
            return;
        }
        const MmshChunkHead chunk = MakeMmshChunkHead('H', headers->size(), 0);
        std::string answer = MmshHead(false);
        answer.append(chunk.data(), chunk.size());
        Reply(std::move(answer), {}, headers);
    }

    // The HLS playlist and its segments. They are answered from memory like pages, never count
    // against the listener limit, and are made for caches: a CDN or proxy in front asks about
    // once per segment however many players it serves.
    void HandleHls(const Request& request) {
        const EngineSettings& settings = m_core.Settings();
        Station& station = m_core.GetStation();
        HlsStream& hls = station.Hls();
        if (!settings.hlsEnabled) {
            Reply(PlainError(404, "HLS is turned off for this station"));
            return;
        }
        if (station.Format() == StreamFormat::Ogg) {
            Reply(PlainError(404, "HLS carries MP3 only; this station streams Ogg Vorbis"));
            return;
        }
        if (settings.privateBroadcast != 0 && !PrivateListenerAdmitted(request)) {
            return;
        }
        const int target = hls.Segmenter() ? hls.Segmenter()->TargetSeconds() : 1;
        if (request.path == kHlsPlaylistPath) {
            const auto playlist = hls.Playlist();
            if (playlist->empty()) {
                Reply(PlainError(404, "No HLS segments yet"));
                return;
            }
            hls.PlaylistFetched(m_address, std::chrono::steady_clock::now());
            // Short-lived: a cache must fetch a fresh one about twice per segment.
            const std::string cache = "public, max-age=" + std::to_string(std::max(1, target / 2));
            ReplyCacheable(request, "application/vnd.apple.mpegurl", playlist, hls.PlaylistEtag(),
                           cache);
            return;
        }
        const auto sequence = ParseSegmentPath(request.path);
        const HlsSegment* segment =
            sequence && hls.Segmenter() ? hls.Segmenter()->Find(*sequence) : nullptr;
        if (segment == nullptr) {
            Reply(PlainError(404, "Not Found"), sequence ? "segment not in the window" : "");
            return;
        }
        // A segment never changes once published.
        constexpr char kImmutable[] = "public, max-age=86400, immutable";
        if (request.method == "GET") {
            m_core.Status().hlsSegmentsServed.fetch_add(1, std::memory_order_relaxed);
        }
        ReplyCacheable(request, "audio/mpeg", segment->bytes, segment->etag, kImmutable);
    }

    // 200 with `body` (its head only for HEAD), or 304 when the client's copy is current.
    void ReplyCacheable(const Request& request, const char* type,
                        std::shared_ptr<const std::string> body, const std::string& etag,
                        const std::string& cacheControl) {
        const std::string* ifNoneMatch = request.Find("If-None-Match");
        if (ifNoneMatch != nullptr && EtagMatches(*ifNoneMatch, etag)) {
            Reply(CacheableHead(304, "Not Modified", "", 0, cacheControl, etag));
            return;
        }
        std::string head = CacheableHead(200, "OK", type, body->size(), cacheControl, etag);
        if (request.method == "HEAD") {
            Reply(std::move(head));
            return;
        }
        Reply(std::move(head), {}, std::move(body));
    }

    // A private station's listener needs the name and password of one of its users. True when
    // admitted; otherwise the answer has gone out.
    bool PrivateListenerAdmitted(const Request& request) {
        const std::string challenge = BasicChallenge(m_core.GetStation().Snapshot().name);
        const std::string* authorization = request.Find("Authorization");
        if (authorization == nullptr) {
            // Players ask without credentials first; the challenge is the normal answer.
            m_quiet = true;
            Reply(PlainError(401, "Unauthorized", challenge));
            return false;
        }
        if (!MayTryPassword(TooManyAttempts())) {
            return false;
        }
        const auto credentials = ParseBasicAuth(*authorization);
        const auto& users = m_core.Settings().privateUsers;
        const auto it = credentials ? users.find(credentials->user) : users.end();
        if (it == users.end() || !ConstantTimeEquals(credentials->password, it->second)) {
            WrongPassword();
            Reply(PlainError(401, "Unauthorized", challenge), "wrong user name or password");
            return false;
        }
        m_core.Guard().Succeeded(m_address, LoginGuard::Clock::now());
        return true;
    }

    std::string ListenerHead(bool icy) const {
        const Station& station = m_core.GetStation();
        const SourceInfo& info = station.Info();
        std::string head = "HTTP/1.0 200 OK\r\n";
        head += "Content-Type: " + std::string(ContentTypeOf(station.Format())) + "\r\n";
        head += "Server: " + std::string(kServerName) + "\r\n";
        head += "Cache-Control: no-cache, no-store\r\nPragma: no-cache\r\nConnection: close\r\n";
        head += kCorsHeaders;
        head += "X-Content-Type-Options: nosniff\r\n";
        head += "icy-name:" + HeaderSafe(info.name) + "\r\n";
        head += "icy-genre:" + HeaderSafe(info.genre) + "\r\n";
        head += "icy-url:" + HeaderSafe(info.url) + "\r\n";
        if (!info.description.empty()) {
            head += "icy-description:" + HeaderSafe(info.description) + "\r\n";
        }
        // SHOUTcast registration marks a public MP3 stream as listed for those directories.
        const EngineSettings& settings = m_core.Settings();
        const bool listed = info.isPublic > 0 ||
                            (settings.shoutcastRegister != 0 && settings.privateBroadcast == 0 &&
                             station.Format() == StreamFormat::Mp3);
        head += "icy-pub:" + std::string(listed ? "1" : "0") + "\r\n";
        if (info.bitrate > 0) {
            head += "icy-br:" + std::to_string(info.bitrate) + "\r\n";
        }
        if (info.sampleRate > 0) {
            head += "icy-sr:" + std::to_string(info.sampleRate) + "\r\n";
        }
        std::string audioInfo = info.audioInfo;
        if (audioInfo.empty() && info.bitrate > 0) {
            audioInfo = "ice-bitrate=" + std::to_string(info.bitrate);
            if (info.channels > 0) {
                audioInfo += ";ice-channels=" + std::to_string(info.channels);
            }
            if (info.sampleRate > 0) {
                audioInfo += ";ice-samplerate=" + std::to_string(info.sampleRate);
            }
        }
        if (!audioInfo.empty()) {
            head += "ice-audio-info:" + HeaderSafe(audioInfo) + "\r\n";
        }
        if (icy) {
            head += "icy-metaint:" + std::to_string(kIcyMetaInt) + "\r\n";
        }
        return head + "\r\n";
    }

    // SHOUTcast v1 title updates: the source password in the query.
    void AdminCgi(const Request& request) {
        const auto query = ParseQuery(request.query);
        const auto pass = QueryValue(query, "pass");
        // butt and Liquidsoap send the password unencoded, libshout encodes it: a password
        // with "+" or "%" in it matches in one of the two forms.
        const auto rawPass = RawQueryValue(request.query, "pass");
        if (!pass && !rawPass) {
            Reply(PlainError(401, "Unauthorized"), "no password");
            return;
        }
        if (!MayTryPassword(TooManyAttempts())) {
            return;
        }
        const std::string& password = m_core.Settings().sourcePassword;
        const bool matches =
            !password.empty() && ((pass && ConstantTimeEquals(*pass, password)) ||
                                  (rawPass && ConstantTimeEquals(*rawPass, password)));
        if (!matches) {
            WrongPassword();
            Reply(PlainError(401, "Unauthorized"), "wrong password");
            return;
        }
        m_core.Guard().Succeeded(m_address, LoginGuard::Clock::now());
        const auto mode = QueryValue(query, "mode");
        const auto song = QueryValue(query, "song");
        if (!mode || *mode != "updinfo" || !song) {
            Reply(PlainError(400, "Bad Request"));
            return;
        }
        m_core.GetStation().SetTitle(*song, QueryValue(query, "url").value_or(""));
        Reply(Response(200, "OK", "text/html; charset=utf-8",
                       "<html><body>Update successful</body></html>\n", HtmlPageHeaders()));
    }

    // Icecast-style title updates: Basic auth with the source password; "song", or "artist"
    // and "title" as Mixxx sends them.
    void AdminMetadata(const Request& request) {
        if (!SourceAuthorized(request)) {
            return;
        }
        const auto query = ParseQuery(request.query);
        const auto mode = QueryValue(query, "mode");
        std::string song = QueryValue(query, "song").value_or("");
        if (song.empty()) {
            const std::string artist = QueryValue(query, "artist").value_or("");
            const std::string title = QueryValue(query, "title").value_or("");
            song = artist.empty() ? title : title.empty() ? artist : artist + " - " + title;
        }
        if (!mode || *mode != "updinfo") {
            Reply(Response(400, "Bad Request", "text/xml",
                           "<?xml version=\"1.0\"?>\n<iceresponse><message>No such "
                           "action</message><return>0</return></iceresponse>\n"));
            return;
        }
        Station& station = m_core.GetStation();
        station.SetTitle(song, QueryValue(query, "url").value_or(""));
        // An Ogg stream carries its titles in its own comment headers, which the engine passes
        // on untouched: the update shows on the status pages and in the history, and says so.
        const char* message = station.Format() == StreamFormat::Ogg
                                  ? "Metadata update applied to the status pages; Ogg Vorbis "
                                    "listeners get titles from the stream's own comments"
                                  : "Metadata update successful";
        Reply(Response(200, "OK", "text/xml",
                       "<?xml version=\"1.0\"?>\n<iceresponse><message>" + std::string(message) +
                           "</message><return>1</return></iceresponse>\n"));
    }

    // Sends `text` and closes. Refusals are logged with who was refused and why (`why` adds
    // what the answer alone does not say), except the challenges every client meets first.
    void Reply(std::string text, const std::string& why = {},
               std::shared_ptr<const std::string> body = nullptr) {
        const int status = StatusOf(text);
        const bool refusal = status >= 400 || text == kIcyLoginRefused || text == kIcyStreamInUse;
        if (refusal && !m_quiet) {
            std::string what = LogSafe(m_what) + ": " + LogSafe(text.substr(0, text.find('\r')));
            if (!why.empty()) {
                what += " (" + why + ")";
            }
            m_core.LogRefusal(m_address, what);
        }
        m_mode = Mode::Done;
        m_answer = std::move(text);
        // A shared body (an HLS segment) goes out from where it is kept, not copied per client.
        m_body = std::move(body);
        std::vector<asio::const_buffer> buffers{asio::buffer(m_answer)};
        if (m_body) {
            buffers.push_back(asio::buffer(*m_body));
        }
        auto self = shared_from_this();
        m_transport->Write(buffers, [self](const asio::error_code&, size_t written) {
            self->m_core.Status().sentBytes.fetch_add(written, std::memory_order_relaxed);
            asio::error_code ignored;
            self->m_transport->Socket().shutdown(tcp::socket::shutdown_both, ignored);
            self->Close();
        });
    }

    tcp::socket m_socket;  // until the first byte told plain from TLS
    std::unique_ptr<Transport> m_transport;
    std::shared_ptr<TlsHandshake> m_handshake;
    HandshakeGate::Entry m_handshakePlace;  // in the core's books while the handshake is on
    std::chrono::steady_clock::time_point m_started;
    asio::steady_timer m_timer;
    PortKind m_kind;
    Mode m_mode;
    bool m_done = false;
    bool m_quiet = false;  // the answer is a normal step of a protocol, not worth a log line
    std::string m_address;
    std::string m_buffer;
    std::string m_answer;
    std::shared_ptr<const std::string> m_body;
    std::string m_what = "request";
    std::array<char, 4096> m_readBuffer{};
};

}  // namespace

void StartConnection(Core& core, tcp::socket socket, PortKind kind) {
    auto connection = std::make_shared<Connection>(core, std::move(socket), kind);
    connection->Start();
}

}  // namespace orvanta::engine
