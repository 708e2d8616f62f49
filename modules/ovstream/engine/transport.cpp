#include "engine/transport.h"

#include <asio/ssl.hpp>
#include <asio/write.hpp>

#include <algorithm>

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

// Records of at most this many bytes go out per write; a TLS record holds 16 KiB.
constexpr size_t kTlsStagingBytes = 64 * 1024;
// What a listener's staging may keep between writes: a pass's audio, not its first burst.
constexpr size_t kTlsKeptStagingBytes = 16 * 1024;

class TlsTransport final : public Transport {
public:
    TlsTransport(tcp::socket socket, std::shared_ptr<asio::ssl::context> context)
        : m_context(std::move(context)), m_stream(std::move(socket), *m_context) {}

    void ReadSome(asio::mutable_buffer buffer, Handler handler) override {
        m_stream.async_read_some(buffer, std::move(handler));
    }

    void Write(const std::vector<asio::const_buffer>& buffers, Handler handler) override {
        // The TLS layer encrypts one buffer per record: many small buffers (an ICY block, a
        // chunk's tail) would each become a record and a system call. Copied into one piece
        // they go out as full records; the encryption copies every byte anyway.
        size_t total = 0;
        for (const asio::const_buffer& buffer : buffers) {
            total += buffer.size();
        }
        m_staging.clear();
        m_staging.reserve(std::min(total, kTlsStagingBytes));
        for (const asio::const_buffer& buffer : buffers) {
            const auto* bytes = static_cast<const char*>(buffer.data());
            m_staging.insert(m_staging.end(), bytes, bytes + buffer.size());
        }
        // The handler holds the connection, and with it this transport, until it has run.
        asio::async_write(
            m_stream, asio::buffer(m_staging),
            [this, handler = std::move(handler)](const asio::error_code& ec, size_t written) {
                if (m_staging.capacity() > kTlsKeptStagingBytes) {
                    std::vector<char>().swap(m_staging);
                }
                handler(ec, written);
            });
    }

    void Close() override {
        asio::error_code ignored;
        m_stream.lowest_layer().close(ignored);
    }
    tcp::socket& Socket() override { return m_stream.next_layer(); }
    bool Secure() const override { return true; }

    asio::ssl::stream<tcp::socket>& Stream() { return m_stream; }

private:
    std::shared_ptr<asio::ssl::context> m_context;
    asio::ssl::stream<tcp::socket> m_stream;
    std::vector<char> m_staging;
};

class Handshake final : public TlsHandshake, public std::enable_shared_from_this<Handshake> {
public:
    Handshake(tcp::socket socket, const std::shared_ptr<asio::ssl::context>& context, TlsDone done)
        : m_transport(std::make_unique<TlsTransport>(std::move(socket), context)),
          m_done(std::move(done)) {}

    void Start(asio::ssl::stream_base::handshake_type type) {
        auto self = shared_from_this();
        m_transport->Stream().async_handshake(type, [self](const asio::error_code& ec) {
            TlsDone done = std::move(self->m_done);
            if (!done) {
                return;
            }
            if (ec) {
                std::string why = Reason(ec);
                const long verified =
                    SSL_get_verify_result(self->m_transport->Stream().native_handle());
                if (verified != X509_V_OK) {
                    why += " (" + std::string(X509_verify_cert_error_string(verified)) + ")";
                }
                self->m_transport->Close();
                done(nullptr, why);
                return;
            }
            done(std::move(self->m_transport), "");
        });
    }

    void Cancel() override {
        if (m_transport) {
            m_transport->Close();
        }
    }

    TlsTransport& Transport() { return *m_transport; }

private:
    static std::string Reason(const asio::error_code& ec) {
        if (ec == asio::error::operation_aborted) {
            return "the TLS handshake did not finish in time";
        }
        if (ec == asio::error::eof || ec == asio::ssl::error::stream_truncated) {
            return "the TLS handshake stopped half way";
        }
        return "the TLS handshake failed: " + ec.message();
    }

    std::unique_ptr<TlsTransport> m_transport;
    TlsDone m_done;
};

}  // namespace

std::unique_ptr<Transport> MakePlainTransport(tcp::socket socket) {
    return std::make_unique<PlainTransport>(std::move(socket));
}

std::shared_ptr<TlsHandshake> AcceptTls(tcp::socket socket,
                                        const std::shared_ptr<asio::ssl::context>& context,
                                        TlsDone done) {
    auto handshake = std::make_shared<Handshake>(std::move(socket), context, std::move(done));
    handshake->Start(asio::ssl::stream_base::server);
    return handshake;
}

std::shared_ptr<TlsHandshake> ConnectTls(tcp::socket socket,
                                         const std::shared_ptr<asio::ssl::context>& context,
                                         const std::string& host, TlsDone done) {
    auto handshake = std::make_shared<Handshake>(std::move(socket), context, std::move(done));
    SSL* ssl = handshake->Transport().Stream().native_handle();
    // The name goes to the server (one address may serve many names) and is what its
    // certificate must be for.
    SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
             const_cast<char*>(host.c_str()));
    handshake->Transport().Stream().set_verify_mode(asio::ssl::verify_peer);
    handshake->Transport().Stream().set_verify_callback(asio::ssl::host_name_verification(host));
    handshake->Start(asio::ssl::stream_base::client);
    return handshake;
}

}  // namespace orvanta::engine
