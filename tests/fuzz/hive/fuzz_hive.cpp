// Whatever the reader makes of a hive file must survive being written and read back unchanged,
// since every write of a setting rewrites the whole file from what was read.
#include "platform/registry_hive.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using orvanta::platform::RegistryHive;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const RegistryHive::ParseResult first = RegistryHive::Parse(text);
    const std::string written = first.hive.Serialize();
    const RegistryHive::ParseResult second = RegistryHive::Parse(written);
    if (!second.errors.empty() || !(second.hive == first.hive) ||
        second.hive.Serialize() != written) {
        std::abort();
    }
    return 0;
}
