// The certificates the engine speaks TLS with. The server side serves the operator's PEM files
// (certificate chain and private key) and loads them again when they change on disk, so a
// renewed certificate reaches new connections without a restart while connections already
// open keep the one they began with. The client side (a relay's https:// upstream) verifies the
// peer against the system's trusted certificates and any the operator adds.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

namespace asio::ssl {
class context;
}

namespace orvanta::engine {

// What a loaded certificate says of itself, for the log and for tests.
struct CertificateFacts {
    std::string subject;
    std::string serial;  // hexadecimal
    std::time_t notAfter = 0;
};

// A server context from the two files: TLS 1.2 and 1.3 only, the library's default security
// level, no renegotiation, the chain and the key, which must match each other and be valid now.
// Null with the reason when they do not load.
std::shared_ptr<asio::ssl::context> LoadServerContext(const std::string& certificateFile,
                                                      const std::string& privateKeyFile,
                                                      CertificateFacts* facts, std::string* why);

// A client context that verifies peers against the system's trusted certificates and, when
// `trustedFile` is not empty, the PEM certificates in it (a private CA). Null with the reason
// when the file does not load.
std::shared_ptr<asio::ssl::context> MakeClientContext(const std::string& trustedFile,
                                                      std::string* why);

// The serving side's certificate over time. Lives on the engine's thread.
class TlsCertificates {
public:
    using Log = std::function<void(const std::string& line)>;
    // Expiry this close is worth a line in the log, once a day.
    static constexpr std::chrono::hours kExpiryWarning{14 * 24};

    explicit TlsCertificates(Log log) : m_log(std::move(log)) {}

    // The files to serve: loads them now when they differ from the files in use (logging the
    // outcome). Empty names turn TLS off.
    void Configure(const std::string& certificateFile, const std::string& privateKeyFile);
    // Looks at the files again: a pair that changed on disk and loads replaces the one in use;
    // one that does not load is logged (once per change) and the one in use stays. Logs an
    // expiry within kExpiryWarning once a day.
    void Check();

    // The context new connections get; null when TLS is off or nothing could be loaded.
    std::shared_ptr<asio::ssl::context> Current() const { return m_current; }
    const CertificateFacts& Facts() const { return m_facts; }

private:
    // Size, time and identity of both files, to tell a change.
    std::string Stamp() const;
    void Load();
    void WarnIfExpiring();

    Log m_log;
    std::string m_certificateFile;
    std::string m_privateKeyFile;
    std::string m_stamp;  // of the files when last tried
    std::shared_ptr<asio::ssl::context> m_current;
    CertificateFacts m_facts;
    std::chrono::steady_clock::time_point m_lastWarning;
    bool m_warned = false;
};

}  // namespace orvanta::engine
