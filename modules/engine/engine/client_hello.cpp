#include "engine/client_hello.h"

#include <cstdint>

namespace orvanta::engine {

namespace {

constexpr size_t kRecordHeaderBytes = 5;
constexpr size_t kHandshakeHeaderBytes = 4;
constexpr uint8_t kHandshakeRecord = 0x16;
constexpr uint8_t kClientHello = 0x01;
// A record's plaintext is at most 2^14 bytes.
constexpr size_t kMaxRecordBytes = 16 * 1024;
// Version, random, and the shortest session id, cipher list and compression list there are.
constexpr size_t kMinClientHelloBody = 2 + 32 + 1 + 2 + 2 + 1 + 1;

uint8_t At(std::string_view bytes, size_t at) {
    return static_cast<uint8_t>(bytes[at]);
}

ClientHelloScan Invalid(const char* why) {
    return {ClientHelloScan::Status::Invalid, 0, why};
}

}  // namespace

ClientHelloScan ScanClientHello(std::string_view received) {
    size_t at = 0;
    // The handshake message may span records: its header as far as it has come, and the bytes
    // of it seen so far.
    uint8_t header[kHandshakeHeaderBytes] = {};
    size_t seen = 0;
    for (;;) {
        if (received.size() < at + kRecordHeaderBytes) {
            return {ClientHelloScan::Status::Incomplete, at + kRecordHeaderBytes, ""};
        }
        if (At(received, at) != kHandshakeRecord) {
            return Invalid("not a TLS handshake record");
        }
        if (At(received, at + 1) != 3) {
            return Invalid("not a TLS record version");
        }
        const size_t length = size_t{At(received, at + 3)} << 8 | At(received, at + 4);
        if (length == 0 || length > kMaxRecordBytes) {
            return Invalid("a TLS record of impossible length");
        }
        const size_t end = at + kRecordHeaderBytes + length;
        if (end > kMaxClientHelloBytes) {
            return Invalid("a ClientHello too large");
        }
        if (received.size() < end) {
            return {ClientHelloScan::Status::Incomplete, end, ""};
        }
        for (size_t i = 0; i < length && seen + i < kHandshakeHeaderBytes; ++i) {
            header[seen + i] = At(received, at + kRecordHeaderBytes + i);
        }
        seen += length;
        at = end;
        if (header[0] != kClientHello) {
            return Invalid("a TLS handshake that does not begin with a ClientHello");
        }
        if (seen < kHandshakeHeaderBytes) {
            continue;
        }
        const size_t body = size_t{header[1]} << 16 | size_t{header[2]} << 8 | header[3];
        if (body < kMinClientHelloBody || kHandshakeHeaderBytes + body > kMaxRecordBytes) {
            return Invalid("a ClientHello of impossible length");
        }
        if (seen >= kHandshakeHeaderBytes + body) {
            return {ClientHelloScan::Status::Complete, at, ""};
        }
    }
}

}  // namespace orvanta::engine
