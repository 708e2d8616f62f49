// The byte stream of one connection, plain TCP or TLS. Sessions read and write through it and
// never know which: the fan-out, the chunks and the ICY logic are the same for both.
#pragma once

#include <asio/ip/tcp.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace asio::ssl {
class context;
}

namespace orvanta::engine {

using asio::ip::tcp;

class Transport {
public:
    using Handler = std::function<void(const asio::error_code& ec, size_t bytes)>;

    virtual ~Transport() = default;

    // Reads what has arrived, at least one byte, as a socket's async_read_some does.
    virtual void ReadSome(asio::mutable_buffer buffer, Handler handler) = 0;
    // Writes every byte of `buffers`, which stay valid until the handler runs. One write at a
    // time; a read may be under way meanwhile.
    virtual void Write(const std::vector<asio::const_buffer>& buffers, Handler handler) = 0;
    void Write(asio::const_buffer buffer, Handler handler) {
        Write(std::vector<asio::const_buffer>{buffer}, std::move(handler));
    }
    // Closes the connection at once; operations under way end with operation_aborted.
    virtual void Close() = 0;
    // Tells the client the last answer is whole before Close: TLS sends its closing alert
    // (once, without waiting: a client that cannot take it loses nothing it asked for), then
    // the socket its end of stream. A TLS client that sees the connection cut without the
    // alert takes it as an attack on the answer and forgets the session it could resume.
    virtual void Finish() {
        asio::error_code ignored;
        Socket().shutdown(tcp::socket::shutdown_both, ignored);
    }

    virtual tcp::socket& Socket() = 0;
    // Whether the bytes travel encrypted (the client used https://).
    virtual bool Secure() const = 0;
};

std::unique_ptr<Transport> MakePlainTransport(tcp::socket socket);
// The first byte waiting on an accepted socket, left there for whoever reads it (it tells a TLS
// handshake from plain bytes); -1 when the peer closed.
int PeekFirstByte(tcp::socket& socket);

// No TLS state exists for an accepted connection until its ClientHello has arrived whole; a
// first flight that is not one is refused before the library sees it.
// Serves TLS on an accepted socket: the handshake with `context` (the certificate in use now),
// then `done` with the transport, or with null and the reason for the log. The caller bounds it
// in time by closing the socket (which ends the handshake with an error).
using TlsDone = std::function<void(std::unique_ptr<Transport> transport, const std::string& why)>;
class TlsHandshake;
std::shared_ptr<TlsHandshake> AcceptTls(tcp::socket socket,
                                        const std::shared_ptr<asio::ssl::context>& context,
                                        TlsDone done);
// The client side, for a relay's https:// upstream: the handshake with `context`, the peer's
// certificate verified against it and against `host` (the name is also sent for SNI).
std::shared_ptr<TlsHandshake> ConnectTls(tcp::socket socket,
                                         const std::shared_ptr<asio::ssl::context>& context,
                                         const std::string& host, TlsDone done);

// How many TLS states (OpenSSL's, tens of KiB each during a handshake) the process has made: one
// per connection whose ClientHello arrived, and one per upstream. For tests.
uint64_t TlsStatesMade();

// A handshake under way; Cancel closes its socket (the deadline's way to end it).
class TlsHandshake {
public:
    virtual ~TlsHandshake() = default;
    virtual void Cancel() = 0;
};

}  // namespace orvanta::engine
