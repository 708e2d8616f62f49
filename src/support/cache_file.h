// What the two catalogue caches ("OVTService.cache", "OVTPlugins.cache") share: a 12-byte
// header (a three-letter magic and its NUL, a version, the record size; little-endian) and
// then whole records, their count following from the file size; and the folder search over
// the program folder's libraries that fills them.
#pragma once

#include "support/file.h"
#include "support/module_holder.h"
#include "support/path.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace orvanta::cache_file {

inline constexpr uint32_t kHeaderSize = 12;

// A cache holds one record per library of the program folder: a few kilobytes. A file far
// larger than any folder could explain is not ours, and is refused instead of believed, so
// that a damaged or sparse file of gigabytes cannot make us allocate what its size claims.
inline constexpr int64_t kMaxFileSize = int64_t{64} << 20;

void WriteHeader(unsigned char (&header)[kHeaderSize], const char (&magic)[4], uint32_t version,
                 uint32_t recordSize);

// Writes the header and `bytes` bytes of records at `records` to `file`, which the caller has
// created for writing (`opened` says whether that worked), and closes it. When anything
// failed the file at `path` is removed: a partial cache would load as fewer records than the
// folder holds.
bool WriteAndClose(LDiskFile& file, bool opened, const std::string& path, const char (&magic)[4],
                   uint32_t version, uint32_t recordSize, const void* records, size_t bytes);

template <typename Record>
bool WriteRecords(LDiskFile& file, bool opened, const std::string& path, const char (&magic)[4],
                  uint32_t version, const std::vector<Record>& records) {
    return WriteAndClose(file, opened, path, magic, version, sizeof(Record), records.data(),
                         records.size() * sizeof(Record));
}

// Asks a library's object (nullptr when the library has none) to describe itself into
// `record`, zeroed first. False without an object or when Describe throws: an exception from
// another library's code means that library is not one we can use.
template <typename Object, typename Record>
bool DescribeInto(Object* object, Record& record) {
    if (object == nullptr) {
        return false;
    }
    record = Record{};
    try {
        object->Describe(&record);
    } catch (...) {
        return false;
    }
    return true;
}

// The console owns a record's fileName: the library's own name, cut to fit with its NUL, and
// nothing of what the library may have written there.
template <typename Record>
void SetFileName(Record& record, const std::string& name) {
    const size_t length = std::min(name.size(), sizeof record.fileName - 1);
    std::memset(record.fileName, 0, sizeof record.fileName);
    std::memcpy(record.fileName, name.data(), length);
}

// Opens the cache for reading and checks its header: the magic in any letter case (all four
// bytes, so the NUL must be there), the record size; the version is not examined. On success
// the file is left open after the header and `count` is the number of whole records.
bool OpenAndCheck(LDiskFile& file, const std::string& path, const char (&magic)[4],
                  uint32_t recordSize, size_t& count);

// Reads until `count` bytes are in or the file has no more; what is not read stays as it was.
void ReadInto(LDiskFile& file, void* buffer, size_t count);

// The records of the cache at `path`. False, with `records` untouched, when the file cannot
// be opened or is cut off, foreign or implausibly large; false with `records` emptied when
// they cannot be held.
template <typename Record>
bool LoadRecords(const std::string& path, const char (&magic)[4], std::vector<Record>& records) {
    LDiskFile file;
    size_t count = 0;
    if (!OpenAndCheck(file, path, magic, sizeof(Record), count)) {
        return false;
    }
    std::vector<Record>().swap(records);
    try {
        records.resize(count);
    } catch (const std::bad_alloc&) {
        std::vector<Record>().swap(records);
        return false;
    }
    // A file that shrank meanwhile leaves the rest zeroed; one that grew is read no further.
    ReadInto(file, records.data(), count * sizeof(Record));
    return true;
}

// The names of the folder's entries that end in the library suffix, whatever their type (a
// load of anything else simply fails). Sorted by their bytes, so the first module serving a
// format does not depend on the order the file system happens to list the folder in.
std::vector<std::string> ListLibraries(const std::string& folder);

// Fills `records` from the libraries of `folder` in two passes: the first only counts the
// libraries `describe(holder, path, record)` accepts, so the records are allocated once; the
// second describes them again and stores them, at most as many as were counted (the folder
// may have changed since), with `keep(record, fileName)` finishing each stored record. Every
// library is loaded into one holder and released before the next. True when records exist.
template <typename Record, typename Describe, typename Keep>
bool ScanLibraries(const std::string& folder, std::vector<Record>& records, Describe describe,
                   Keep keep) {
    std::vector<Record>().swap(records);
    try {
        CModuleHolder holder;
        Record work{};
        size_t counted = 0;
        for (const std::string& name : ListLibraries(folder)) {
            if (describe(holder, JoinedPath(folder, name), work)) {
                ++counted;
            }
            holder.Release();
        }
        if (counted == 0) {
            return false;
        }
        records.reserve(counted);
        const std::vector<std::string> names = ListLibraries(folder);
        for (const std::string& name : names) {
            if (records.size() >= counted) {
                break;
            }
            if (describe(holder, JoinedPath(folder, name), work)) {
                records.push_back(work);
                keep(records.back(), name);
            }
            holder.Release();
        }
    } catch (const std::bad_alloc&) {
        std::vector<Record>().swap(records);
        return false;
    }
    return !records.empty();
}

}  // namespace orvanta::cache_file
