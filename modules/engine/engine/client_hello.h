// The first flight of a TLS client, looked at before any TLS state exists for it: the records
// that carry its ClientHello. A connection costs only the bytes that have arrived until the
// whole ClientHello is there, and a peer that sends something else is turned away without the
// library ever seeing it.
#pragma once

#include <cstddef>
#include <string_view>

namespace orvanta::engine {

// The most a ClientHello may take, record headers included: one full record. Browsers send a
// few hundred bytes to about two KiB (more with post-quantum key shares), always in one record.
inline constexpr size_t kMaxClientHelloBytes = 16 * 1024 + 5;

struct ClientHelloScan {
    enum class Status { Incomplete, Complete, Invalid };
    Status status = Status::Incomplete;
    // Incomplete: the bytes needed before another look can tell more (never more than
    // kMaxClientHelloBytes). Complete: the bytes the ClientHello's records take.
    size_t bytes = 0;
    const char* why = "";  // Invalid: what is wrong, for the log
};

// Looks at the first bytes of a connection: TLS handshake records that together hold a whole
// ClientHello, or not yet, or something else.
ClientHelloScan ScanClientHello(std::string_view received);

}  // namespace orvanta::engine
