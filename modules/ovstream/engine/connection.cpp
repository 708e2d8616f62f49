// A connection before we know what it is. On the listen port it carries an HTTP request: a
// listener, an Icecast-style source (SOURCE, PUT), a title update, a page. On the source port
// it carries a SHOUTcast-v1 login, or an HTTP request from clients that send their title
// updates there.
#include "engine/core.h"
#include "engine/listener.h"
#include "engine/source.h"
#include "web/content.h"
#include "web/pages.h"

#include <array>
#include <string>

namespace orvanta::engine {

namespace {

constexpr const char kServerName[] = "Orvanta Server";
constexpr const char kAllowSource[] = "GET, PUT, OPTIONS, SOURCE";
constexpr const char kCorsHeaders[] =
    "Access-Control-Allow-Origin: *\r\n"
    "Access-Control-Allow-Methods: GET, OPTIONS, HEAD\r\n"
    "Access-Control-Allow-Headers: Content-Type, Icy-Metadata, Range\r\n"
    "Access-Control-Expose-Headers: Icy-MetaInt, Icy-Br, Icy-Description, Icy-Genre, Icy-Name, "
    "Ice-Audio-Info, Icy-Url, Icy-Sr, Icy-Vbr, Icy-Pub\r\n";
constexpr const char kIcyLoginOk[] = "OK2\r\nicy-caps:11\r\n\r\n";
constexpr const char kIcyLoginRefused[] = "invalid password\r\n";

std::string Response(int code, const std::string& reason, const std::string& contentType,
                     const std::string& body, const std::string& extraHeaders = {}) {
    std::string text = "HTTP/1.0 " + std::to_string(code) + " " + reason + "\r\n";
    text += "Server: " + std::string(kServerName) + "\r\n";
    if (!contentType.empty()) {
        text += "Content-Type: " + contentType + "\r\n";
    }
    text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    text += "Cache-Control: no-cache\r\nConnection: close\r\n";
    text += kCorsHeaders;
    text += extraHeaders;
    text += "\r\n";
    return text + body;
}

std::string PlainError(int code, const std::string& reason, const std::string& extra = {}) {
    return Response(code, reason, "text/plain; charset=utf-8", reason + "\n", extra);
}

bool Contains(const std::string* text, std::string_view part) {
    return text != nullptr && text->find(part) != std::string::npos;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// Header values from a source go back out in our own headers: no line breaks may pass.
std::string HeaderSafe(std::string_view text) {
    std::string out;
    for (char c : text) {
        out += (c == '\r' || c == '\n') ? ' ' : c;
    }
    return out;
}

class Connection : public Session, public std::enable_shared_from_this<Connection> {
public:
    Connection(Core& core, tcp::socket socket, bool sourcePort)
        : Session(core),
          m_socket(std::move(socket)),
          m_timer(core.Io()),
          m_mode(sourcePort ? Mode::FirstLine : Mode::HttpHead) {}

    void Start() {
        // Slow or silent clients do not hold a connection for ever.
        auto self = shared_from_this();
        m_timer.expires_after(std::chrono::seconds(kHeaderTimeoutSeconds));
        m_timer.async_wait([self](const asio::error_code& ec) {
            if (!ec) {
                self->Close();
            }
        });
        Read();
    }

    void Close() override {
        m_done = true;
        asio::error_code ec;
        m_socket.close(ec);
        m_timer.cancel();
    }

private:
    enum class Mode { FirstLine, HttpHead, IcyHeaders, Done };

    void Read() {
        auto self = shared_from_this();
        m_socket.async_read_some(asio::buffer(m_readBuffer),
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
                Close();
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
                Close();
                return;
            }
            std::string audio = m_buffer.substr(block.consumed);
            SourceInfo info = SourceInfoFromHeaders(block.headers);
            StreamFormat format = info.contentType.empty()
                                      ? StreamFormat::Mp3
                                      : FormatFromContentType(info.contentType);
            if (format == StreamFormat::Unknown) {
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

    // SHOUTcast v1: the password line, then OK2 at once (clients that pipeline their headers
    // have sent them already; the rest wait for it), then the header block.
    void IcyLogin(const std::string& line) {
        const EngineSettings& settings = m_core.Settings();
        m_what = IsPokeProbe(line) ? "source probe" : "source login";
        // A probe is just a wrong password, and never grounds to hold anything against the
        // address: libshout sends one before every real login.
        if (IsPokeProbe(line) || !IcyPasswordMatches(line, settings.sourcePassword)) {
            Reply(kIcyLoginRefused);
            return;
        }
        if (m_core.GetStation().HasSource()) {
            // v1 has no word for "in use"; a close is what encoders retry on.
            Close();
            return;
        }
        m_mode = Mode::IcyHeaders;
        auto self = shared_from_this();
        asio::async_write(m_socket, asio::buffer(kIcyLoginOk, sizeof kIcyLoginOk - 1),
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
        Station& station = m_core.GetStation();
        const EngineSettings& settings = m_core.Settings();
        const std::string& path = request.path;
        const std::string html = "text/html; charset=utf-8";
        std::string body;
        std::string type;
        if (path == "/7.html") {
            body = SevenHtml(station, settings);
            type = "text/html";
        } else if (path == "/played.html") {
            body = PlayedHtml(station);
            type = html;
        } else if (path == "/status-json.xsl" || path == "/status.json") {
            body = StatusJson(station, settings, StreamUrl(request), path == "/status.json");
            type = "application/json; charset=utf-8";
        } else if (path == "/listen.pls" || path == "/listen.m3u") {
            const std::string name =
                station.Info().name.empty() ? kServerName : station.Info().name;
            const bool pls = path == "/listen.pls";
            body = Playlist(StreamUrl(request), name, pls);
            type = pls ? "audio/x-scpls" : "audio/x-mpegurl";
        } else {
            // The content folder first; the station's own page where it has no index page.
            const std::string_view target(request.target);
            const ContentFile file =
                ResolveContent(settings.contentDirectory, target.substr(0, target.find('?')),
                               settings.indexPage, request.method != "HEAD");
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
                body = StationPage(station, settings);
                type = html;
            } else if (file.status == ContentStatus::Forbidden) {
                Reply(PlainError(403, "Forbidden"));
                return;
            } else {
                Reply(PlainError(404, "Not Found"));
                return;
            }
        }
        if (request.method == "HEAD") {
            std::string head = Response(200, "OK", type, body);
            head.resize(head.size() - body.size());
            Reply(std::move(head));
            return;
        }
        Reply(Response(200, "OK", type, body));
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
        return "http://" + host + "/stream";
    }

    bool SourcePasswordMatches(const Request& request) const {
        const std::string& password = m_core.Settings().sourcePassword;
        const std::string* authorization = request.Find("Authorization");
        if (password.empty() || authorization == nullptr) {
            return false;
        }
        const auto credentials = ParseBasicAuth(*authorization);
        // One password for the station: any user name goes with it ("source" by convention).
        return credentials && ConstantTimeEquals(credentials->password, password);
    }

    void HandleSource(const Request& request, std::string rest) {
        if (!SourcePasswordMatches(request)) {
            Reply(PlainError(401, "Unauthorized",
                             "WWW-Authenticate: Basic realm=\"" + std::string(kServerName) +
                                 "\"\r\nAllow: " + kAllowSource + "\r\n"));
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
            if (format == StreamFormat::Unknown) {
                Reply(PlainError(415, "Content-type not supported"));
                return;
            }
        }
        const bool chunked = Contains(request.Find("Transfer-Encoding"), "chunked");
        const bool expectContinue =
            request.Find("Expect") != nullptr &&
            Lower(*request.Find("Expect")).find("100-continue") != std::string::npos;
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
        asio::async_write(
            m_socket, asio::buffer(m_answer),
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
            std::make_shared<SourceSession>(m_core, std::move(m_socket), std::move(pending), format,
                                            std::move(info), mount, chunked);
        source->Start();
    }

    void HandleListener(const Request& request) {
        const EngineSettings& settings = m_core.Settings();
        Station& station = m_core.GetStation();
        if (settings.privateBroadcast != 0 && !PrivateListenerAdmitted(request)) {
            const std::string realm =
                station.Info().name.empty() ? kServerName : station.Info().name;
            Reply(PlainError(401, "Unauthorized",
                             "WWW-Authenticate: Basic realm=\"" + HeaderSafe(realm) + "\"\r\n"));
            return;
        }
        if (!station.HasSource()) {
            Reply(PlainError(404, "Stream not available"));
            return;
        }
        // Only audio listeners count against the limit; pages and updates never do.
        if (static_cast<int64_t>(station.ListenerCount()) >= settings.maxClients) {
            Reply(PlainError(503, "Maximum listeners reached"));
            return;
        }
        const bool icy = WantsIcyMetadata(request) && station.Format() == StreamFormat::Mp3;
        std::string head = ListenerHead(icy);
        if (request.method == "HEAD") {
            Reply(std::move(head));
            return;
        }
        m_done = true;
        m_timer.cancel();
        const std::string* agent = request.Find("User-Agent");
        auto listener = std::make_shared<ListenerSession>(
            m_core, std::move(m_socket), std::move(head), icy, agent != nullptr ? *agent : "");
        listener->Start();
    }

    bool PrivateListenerAdmitted(const Request& request) const {
        const std::string* authorization = request.Find("Authorization");
        if (authorization == nullptr) {
            return false;
        }
        const auto credentials = ParseBasicAuth(*authorization);
        if (!credentials) {
            return false;
        }
        const auto& users = m_core.Settings().privateUsers;
        const auto it = users.find(credentials->user);
        return it != users.end() && ConstantTimeEquals(credentials->password, it->second);
    }

    std::string ListenerHead(bool icy) const {
        const Station& station = m_core.GetStation();
        const SourceInfo& info = station.Info();
        std::string head = "HTTP/1.0 200 OK\r\n";
        head += "Content-Type: " + std::string(ContentTypeOf(station.Format())) + "\r\n";
        head += "Server: " + std::string(kServerName) + "\r\n";
        head += "Cache-Control: no-cache, no-store\r\nPragma: no-cache\r\nConnection: close\r\n";
        head += kCorsHeaders;
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
        const std::string& password = m_core.Settings().sourcePassword;
        const bool matches =
            !password.empty() && ((pass && ConstantTimeEquals(*pass, password)) ||
                                  (rawPass && ConstantTimeEquals(*rawPass, password)));
        if (!matches) {
            Reply(PlainError(401, "Unauthorized"));
            return;
        }
        const auto mode = QueryValue(query, "mode");
        const auto song = QueryValue(query, "song");
        if (!mode || *mode != "updinfo" || !song) {
            Reply(PlainError(400, "Bad Request"));
            return;
        }
        m_core.GetStation().SetTitle(*song, QueryValue(query, "url").value_or(""));
        Reply(Response(200, "OK", "text/html; charset=utf-8",
                       "<html><body>Update successful</body></html>\n"));
    }

    // Icecast-style title updates: Basic auth with the source password; "song", or "artist"
    // and "title" as Mixxx sends them.
    void AdminMetadata(const Request& request) {
        if (!SourcePasswordMatches(request)) {
            Reply(PlainError(
                401, "Unauthorized",
                "WWW-Authenticate: Basic realm=\"" + std::string(kServerName) + "\"\r\n"));
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
        m_core.GetStation().SetTitle(song, QueryValue(query, "url").value_or(""));
        Reply(Response(200, "OK", "text/xml",
                       "<?xml version=\"1.0\"?>\n<iceresponse><message>Metadata update "
                       "successful</message><return>1</return></iceresponse>\n"));
    }

    // Sends `text` and closes. Refusals are logged with who was refused and why.
    void Reply(std::string text) {
        if (text.rfind("HTTP/1.0 4", 0) == 0 || text.rfind("HTTP/1.0 5", 0) == 0 ||
            text == kIcyLoginRefused) {
            m_core.Log("Refused " + RemoteAddress(m_socket) + " " + LogSafe(m_what) + ": " +
                       LogSafe(text.substr(0, text.find('\r'))));
        }
        m_mode = Mode::Done;
        m_answer = std::move(text);
        auto self = shared_from_this();
        asio::async_write(
            m_socket, asio::buffer(m_answer), [self](const asio::error_code&, size_t written) {
                self->m_core.Status().sentBytes.fetch_add(written, std::memory_order_relaxed);
                asio::error_code ignored;
                self->m_socket.shutdown(tcp::socket::shutdown_both, ignored);
                self->Close();
            });
    }

    tcp::socket m_socket;
    asio::steady_timer m_timer;
    Mode m_mode;
    bool m_done = false;
    std::string m_buffer;
    std::string m_answer;
    std::string m_what = "request";
    std::array<char, 4096> m_readBuffer{};
};

}  // namespace

void StartConnection(Core& core, tcp::socket socket, bool sourcePort) {
    auto connection = std::make_shared<Connection>(core, std::move(socket), sourcePort);
    connection->Start();
}

}  // namespace orvanta::engine
