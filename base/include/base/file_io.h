// Files as the core and the engine both handle them: a descriptor owner, writes that finish,
// and saving a whole file so that a crash, a full disk or a failed write never leaves it half
// written (the new bytes go to a temporary file beside it, which is synced and then renamed
// over it).
#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

namespace orvanta {

// Owns one open descriptor.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor();
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return m_fd; }
    // Closes and reports failure, which on some file systems is the first sign of a lost write.
    bool Close();

private:
    int m_fd;
};

// write() until every byte is out; false on an error or a write that makes no progress.
// `written`, when given, says how many bytes went out either way.
bool WriteAll(int fd, std::string_view bytes, size_t* written = nullptr);

// The folder part of `path` ("." when there is none).
std::string FolderOf(const std::string& path);

// The name of the temporary file a save of `target` uses in the target's folder; `suffix` is
// mkostemp's "XXXXXX" (or "" for the stem that every such name starts with).
std::string TemporaryNameOf(const std::string& target, std::string_view suffix);

// Replaces `target` by a file holding `text`. A file that exists keeps its owner (when this
// process may hand it over) and its permission bits within `keepMode`; a new one gets
// `newMode`. On failure `target` keeps its old bytes, no temporary file is left, and `reason`
// says which step failed and why. Without `durable` nothing waits for the disk: for copies
// that are made again anyway, where a crash may cost the newest bytes but never leaves a file
// half written.
bool ReplaceFile(const std::string& target, std::string_view text, mode_t keepMode, mode_t newMode,
                 std::string& reason, bool durable = true);

}  // namespace orvanta
