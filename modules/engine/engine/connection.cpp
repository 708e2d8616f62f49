// A connection before we know what it is. On the listen port it carries an HTTP request: a
// listener, an Icecast-style source (SOURCE, PUT), a title update, a page. On the source port
// it carries a SHOUTcast-v1 login, or an HTTP request from clients that send their title
// updates there. The connection tells TLS from plain, reads and parses the request, and sends
// the answer; the route table picks the handler, and the handlers (engine/handlers/) decide the
// answer over the narrow view CoreActions gives them of the core.
#include "engine/core.h"
#include "engine/core_actions.h"
#include "engine/http_reply.h"
#include "engine/request_parser.h"
#include "engine/route_table.h"
#include "engine/transport.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <functional>
#include <optional>
#include <string>

namespace orvanta::engine {

namespace {

// How long a report or an export has to be gathered and sent.
constexpr auto kReportDeadline = std::chrono::minutes(2);
// Requests one kept-open connection may carry before it is closed like any other: a player
// polling a playlist reconnects now and then, and no client holds a connection for ever.
constexpr int kMaxRequestsPerConnection = 1000;

// Whether a comma-separated header value such as Connection's lists `token`.
bool ListsToken(std::string_view value, std::string_view token) {
    while (!value.empty()) {
        const size_t comma = value.find(',');
        if (EqualsIgnoreCase(TrimSpaceTab(value.substr(0, comma)), token)) {
            return true;
        }
        value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
    }
    return false;
}

// Whether the client would take the connection on to its next request: HTTP/1.1 unless it
// says "close", HTTP/1.0 only when it says "keep-alive". Only requests without a body qualify.
bool WantsConnectionKept(const Request& request) {
    if (request.method != "GET" && request.method != "HEAD") {
        return false;
    }
    const std::string* connection = request.Find("Connection");
    const auto says = [connection](std::string_view token) {
        return connection != nullptr && ListsToken(*connection, token);
    };
    if (request.version == "HTTP/1.1") {
        return !says("close");
    }
    return request.version == "HTTP/1.0" && says("keep-alive");
}

class Connection : public Session, public std::enable_shared_from_this<Connection> {
public:
    Connection(Core& core, tcp::socket socket, PortKind kind)
        : Session(core.Context()),
          m_core(core),
          m_socket(std::move(socket)),
          m_timer(core.Io()),
          m_kind(kind),
          m_parser(kind == PortKind::Source) {}

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
            self->Detected(PeekFirstByte(self->m_socket));
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
    void Detected(int firstByte) {
        constexpr int kTlsHandshakeRecord = 0x16;
        if (firstByte < 0) {
            Close();
            return;
        }
        const bool tls = firstByte == kTlsHandshakeRecord;
        if (tls) {
            m_core.Status().tlsHandshakes.fetch_add(1, std::memory_order_relaxed);
        }
        if (m_kind == PortKind::Source && tls) {
            // Encoders speak the v1 login in the clear; a TLS client here has the wrong port.
            RefuseHandshake("(TLS on the SHOUTcast-v1 source port, which is plain)");
            return;
        }
        if (!tls) {
            m_transport = MakePlainTransport(std::move(m_socket));
            if (m_kind == PortKind::TlsOnly) {
                m_what = "plain request on the TLS-only port";
                Send(Reply(PlainError(400, "This port speaks only HTTPS")));
                return;
            }
            Read();
            return;
        }
        auto context = m_core.TlsContext();
        if (!context) {
            RefuseHandshake("(a TLS handshake, but no certificate is loaded)");
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
            RefuseHandshake("(too many TLS handshakes under way)");
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
                if (!transport) {
                    // Failed, or ended by the deadline or for a newer handshake (Cancel).
                    self->m_core.Status().tlsHandshakeFailures.fetch_add(1,
                                                                         std::memory_order_relaxed);
                }
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

    // Closes without a word; `what` says why in the log.
    void Refuse(std::string_view what) {
        m_core.LogRefusal(m_address, what);
        Close();
    }
    // As Refuse, for a TLS handshake turned away before it began.
    void RefuseHandshake(std::string_view what) {
        m_core.Status().tlsHandshakeFailures.fetch_add(1, std::memory_order_relaxed);
        Refuse(what);
    }

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
            } else if (!self->m_answered && self->m_served == 0) {
                // A kept-open connection's client simply had nothing more to ask.
                self->m_core.LogRefusal(self->m_address, "(timed out waiting for its request)");
            }
            self->Close();
        });
    }

    // Reads what the client sent next and hands it to `then` (the request head's parser, or a
    // POST's body); an error or a closed connection ends the connection instead.
    template <typename Then>
    void ReadMore(Then then) {
        auto self = shared_from_this();
        m_transport->ReadSome(asio::buffer(m_readBuffer),
                              [self, then](const asio::error_code& ec, size_t n) {
                                  if (ec || self->m_done) {
                                      self->Close();
                                      return;
                                  }
                                  then(*self, std::string_view(self->m_readBuffer.data(), n));
                              });
    }

    void Read() {
        ReadMore([](Connection& self, std::string_view bytes) {
            self.m_parser.Append(bytes);
            self.Process();
        });
    }

    void Process() {
        using Kind = RequestParser::Step::Kind;
        RequestParser::Step step = m_parser.Next();
        if (!step.what.empty()) {
            m_what = std::move(step.what);
        }
        switch (step.kind) {
            case Kind::NeedMore:
                Read();
                return;
            case Kind::Answer:
                Send(std::move(step.reply));
                return;
            case Kind::Drop:
                Refuse(step.why);
                return;
            case Kind::HttpRequest:
                m_answered = true;
                m_keepOpen = m_kind != PortKind::Source && WantsConnectionKept(step.request) &&
                             m_served + 1 < kMaxRequestsPerConnection;
                if (step.request.method == "POST") {
                    ReadBody(std::move(step));
                    return;
                }
                [[fallthrough]];
            case Kind::V1Line:
            case Kind::V1Headers:
                Dispatch(step);
                return;
        }
    }

    // A POST is a form: its whole body comes before the handler runs, within the deadline of the
    // request head. Bodies without a length, or longer than a form ever is, are refused.
    void ReadBody(RequestParser::Step step) {
        const std::string* length = step.request.Find("Content-Length");
        if (length == nullptr || step.request.Find("Transfer-Encoding") != nullptr) {
            Send(Reply(PlainError(411, "Length Required")));
            return;
        }
        size_t bytes = 0;
        const auto [end, ec] =
            std::from_chars(length->data(), length->data() + length->size(), bytes);
        if (ec != std::errc() || end != length->data() + length->size()) {
            Send(Reply(PlainError(400, "Bad Request")));
            return;
        }
        if (bytes > kMaxPostBodyBytes) {
            Send(Reply(PlainError(413, "Payload Too Large")));
            return;
        }
        m_bodyBytes = bytes;
        m_body = m_parser.TakeRest();
        m_post = std::move(step);
        const std::string* expect = m_post.request.Find("Expect");
        if (expect != nullptr && EqualsIgnoreCase(*expect, "100-continue") &&
            m_body.size() < m_bodyBytes) {
            WriteThen("HTTP/1.1 100 Continue\r\n\r\n", [](Connection& self) { self.BodyRead(); });
            return;
        }
        BodyRead();
    }

    void BodyRead() {
        if (m_body.size() >= m_bodyBytes) {
            m_post.request.body = m_body.substr(0, m_bodyBytes);
            std::string().swap(m_body);
            Dispatch(m_post);
            return;
        }
        ReadMore([](Connection& self, std::string_view bytes) {
            self.m_body.append(bytes);
            self.BodyRead();
        });
    }

    // Runs the step's handler over the engine as it is now, and carries out what it decided.
    void Dispatch(const RequestParser::Step& step) {
        using Kind = RequestParser::Step::Kind;
        // The operator's bans, in one place for everything a connection may ask: listeners,
        // sources on either port, HLS, pages, the console itself.
        if (m_core.Banned(m_address)) {
            Send(Reply(PlainError(403, "Forbidden"), "a banned address"));
            return;
        }
        CoreActions actions(m_core, m_address, std::bind_front(&Connection::HandOver, this));
        RequestContext context = actions.Context(m_transport->Secure());
        context.passwordChecked = m_passwordChecked;
        Act(step.kind == Kind::V1Line ? V1Login(step.line, context, actions)
            : step.kind == Kind::V1Headers
                ? V1LoginHeaders(step.headers, context, actions)
                : FindHandler(step.request, context)(step.request, context, actions));
    }

    void Act(Outcome outcome) {
        switch (outcome.kind) {
            case Outcome::Kind::Answer:
                Send(std::move(outcome.reply));
                return;
            case Outcome::Kind::Continue:
                m_parser.ExpectV1Headers();
                WriteThen(std::move(outcome.reply.text), [](Connection& self) { self.Process(); });
                return;
            case Outcome::Kind::HandedOver:
                return;
            case Outcome::Kind::Close:
                Close();
                return;
            case Outcome::Kind::CheckPassword: {
                auto self = shared_from_this();
                const bool started = m_core.CheckPassword(
                    std::move(outcome.reply.text), std::move(outcome.secret), [self](bool right) {
                        if (!self->m_done) {
                            self->m_passwordChecked = right;
                            self->Dispatch(self->m_post);
                        }
                    });
                if (!started) {
                    Send(Reply(PlainError(503, "Service Unavailable", "Retry-After: 2\r\n"),
                               "too many password checks under way"));
                }
                return;
            }
            case Outcome::Kind::Report: {
                // A long export may take longer to gather and send than a request head.
                SetDeadline(std::chrono::steady_clock::now() + kReportDeadline);
                auto self = shared_from_this();
                const bool started =
                    m_core.RunReport(std::move(outcome.report), [self](Reply reply) {
                        if (!self->m_done) {
                            self->Send(std::move(reply));
                        }
                    });
                if (!started) {
                    Send(Reply(PlainError(503, "Service Unavailable", "Retry-After: 5\r\n"),
                               "too many reports under way"));
                }
                return;
            }
        }
    }

    // A session takes the connection, after `preface` (when not empty) has gone out.
    void HandOver(std::string preface, CoreActions::Start start) {
        auto takeOver = [start = std::move(start)](Connection& self) {
            self.m_done = true;
            self.m_timer.cancel();
            start(std::move(self.m_transport), self.m_parser.TakeRest());
        };
        if (preface.empty()) {
            takeOver(*this);
            return;
        }
        WriteThen(std::move(preface), std::move(takeOver));
    }

    // Sends `text`, then goes on with `next` unless the write failed.
    void WriteThen(std::string text, std::function<void(Connection&)> next) {
        m_answer = std::move(text);
        auto self = shared_from_this();
        m_transport->Write(asio::buffer(m_answer),
                           [self, next = std::move(next)](const asio::error_code& ec, size_t) {
                               if (ec) {
                                   self->Close();
                                   return;
                               }
                               next(*self);
                           });
    }

    // Sends the answer and closes. Refusals are logged with who was refused and why (`why` adds
    // what the answer alone does not say), except the challenges every client meets first.
    void Send(Reply reply) {
        if (const std::string line = RefusalLine(m_what, reply); !line.empty()) {
            m_core.LogRefusal(m_address, line);
        }
        m_answered = true;
        m_answer = std::move(reply.text);
        const bool keepOpen = m_keepOpen && KeepConnectionOpen(m_answer, IdleSeconds());
        m_keepOpen = false;
        // A shared body (an HLS segment) goes out from where it is kept, not copied per client.
        std::vector<asio::const_buffer> buffers{asio::buffer(m_answer)};
        if (reply.body) {
            buffers.push_back(asio::buffer(*reply.body));
        }
        auto self = shared_from_this();
        m_transport->Write(buffers, [self, keepOpen, body = std::move(reply.body)](
                                        const asio::error_code& ec, size_t written) {
            self->m_core.Status().sentBytes.fetch_add(written, std::memory_order_relaxed);
            if (keepOpen && !ec && !self->m_done) {
                self->AwaitNextRequest();
                return;
            }
            self->m_transport->Finish();
            self->Close();
        });
    }

    int IdleSeconds() const {
        return static_cast<int>(
            std::chrono::duration_cast<std::chrono::seconds>(m_core.Settings().headerTimeout)
                .count());
    }

    // The answer went out on a kept-open connection: the next request is read as the first
    // was, from what the client already sent after the last one, within the idle time.
    void AwaitNextRequest() {
        ++m_served;
        m_answered = false;
        m_what = "request";
        m_passwordChecked.reset();
        std::string pipelined = m_parser.TakeRest();
        m_parser = RequestParser(false);
        m_parser.Append(pipelined);
        SetDeadline(std::chrono::steady_clock::now() + m_core.Settings().headerTimeout);
        Process();
    }

    Core& m_core;
    tcp::socket m_socket;  // until the first byte told plain from TLS
    std::unique_ptr<Transport> m_transport;
    std::shared_ptr<TlsHandshake> m_handshake;
    HandshakeGate::Entry m_handshakePlace;  // in the core's books while the handshake is on
    std::chrono::steady_clock::time_point m_started;
    asio::steady_timer m_timer;
    PortKind m_kind;
    RequestParser m_parser;
    bool m_done = false;
    bool m_answered = false;  // the request head has come, or the answer has gone
    bool m_keepOpen = false;  // the request under way may leave the connection open
    int m_served = 0;         // requests answered on this connection so far
    std::string m_address;
    std::string m_answer;
    std::string m_what = "request";
    // A password checked for this request (only POSTs ask for one).
    std::optional<bool> m_passwordChecked;
    // A POST waiting for its body.
    RequestParser::Step m_post;
    std::string m_body;
    size_t m_bodyBytes = 0;
    std::array<char, 4096> m_readBuffer{};
};

}  // namespace

void StartConnection(Core& core, tcp::socket socket, PortKind kind) {
    auto connection = std::make_shared<Connection>(core, std::move(socket), kind);
    connection->Start();
}

}  // namespace orvanta::engine
