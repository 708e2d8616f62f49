// The module cache is read from the program folder at every start, and whatever lies there
// under its name is read: loading must never crash, read past its records or allocate more
// than the file holds, and what loads must be the file's records, found by format as a plain
// walk finds them and saved back byte for byte.
#include "cache_fuzz_support.h"
#include "service/service_module_cache.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using orvanta::CServiceModuleCache;

namespace {

using cache_fuzz::ReadAll;
using cache_fuzz::WriteAll;

// How many records a file of these bytes holds, or -1 when it is no cache of ours.
long RecordsIn(const uint8_t* data, size_t size) {
    if (!cache_fuzz::IsOurCache(data, size, CServiceModuleCache::kMagic,
                                CServiceModuleCache::kHeaderSize,
                                CServiceModuleCache::kRecordSize)) {
        return -1;
    }
    return static_cast<long>((size - CServiceModuleCache::kHeaderSize) /
                             CServiceModuleCache::kRecordSize);
}

void CheckFindByFormat(const CServiceModuleCache& cache, uint32_t mask) {
    const ServiceModuleInfo* found = cache.FindByFormat(mask);
    const std::vector<ServiceModuleInfo>& records = cache.Records();
    const ServiceModuleInfo* expected = nullptr;
    for (const ServiceModuleInfo& record : records) {
        if ((record.formatMask & mask) == mask) {
            expected = &record;
            break;
        }
    }
    Require(found == expected, "FindByFormat is not the first record serving the format");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static cache_fuzz::Scratch scratch("fuzz-service-cache", CServiceModuleCache::kCacheFileName);
    static const uint8_t kNone[1] = {0};
    if (data == nullptr) {
        data = kNone;
    }
    WriteAll(scratch.cache, data, size);

    CServiceModuleCache cache;
    const bool held = cache.Init(scratch.folder, false);
    Require(held == (cache.Count() > 0), "Init's answer");
    const long expected = RecordsIn(data, size);
    // A refused file makes a scan of a folder without libraries: no records either way.
    Require(cache.Count() == (expected < 0 ? 0 : expected), "record count");
    const size_t bytes = static_cast<size_t>(cache.Count()) * CServiceModuleCache::kRecordSize;
    Require(bytes == 0 || std::memcmp(cache.Records().data(),
                                      data + CServiceModuleCache::kHeaderSize, bytes) == 0,
            "records differ from the file");

    size_t textBytes = 0;
    for (const ServiceModuleInfo& record : cache.Records()) {
        textBytes += ::strnlen(record.fileName, sizeof record.fileName);
        CheckFindByFormat(cache, record.formatMask);
        CheckFindByFormat(cache, record.formatMask & ORVANTA_FORMAT_MP3);
    }
    for (const uint32_t mask :
         {0u, ORVANTA_FORMAT_MP3, ORVANTA_FORMAT_WMA, ORVANTA_FORMAT_OGG_VORBIS, 0xFFFFFFFFu}) {
        CheckFindByFormat(cache, mask);
    }
    Require(textBytes <= bytes, "a file name read past its field");

    // What loaded saves back as the canonical header and the same records.
    if (held) {
        Require(cache.SaveCache(), "SaveCache failed");
        const std::string saved = ReadAll(scratch.cache);
        Require(saved.size() == CServiceModuleCache::kHeaderSize + bytes, "saved size");
        Require(std::memcmp(saved.data(), "OSC\0\1\0\0\0\x58\2\0\0", 12) == 0, "saved header");
        Require(std::memcmp(saved.data() + CServiceModuleCache::kHeaderSize,
                            data + CServiceModuleCache::kHeaderSize, bytes) == 0,
                "saved records");
    }
    Require(cache.Clear() && cache.Count() == 0 && cache.FindByFormat(0) == nullptr, "Clear");
    return 0;
}
