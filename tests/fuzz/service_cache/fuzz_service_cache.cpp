// The module cache is read from the program folder at every start, and whatever lies there
// under its name is read: loading must never crash, read past its records or allocate more
// than the file holds, and what loads must be the file's records, found by format as a plain
// walk finds them and saved back byte for byte.
#include "cache_fuzz_support.h"
#include "service/service_module_cache.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using orvanta::CServiceModuleCache;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const cache_fuzz::Scratch scratch("fuzz-service-cache");
    const std::string path = scratch.folder + CServiceModuleCache::kCacheFileName;
    cache_fuzz::WriteAll(path, data, size);

    CServiceModuleCache cache;
    const bool held = cache.Init(scratch.folder, false);
    Require(held == (cache.Count() > 0), "Init's answer");
    const size_t header = CServiceModuleCache::kHeaderSize;
    const size_t bytes = static_cast<size_t>(cache.Count()) * CServiceModuleCache::kRecordSize;
    // A refused file makes a scan of a folder without libraries: no records either way.
    const bool ours = cache_fuzz::IsOurCache(data, size, CServiceModuleCache::kMagic, header,
                                             CServiceModuleCache::kRecordSize);
    Require(bytes == (ours ? (size - header) / CServiceModuleCache::kRecordSize *
                                 CServiceModuleCache::kRecordSize
                           : 0),
            "record count");
    Require(bytes == 0 || std::memcmp(cache.Records().data(), data + header, bytes) == 0,
            "records differ from the file");

    // FindByFormat answers the first record serving every bit, as a plain walk finds it.
    std::vector<uint32_t> masks = {0u, ORVANTA_FORMAT_MP3, ORVANTA_FORMAT_WMA,
                                   ORVANTA_FORMAT_OGG_VORBIS, 0xFFFFFFFFu};
    for (const ServiceModuleInfo& record : cache.Records()) {
        masks.push_back(record.formatMask);
    }
    for (const uint32_t mask : masks) {
        const ServiceModuleInfo* expected = nullptr;
        for (size_t i = cache.Records().size(); i-- > 0;) {
            if ((cache.Records()[i].formatMask & mask) == mask) {
                expected = &cache.Records()[i];
            }
        }
        Require(cache.FindByFormat(mask) == expected, "FindByFormat");
    }

    if (held) {
        Require(cache.SaveCache(), "SaveCache failed");
        const std::string saved = cache_fuzz::ReadAll(path);
        Require(saved.size() == header + bytes &&
                    std::memcmp(saved.data(), "OSC\0\1\0\0\0\x58\2\0\0", header) == 0 &&
                    std::memcmp(saved.data() + header, data + header, bytes) == 0,
                "saved back differently");
    }
    return 0;
}
