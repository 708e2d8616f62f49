#include "service/service_module_cache.h"

#include "support/cache_file.h"
#include "support/file.h"
#include "support/module_holder.h"

#include <string>

namespace orvanta {

bool CServiceModuleCache::Describe(CModuleHolder& holder, const std::string& path,
                                   ServiceModuleInfo& record) {
    return cache_file::DescribeInto(holder.LoadServiceModule(path, kScanRegistryRoot), record);
}

void CServiceModuleCache::Keep(ServiceModuleInfo& record, const std::string& name) {
    cache_file::SetFileName(record, name);
}

bool CServiceModuleCache::OpenCreated(LDiskFile& /*file*/, const std::string& /*path*/) {
    // Written through the handle of the exclusive create itself; reopening for readers while
    // writing is the plug-in catalogue's way, not this cache's.
    return true;
}

const ServiceModuleInfo* CServiceModuleCache::FindByFormat(uint32_t mask) const {
    for (const ServiceModuleInfo& record : m_records) {
        if ((record.formatMask & mask) == mask) {
            return &record;
        }
    }
    return nullptr;
}

}  // namespace orvanta
