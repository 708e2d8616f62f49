// The version-stamp finder reads files we did not make (any library in the program folder,
// language packs): it must never crash, hang or read out of bounds, whatever the bytes.
#include "platform/version_stamp.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto readAt = [data, size](uint64_t offset, void* out, size_t want) -> size_t {
        if (offset >= size) {
            return 0;
        }
        const size_t n = want < size - offset ? want : static_cast<size_t>(size - offset);
        std::memcpy(out, data + offset, n);
        return n;
    };
    auto info = orvanta::platform::FindFixedFileInfo(readAt, size);
    if (info && (info->dwSignature != ORVANTA_FIXED_FILE_INFO_SIGNATURE ||
                 info->dwStrucVersion != ORVANTA_FIXED_FILE_INFO_STRUC_VERSION)) {
        std::abort();
    }
    return 0;
}
