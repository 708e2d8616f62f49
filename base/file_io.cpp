#include "base/file_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace orvanta {

namespace {

// Large writes go out in pieces; write() gives no promise beyond SSIZE_MAX and some file
// systems dislike single calls of gigabytes.
constexpr size_t kWriteChunk = size_t{1} << 30;
// Room for ".", ".XXXXXX" and a file name cut to this length stays below NAME_MAX.
constexpr size_t kMaxTempStem = 200;

bool SyncFd(int fd) {
    while (::fsync(fd) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

}  // namespace

FileDescriptor::~FileDescriptor() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool FileDescriptor::Close() {
    const int fd = std::exchange(m_fd, -1);
    // Linux releases the descriptor even when close is interrupted; retrying could close a
    // descriptor another thread has just been given.
    return ::close(fd) == 0 || errno == EINTR;
}

bool WriteAll(int fd, std::string_view bytes, size_t* written) {
    size_t ignored = 0;
    size_t& done = written != nullptr ? *written : ignored;
    done = 0;
    while (!bytes.empty()) {
        const ssize_t count = ::write(fd, bytes.data(), std::min(bytes.size(), kWriteChunk));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(count));
        done += static_cast<size_t>(count);
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string TemporaryNameOf(const std::string& target, std::string_view suffix) {
    const size_t slash = target.rfind('/');
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    return "." + base.substr(0, kMaxTempStem) + "." + std::string(suffix);
}

bool ReplaceFile(const std::string& target, std::string_view text, mode_t keepMode, mode_t newMode,
                 std::string& reason, bool durable) {
    const auto fail = [&reason](const char* step) {
        reason = std::string(step) + ": " + std::strerror(errno);
        return false;
    };
    struct stat old {};
    bool exists = true;
    if (::stat(target.c_str(), &old) != 0) {
        if (errno != ENOENT) {
            return fail("cannot look at the file");
        }
        exists = false;
    }

    const std::string folder = FolderOf(target);
    std::string temp = folder + "/" + TemporaryNameOf(target, "XXXXXX");
    FileDescriptor file(::mkostemp(temp.data(), O_CLOEXEC));
    if (file.Get() < 0) {
        return fail("cannot create a file in its folder");
    }

    // Keeps a file owned by the service account when root saves it.
    if (exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
        ::fchown(file.Get(), old.st_uid, old.st_gid) != 0) {
        // Only root may hand a file to someone else; for anyone else the new file is still
        // right, just owned by whoever saved it.
    }
    const mode_t mode = exists ? (old.st_mode & keepMode) : newMode;
    const char* step = nullptr;
    if (::fchmod(file.Get(), mode) != 0) {
        step = "cannot set the file's permissions";
    } else if (!WriteAll(file.Get(), text) || (durable && !SyncFd(file.Get())) || !file.Close()) {
        step = "cannot write the file";
    } else if (::rename(temp.c_str(), target.c_str()) != 0) {
        step = "cannot replace the file";
    }
    if (step != nullptr) {
        fail(step);
        ::unlink(temp.c_str());
        return false;
    }

    // The rename itself only lasts a crash once the folder is on disk. The new file is in place
    // either way, so a folder that cannot be synced does not make the save a failure.
    FileDescriptor dir(durable ? ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1);
    if (dir.Get() >= 0) {
        SyncFd(dir.Get());
    }
    return true;
}

}  // namespace orvanta
