// LFile / LDiskFile: unbuffered, synchronous file access for the cache files and start-up.
//
// The interface keeps the Windows file API's numbers and results (access, share mode and
// creation disposition values; 0xFFFFFFFF and -1 for failed queries), because the cache code
// above it is written against them.
#pragma once

#include <cstdint>
#include <string>

namespace orvanta {

inline constexpr uint32_t kGenericRead = 0x80000000u;
inline constexpr uint32_t kGenericWrite = 0x40000000u;

inline constexpr uint32_t kFileShareRead = 0x1u;
inline constexpr uint32_t kFileShareWrite = 0x2u;
inline constexpr uint32_t kFileShareDelete = 0x4u;

inline constexpr uint32_t kCreateNew = 1;
inline constexpr uint32_t kCreateAlways = 2;
inline constexpr uint32_t kOpenExisting = 3;
inline constexpr uint32_t kOpenAlways = 4;
inline constexpr uint32_t kTruncateExisting = 5;

inline constexpr uint32_t kFileAttributeNormal = 0x80u;

inline constexpr uint32_t kFileBegin = 0;
inline constexpr uint32_t kFileCurrent = 1;
inline constexpr uint32_t kFileEnd = 2;

inline constexpr uint32_t kInvalidSize32 = 0xFFFFFFFFu;

class LFile {
public:
    virtual ~LFile() = default;
    virtual bool Close() = 0;
    virtual bool IsOpen() const = 0;
    // Reads up to `count` bytes. A read of zero bytes sets the end-of-file flag.
    virtual bool Read(void* buffer, uint32_t count, uint32_t* countRead = nullptr) = 0;
    virtual bool Seek(int32_t distance, uint32_t origin) = 0;
    virtual bool Seek64(int64_t distance, uint32_t origin) = 0;
    // Size and position: 0xFFFFFFFF (32-bit forms) or -1 (64-bit forms) on failure, and the
    // 64-bit forms also answer -1 when the low half is 0xFFFFFFFF, as the Windows calls do.
    virtual uint32_t GetSize() const = 0;
    virtual int64_t GetSize64() const = 0;
    virtual uint32_t Tell() const = 0;
    virtual int64_t Tell64() const = 0;
    virtual bool IsEOF() const = 0;
};

// A file on disk. Share modes are kept with advisory locks: an open with share mode 0 holds
// the file exclusively, any other open holds it shared, and an open that conflicts with a
// holder in another open fails at once, as a sharing violation does on Windows. Creating
// dispositions truncate only once the lock is held, so a reader never sees a file emptied by
// an open that then failed.
class LDiskFile : public LFile {
public:
    LDiskFile() = default;
    ~LDiskFile() override;
    LDiskFile(const LDiskFile&) = delete;
    LDiskFile& operator=(const LDiskFile&) = delete;

    bool Open(const std::string& path, uint32_t desiredAccess, uint32_t shareMode,
              uint32_t creationDisposition, uint32_t flagsAndAttributes);
    bool OpenRead(const std::string& path, uint32_t shareMode);
    bool Create(const std::string& path, uint32_t shareMode);
    bool Write(const void* buffer, uint32_t count, uint32_t* countWritten = nullptr);

    bool Close() override;
    bool IsOpen() const override { return m_fd >= 0; }
    bool Read(void* buffer, uint32_t count, uint32_t* countRead = nullptr) override;
    bool Seek(int32_t distance, uint32_t origin) override;
    bool Seek64(int64_t distance, uint32_t origin) override;
    uint32_t GetSize() const override;
    int64_t GetSize64() const override;
    uint32_t Tell() const override;
    int64_t Tell64() const override;
    bool IsEOF() const override { return m_eof != 0; }

private:
    int m_fd = -1;
    int32_t m_eof = 0;
};

// True when the path names an existing file or folder.
bool FileExists(const std::string& path);

}  // namespace orvanta
