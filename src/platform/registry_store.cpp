// The hive files: where each root's file lives, reading it, and writes that re-read the file
// under a lock, apply one change and replace the file whole. A write whose change leaves the
// hive as it was does not rewrite the file.
#include "base/file_io.h"
#include "platform/registry_hive.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace orvanta::platform {
namespace {

struct FileText {
    enum class Status { Read, Missing, Failed };
    Status status = Status::Failed;
    std::string text;
    std::string problem;
};

std::string ErrnoText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

FileText ReadHiveFile(const std::string& path) {
    FileText file;
    // O_NONBLOCK keeps a FIFO put in the hive's place from blocking the open.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.Get() < 0) {
        file.status = errno == ENOENT ? FileText::Status::Missing : FileText::Status::Failed;
        file.problem = ErrnoText(errno);
        return file;
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        file.problem = "not a regular file";
        return file;
    }
    if (info.st_size > RegistryHive::kMaxFileSize) {
        file.problem = "file too large";
        return file;
    }
    file.text.reserve(static_cast<size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(fd.Get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            file.problem = ErrnoText(errno);
            return file;
        }
        if (count == 0) {
            break;
        }
        file.text.append(buffer, static_cast<size_t>(count));
        if (file.text.size() > static_cast<size_t>(RegistryHive::kMaxFileSize)) {
            file.problem = "file too large";
            return file;
        }
    }
    file.status = FileText::Status::Read;
    return file;
}

RegistryHive LoadHive(RegistryRoot root) {
    const FileText file = ReadHiveFile(HivePath(root));
    if (file.status != FileText::Status::Read) {
        return {};
    }
    return RegistryHive::Parse(file.text).hive;
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_dir == nullptr) {
        return {};
    }
    return found->pw_dir;
}

// Writes go to the file a symlinked hive points at, so that the link survives the rename and
// every writer locks the same side file.
std::string WritableHivePath(RegistryRoot root) {
    std::string path = HivePath(root);
    if (path.empty()) {
        return path;
    }
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
        path = resolved;
        std::free(resolved);
    }
    return path;
}

bool IsWritableFolder(const std::string& folder) {
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           ::access(folder.c_str(), W_OK | X_OK) == 0;
}

// Root may write any file, so the permission bits are checked as well: a hive with no write
// bits at all is read-only for everyone.
bool MayReplace(const std::string& path, const struct stat& info) {
    return S_ISREG(info.st_mode) && (info.st_mode & 0222) != 0 && ::access(path.c_str(), W_OK) == 0;
}

bool MakeFolders(const std::string& folder) {
    for (size_t end = 1; end <= folder.size(); ++end) {
        if (end == folder.size() || folder[end] == '/') {
            const std::string part = folder.substr(0, end);
            if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
                return false;
            }
        }
    }
    return IsWritableFolder(folder);
}

void ReportRefusal(const std::string& path, const std::string& why) {
    std::fprintf(stderr, "registry: not writing %s: %s\n", path.c_str(), why.c_str());
}

// Everything that can go wrong in a pre-existing file: not a regular file, read-only, unreadable
// or holding lines that a rewrite would drop. Fills `hive` with what the file holds.
bool LoadForWrite(const std::string& path, RegistryHive& hive, struct stat& info, bool& exists,
                  bool report) {
    exists = ::stat(path.c_str(), &info) == 0;
    if (!exists) {
        return errno == ENOENT;
    }
    if (!MayReplace(path, info)) {
        return false;
    }
    FileText file = ReadHiveFile(path);
    if (file.status == FileText::Status::Missing) {
        exists = false;
        return true;
    }
    if (file.status != FileText::Status::Read) {
        if (report) {
            ReportRefusal(path, file.problem);
        }
        return false;
    }
    RegistryHive::ParseResult parsed = RegistryHive::Parse(file.text);
    if (!parsed.errors.empty()) {
        if (report) {
            ReportRefusal(path, parsed.errors.front() + " (fix or remove that line first)");
        }
        return false;
    }
    hive = std::move(parsed.hive);
    return true;
}

enum class Change { Failed, Unchanged, Made };

template <typename Apply>
bool ModifyHive(RegistryRoot root, Apply&& apply) noexcept {
    try {
        const std::string path = WritableHivePath(root);
        if (path.empty()) {
            return false;
        }
        const std::string folder = FolderOf(path);
        if (!MakeFolders(folder)) {
            return false;
        }
        // The lock lives in a side file because the hive itself is replaced by a rename, and a
        // lock on the old inode would not exclude a writer that opened the new one.
        FileDescriptor lock(
            ::open((path + ".lock").c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644));
        if (lock.Get() < 0) {
            return false;
        }
        while (::flock(lock.Get(), LOCK_EX) != 0) {
            if (errno != EINTR) {
                return false;
            }
        }
        RegistryHive hive;
        struct stat info {};
        bool exists = false;
        if (!LoadForWrite(path, hive, info, exists, true)) {
            return false;
        }
        const Change change = apply(hive);
        if (change != Change::Made) {
            return change == Change::Unchanged;
        }
        // A hive grown through the API past what the reader takes would read back empty, and
        // every later write would be refused; better to refuse this one.
        const std::string text = hive.Serialize();
        if (text.empty()) {
            return false;  // Serialize failed; an empty file would lose the hive
        }
        if (text.size() > static_cast<size_t>(RegistryHive::kMaxFileSize) ||
            !RegistryHive::Parse(text).errors.empty()) {
            ReportRefusal(path, "the hive would grow too large");
            return false;
        }
        // An existing hive keeps its permissions; a new one is readable by all, as the
        // program's settings hold no secrets.
        std::string reason;
        return ReplaceFile(path, text, 07777, 0644, reason);
    } catch (...) {
        return false;
    }
}

std::optional<std::string> FullKeyPath(RegistryRoot root, std::string_view key) {
    while (!key.empty() && key.front() == '\\') {
        key.remove_prefix(1);
    }
    while (!key.empty() && key.back() == '\\') {
        key.remove_suffix(1);
    }
    std::string path(RootName(root));
    if (!key.empty()) {
        path += '\\';
        path += key;
    }
    if (RegistryHive::KeyPathProblem(path) != nullptr) {
        return std::nullopt;
    }
    return path;
}

bool IsRoot(RegistryRoot root, const std::string& path) {
    return path == RootName(root);
}

}  // namespace

std::string_view RootName(RegistryRoot root) {
    return root == RegistryRoot::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

std::string HivePath(RegistryRoot root) {
    try {
        const bool user = root == RegistryRoot::CurrentUser;
        const char* custom = std::getenv(user ? "ORVANTA_USER_HIVE" : "ORVANTA_MACHINE_HIVE");
        if (custom != nullptr && *custom != '\0') {
            return custom;
        }
        if (!user) {
            return "/etc/KELVO/machine.reg";
        }
        // A relative XDG_CONFIG_HOME is invalid by the XDG rules and is ignored.
        if (const char* config = std::getenv("XDG_CONFIG_HOME");
            config != nullptr && config[0] == '/') {
            return std::string(config) + "/KELVO/user.reg";
        }
        const std::string home = HomeFolder();
        return home.empty() ? std::string() : home + "/.config/KELVO/user.reg";
    } catch (...) {
        return {};
    }
}

bool RegistryKeyExists(RegistryRoot root, std::string_view key) {
    try {
        const std::optional<std::string> path = FullKeyPath(root, key);
        return path && (IsRoot(root, *path) || LoadHive(root).HasKey(*path));
    } catch (...) {
        return false;
    }
}

bool RegistryCreateKey(RegistryRoot root, std::string_view key) {
    try {
        const std::optional<std::string> path = FullKeyPath(root, key);
        return path && ModifyHive(root, [&](RegistryHive& hive) {
                   if (hive.HasKey(*path)) {
                       return Change::Unchanged;
                   }
                   hive.CreateKey(*path);
                   return hive.HasKey(*path) ? Change::Made : Change::Failed;
               });
    } catch (...) {
        return false;
    }
}

bool RegistryDeleteKey(RegistryRoot root, std::string_view key) {
    try {
        const std::optional<std::string> path = FullKeyPath(root, key);
        // The root is where every key hangs; like on Windows it cannot be deleted.
        return path && !IsRoot(root, *path) && ModifyHive(root, [&](RegistryHive& hive) {
                   return hive.DeleteKey(*path) ? Change::Made : Change::Failed;
               });
    } catch (...) {
        return false;
    }
}

std::optional<RegistryValue> RegistryQueryValue(RegistryRoot root, std::string_view key,
                                                std::string_view name) {
    try {
        const std::optional<std::string> path = FullKeyPath(root, key);
        if (!path) {
            return std::nullopt;
        }
        const RegistryHive hive = LoadHive(root);
        if (const RegistryValue* value = hive.FindValue(*path, name)) {
            return *value;
        }
    } catch (...) {
    }
    return std::nullopt;
}

bool RegistrySetValue(RegistryRoot root, std::string_view key, std::string_view name,
                      const RegistryValue& value) {
    try {
        const std::optional<std::string> path = FullKeyPath(root, key);
        return path && RegistryHive::ValueNameProblem(name) == nullptr &&
               ModifyHive(root, [&](RegistryHive& hive) {
                   const RegistryValue* existing = hive.FindValue(*path, name);
                   if (existing != nullptr && *existing == value) {
                       return Change::Unchanged;
                   }
                   hive.SetValue(*path, name, value);
                   existing = hive.FindValue(*path, name);
                   return existing != nullptr && *existing == value ? Change::Made : Change::Failed;
               });
    } catch (...) {
        return false;
    }
}

bool RegistryDeleteValue(RegistryRoot root, std::string_view key, std::string_view name) {
    try {
        const std::optional<std::string> path = FullKeyPath(root, key);
        return path && ModifyHive(root, [&](RegistryHive& hive) {
                   return hive.DeleteValue(*path, name) ? Change::Made : Change::Failed;
               });
    } catch (...) {
        return false;
    }
}

bool RegistryHiveWritable(RegistryRoot root) {
    try {
        const std::string path = WritableHivePath(root);
        if (path.empty()) {
            return false;
        }
        RegistryHive hive;
        struct stat info {};
        bool exists = false;
        if (!LoadForWrite(path, hive, info, exists, false)) {
            return false;
        }
        // A missing folder is fine when the nearest folder that exists lets us create it.
        std::string folder = FolderOf(path);
        struct stat folderInfo {};
        while (::stat(folder.c_str(), &folderInfo) != 0 && errno == ENOENT) {
            std::string parent = FolderOf(folder);
            if (parent == folder) {
                return false;
            }
            folder = std::move(parent);
        }
        const std::string lock = path + ".lock";
        return IsWritableFolder(folder) &&
               (::access(lock.c_str(), F_OK) != 0 || ::access(lock.c_str(), R_OK) == 0);
    } catch (...) {
        return false;
    }
}

}  // namespace orvanta::platform
