#include "support/file.h"

#include "base/file_io.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvanta {

namespace {

int Whence(uint32_t origin) {
    switch (origin) {
        case kFileBegin:
            return SEEK_SET;
        case kFileCurrent:
            return SEEK_CUR;
        case kFileEnd:
            return SEEK_END;
        default:
            return -1;
    }
}

constexpr uint32_t Low32(uint64_t v) {
    return static_cast<uint32_t>(v & 0xFFFFFFFFu);
}

}  // namespace

LDiskFile::~LDiskFile() {
    LDiskFile::Close();
}

bool LDiskFile::Open(const std::string& path, uint32_t desiredAccess, uint32_t shareMode,
                     uint32_t creationDisposition, uint32_t /*flagsAndAttributes*/) {
    Close();

    const bool wantRead = (desiredAccess & kGenericRead) != 0;
    const bool wantWrite = (desiredAccess & kGenericWrite) != 0;
    int flags = O_CLOEXEC;
    flags |= wantWrite ? (wantRead ? O_RDWR : O_WRONLY) : O_RDONLY;

    bool truncate = false;
    switch (creationDisposition) {
        case kCreateNew:
            flags |= O_CREAT | O_EXCL;
            break;
        case kCreateAlways:
            flags |= O_CREAT;
            truncate = true;
            break;
        case kOpenExisting:
            break;
        case kOpenAlways:
            flags |= O_CREAT;
            break;
        case kTruncateExisting:
            truncate = true;
            break;
        default:
            return false;
    }
    if (truncate && !wantWrite) {
        return false;
    }

    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    // Folders are not files here, as on Windows without backup semantics.
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return false;
    }
    const int lock = (shareMode == 0 ? LOCK_EX : LOCK_SH) | LOCK_NB;
    if (::flock(fd, lock) != 0 || (truncate && ::ftruncate(fd, 0) != 0)) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

bool LDiskFile::OpenRead(const std::string& path, uint32_t shareMode) {
    return Open(path, kGenericRead, shareMode, kOpenExisting, kFileAttributeNormal);
}

bool LDiskFile::Create(const std::string& path, uint32_t shareMode) {
    return Open(path, kGenericRead | kGenericWrite, shareMode, kCreateAlways, kFileAttributeNormal);
}

bool LDiskFile::Close() {
    bool ok = true;
    if (m_fd >= 0) {
        ok = ::close(m_fd) == 0;
        m_fd = -1;
    }
    m_eof = 0;
    return ok;
}

bool LDiskFile::Read(void* buffer, uint32_t count, uint32_t* countRead) {
    ssize_t n;
    do {
        n = ::read(m_fd, buffer, count);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        return false;
    }
    if (n == 0) {
        m_eof = 1;
    }
    if (countRead != nullptr) {
        *countRead = static_cast<uint32_t>(n);
    }
    return true;
}

bool LDiskFile::Write(const void* buffer, uint32_t count, uint32_t* countWritten) {
    size_t done = 0;
    const bool written =
        WriteAll(m_fd, std::string_view(static_cast<const char*>(buffer), count), &done);
    if (countWritten != nullptr) {
        *countWritten = static_cast<uint32_t>(done);
    }
    return written;
}

bool LDiskFile::Seek(int32_t distance, uint32_t origin) {
    return LDiskFile::Seek64(distance, origin);
}

bool LDiskFile::Seek64(int64_t distance, uint32_t origin) {
    m_eof = 0;
    const int whence = Whence(origin);
    if (whence < 0) {
        return false;
    }
    off_t pos = ::lseek(m_fd, distance, whence);
    return pos >= 0 && Low32(static_cast<uint64_t>(pos)) != kInvalidSize32;
}

uint32_t LDiskFile::GetSize() const {
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) {
        return kInvalidSize32;
    }
    return Low32(static_cast<uint64_t>(st.st_size));
}

int64_t LDiskFile::GetSize64() const {
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0 ||
        Low32(static_cast<uint64_t>(st.st_size)) == kInvalidSize32) {
        return -1;
    }
    return st.st_size;
}

uint32_t LDiskFile::Tell() const {
    off_t pos = m_fd < 0 ? -1 : ::lseek(m_fd, 0, SEEK_CUR);
    return pos < 0 ? kInvalidSize32 : Low32(static_cast<uint64_t>(pos));
}

int64_t LDiskFile::Tell64() const {
    off_t pos = m_fd < 0 ? -1 : ::lseek(m_fd, 0, SEEK_CUR);
    if (pos < 0 || Low32(static_cast<uint64_t>(pos)) == kInvalidSize32) {
        return -1;
    }
    return pos;
}

bool FileExists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

}  // namespace orvanta
