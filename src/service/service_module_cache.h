// CServiceModuleCache: the service modules of the program folder, found once and remembered
// in "OVTService.cache" so that later starts need not load every library.
#pragma once

#include <cstdint>
#include <orvanta/service_module.h>
#include <string>
#include <vector>

namespace orvanta {

class CServiceModuleCache {
public:
    static constexpr const char kCacheFileName[] = "OVTService.cache";
    // Header: "OSC" and a NUL, version 1, record size; then the records. No count: it follows
    // from the file size.
    static constexpr const char kMagic[4] = {'O', 'S', 'C', '\0'};
    static constexpr uint32_t kVersion = 1;
    static constexpr uint32_t kHeaderSize = 12;
    static constexpr uint32_t kRecordSize = sizeof(ServiceModuleInfo);
    // Given to a module's factory while it is only asked to describe itself.
    static constexpr const char kScanRegistryRoot[] = "";

    CServiceModuleCache() = default;
    virtual ~CServiceModuleCache();
    CServiceModuleCache(const CServiceModuleCache&) = delete;
    CServiceModuleCache& operator=(const CServiceModuleCache&) = delete;

    // Fills the cache once: from the cache file when it loads (unless `force`), else by a scan
    // that then writes the file. `folder` ends in its separator. True when records exist.
    virtual bool Init(const std::string& folder, bool force);
    // Where Init keeps the cache file (ending in its separator); "" means `folder` itself.
    // The file still describes the libraries of `folder`.
    void SetCacheFolder(const std::string& cacheFolder) { m_cacheFolder = cacheFolder; }
    virtual bool Clear();
    // Reads the cache file; false when it is missing, short or foreign (the records are then
    // untouched, except when the file's records cannot be held).
    virtual bool LoadCache();
    // Loads every library of the folder (in name order), twice: once to count the modules and
    // once to keep their descriptions, with each record's fileName set to the library's name.
    virtual bool Scan();
    // Writes the cache file; without records nothing is written. A failed write deletes the
    // partial file; the records in memory stay.
    virtual bool SaveCache();

    // The first record whose format mask holds every bit of `mask`, or null.
    const ServiceModuleInfo* FindByFormat(uint32_t mask) const;

    int Count() const { return static_cast<int>(m_records.size()); }
    const std::vector<ServiceModuleInfo>& Records() const { return m_records; }
    const std::string& Folder() const { return m_folder; }
    const std::string& CachePath() const { return m_cachePath; }

private:
    std::vector<ServiceModuleInfo> m_records;
    std::string m_folder;
    std::string m_cachePath;
    std::string m_cacheFolder;
};

}  // namespace orvanta
