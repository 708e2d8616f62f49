// CRecordCache: what the two catalogue caches of the program folder's libraries (service
// modules, plug-ins) do alike: fill their records once from the cache file or by a scan that
// then writes it, where the state folder (or else the program folder) keeps that file.
//
// `Derived` says what differs, as static members: kCacheFileName, kMagic and kVersion;
// Describe(holder, path, record), how one library is asked for its record; Keep(record, name),
// what the console writes into a record it keeps; and OpenCreated(file, path), how the file
// just created exclusively is held while the records are written into it.
#pragma once

#include "support/cache_file.h"
#include "support/file.h"
#include "support/path.h"

#include <cstdint>
#include <new>
#include <string>
#include <vector>

namespace orvanta {

template <typename Derived, typename Record>
class CRecordCache {
public:
    // Header: the magic and its NUL, the version, the record size; then the records. No count:
    // it follows from the file size.
    static constexpr uint32_t kHeaderSize = cache_file::kHeaderSize;
    static constexpr uint32_t kRecordSize = sizeof(Record);

    CRecordCache() = default;
    virtual ~CRecordCache() = default;
    CRecordCache(const CRecordCache&) = delete;
    CRecordCache& operator=(const CRecordCache&) = delete;

    // Fills the cache once: from the cache file when it loads (unless `force`), else by a scan
    // that then writes the file. `folder` ends in its separator. True when records exist.
    virtual bool Init(const std::string& folder, bool force) {
        if (!m_records.empty() && !force) {
            return true;
        }
        try {
            m_folder = folder;
            m_cachePath =
                JoinedPath(m_cacheFolder.empty() ? folder : m_cacheFolder, Derived::kCacheFileName);
        } catch (const std::bad_alloc&) {
            return false;
        }
        if (force || !LoadCache()) {
            Scan();
            // Without a cache file the next start scans again; nothing else depends on it.
            SaveCache();
        }
        Filled();
        return Count() > 0;
    }
    // Where Init keeps the cache file (ending in its separator); "" means `folder` itself.
    // The file still describes the libraries of `folder`.
    void SetCacheFolder(const std::string& cacheFolder) { m_cacheFolder = cacheFolder; }
    virtual bool Clear() {
        // Swapping frees the memory too, and cannot throw.
        std::vector<Record>().swap(m_records);
        return true;
    }
    // Reads the cache file; false when it is missing, short or foreign (the records are then
    // untouched, except when the file's records cannot be held).
    virtual bool LoadCache() {
        return cache_file::LoadRecords(m_cachePath, Derived::kMagic, m_records);
    }
    // Loads every library of the folder (in name order), twice: once to count the ones that
    // describe themselves and once to keep their records, each finished by Derived::Keep.
    virtual bool Scan() {
        return cache_file::ScanLibraries(m_folder, m_records, Derived::Describe, Derived::Keep);
    }
    // Writes the cache file; without records nothing is written. A failed write deletes the
    // partial file; the records in memory stay.
    virtual bool SaveCache() {
        LDiskFile file;
        // When the file cannot be created it is not ours to delete: it may be a folder, or
        // another console's cache that it holds open.
        if (m_records.empty() || !file.Create(m_cachePath, 0)) {
            return false;
        }
        const bool opened = Derived::OpenCreated(file, m_cachePath);
        return cache_file::WriteRecords(file, opened, m_cachePath, Derived::kMagic,
                                        Derived::kVersion, m_records);
    }

    int Count() const { return static_cast<int>(m_records.size()); }
    const std::vector<Record>& Records() const { return m_records; }
    const std::string& Folder() const { return m_folder; }
    const std::string& CachePath() const { return m_cachePath; }

protected:
    // Init's last step once the records were loaded or scanned, for what is derived from them.
    virtual void Filled() {}

    std::vector<Record> m_records;

private:
    std::string m_folder;
    std::string m_cachePath;
    std::string m_cacheFolder;
};

}  // namespace orvanta
