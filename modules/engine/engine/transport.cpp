#include "engine/transport.h"

#include "engine/client_hello.h"

#include <asio/ip/address.hpp>
#include <asio/post.hpp>
#include <asio/ssl.hpp>
#include <asio/write.hpp>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <optional>
#include <sys/socket.h>

namespace orvanta::engine {

namespace {

class PlainTransport final : public Transport {
public:
    explicit PlainTransport(tcp::socket socket) : m_socket(std::move(socket)) {}

    void ReadSome(asio::mutable_buffer buffer, Handler handler) override {
        m_socket.async_read_some(buffer, std::move(handler));
    }
    void Write(const std::vector<asio::const_buffer>& buffers, Handler handler) override {
        // A gather write: the kernel takes every buffer in one call.
        asio::async_write(m_socket, buffers, std::move(handler));
    }
    void Close() override {
        asio::error_code ignored;
        m_socket.close(ignored);
    }
    tcp::socket& Socket() override { return m_socket; }
    bool Secure() const override { return false; }

private:
    tcp::socket m_socket;
};

std::atomic<uint64_t> g_tlsStatesMade{0};

// What the thread's staging and sealing buffers keep between writes: a few passes' audio, not
// a first burst or an HLS segment.
constexpr size_t kTlsStagingBytes = 64 * 1024;

// What a failed TLS call means, in the terms of asio's own TLS stream, so the sessions and the
// log tell a closed connection from a broken one the same way for both transports.
asio::error_code TlsError(int code) {
    switch (code) {
        case SSL_ERROR_ZERO_RETURN:
            return asio::error::eof;
        case SSL_ERROR_SYSCALL:
            // The peer went away without a word, or the socket failed.
            return errno != 0 ? asio::error_code(errno, asio::error::get_system_category())
                              : asio::error_code(asio::ssl::error::stream_truncated);
        default: {
            const unsigned long reason = ERR_peek_last_error();
            ERR_clear_error();
            if (ERR_GET_REASON(reason) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
                return asio::ssl::error::stream_truncated;
            }
            return {static_cast<int>(reason), asio::error::get_ssl_category()};
        }
    }
}

// TLS straight on the socket: OpenSSL reads the descriptor itself, the records of a write reach
// it in one system call, and the event loop only waits for readiness. A byte is copied into the
// record being sealed, the record into the write's batch, and the batch by the kernel; a stream
// layered on a pair of memory buffers would copy it twice more between the library and the
// socket.
class TlsTransport final : public Transport {
public:
    using Done = std::function<void(const asio::error_code& ec)>;

    // `early`: bytes of the peer's already read from the socket, which OpenSSL reads first.
    TlsTransport(tcp::socket socket, std::shared_ptr<asio::ssl::context> context,
                 std::string_view early = {})
        : m_context(std::move(context)),
          m_socket(std::move(socket)),
          m_ssl(SSL_new(m_context->native_handle())) {
        asio::error_code ignored;
        m_socket.non_blocking(true, ignored);
        if (m_ssl != nullptr) {
            g_tlsStatesMade.fetch_add(1, std::memory_order_relaxed);
            BIO* reading = early.empty() ? BIO_new_socket(m_socket.native_handle(), BIO_NOCLOSE)
                                         : MemoryFirst(early);
            BIO* writing = WriteChain();
            if (reading == nullptr || writing == nullptr) {
                BIO_free(reading);
                BIO_free_all(writing);
                m_ssl.reset();
                return;
            }
            SSL_set_bio(m_ssl.get(), reading, writing);
            m_readingEarly = !early.empty();
            // Each finished record counts, so a retry after a full socket goes on where the
            // last one ended; the staging may move between retries.
            SSL_set_mode(m_ssl.get(),
                         SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
        }
    }

    SSL* Native() { return m_ssl.get(); }

    // Runs the handshake to its end, waiting for the socket in between. `done` runs from the
    // event loop, never inside this call.
    void Handshake(Done done) {
        asio::post(m_socket.get_executor(), [this, done = std::move(done)]() mutable {
            ContinueHandshake(std::move(done));
        });
    }

    void ReadSome(asio::mutable_buffer buffer, Handler handler) override {
        if (!Usable()) {
            Post(std::move(handler), asio::error::bad_descriptor, 0);
            return;
        }
        size_t read = 0;
        ERR_clear_error();
        const int result = SSL_read_ex(m_ssl.get(), buffer.data(), buffer.size(), &read);
        if (result == 1) {
            Post(std::move(handler), {}, read);
            return;
        }
        const int code = SSL_get_error(m_ssl.get(), result);
        if (TurnToSocket(code)) {
            ReadSome(buffer, std::move(handler));
            return;
        }
        if (!IsWait(code)) {
            Post(std::move(handler), TlsError(code), 0);
            return;
        }
        Wait(code,
             [this, buffer, handler = std::move(handler)](const asio::error_code& ec) mutable {
                 if (ec) {
                     handler(ec, 0);
                 } else {
                     ReadSome(buffer, std::move(handler));
                 }
             });
    }

    void Write(const std::vector<asio::const_buffer>& buffers, Handler handler) override {
        // Every byte is sealed now, so nothing of the caller's (or of the thread's staging) is
        // needed once this returns; what the socket cannot take yet waits sealed in m_unsent.
        asio::error_code failure = asio::error::bad_descriptor;
        size_t sealed = 0;
        if (Usable()) {
            const asio::const_buffer plain =
                buffers.size() == 1 ? buffers.front() : Gathered(buffers);
            failure = Seal(plain, sealed);
        }
        ContinueWrite(std::move(handler), failure, sealed, true);
    }

    void Close() override {
        asio::error_code ignored;
        m_socket.close(ignored);
    }
    void Finish() override {
        if (Usable() && SSL_is_init_finished(m_ssl.get())) {
            ERR_clear_error();
            SSL_shutdown(m_ssl.get());
            ERR_clear_error();
        }
        Transport::Finish();
    }
    tcp::socket& Socket() override { return m_socket; }
    bool Secure() const override { return true; }

private:
    struct SslFree {
        void operator()(SSL* ssl) const { SSL_free(ssl); }
    };

    // OpenSSL holds the descriptor's number: once the socket is closed the number may belong
    // to another connection, so nothing may reach the library after Close.
    bool Usable() const { return m_ssl != nullptr && m_socket.is_open(); }

    static bool IsWait(int code) {
        return code == SSL_ERROR_WANT_READ || code == SSL_ERROR_WANT_WRITE;
    }
    // Waits for the socket to be ready for what OpenSSL asked for.
    template <typename Then>
    void Wait(int code, Then then) {
        m_socket.async_wait(
            code == SSL_ERROR_WANT_READ ? tcp::socket::wait_read : tcp::socket::wait_write,
            std::move(then));
    }

    // What OpenSSL reads first: `early` from memory, then (TurnToSocket) the socket.
    static BIO* MemoryFirst(std::string_view early) {
        BIO* memory = BIO_new(BIO_s_mem());
        if (memory == nullptr || BIO_write(memory, early.data(), static_cast<int>(early.size())) !=
                                     static_cast<int>(early.size())) {
            BIO_free(memory);
            return nullptr;
        }
        // Empty, it asks to be retried like a socket with nothing waiting: that is the moment
        // to turn to the socket.
        BIO_set_mem_eof_return(memory, -1);
        return memory;
    }

    // What OpenSSL writes to: the socket, behind a filter that holds the records of one Write
    // so that they leave in one system call (see Sealed).
    BIO* WriteChain() {
        BIO* filter = BIO_new(HoldMethod());
        BIO* socket = BIO_new_socket(m_socket.native_handle(), BIO_NOCLOSE);
        if (filter == nullptr || socket == nullptr) {
            BIO_free(filter);
            BIO_free(socket);
            return nullptr;
        }
        BIO_set_data(filter, this);
        return BIO_push(filter, socket);
    }

    // The filter's method: records go to the socket, except while a Write seals them (they
    // gather in Sealed) or while records sealed earlier still wait for room in the socket
    // (they queue behind those in m_unsent, so that nothing overtakes them).
    static BIO_METHOD* HoldMethod() {
        // Freed when the module is unloaded, after every connection has closed.
        static const std::unique_ptr<BIO_METHOD, decltype(&BIO_meth_free)> method(
            [] {
                BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_FILTER, "hold");
                BIO_meth_set_write_ex(
                    made, [](BIO* bio, const char* data, size_t size, size_t* written) {
                        BIO_clear_retry_flags(bio);
                        auto* self = static_cast<TlsTransport*>(BIO_get_data(bio));
                        if (self->m_sealing || !self->m_unsent.empty()) {
                            (self->m_sealing ? Sealed() : self->m_unsent).append(data, size);
                            *written = size;
                            return 1;
                        }
                        const int result = BIO_write_ex(BIO_next(bio), data, size, written);
                        BIO_copy_next_retry(bio);
                        return result;
                    });
                BIO_meth_set_ctrl(made, [](BIO* bio, int command, long number, void* pointer) {
                    return BIO_ctrl(BIO_next(bio), command, number, pointer);
                });
                BIO_meth_set_create(made, [](BIO* bio) {
                    BIO_set_init(bio, 1);
                    return 1;
                });
                return made;
            }(),
            &BIO_meth_free);
        return method.get();
    }

    // The records one Write sealed, shared by every connection of the event loop's thread: a
    // write pass seals each listener's records here and hands them to the kernel at once, so a
    // pass of a little over one record's audio costs one system call, not two.
    static std::string& Sealed() {
        thread_local std::string sealed;
        return sealed;
    }

    // When OpenSSL wants more and has read all of the early bytes: it reads the socket from now
    // on, and the call is to be repeated at once (the socket may hold what it wants).
    bool TurnToSocket(int code) {
        if (!m_readingEarly || code != SSL_ERROR_WANT_READ ||
            BIO_ctrl_pending(SSL_get_rbio(m_ssl.get())) != 0) {
            return false;
        }
        BIO* socket = BIO_new_socket(m_socket.native_handle(), BIO_NOCLOSE);
        if (socket == nullptr) {
            return false;
        }
        SSL_set0_rbio(m_ssl.get(), socket);
        m_readingEarly = false;
        return true;
    }

    void ContinueHandshake(Done done) {
        if (!Usable()) {
            done(asio::error::bad_descriptor);
            return;
        }
        ERR_clear_error();
        const int result = SSL_do_handshake(m_ssl.get());
        if (result == 1) {
            done({});
            return;
        }
        const int code = SSL_get_error(m_ssl.get(), result);
        if (TurnToSocket(code)) {
            ContinueHandshake(std::move(done));
            return;
        }
        if (!IsWait(code)) {
            done(TlsError(code));
            return;
        }
        Wait(code, [this, done = std::move(done)](const asio::error_code& ec) mutable {
            if (ec) {
                done(ec);
            } else {
                ContinueHandshake(std::move(done));
            }
        });
    }

    void Post(Handler handler, asio::error_code ec, size_t bytes) {
        // Handlers never run inside the call that started the operation, as with asio's own.
        asio::post(m_socket.get_executor(),
                   [handler = std::move(handler), ec, bytes] { handler(ec, bytes); });
    }

    // Runs `handler` once every sealed record has left (or the connection failed); `first`
    // when called from Write itself, whose handler must not run inside it.
    void ContinueWrite(Handler handler, asio::error_code failure, size_t sealed, bool first) {
        while (!failure && !m_unsent.empty()) {
            if (!Usable()) {
                failure = asio::error::bad_descriptor;
            } else if (!SendUnsent(failure) && !failure) {
                m_socket.async_wait(tcp::socket::wait_write,
                                    [this, handler = std::move(handler),
                                     sealed](const asio::error_code& ec) mutable {
                                        ContinueWrite(std::move(handler), ec, sealed, false);
                                    });
                return;
            }
        }
        if (!first) {
            handler(failure, sealed);
            return;
        }
        asio::post(m_socket.get_executor(),
                   [handler = std::move(handler), failure, sealed] { handler(failure, sealed); });
    }

    // The pieces of one write in one piece, in a buffer the event loop's thread shares: OpenSSL
    // seals one buffer per record, so many small pieces (an ICY block, a chunk's tail) would each
    // become a record. Sealing ends before the buffer is used again, so no connection keeps one.
    static asio::const_buffer Gathered(const std::vector<asio::const_buffer>& buffers) {
        thread_local std::vector<char> staging;
        if (staging.capacity() > kTlsStagingBytes) {
            // The last was a first burst's: not kept for the passes that follow.
            std::vector<char>().swap(staging);
        }
        staging.clear();
        for (const asio::const_buffer& buffer : buffers) {
            const auto* bytes = static_cast<const char*>(buffer.data());
            staging.insert(staging.end(), bytes, bytes + buffer.size());
        }
        return asio::buffer(staging);
    }

    // Seals all of `plain`, in records as full as the library makes them, and offers them to the
    // socket in one call behind any that wait already; what it does not take waits in m_unsent.
    // `sealed`: how many of the plain bytes went into records.
    asio::error_code Seal(asio::const_buffer plain, size_t& sealed) {
        std::string& records = Sealed();
        records.clear();
        m_sealing = true;
        int code = SSL_ERROR_NONE;
        while (sealed < plain.size()) {
            size_t written = 0;
            ERR_clear_error();
            const int result =
                SSL_write_ex(m_ssl.get(), static_cast<const char*>(plain.data()) + sealed,
                             plain.size() - sealed, &written);
            if (result != 1) {
                code = SSL_get_error(m_ssl.get(), result);
                break;
            }
            sealed += written;
        }
        m_sealing = false;
        asio::error_code failure;
        const size_t sent = m_unsent.empty() ? SendWhatFits(records, failure) : 0;
        if (!failure && sent < records.size()) {
            m_unsent.append(records, sent);
        }
        if (records.capacity() > kTlsStagingBytes * 2) {
            std::string().swap(records);
        }
        // The filter never asks to be retried: a failure here is the library's own.
        return failure ? failure : code != SSL_ERROR_NONE ? TlsError(code) : failure;
    }

    // Hands `bytes` to the socket until it is full: how many it took. A failure other than a
    // full socket is set in `failure`.
    size_t SendWhatFits(std::string_view bytes, asio::error_code& failure) {
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(m_socket.native_handle(), bytes.data() + sent,
                                     bytes.size() - sent, MSG_NOSIGNAL);
            if (n >= 0) {
                sent += static_cast<size_t>(n);
            } else if (errno != EINTR) {
                if (errno != EAGAIN && errno != EWOULDBLOCK) {
                    failure.assign(errno, asio::error::get_system_category());
                }
                break;
            }
        }
        return sent;
    }

    // Sends what waits in m_unsent: true once all of it went, false when the socket is full
    // (or failed, with `failure` set).
    bool SendUnsent(asio::error_code& failure) {
        m_unsentAt += SendWhatFits(std::string_view(m_unsent).substr(m_unsentAt), failure);
        if (m_unsentAt < m_unsent.size()) {
            return false;
        }
        std::string().swap(m_unsent);
        m_unsentAt = 0;
        return true;
    }

    std::shared_ptr<asio::ssl::context> m_context;
    tcp::socket m_socket;
    std::unique_ptr<SSL, SslFree> m_ssl;
    bool m_readingEarly = false;
    bool m_sealing = false;  // a Write is sealing records into Sealed()
    // Sealed records the socket has not taken yet, from m_unsentAt on.
    std::string m_unsent;
    size_t m_unsentAt = 0;
};

// Bytes of a ClientHello read at once: a connection's read grows its buffer by this much at most.
constexpr size_t kHelloReadBytes = 512;

class Handshake final : public TlsHandshake, public std::enable_shared_from_this<Handshake> {
public:
    struct ServerSide {};

    // The client side: the TLS state at once, since the client speaks first.
    Handshake(tcp::socket socket, const std::shared_ptr<asio::ssl::context>& context, TlsDone done)
        : m_transport(std::make_unique<TlsTransport>(std::move(socket), context)),
          m_done(std::move(done)) {}
    // The server side: no TLS state until the client's ClientHello has arrived whole, so a
    // handshake held open half way costs its bytes and no more.
    Handshake(ServerSide, tcp::socket socket, std::shared_ptr<asio::ssl::context> context,
              TlsDone done)
        : m_socket(std::move(socket)), m_context(std::move(context)), m_done(std::move(done)) {}

    void AwaitHello() {
        const ClientHelloScan scan = ScanClientHello(m_hello);
        if (scan.status == ClientHelloScan::Status::Invalid) {
            Fail(std::string("the TLS handshake was refused: ") + scan.why);
            return;
        }
        if (scan.status == ClientHelloScan::Status::Complete) {
            m_transport = std::make_unique<TlsTransport>(std::move(*m_socket), m_context, m_hello);
            m_socket.reset();
            std::string().swap(m_hello);
            if (SSL* ssl = m_transport->Native()) {
                SSL_set_accept_state(ssl);
            }
            Start();
            return;
        }
        // Never past the ClientHello's records: what follows is OpenSSL's to read.
        const size_t want = std::min(scan.bytes - m_hello.size(), m_chunk.size());
        auto self = shared_from_this();
        m_socket->async_read_some(asio::buffer(m_chunk.data(), want),
                                  [self](const asio::error_code& ec, size_t n) {
                                      if (ec) {
                                          self->Fail(Reason(ec));
                                          return;
                                      }
                                      self->m_hello.append(self->m_chunk.data(), n);
                                      self->AwaitHello();
                                  });
    }

    void Start() {
        auto self = shared_from_this();
        m_transport->Handshake([self](const asio::error_code& ec) {
            if (ec) {
                std::string why = Reason(ec);
                SSL* ssl = self->m_transport->Native();
                const long verified = ssl != nullptr ? SSL_get_verify_result(ssl) : X509_V_OK;
                if (verified != X509_V_OK) {
                    why += " (" + std::string(X509_verify_cert_error_string(verified)) + ")";
                }
                self->Fail(why);
                return;
            }
            if (TlsDone done = std::move(self->m_done)) {
                done(std::move(self->m_transport), "");
            }
        });
    }

    void Cancel() override {
        asio::error_code ignored;
        if (m_socket) {
            m_socket->close(ignored);
        }
        if (m_transport) {
            m_transport->Close();
        }
    }

    TlsTransport& Transport() { return *m_transport; }

private:
    static std::string Reason(const asio::error_code& ec) {
        if (ec == asio::error::operation_aborted || ec == asio::error::bad_descriptor) {
            return "the TLS handshake did not finish in time";
        }
        if (ec == asio::error::eof || ec == asio::ssl::error::stream_truncated) {
            return "the TLS handshake stopped half way";
        }
        return "the TLS handshake failed: " + ec.message();
    }

    void Fail(const std::string& why) {
        Cancel();
        if (TlsDone done = std::move(m_done)) {
            done(nullptr, why);
        }
    }

    // Until the ClientHello is whole (server side): the socket and what came so far.
    std::optional<tcp::socket> m_socket;
    std::shared_ptr<asio::ssl::context> m_context;
    std::string m_hello;
    std::array<char, kHelloReadBytes> m_chunk{};
    std::unique_ptr<TlsTransport> m_transport;
    TlsDone m_done;
};

}  // namespace

std::unique_ptr<Transport> MakePlainTransport(tcp::socket socket) {
    return std::make_unique<PlainTransport>(std::move(socket));
}

int PeekFirstByte(tcp::socket& socket) {
    unsigned char first = 0;
    const ssize_t got = ::recv(socket.native_handle(), &first, 1, MSG_PEEK);
    return got == 1 ? first : -1;
}

std::shared_ptr<TlsHandshake> AcceptTls(tcp::socket socket,
                                        const std::shared_ptr<asio::ssl::context>& context,
                                        TlsDone done) {
    auto handshake = std::make_shared<Handshake>(Handshake::ServerSide{}, std::move(socket),
                                                 context, std::move(done));
    handshake->AwaitHello();
    return handshake;
}

uint64_t TlsStatesMade() {
    return g_tlsStatesMade.load(std::memory_order_relaxed);
}

std::shared_ptr<TlsHandshake> ConnectTls(tcp::socket socket,
                                         const std::shared_ptr<asio::ssl::context>& context,
                                         const std::string& host, TlsDone done) {
    auto handshake = std::make_shared<Handshake>(std::move(socket), context, std::move(done));
    if (SSL* ssl = handshake->Transport().Native()) {
        SSL_set_connect_state(ssl);
        // The peer's certificate must be for the name (or address) the operator gave; a name
        // also goes to the server, since one address may serve many names.
        asio::error_code notAddress;
        asio::ip::make_address(host, notAddress);
        if (notAddress) {
            SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                     const_cast<char*>(host.c_str()));
            SSL_set1_host(ssl, host.c_str());
        } else {
            X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str());
        }
        SSL_set_verify(ssl, SSL_VERIFY_PEER, nullptr);
    }
    handshake->Start();
    return handshake;
}

}  // namespace orvanta::engine
