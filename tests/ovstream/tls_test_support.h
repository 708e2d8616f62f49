// TLS for tests: certificates made with the `openssl` command (a private CA and leaves for
// 127.0.0.1), and a blocking TLS client on 127.0.0.1 that trusts that CA.
#pragma once

#include "ovstream/test_client.h"
#include "test_util.h"

#include <chrono>
#include <cstdlib>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <string>
#include <sys/socket.h>

namespace orvanta::test {

inline bool Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// A private CA in a folder of its own, issuing leaf certificates for 127.0.0.1 and localhost.
class TestCertificates {
public:
    TestCertificates() {
        WriteFile(m_dir.File("san.cnf"), "subjectAltName=IP:127.0.0.1,DNS:localhost\n");
        m_ok = Run("cd '" + m_dir.Path() +
                   "' && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes "
                   "-keyout ca.key -out ca.pem -days 30 -subj '/CN=Orvanta Test CA'");
    }

    bool Ok() const { return m_ok; }
    std::string Ca() const { return m_dir.File("ca.pem"); }
    std::string Certificate(const std::string& name) const { return m_dir.File(name + ".pem"); }
    std::string Key(const std::string& name) const { return m_dir.File(name + ".key"); }

    // `name`.pem and `name`.key, with this serial, valid for `days` from now (negative: expired).
    bool Issue(const std::string& name, int serial, int days = 30) {
        return Run("cd '" + m_dir.Path() +
                   "' && openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout " +
                   name + ".key -out " + name +
                   ".csr -subj /CN=localhost && openssl x509 -req -in " + name +
                   ".csr -CA ca.pem -CAkey ca.key -set_serial " + std::to_string(serial) +
                   " -days " + std::to_string(days) + " -extfile san.cnf -out " + name + ".pem");
    }

private:
    TempDir m_dir;
    bool m_ok = false;
};

// One TLS connection to 127.0.0.1:port that verifies the server against `caFile`.
class TlsTestClient {
public:
    // `receiveBuffer` (bytes, 0 for the system's choice) makes a listener that reads slowly;
    // `resume` offers a session of an earlier connection, as a reconnecting player does.
    TlsTestClient(uint16_t port, const std::string& caFile, int receiveBuffer = 0,
                  SSL_SESSION* resume = nullptr)
        : m_tcp(port, receiveBuffer) {
        m_context = SSL_CTX_new(TLS_client_method());
        SSL_CTX_load_verify_locations(m_context, caFile.c_str(), nullptr);
        SSL_CTX_set_verify(m_context, SSL_VERIFY_PEER, nullptr);
        if (!m_tcp.Connected()) {
            return;
        }
        timeval timeout{5, 0};
        ::setsockopt(m_tcp.Fd(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        m_ssl = SSL_new(m_context);
        SSL_set_fd(m_ssl, m_tcp.Fd());
        if (resume != nullptr) {
            SSL_set_session(m_ssl, resume);
        }
        m_connected = SSL_connect(m_ssl) == 1;
    }
    ~TlsTestClient() {
        if (m_ssl != nullptr) {
            // A client that says goodbye keeps its session resumable.
            if (m_connected) {
                SSL_shutdown(m_ssl);
            }
            SSL_free(m_ssl);
        }
        SSL_CTX_free(m_context);
    }
    TlsTestClient(const TlsTestClient&) = delete;
    TlsTestClient& operator=(const TlsTestClient&) = delete;

    // Whether the handshake finished and the certificate checked out.
    bool Connected() const { return m_connected; }

    bool Send(const std::string& bytes) {
        return m_connected && SSL_write(m_ssl, bytes.data(), static_cast<int>(bytes.size())) ==
                                  static_cast<int>(bytes.size());
    }

    // Reads until `count` bytes arrived (or `marker` did), the peer closed, or `timeoutMs` passed.
    std::string Read(size_t count, int timeoutMs = 5000, const std::string& marker = "") {
        std::string out;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (m_connected && out.size() < count && std::chrono::steady_clock::now() < deadline &&
               (marker.empty() || out.find(marker) == std::string::npos)) {
            char buffer[16384];
            const size_t want = marker.empty() ? std::min(sizeof buffer, count - out.size()) : 1;
            const int got = SSL_read(m_ssl, buffer, static_cast<int>(want));
            if (got <= 0) {
                break;
            }
            out.append(buffer, static_cast<size_t>(got));
        }
        return out;
    }
    std::string ReadUntil(const std::string& marker, int timeoutMs = 5000) {
        return Read(SIZE_MAX, timeoutMs, marker);
    }

    // The session to resume later (the caller frees it), once the server sent its tickets.
    SSL_SESSION* Session() const { return SSL_get1_session(m_ssl); }
    // The cipher the server chose.
    std::string Cipher() const {
        return m_connected ? SSL_CIPHER_get_name(SSL_get_current_cipher(m_ssl)) : "";
    }
    // Whether the handshake resumed the offered session instead of a full one.
    bool Resumed() const { return m_connected && SSL_session_reused(m_ssl) == 1; }

    // The server certificate's serial number, in hexadecimal ("" without one).
    std::string PeerSerial() const {
        if (!m_connected) {
            return "";
        }
        X509* peer = SSL_get1_peer_certificate(m_ssl);
        BIGNUM* number = ASN1_INTEGER_to_BN(X509_get0_serialNumber(peer), nullptr);
        char* hex = BN_bn2hex(number);
        std::string serial = hex;
        OPENSSL_free(hex);
        BN_free(number);
        X509_free(peer);
        return serial;
    }

private:
    TestClient m_tcp;  // the connection under the TLS, closed after it
    SSL_CTX* m_context = nullptr;
    SSL* m_ssl = nullptr;
    bool m_connected = false;
};

}  // namespace orvanta::test
