#include "service/service_module_cache.h"

#include "support/cache_file.h"
#include "support/file.h"
#include "support/module_holder.h"
#include "support/path.h"

#include <new>
#include <string>
#include <vector>

namespace orvanta {
CServiceModuleCache::~CServiceModuleCache() {
    CServiceModuleCache::Clear();
}

bool CServiceModuleCache::Init(const std::string& folder, bool force) {
    if (!m_records.empty() && !force) {
        return true;
    }
    try {
        m_folder = folder;
        m_cachePath = JoinedPath(m_cacheFolder.empty() ? folder : m_cacheFolder, kCacheFileName);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (force || !LoadCache()) {
        Scan();
        // Without a cache file the next start scans again; nothing else depends on it.
        SaveCache();
    }
    return Count() > 0;
}

bool CServiceModuleCache::Clear() {
    // Swapping frees the memory too, and cannot throw.
    std::vector<ServiceModuleInfo>().swap(m_records);
    return true;
}

bool CServiceModuleCache::LoadCache() {
    return cache_file::LoadRecords(m_cachePath, kMagic, m_records);
}

bool CServiceModuleCache::Scan() {
    const auto describe = [](CModuleHolder& holder, const std::string& path,
                             ServiceModuleInfo& record) {
        return cache_file::DescribeInto(holder.LoadServiceModule(path, kScanRegistryRoot), record);
    };
    return cache_file::ScanLibraries(m_folder, m_records, describe,
                                     cache_file::SetFileName<ServiceModuleInfo>);
}

bool CServiceModuleCache::SaveCache() {
    LDiskFile file;
    // When the file cannot be opened it is not ours to delete: it may be a folder, or another
    // console's cache that it holds open.
    if (m_records.empty() || !file.Create(m_cachePath, 0)) {
        return false;
    }
    return cache_file::WriteRecords(file, true, m_cachePath, kMagic, kVersion, m_records);
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
