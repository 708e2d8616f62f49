#include "engine/tls_context.h"

#include <asio/ssl/context.hpp>

#include <algorithm>
#include <iterator>
#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace orvanta::engine {

namespace {

// A certificate chain or a key is a few KiB; a file far larger is a mistake, and reading and
// parsing it would hold up the event loop.
constexpr off_t kMaxPemBytes = 256 * 1024;

bool MinimumTls12(SSL_CTX* context) {
    return SSL_CTX_ctrl(context, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr) == 1;
}

// The ciphers this machine runs fastest go first: AES-128-GCM (AES instructions on every x86 and
// arm64 server), then ChaCha20-Poly1305, which a client without AES instructions (an older
// phone) puts first and is given (SSL_OP_PRIORITIZE_CHACHA). The library's other defaults stay
// behind them, in their order, for old players. AES-256 costs 40% more per byte and protects a
// public radio stream no better.
constexpr char kTls13Suites[] =
    "TLS_AES_128_GCM_SHA256:TLS_CHACHA20_POLY1305_SHA256:TLS_AES_256_GCM_SHA384";
constexpr const char* kTls12First[] = {
    "ECDHE-ECDSA-AES128-GCM-SHA256", "ECDHE-RSA-AES128-GCM-SHA256", "ECDHE-ECDSA-CHACHA20-POLY1305",
    "ECDHE-RSA-CHACHA20-POLY1305"};

bool PreferFastCiphers(SSL_CTX* context) {
    std::string list;
    for (const char* name : kTls12First) {
        list += std::string(list.empty() ? "" : ":") + name;
    }
    const STACK_OF(SSL_CIPHER)* defaults = SSL_CTX_get_ciphers(context);
    for (int i = 0; i < sk_SSL_CIPHER_num(defaults); ++i) {
        const SSL_CIPHER* cipher = sk_SSL_CIPHER_value(defaults, i);
        // TLS 1.3's suites are set on their own; the list takes the older ones only.
        if (std::string_view(SSL_CIPHER_get_version(cipher)) != "TLSv1.3") {
            const std::string name = SSL_CIPHER_get_name(cipher);
            if (std::find(std::begin(kTls12First), std::end(kTls12First), name) ==
                std::end(kTls12First)) {
                list += ":" + name;
            }
        }
    }
    SSL_CTX_set_options(context, SSL_OP_PRIORITIZE_CHACHA);
    return SSL_CTX_set_ciphersuites(context, kTls13Suites) == 1 &&
           SSL_CTX_set_cipher_list(context, list.c_str()) == 1;
}

bool UsableFile(const std::string& path, const char* what, std::string* why) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        *why = std::string("cannot read the ") + what + " " + path;
        return false;
    }
    if (!S_ISREG(info.st_mode) || info.st_size > kMaxPemBytes) {
        *why = std::string("the ") + what + " " + path + " is not a PEM file of at most " +
               std::to_string(kMaxPemBytes / 1024) + " KiB";
        return false;
    }
    return true;
}

std::string Hex(const ASN1_INTEGER* serial) {
    BIGNUM* number = ASN1_INTEGER_to_BN(serial, nullptr);
    if (number == nullptr) {
        return "?";
    }
    char* text = BN_bn2hex(number);
    std::string hex = text != nullptr ? text : "?";
    OPENSSL_free(text);
    BN_free(number);
    return hex;
}

CertificateFacts FactsOf(X509* certificate) {
    CertificateFacts facts;
    char subject[256] = {};
    X509_NAME_oneline(X509_get_subject_name(certificate), subject, sizeof subject);
    facts.subject = subject;
    facts.serial = Hex(X509_get0_serialNumber(certificate));
    std::tm until{};
    if (ASN1_TIME_to_tm(X509_get0_notAfter(certificate), &until) == 1) {
        facts.notAfter = timegm(&until);
    }
    return facts;
}

std::string Date(std::time_t when) {
    std::tm utc{};
    gmtime_r(&when, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &utc);
    return text;
}

}  // namespace

std::shared_ptr<asio::ssl::context> LoadServerContext(const std::string& certificateFile,
                                                      const std::string& privateKeyFile,
                                                      CertificateFacts* facts, std::string* why) {
    std::string reason;
    if (!UsableFile(certificateFile, "certificate file", &reason) ||
        !UsableFile(privateKeyFile, "private key file", &reason)) {
        *why = reason;
        return nullptr;
    }
    auto context = std::make_shared<asio::ssl::context>(asio::ssl::context::tls_server);
    SSL_CTX* native = context->native_handle();
    // No SSL 3.0, TLS 1.0 or 1.1; no renegotiation, which only ever served attacks here.
    if (!MinimumTls12(native)) {
        *why = "the TLS library refuses TLS 1.2 as the lowest version";
        return nullptr;
    }
    SSL_CTX_set_options(
        native, SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_COMPRESSION | SSL_OP_CIPHER_SERVER_PREFERENCE);
    if (!PreferFastCiphers(native)) {
        *why = "the TLS library refuses the engine's choice of ciphers";
        return nullptr;
    }
    // A listener's connection is idle between two write passes; its record buffers go back to
    // the heap meanwhile instead of staying with each of thousands of connections.
    SSL_CTX_set_mode(native, SSL_MODE_RELEASE_BUFFERS);
    // The key first: a chain loaded after it that does not match is caught below, by name,
    // rather than as a library's "key values mismatch".
    asio::error_code ec;
    context->use_private_key_file(privateKeyFile, asio::ssl::context::pem, ec);
    if (ec) {
        *why = "the private key file " + privateKeyFile + " does not load: " + ec.message();
        return nullptr;
    }
    context->use_certificate_chain_file(certificateFile, ec);
    if (ec) {
        *why = "the certificate file " + certificateFile + " does not load: " + ec.message();
        return nullptr;
    }
    if (SSL_CTX_check_private_key(native) != 1) {
        *why = "the private key does not belong to the certificate";
        return nullptr;
    }
    X509* leaf = SSL_CTX_get0_certificate(native);
    if (leaf == nullptr) {
        *why = "the certificate file holds no certificate";
        return nullptr;
    }
    if (X509_cmp_current_time(X509_get0_notAfter(leaf)) <= 0) {
        *why = "the certificate expired on " + Date(FactsOf(leaf).notAfter);
        return nullptr;
    }
    if (X509_cmp_current_time(X509_get0_notBefore(leaf)) >= 0) {
        *why = "the certificate is not valid yet";
        return nullptr;
    }
    *facts = FactsOf(leaf);
    return context;
}

std::shared_ptr<asio::ssl::context> MakeClientContext(const std::string& trustedFile,
                                                      std::string* why) {
    auto context = std::make_shared<asio::ssl::context>(asio::ssl::context::tls_client);
    if (!MinimumTls12(context->native_handle())) {
        *why = "the TLS library refuses TLS 1.2 as the lowest version";
        return nullptr;
    }
    asio::error_code ec;
    context->set_default_verify_paths(ec);
    if (!trustedFile.empty()) {
        std::string reason;
        if (!UsableFile(trustedFile, "trusted certificates file", &reason)) {
            *why = reason;
            return nullptr;
        }
        context->load_verify_file(trustedFile, ec);
        if (ec) {
            *why =
                "the trusted certificates file " + trustedFile + " does not load: " + ec.message();
            return nullptr;
        }
    }
    context->set_verify_mode(asio::ssl::verify_peer);
    return context;
}

std::string TlsCertificates::Stamp() const {
    std::string stamp;
    for (const std::string* file : {&m_certificateFile, &m_privateKeyFile}) {
        struct stat info {};
        if (::stat(file->c_str(), &info) != 0) {
            stamp += "missing;";
            continue;
        }
        stamp += std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + ":" +
                 std::to_string(info.st_size) + ":" + std::to_string(info.st_mtim.tv_sec) + "." +
                 std::to_string(info.st_mtim.tv_nsec) + ";";
    }
    return stamp;
}

void TlsCertificates::Configure(const std::string& certificateFile,
                                const std::string& privateKeyFile) {
    if (certificateFile == m_certificateFile && privateKeyFile == m_privateKeyFile) {
        return;
    }
    m_certificateFile = certificateFile;
    m_privateKeyFile = privateKeyFile;
    m_stamp.clear();
    if (certificateFile.empty() || privateKeyFile.empty()) {
        if (m_current) {
            m_log("TLS off: no certificate and private key configured");
        }
        m_current.reset();
        return;
    }
    Load();
}

void TlsCertificates::Check() {
    if (m_certificateFile.empty() || m_privateKeyFile.empty()) {
        return;
    }
    if (Stamp() != m_stamp) {
        Load();
    }
    WarnIfExpiring();
}

void TlsCertificates::Load() {
    m_stamp = Stamp();
    CertificateFacts facts;
    std::string why;
    auto context = LoadServerContext(m_certificateFile, m_privateKeyFile, &facts, &why);
    if (!context) {
        m_log("TLS certificate not loaded: " + why +
              (m_current ? "; the one loaded before stays in use"
                         : "; https:// connections are refused until it loads"));
        return;
    }
    const bool renewed = m_current != nullptr;
    m_current = std::move(context);
    m_facts = std::move(facts);
    m_warned = false;
    m_log(std::string(renewed ? "TLS certificate renewed: " : "TLS certificate loaded: ") +
          m_facts.subject + ", serial " + m_facts.serial + ", valid until " +
          Date(m_facts.notAfter));
    WarnIfExpiring();
}

void TlsCertificates::WarnIfExpiring() {
    if (!m_current) {
        return;
    }
    const auto left =
        std::chrono::system_clock::from_time_t(m_facts.notAfter) - std::chrono::system_clock::now();
    const auto now = std::chrono::steady_clock::now();
    if (left > kExpiryWarning || (m_warned && now - m_lastWarning < std::chrono::hours(24))) {
        return;
    }
    m_warned = true;
    m_lastWarning = now;
    m_log("TLS certificate " + m_facts.subject + " expires on " + Date(m_facts.notAfter) +
          "; renew it (the new files are picked up without a restart)");
}

}  // namespace orvanta::engine
