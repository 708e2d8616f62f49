#include "plugins/plugin_catalog.h"

#include "support/cache_file.h"
#include "support/file.h"
#include "support/module_holder.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

namespace orvanta {
namespace {

// The masks the joined texts are built with: what the console's file dialogs can open.
constexpr uint32_t kTextMaskA = 2;
constexpr uint32_t kTextMaskB = 5;
constexpr uint32_t kTextMaskC = 0xFFFF;
constexpr uint32_t kTextMaskD = 0xFFFF;

// Texts come from the plug-ins and from the cache file: a field may lack its NUL, so it is
// read no further than its own size.
template <size_t kSize>
void AppendJoined(std::string& joined, const char (&field)[kSize], char separator) {
    const size_t length = ::strnlen(field, kSize);
    if (length == 0) {
        return;
    }
    joined.append(field, length);
    if (field[length - 1] != separator) {
        joined += separator;
    }
}

}  // namespace

int CPluginCatalog::FindNextPlugin(int start, int32_t kind, uint32_t maskA, uint32_t maskB,
                                   uint32_t maskC, uint32_t maskD, PluginDescriptor** record,
                                   bool requireActive) {
    return FindNext(start, kind, maskA, maskB, maskC, maskD, record, requireActive);
}

int CPluginCatalog::FindNext(int start, int32_t kind, uint32_t maskA, uint32_t maskB,
                             uint32_t maskC, uint32_t maskD, PluginDescriptor** record,
                             bool requireActive) {
    if (record != nullptr) {
        *record = nullptr;
    }
    const int count = Count();
    if (count == 0 || start >= count - 1) {
        return -1;
    }
    // Any start below -1 begins at the first record, as -1 does.
    for (int index = std::max(start, -1) + 1; index < count; ++index) {
        PluginDescriptor& candidate = m_records[static_cast<size_t>(index)];
        if (candidate.kind == kind && (candidate.capsA & maskA) != 0 &&
            (candidate.capsB & maskB) != 0 && (candidate.capsC & maskC) != 0 &&
            (candidate.capsD & maskD) != 0 && (!requireActive || candidate.active != 0)) {
            if (record != nullptr) {
                *record = &candidate;
            }
            return index;
        }
    }
    return -1;
}

bool CPluginCatalog::Describe(CModuleHolder& holder, const std::string& path,
                              PluginDescriptor& record) {
    return cache_file::DescribeInto(holder.LoadPlugin(path, kScanRegistryKey), record);
}

void CPluginCatalog::Keep(PluginDescriptor& record, const std::string& name) {
    record.active = 1;
    cache_file::SetFileName(record, name);
}

bool CPluginCatalog::OpenCreated(LDiskFile& file, const std::string& path) {
    // Created (and so emptied) exclusively, then written while readers may look: a reader
    // that comes too early finds a short file, which it refuses.
    return file.Open(path, kGenericWrite, kFileShareRead, kOpenAlways, kFileAttributeNormal);
}

void CPluginCatalog::BuildJoinedTexts() {
    std::string* const texts[] = {&m_extensions4, &m_filters4,      &m_extensions100,
                                  &m_filters100,  &m_extensionsAll, &m_filtersAll};
    for (std::string* text : texts) {
        text->clear();
    }
    // Each active plug-in of the kind that the console's file dialogs can use, in order.
    auto forEach = [this](int32_t kind, auto&& visit) {
        PluginDescriptor* record = nullptr;
        for (int i =
                 FindNext(-1, kind, kTextMaskA, kTextMaskB, kTextMaskC, kTextMaskD, &record, true);
             i >= 0;
             i = FindNext(i, kind, kTextMaskA, kTextMaskB, kTextMaskC, kTextMaskD, &record, true)) {
            visit(*record);
        }
    };
    try {
        forEach(ORVANTA_PLUGIN_KIND_4, [this](const PluginDescriptor& record) {
            AppendJoined(m_extensions4, record.extensionList, ';');
        });
        forEach(ORVANTA_PLUGIN_KIND_4, [this](const PluginDescriptor& record) {
            AppendJoined(m_filters4, record.filterList, '|');
        });
        forEach(ORVANTA_PLUGIN_KIND_100, [this](const PluginDescriptor& record) {
            AppendJoined(m_extensions100, record.extensionList, ';');
        });
        forEach(ORVANTA_PLUGIN_KIND_100, [this](const PluginDescriptor& record) {
            AppendJoined(m_filters100, record.filterList, '|');
        });
        m_extensionsAll = m_extensions4 + m_extensions100;
        m_filtersAll = m_filters4 + m_filters100;
    } catch (const std::bad_alloc&) {
        // Texts that do not fit in memory are offered as none rather than cut anywhere.
        for (std::string* text : texts) {
            text->clear();
        }
    }
}

}  // namespace orvanta
