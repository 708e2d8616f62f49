// What one TLS connection's library state costs the server, at each step of a listener's life:
// CONNECTIONS connections (default 1,000) over socket pairs, the server side in this process
// with the engine's own context (LoadServerContext, on a P-256 certificate made here), the
// client side in a child process so that none of its allocations count. The heap in use
// (mallinfo2, glibc's chunk headers included) is read after SSL_new, after the handshake and
// after one pass of audio (17,700 bytes) has been written, when the record buffers have gone
// back to the heap.
//
// Usage: tls_state_bench [CONNECTIONS]
#include "engine/tls_context.h"

#include <asio/ssl/context.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <malloc.h>
#include <memory>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kSampleBytes = 17700;  // a second of 128 kbit/s audio with its ICY blocks

bool MakeCertificate(const std::string& certificateFile, const std::string& keyFile) {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* certificate = X509_new();
    bool made = key != nullptr && certificate != nullptr;
    if (made) {
        ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
        X509_gmtime_adj(X509_getm_notBefore(certificate), -60);
        X509_gmtime_adj(X509_getm_notAfter(certificate), 86400);
        X509_set_pubkey(certificate, key);
        X509_NAME* name = X509_get_subject_name(certificate);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
        X509_set_issuer_name(certificate, name);
        made = X509_sign(certificate, key, EVP_sha256()) > 0;
    }
    FILE* out = made ? std::fopen(certificateFile.c_str(), "w") : nullptr;
    made = out != nullptr && PEM_write_X509(out, certificate) == 1;
    if (out != nullptr) {
        std::fclose(out);
    }
    out = made ? std::fopen(keyFile.c_str(), "w") : nullptr;
    made = out != nullptr &&
           PEM_write_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    if (out != nullptr) {
        std::fclose(out);
    }
    X509_free(certificate);
    EVP_PKEY_free(key);
    return made;
}

size_t HeapInUse() {
    return mallinfo2().uordblks;
}

// The client side, in the child: connects each socket in turn, then reads each one's pass, then
// waits for the parent to close its end of `hold`.
[[noreturn]] void RunClients(const std::vector<int>& sockets, int hold) {
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    std::vector<SSL*> clients;
    for (const int socket : sockets) {
        SSL* ssl = SSL_new(context);
        SSL_set_fd(ssl, socket);
        if (SSL_connect(ssl) != 1) {
            std::fprintf(stderr, "a client handshake failed\n");
            std::_Exit(1);
        }
        clients.push_back(ssl);
    }
    std::vector<char> pass(kSampleBytes);
    for (SSL* ssl : clients) {
        size_t got = 0;
        while (got < pass.size()) {
            size_t n = 0;
            if (SSL_read_ex(ssl, pass.data() + got, pass.size() - got, &n) != 1) {
                std::fprintf(stderr, "a client read failed\n");
                std::_Exit(1);
            }
            got += n;
        }
    }
    char byte = 0;
    while (::read(hold, &byte, 1) > 0) {
    }
    std::_Exit(0);
}

}  // namespace

int main(int argc, char** argv) {
    const long connections = argc > 1 ? std::clamp(std::atol(argv[1]), 1L, 8000L) : 1000;
    char pattern[] = "/tmp/tls-state-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string folder = pattern;
    const std::string certificateFile = folder + "/cert.pem";
    const std::string keyFile = folder + "/key.pem";
    std::string why;
    orvanta::engine::CertificateFacts facts;
    std::shared_ptr<asio::ssl::context> context;
    if (MakeCertificate(certificateFile, keyFile)) {
        context = orvanta::engine::LoadServerContext(certificateFile, keyFile, &facts, &why);
    } else {
        why = "the certificate could not be made";
    }
    std::filesystem::remove_all(folder);
    if (!context) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return 1;
    }

    // Two descriptors a connection: the soft limit goes up to the hard one.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    std::vector<int> serverEnds;
    std::vector<int> clientEnds;
    for (long i = 0; i < connections; ++i) {
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) {
            std::perror("socketpair (the open-file limit?)");
            return 1;
        }
        serverEnds.push_back(pair[0]);
        clientEnds.push_back(pair[1]);
    }
    int hold[2];
    if (::pipe(hold) != 0) {
        std::perror("pipe");
        return 1;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(hold[1]);
        RunClients(clientEnds, hold[0]);
    }
    ::close(hold[0]);
    for (const int socket : clientEnds) {
        ::close(socket);
    }

    const auto perConnection = [&](size_t before) {
        return static_cast<double>(HeapInUse() - before) / static_cast<double>(connections);
    };
    const size_t start = HeapInUse();
    std::vector<SSL*> servers;
    for (const int socket : serverEnds) {
        SSL* ssl = SSL_new(context->native_handle());
        SSL_set_fd(ssl, socket);
        servers.push_back(ssl);
    }
    const double made = perConnection(start);
    for (SSL* ssl : servers) {
        if (SSL_accept(ssl) != 1) {
            std::fprintf(stderr, "a server handshake failed\n");
            return 1;
        }
    }
    const double handshaken = perConnection(start);
    const std::vector<char> pass(kSampleBytes, 'x');
    for (SSL* ssl : servers) {
        size_t written = 0;
        if (SSL_write_ex(ssl, pass.data(), pass.size(), &written) != 1) {
            std::fprintf(stderr, "a server write failed\n");
            return 1;
        }
    }
    const double written = perConnection(start);
    std::printf("connections %ld, %s\n", connections, SSL_get_cipher(servers.front()));
    std::printf(
        "heap per connection: after SSL_new %.0f B, after the handshake %.0f B, "
        "after a %zu-byte pass %.0f B\n",
        made, handshaken, kSampleBytes, written);
    ::close(hold[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
