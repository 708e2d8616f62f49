// A connection before we know what it is. On the listen port it carries an HTTP request: a
// listener, an Icecast-style source (SOURCE, PUT), a title update, a page. On the source port
// it carries a SHOUTcast-v1 login, or an HTTP request from clients that send their title
// updates there. The connection tells TLS from plain, reads and parses the request, and sends
// the answer; the route table picks the handler, and the handlers (engine/handlers/) decide the
// answer over the narrow view CoreActions gives them of the core.
#include "engine/core.h"
#include "engine/core_actions.h"
#include "engine/http_reply.h"
#include "engine/route_table.h"
#include "engine/transport.h"

#include <algorithm>
#include <array>
#include <string>
#include <sys/socket.h>

namespace orvanta::engine {

namespace {

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
            Refuse("(TLS on the SHOUTcast-v1 source port, which is plain)");
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
            Refuse("(a TLS handshake, but no certificate is loaded)");
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
            Refuse("(too many TLS handshakes under way)");
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

    // Closes without a word; `what` says why in the log.
    void Refuse(std::string_view what) {
        m_core.LogRefusal(m_address, what);
        Close();
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
                Send(Reply(kIcyLoginRefused,
                           "login line over " + std::to_string(kMaxIcyLineBytes) + " bytes"));
                return;
            }
            if (LooksLikeHttpRequestLine(line.line)) {
                m_mode = Mode::HttpHead;
            } else {
                m_buffer.erase(0, line.consumed);
                m_what = "source login";
                Dispatch([&line](const RequestContext& context, RequestActions& actions) {
                    return V1Login(line.line, context, actions);
                });
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
                Refuse("source login: header block too large");
                return;
            }
            m_buffer.erase(0, block.consumed);  // the audio that came with the headers stays
            Dispatch([&block](const RequestContext& context, RequestActions& actions) {
                return V1LoginHeaders(block.headers, context, actions);
            });
            return;
        }
        if (m_mode == Mode::HttpHead) {
            HeadResult head = ParseRequestHead(m_buffer);
            if (head.status == ParseStatus::Incomplete) {
                Read();
                return;
            }
            if (head.status == ParseStatus::TooLarge) {
                Send(Reply(PlainError(431, "Request Header Fields Too Large")));
                return;
            }
            if (head.status != ParseStatus::Complete) {
                Send(Reply(PlainError(400, "Bad Request")));
                return;
            }
            m_mode = Mode::Done;
            m_buffer.erase(0, head.consumed);  // a source's first audio stays
            // For the log: never the query, which may hold a password.
            m_what = head.request.method + " " + head.request.path;
            Dispatch([&head](const RequestContext& context, RequestActions& actions) {
                return FindHandler(head.request, context)(head.request, context, actions);
            });
        }
    }

    // Runs a handler over the engine as it is now, and carries out what it decided.
    template <typename Handle>
    void Dispatch(const Handle& handle) {
        CoreActions actions(m_core, m_address,
                            [this](std::string preface, CoreActions::Start start) {
                                HandOver(std::move(preface), std::move(start));
                            });
        Act(handle(actions.Context(m_transport->Secure()), actions));
    }

    void Act(Outcome outcome) {
        switch (outcome.kind) {
            case Outcome::Kind::Answer:
                Send(std::move(outcome.reply));
                return;
            case Outcome::Kind::Continue: {
                m_mode = Mode::IcyHeaders;
                WriteThen(std::move(outcome.reply.text), [](Connection& self) { self.Process(); });
                return;
            }
            case Outcome::Kind::HandedOver:
                return;
            case Outcome::Kind::Close:
                Close();
                return;
        }
    }

    // A session takes the connection, after `preface` has gone out.
    void HandOver(std::string preface, CoreActions::Start start) {
        if (preface.empty()) {
            TakeOver(start);
            return;
        }
        WriteThen(std::move(preface), [start](Connection& self) { self.TakeOver(start); });
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

    void TakeOver(const CoreActions::Start& start) {
        m_done = true;
        m_timer.cancel();
        start(std::move(m_transport), std::move(m_buffer));
    }

    // Sends the answer and closes. Refusals are logged with who was refused and why (`why` adds
    // what the answer alone does not say), except the challenges every client meets first.
    void Send(Reply reply) {
        const std::string& text = reply.text;
        const bool refusal =
            StatusOf(text) >= 400 || text == kIcyLoginRefused || text == kIcyStreamInUse;
        if (refusal && !reply.quiet) {
            std::string what = LogSafe(m_what) + ": " + LogSafe(text.substr(0, text.find('\r')));
            if (!reply.why.empty()) {
                what += " (" + reply.why + ")";
            }
            m_core.LogRefusal(m_address, what);
        }
        m_mode = Mode::Done;
        m_answer = std::move(reply.text);
        // A shared body (an HLS segment) goes out from where it is kept, not copied per client.
        m_body = std::move(reply.body);
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
