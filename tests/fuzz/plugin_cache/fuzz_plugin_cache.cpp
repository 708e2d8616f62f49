// The plug-in cache is read from the program folder at every start, and whatever lies there
// under its name is read: loading must never crash, read past its records or allocate more
// than the file holds. What loads must be the file's records; FindNext must walk them as a
// plain loop does, the joined texts must take each text within its own field, and the records
// must save back byte for byte.
#include "cache_fuzz_support.h"
#include "plugins/plugin_catalog.h"

#include <cctype>
#include <climits>
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

using orvanta::CPluginCatalog;

namespace {

using cache_fuzz::ReadAll;
using cache_fuzz::WriteAll;

// The records a file of these bytes holds; `ours` is false when it is no cache of ours.
std::vector<PluginDescriptor> RecordsIn(const uint8_t* data, size_t size, bool* ours) {
    std::vector<PluginDescriptor> records;
    *ours = cache_fuzz::IsOurCache(data, size, CPluginCatalog::kMagic, CPluginCatalog::kHeaderSize,
                                   CPluginCatalog::kRecordSize);
    if (*ours && size >= CPluginCatalog::kHeaderSize + CPluginCatalog::kRecordSize) {
        records.resize((size - CPluginCatalog::kHeaderSize) / CPluginCatalog::kRecordSize);
        std::memcpy(records.data(), data + CPluginCatalog::kHeaderSize,
                    records.size() * sizeof(PluginDescriptor));
    }
    return records;
}

struct Query {
    int32_t kind;
    uint32_t masks[4];
    bool requireActive;
};

bool Matches(const PluginDescriptor& record, const Query& q) {
    return record.kind == q.kind && (record.capsA & q.masks[0]) != 0 &&
           (record.capsB & q.masks[1]) != 0 && (record.capsC & q.masks[2]) != 0 &&
           (record.capsD & q.masks[3]) != 0 && (!q.requireActive || record.active != 0);
}

int FindNext(CPluginCatalog& catalog, int start, const Query& q, PluginDescriptor** record) {
    return catalog.FindNext(start, q.kind, q.masks[0], q.masks[1], q.masks[2], q.masks[3], record,
                            q.requireActive);
}

// The catalogue's answer from `start` against a plain loop over the file's records.
int CheckStep(CPluginCatalog& catalog, const std::vector<PluginDescriptor>& records, int start,
              const Query& q) {
    const int count = static_cast<int>(records.size());
    int expected = -1;
    if (start < count - 1) {
        for (int i = start < -1 ? 0 : start + 1; i < count; ++i) {
            if (Matches(records[static_cast<size_t>(i)], q)) {
                expected = i;
                break;
            }
        }
    }
    PluginDescriptor* record = nullptr;
    const int found = FindNext(catalog, start, q, &record);
    Require(found == expected, "FindNext differs from a plain walk");
    Require((found < 0) == (record == nullptr), "FindNext's record");
    Require(found < 0 || std::memcmp(record, &records[static_cast<size_t>(found)],
                                     sizeof(PluginDescriptor)) == 0,
            "FindNext's record is not the one at its index");
    Require(catalog.FindNextPlugin(start, q.kind, q.masks[0], q.masks[1], q.masks[2], q.masks[3],
                                   nullptr, q.requireActive) == found,
            "FindNextPlugin differs from FindNext");
    return found;
}

void CheckWalk(CPluginCatalog& catalog, const std::vector<PluginDescriptor>& records,
               const Query& q) {
    for (int i = CheckStep(catalog, records, -1, q); i >= 0;
         i = CheckStep(catalog, records, i, q)) {
    }
    for (const int start : {INT_MIN, -7, static_cast<int>(records.size()) - 1, INT_MAX}) {
        CheckStep(catalog, records, start, q);
    }
}

// The joined text of the active plug-ins of a kind, each field read within its own size.
template <size_t kSize>
std::string Joined(const std::vector<PluginDescriptor>& records, int32_t kind,
                   const char (PluginDescriptor::*field)[kSize], char separator) {
    const Query dialogs = {kind, {2, 5, 0xFFFF, 0xFFFF}, true};
    std::string text;
    for (const PluginDescriptor& record : records) {
        const size_t length = ::strnlen(record.*field, kSize);
        if (Matches(record, dialogs) && length > 0) {
            text.append(record.*field, length);
            if (text.back() != separator) {
                text += separator;
            }
        }
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static cache_fuzz::Scratch scratch("fuzz-plugin-cache", CPluginCatalog::kCacheFileName);
    static const uint8_t kNone[1] = {0};
    if (data == nullptr) {
        data = kNone;
    }
    WriteAll(scratch.cache, data, size);

    bool ours = false;
    const std::vector<PluginDescriptor> records = RecordsIn(data, size, &ours);
    CPluginCatalog catalog;
    const bool held = catalog.Init(scratch.folder, false);
    Require(held == (catalog.Count() > 0), "Init's answer");
    // A refused file makes a scan of a folder without libraries: no records either way.
    Require(catalog.Count() == static_cast<int>(records.size()), "record count");

    std::vector<Query> queries = {
        {ORVANTA_PLUGIN_KIND_4, {2, 5, 0xFFFF, 0xFFFF}, true},
        {ORVANTA_PLUGIN_KIND_100, {2, 5, 0xFFFF, 0xFFFF}, true},
        {ORVANTA_PLUGIN_KIND_WMA_ENCODER, {~0u, ~0u, ~0u, ~0u}, false},
    };
    for (const PluginDescriptor& record : records) {
        for (const bool requireActive : {false, true}) {
            queries.push_back({record.kind,
                               {record.capsA, record.capsB, record.capsC, record.capsD},
                               requireActive});
        }
    }
    for (const Query& q : queries) {
        CheckWalk(catalog, records, q);
    }

    Require(catalog.Extensions4() ==
                Joined(records, ORVANTA_PLUGIN_KIND_4, &PluginDescriptor::extensionList, ';'),
            "kind 4 extensions");
    Require(catalog.Extensions100() ==
                Joined(records, ORVANTA_PLUGIN_KIND_100, &PluginDescriptor::extensionList, ';'),
            "kind 100 extensions");
    Require(catalog.Filters4() ==
                Joined(records, ORVANTA_PLUGIN_KIND_4, &PluginDescriptor::filterList, '|'),
            "kind 4 filters");
    Require(catalog.Filters100() ==
                Joined(records, ORVANTA_PLUGIN_KIND_100, &PluginDescriptor::filterList, '|'),
            "kind 100 filters");
    Require(catalog.ExtensionsAll() == catalog.Extensions4() + catalog.Extensions100(),
            "combined extensions");
    Require(catalog.FiltersAll() == catalog.Filters4() + catalog.Filters100(), "combined filters");

    // What loaded saves back as the canonical header and the same records.
    if (held) {
        const size_t bytes = records.size() * CPluginCatalog::kRecordSize;
        Require(catalog.SaveCache(), "SaveCache failed");
        const std::string saved = ReadAll(scratch.cache);
        Require(saved.size() == CPluginCatalog::kHeaderSize + bytes, "saved size");
        Require(std::memcmp(saved.data(), "OPC\0\1\0\0\0\xC4\6\0\0", 12) == 0, "saved header");
        Require(std::memcmp(saved.data() + CPluginCatalog::kHeaderSize,
                            data + CPluginCatalog::kHeaderSize, bytes) == 0,
                "saved records");
    }
    Require(catalog.Clear() && catalog.Count() == 0, "Clear");
    return 0;
}
