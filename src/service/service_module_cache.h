// CServiceModuleCache: the service modules of the program folder, found once and remembered
// in "OVTService.cache" so that later starts need not load every library.
#pragma once

#include "support/record_cache.h"

#include <cstdint>
#include <orvanta/service_module.h>
#include <string>

namespace orvanta {

class CServiceModuleCache : public CRecordCache<CServiceModuleCache, ServiceModuleInfo> {
public:
    static constexpr const char kCacheFileName[] = "OVTService.cache";
    static constexpr const char kMagic[4] = {'O', 'S', 'C', '\0'};
    static constexpr uint32_t kVersion = 1;
    // Given to a module's factory while it is only asked to describe itself.
    static constexpr const char kScanRegistryRoot[] = "";

    // The first record whose format mask holds every bit of `mask`, or null.
    const ServiceModuleInfo* FindByFormat(uint32_t mask) const;

private:
    friend class CRecordCache<CServiceModuleCache, ServiceModuleInfo>;

    static bool Describe(CModuleHolder& holder, const std::string& path, ServiceModuleInfo& record);
    // The record's fileName is the library's name, whatever the module wrote there.
    static void Keep(ServiceModuleInfo& record, const std::string& name);
    static bool OpenCreated(LDiskFile& file, const std::string& path);
};

}  // namespace orvanta
