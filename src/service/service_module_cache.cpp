#include "service/service_module_cache.h"

#include "platform/dynamic_library.h"
#include "support/file.h"
#include "support/module_holder.h"
#include "support/path.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace orvanta {
namespace {

// One record per library of the program folder makes a cache of a few kilobytes. A file far
// larger than any folder could explain is not ours: it is refused (and the folder scanned
// again) instead of believed, so that a damaged or sparse file of gigabytes cannot make us
// allocate what its size claims.
constexpr int64_t kMaxCacheFileSize = int64_t{64} << 20;

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The magic is compared without regard to case, all four bytes, so its NUL must be there too.
bool MagicMatches(const unsigned char* header) {
    for (size_t i = 0; i < sizeof CServiceModuleCache::kMagic; ++i) {
        if (AsciiLower(static_cast<char>(header[i])) !=
            AsciiLower(CServiceModuleCache::kMagic[i])) {
            return false;
        }
    }
    return true;
}

void PutLe32(unsigned char* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

uint32_t GetLe32(const unsigned char* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

// Reads until `count` bytes are in or the file has no more; what is not read stays as it was.
void ReadInto(LDiskFile& file, void* buffer, size_t count) {
    auto* out = static_cast<unsigned char*>(buffer);
    while (count > 0) {
        const uint32_t want =
            static_cast<uint32_t>(std::min<size_t>(count, std::numeric_limits<uint32_t>::max()));
        uint32_t got = 0;
        if (!file.Read(out, want, &got) || got == 0) {
            return;
        }
        out += got;
        count -= got;
    }
}

// The names of the folder's entries that end in the library suffix, whatever their type (a
// load of anything else simply fails). Sorted by their bytes, so the first module serving a
// format does not depend on the order the file system happens to list the folder in.
std::vector<std::string> ListLibraries(const std::string& folder) {
    std::vector<std::string> names;
    if (folder.empty()) {
        return names;
    }
    constexpr std::string_view kSuffix = platform::kLibrarySuffix;
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        std::string name = it->path().filename().string();
        if (name.size() >= kSuffix.size() &&
            std::string_view(name).substr(name.size() - kSuffix.size()) == kSuffix) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

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
        m_cachePath = JoinedPath(folder, kCacheFileName);
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
    LDiskFile file;
    if (!file.OpenRead(m_cachePath, kFileShareRead)) {
        return false;
    }
    unsigned char header[kHeaderSize] = {};
    uint32_t got = 0;
    if (!file.Read(header, kHeaderSize, &got) || got == 0) {
        file.Close();
        return false;
    }
    // The version is not examined: any file of this record size holds records we can read.
    if (!MagicMatches(header) || GetLe32(header + 8) != kRecordSize) {
        file.Close();
        return false;
    }
    // A file shorter than its header is cut off, not an empty cache.
    const int64_t size = file.GetSize64();
    if (got < kHeaderSize || size < kHeaderSize || size > kMaxCacheFileSize) {
        file.Close();
        return false;
    }
    Clear();
    const size_t count = static_cast<size_t>(size - kHeaderSize) / kRecordSize;
    try {
        m_records.resize(count);
    } catch (const std::bad_alloc&) {
        Clear();
        file.Close();
        return false;
    }
    // A file that shrank meanwhile leaves the rest of the records zeroed; one that grew is read
    // no further than the records held.
    ReadInto(file, m_records.data(), count * kRecordSize);
    file.Close();
    return true;
}

bool CServiceModuleCache::Scan() {
    Clear();
    try {
        CModuleHolder holder;
        ServiceModuleInfo work{};

        // The first pass only counts, so the records are allocated once.
        size_t modules = 0;
        for (const std::string& name : ListLibraries(m_folder)) {
            if (DescribeModule(holder, JoinedPath(m_folder, name), work)) {
                ++modules;
            }
            holder.Release();
        }
        if (modules == 0) {
            return false;
        }
        m_records.reserve(modules);

        // The folder may have changed since: take what it holds now, but no more records than
        // were counted.
        const std::vector<std::string> names = ListLibraries(m_folder);
        if (names.empty()) {
            Clear();
            return false;
        }
        for (const std::string& name : names) {
            if (m_records.size() >= modules) {
                break;
            }
            if (DescribeModule(holder, JoinedPath(m_folder, name), work)) {
                m_records.push_back(work);
                SetFileName(m_records.back(), name);
            }
            holder.Release();
        }
    } catch (const std::bad_alloc&) {
        Clear();
        return false;
    }
    return !m_records.empty();
}

bool CServiceModuleCache::SaveCache() {
    if (m_records.empty()) {
        return false;
    }
    unsigned char header[kHeaderSize];
    std::memcpy(header, kMagic, sizeof kMagic);
    PutLe32(header + 4, kVersion);
    PutLe32(header + 8, kRecordSize);
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
