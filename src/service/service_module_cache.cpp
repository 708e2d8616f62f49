#include "service/service_module_cache.h"

#include "platform/dynamic_library.h"
#include "support/cache_file.h"
#include "support/file.h"
#include "support/module_holder.h"
#include "support/path.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

namespace orvanta {
namespace {

// Loads the library and asks its controller to describe itself into `info` (zeroed first).
// False when the library is no module, its factory gives nothing, or Describe throws.
bool DescribeModule(CModuleHolder& holder, const std::string& path, ServiceModuleInfo& info) {
    IServiceController* controller =
        holder.LoadServiceModule(path, CServiceModuleCache::kScanRegistryRoot);
    if (controller == nullptr) {
        return false;
    }
    info = ServiceModuleInfo{};
    try {
        controller->Describe(&info);
    } catch (...) {
        // An exception from another library's code: that module is not one we can use.
        return false;
    }
    return true;
}

// The console owns fileName: the library's own name, cut to fit with its NUL, and nothing of
// what the module may have written there before.
void SetFileName(ServiceModuleInfo& info, const std::string& name) {
    const size_t length = std::min(name.size(), sizeof info.fileName - 1);
    std::memset(info.fileName, 0, sizeof info.fileName);
    std::memcpy(info.fileName, name.data(), length);
}

}  // namespace

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
    return cache_file::ScanLibraries(m_folder, m_records, DescribeModule, SetFileName);
}

bool CServiceModuleCache::SaveCache() {
    if (m_records.empty()) {
        return false;
    }
    unsigned char header[kHeaderSize];
    cache_file::WriteHeader(header, kMagic, kVersion, kRecordSize);
    const size_t bytes = m_records.size() * kRecordSize;

    LDiskFile file;
    // When the file cannot be opened it is not ours to delete: it may be a folder, or another
    // console's cache that it holds open.
    if (!file.Create(m_cachePath, 0)) {
        return false;
    }
    bool written = bytes <= std::numeric_limits<uint32_t>::max() &&
                   file.Write(header, kHeaderSize) &&
                   file.Write(m_records.data(), static_cast<uint32_t>(bytes));
    written = file.Close() && written;
    if (!written) {
        // A partial cache would load as fewer modules than the folder holds.
        ::unlink(m_cachePath.c_str());
        return false;
    }
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
