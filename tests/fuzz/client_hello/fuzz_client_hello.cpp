// The records of a ClientHello arrive in pieces of any size and are looked at after each. The
// scan must ask for no more than its cap, decide a shorter read the same way or wait, never
// claim bytes it was not given, and not change its mind for bytes past the ClientHello.
#include "engine/client_hello.h"
#include "fuzz_require.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace orvanta::engine;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);
    const ClientHelloScan scan = ScanClientHello(data);
    switch (scan.status) {
        case ClientHelloScan::Status::Incomplete:
            Require(scan.bytes > size && scan.bytes <= kMaxClientHelloBytes,
                    "asked for bytes it has, or past the cap");
            break;
        case ClientHelloScan::Status::Complete: {
            Require(scan.bytes > 0 && scan.bytes <= size, "claimed bytes it was not given");
            const ClientHelloScan exact = ScanClientHello(data.substr(0, scan.bytes));
            Require(exact.status == scan.status && exact.bytes == scan.bytes,
                    "bytes past the ClientHello changed the scan");
            break;
        }
        case ClientHelloScan::Status::Invalid:
            break;
    }
    for (const size_t length : {size / 2, size > 0 ? size - 1 : 0}) {
        const ClientHelloScan shorter = ScanClientHello(data.substr(0, length));
        Require(
            shorter.status == ClientHelloScan::Status::Incomplete || shorter.status == scan.status,
            "a shorter read decided differently");
        Require(shorter.status != ClientHelloScan::Status::Incomplete ||
                    scan.status != ClientHelloScan::Status::Incomplete ||
                    shorter.bytes <= scan.bytes,
                "a longer read asked for less");
    }
    return 0;
}
