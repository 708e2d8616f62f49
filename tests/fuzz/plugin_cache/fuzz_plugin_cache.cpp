// The plug-in cache is read from the program folder at every start, and whatever lies there
// under its name is read: loading must never crash, read past its records or allocate more
// than the file holds. What loads must be the file's records; FindNext must walk them as a
// plain loop does, and the records must save back byte for byte.
#include "cache_fuzz_support.h"
#include "plugins/plugin_catalog.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using orvanta::CPluginCatalog;

namespace {

// Every record of the kind from `start` on, as FindNext walks them with these masks.
void CheckWalk(CPluginCatalog& catalog, const PluginDescriptor* records, int count,
               const PluginDescriptor& q, bool active) {
    PluginDescriptor* record = nullptr;
    int expected = -1;
    for (int start = -1; start < count; start = expected) {
        expected = -1;
        for (int i = start + 1; i < count && expected < 0; ++i) {
            const PluginDescriptor& r = records[i];
            if (r.kind == q.kind && (r.capsA & q.capsA) != 0 && (r.capsB & q.capsB) != 0 &&
                (r.capsC & q.capsC) != 0 && (r.capsD & q.capsD) != 0 && (!active || r.active)) {
                expected = i;
            }
        }
        const int found =
            catalog.FindNext(start, q.kind, q.capsA, q.capsB, q.capsC, q.capsD, &record, active);
        Require(found == expected && (found < 0) == (record == nullptr), "FindNext");
        Require(found < 0 || std::memcmp(record, &records[found], sizeof *record) == 0,
                "FindNext's record is not the one at its index");
        if (found < 0) {
            return;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const cache_fuzz::Scratch scratch("fuzz-plugin-cache");
    const std::string path = scratch.folder + CPluginCatalog::kCacheFileName;
    cache_fuzz::WriteAll(path, data, size);

    CPluginCatalog catalog;
    const bool held = catalog.Init(scratch.folder, false);
    Require(held == (catalog.Count() > 0), "Init's answer");
    const size_t header = CPluginCatalog::kHeaderSize;
    const bool ours = cache_fuzz::IsOurCache(data, size, CPluginCatalog::kMagic, header,
                                             CPluginCatalog::kRecordSize);
    // A refused file makes a scan of a folder without libraries: no records either way.
    const int count = ours ? static_cast<int>((size - header) / CPluginCatalog::kRecordSize) : 0;
    Require(catalog.Count() == count, "record count");
    std::vector<PluginDescriptor> records(static_cast<size_t>(count));
    if (count > 0) {
        std::memcpy(records.data(), data + header, records.size() * sizeof(PluginDescriptor));
    }
    for (const PluginDescriptor& record : records) {
        CheckWalk(catalog, records.data(), count, record, false);
        CheckWalk(catalog, records.data(), count, record, true);
    }

    if (held) {
        const size_t bytes = records.size() * CPluginCatalog::kRecordSize;
        Require(catalog.SaveCache(), "SaveCache failed");
        const std::string saved = cache_fuzz::ReadAll(path);
        Require(saved.size() == header + bytes &&
                    std::memcmp(saved.data(), "OPC\0\1\0\0\0\xC4\6\0\0", header) == 0 &&
                    std::memcmp(saved.data() + header, data + header, bytes) == 0,
                "saved back differently");
    }
    return 0;
}
