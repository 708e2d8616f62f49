// CPluginCatalog: the encoder and format plug-ins of the program folder, found once and
// remembered in "OVTPlugins.cache".
#pragma once

#include "support/record_cache.h"

#include <cstdint>
#include <orvanta/plugin.h>
#include <string>

namespace orvanta {

class CPluginCatalog : public CRecordCache<CPluginCatalog, PluginDescriptor> {
public:
    static constexpr const char kCacheFileName[] = "OVTPlugins.cache";
    static constexpr const char kMagic[4] = {'O', 'P', 'C', '\0'};
    static constexpr uint32_t kVersion = 1;
    // The key a plug-in is given while it is only asked to describe itself.
    static constexpr const char kScanRegistryKey[] = "Software\\KELVO";
    // The key a plug-in is given when it runs (its settings dialog, for example).
    static constexpr const char kPluginRegistryKey[] = "Software\\KELVO\\OVServer\\Plugins";

    // The index of the next record after `start` (-1 to begin) of that kind whose four
    // capability masks each share a bit with the given ones, and, with `requireActive`, whose
    // active flag is set; -1 when none is left. `record` points into the catalogue (callers
    // may change the record in place) or is null.
    virtual int FindNextPlugin(int start, int32_t kind, uint32_t maskA, uint32_t maskB,
                               uint32_t maskC, uint32_t maskD, PluginDescriptor** record,
                               bool requireActive);
    virtual int FindNext(int start, int32_t kind, uint32_t maskA, uint32_t maskB, uint32_t maskC,
                         uint32_t maskD, PluginDescriptor** record, bool requireActive);

    // The joined texts of the active plug-ins of kinds 4 and 100: extension lists joined with
    // ";", filter lists with "|"; the combined ones are kind 4's followed by kind 100's.
    const std::string& Extensions4() const { return m_extensions4; }
    const std::string& Filters4() const { return m_filters4; }
    const std::string& Extensions100() const { return m_extensions100; }
    const std::string& Filters100() const { return m_filters100; }
    const std::string& ExtensionsAll() const { return m_extensionsAll; }
    const std::string& FiltersAll() const { return m_filtersAll; }

protected:
    // Init's records, loaded or scanned, give the joined texts.
    void Filled() override { BuildJoinedTexts(); }

private:
    friend class CRecordCache<CPluginCatalog, PluginDescriptor>;

    static bool Describe(CModuleHolder& holder, const std::string& path, PluginDescriptor& record);
    // A kept plug-in starts active, under its library's name.
    static void Keep(PluginDescriptor& record, const std::string& name);
    static bool OpenCreated(LDiskFile& file, const std::string& path);
    void BuildJoinedTexts();

    std::string m_extensions4;
    std::string m_filters4;
    std::string m_extensions100;
    std::string m_filters100;
    std::string m_extensionsAll;
    std::string m_filtersAll;
};

}  // namespace orvanta
