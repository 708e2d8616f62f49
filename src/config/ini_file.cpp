#include "config/ini_file.h"

#include "base/ascii.h"
#include "base/file_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <exception>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace orvanta {
namespace {

constexpr size_t kReadChunk = 64 * 1024;
// As the kernel's own limit on nested links.
constexpr int kMaxLinkHops = 40;
constexpr mode_t kFallbackUmask = 022;

// The bytes that count as printable at the start of a line. Bytes from 0x80 up are taken as
// text so that UTF-8 names and values load.
bool IsPrintableLead(unsigned char byte) {
    return byte >= 0x80 || (byte >= 0x20 && byte != 0x7F);
}

std::string FormatInt(int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return text;
}

// Vectors grow one element at a time here; reserving ahead keeps the later push_back from
// throwing, so a failed allocation never leaves the parallel lists out of step, while the
// doubling keeps appends amortised constant.
template <typename T>
void ReserveOneMore(std::vector<T>& list) {
    if (list.size() == list.capacity()) {
        list.reserve(std::max<size_t>(8, list.capacity() * 2));
    }
}

// The file a save must replace. A link is followed to its end, even a dangling one, so that
// it keeps pointing at the configuration instead of being replaced by a plain file.
bool ResolveTarget(const std::string& path, std::string& target) {
    if (path.empty()) {
        return false;
    }
    target = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat info {};
        if (::lstat(target.c_str(), &info) != 0) {
            return errno == ENOENT;
        }
        if (!S_ISLNK(info.st_mode)) {
            return true;
        }
        std::string link(static_cast<size_t>(std::max<off_t>(info.st_size, 0)) + 1, '\0');
        for (;;) {
            const ssize_t length = ::readlink(target.c_str(), link.data(), link.size());
            if (length < 0) {
                return false;
            }
            if (static_cast<size_t>(length) < link.size()) {
                link.resize(static_cast<size_t>(length));
                break;
            }
            // The link changed under us and grew; ask again with more room.
            link.resize(link.size() * 2);
        }
        if (link.empty()) {
            return false;
        }
        target = link.front() == '/' ? link : FolderOf(target) + "/" + link;
    }
    return false;
}

// The process umask without changing it: umask() can only be read by setting it, which races
// with other threads creating files.
mode_t CurrentUmask() {
    FileDescriptor status(::open("/proc/self/status", O_RDONLY | O_CLOEXEC));
    if (status.Get() < 0) {
        return kFallbackUmask;
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(status.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        text.append(buffer, static_cast<size_t>(got));
    }
    constexpr std::string_view kField = "\nUmask:";
    const size_t field = text.find(kField);
    if (field == std::string::npos) {
        return kFallbackUmask;
    }
    const char* begin = text.c_str() + field + kField.size();
    char* end = nullptr;
    const unsigned long mask = std::strtoul(begin, &end, 8);
    if (end == begin || mask > 0777) {
        return kFallbackUmask;
    }
    return static_cast<mode_t>(mask);
}

// Cuts the line end as the format has always been read: Windows text mode turns CR LF into LF,
// and the reader then drops one more CR.
std::string_view StripLineEnd(std::string_view line) {
    for (int i = 0; i < 2 && !line.empty() && line.back() == '\r'; ++i) {
        line.remove_suffix(1);
    }
    return line;
}

}  // namespace

int32_t AtoI(std::string_view text) {
    size_t at = 0;
    while (at < text.size() && IsCSpace(text[at])) {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    // One past INT32_MAX is the magnitude of INT32_MIN; more digits cannot change the result.
    constexpr int64_t kLimit = int64_t{INT32_MAX} + 1;
    int64_t magnitude = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        magnitude = std::min(kLimit, magnitude * 10 + (text[at] - '0'));
    }
    if (negative) {
        return static_cast<int32_t>(-magnitude);
    }
    return static_cast<int32_t>(std::min<int64_t>(magnitude, INT32_MAX));
}

LIniFile::LIniFile(std::string filePath) : path(std::move(filePath)) {}

LIniFile::~LIniFile() = default;

std::string LIniFile::FoldCase(std::string_view text) const {
    return caseInsensitive ? AsciiLower(text) : std::string(text);
}

size_t LIniFile::FindSection(std::string_view name) const {
    const auto found = m_sectionIndex.find(FoldCase(name));
    return found == m_sectionIndex.end() ? kNone : found->second;
}

size_t LIniFile::FindKey(size_t section, std::string_view key) const {
    if (section >= sections.size()) {
        return kNone;
    }
    const auto& index = sections[section].keyIndex;
    const auto found = index.find(FoldCase(key));
    return found == index.end() ? kNone : found->second;
}

size_t LIniFile::AddSection(std::string_view name) {
    std::string stored(name);
    std::string folded = FoldCase(name);
    ReserveOneMore(sections);
    ReserveOneMore(sectionNames);
    const size_t added = sections.size();
    // Only the first section of a name is indexed; later ones are reachable by position only.
    m_sectionIndex.try_emplace(std::move(folded), added);
    sections.emplace_back();
    sectionNames.push_back(std::move(stored));
    return added;
}

bool LIniFile::SetString(std::string_view section, std::string_view key, std::string_view value,
                         bool create) {
    size_t sectionAt = FindSection(section);
    if (sectionAt == kNone) {
        if (!create) {
            return false;
        }
        sectionAt = AddSection(section);
    }
    LIniSection& target = sections[sectionAt];
    // Folded once for both the lookup and the index: loading long user lists lives here.
    std::string folded = FoldCase(key);
    const auto found = target.keyIndex.find(folded);
    if (found != target.keyIndex.end()) {
        target.values[found->second].assign(value);
        return true;
    }
    if (!create) {
        return false;
    }
    std::string name(key);
    std::string stored(value);
    ReserveOneMore(target.keyNames);
    ReserveOneMore(target.values);
    target.keyIndex.emplace(std::move(folded), target.keyNames.size());
    target.keyNames.push_back(std::move(name));
    target.values.push_back(std::move(stored));
    return true;
}

bool LIniFile::SetInt(std::string_view section, std::string_view key, int32_t value,
                      bool /*create*/) {
    // `create` is ignored on purpose: storing a number always creates what is missing.
    return SetString(section, key, FormatInt(value), true);
}

std::string LIniFile::GetString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
    const size_t sectionAt = FindSection(section);
    const size_t keyAt = FindKey(sectionAt, key);
    if (keyAt == kNone) {
        return std::string(fallback);
    }
    return sections[sectionAt].values[keyAt];
}

int32_t LIniFile::GetInt(std::string_view section, std::string_view key, int32_t fallback) const {
    return AtoI(GetString(section, key, FormatInt(fallback)));
}

void LIniFile::AddHeaderComment(std::string_view text) {
    headerComments.emplace_back(text);
}

bool LIniFile::AddSectionComment(size_t section, std::string_view text) {
    if (section >= sections.size()) {
        return false;
    }
    sections[section].comments.emplace_back(text);
    return true;
}

bool LIniFile::AddSectionComment(std::string_view section, std::string_view text) {
    return AddSectionComment(FindSection(section), text);
}

bool LIniFile::Load() {
    try {
        FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (file.Get() < 0) {
            return false;
        }
        struct stat info {};
        if (::fstat(file.Get(), &info) != 0 || S_ISDIR(info.st_mode)) {
            return false;
        }

        std::string current;
        // Returns false when the line ends the reading.
        const auto parseLine = [this, &current](std::string_view line) {
            line = StripLineEnd(line);
            if (line.empty()) {
                return true;
            }
            const auto lead = static_cast<unsigned char>(line.front());
            if (!IsPrintableLead(lead)) {
                std::printf("Failing on char %d\n",
                            static_cast<int>(static_cast<signed char>(lead)));
                std::fflush(stdout);
                return false;
            }
            const size_t mark = line.find_first_of(";#[=");
            if (mark == std::string_view::npos) {
                return true;
            }
            switch (line[mark]) {
                case ';':
                case '#':
                    if (sectionNames.empty()) {
                        AddHeaderComment(line.substr(mark + 1));
                    } else {
                        AddSectionComment(current, line.substr(mark + 1));
                    }
                    break;
                case '=':
                    SetString(current, line.substr(0, mark), line.substr(mark + 1), true);
                    break;
                default: {
                    const size_t close = line.rfind(']');
                    if (close != std::string_view::npos && close > mark) {
                        current.assign(line.substr(mark + 1, close - mark - 1));
                        AddSection(current);
                    }
                    break;
                }
            }
            return true;
        };

        std::string pending;  // a line split across reads
        std::string chunk(kReadChunk, '\0');
        for (;;) {
            const ssize_t got = ::read(file.Get(), chunk.data(), chunk.size());
            if (got < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return false;
            }
            if (got == 0) {
                break;
            }
            std::string_view rest(chunk.data(), static_cast<size_t>(got));
            for (size_t feed; (feed = rest.find('\n')) != std::string_view::npos;) {
                std::string_view line = rest.substr(0, feed);
                rest.remove_prefix(feed + 1);
                if (!pending.empty()) {
                    pending.append(line);
                    line = pending;
                }
                const bool more = parseLine(line);
                pending.clear();
                if (!more) {
                    return false;
                }
            }
            pending.append(rest);
        }
        if (!pending.empty() && !parseLine(pending)) {
            return false;
        }
        return !sectionNames.empty();
    } catch (const std::exception&) {
        // Out of memory on a huge file: what was read stays, as for any other stop.
        return false;
    }
}

bool LIniFile::Save(std::string* reason) const {
    std::string why;
    const bool saved = SaveText(why);
    if (!saved && reason != nullptr) {
        *reason = why.empty() ? std::string("cannot write the file") : why;
    }
    return saved;
}

bool LIniFile::SaveText(std::string& reason) const {
    try {
        std::string text;
        for (const std::string& comment : headerComments) {
            text.append(";").append(comment).append("\n");
        }
        if (!headerComments.empty()) {
            text.append("\n");
        }
        for (size_t i = 0; i < sections.size(); ++i) {
            const LIniSection& section = sections[i];
            text.append("[").append(sectionNames[i]).append("]\n");
            for (const std::string& comment : section.comments) {
                text.append(";").append(comment).append("\n");
            }
            for (size_t k = 0; k < section.keyNames.size(); ++k) {
                text.append(section.keyNames[k]).append("=").append(section.values[k]).append("\n");
            }
            text.append("\n");
        }

        return SaveIniText(path, text, &reason);
    } catch (const std::exception&) {
        reason = "out of memory";
        return false;
    }
}

bool SaveIniText(const std::string& path, std::string_view text, std::string* reason) {
    std::string why;
    std::string target;
    bool saved = false;
    if (!ResolveTarget(path, target)) {
        why = path.empty() ? "no file name"
                           : std::string("cannot reach the file: ") + std::strerror(errno);
    } else {
        // The configuration holds passwords: a new file is the owner's alone, and a save never
        // leaves one readable by everyone (the group an operator gave it keeps its access).
        saved = ReplaceFile(target, text, 0770, 0600 & ~CurrentUmask(), why);
    }
    if (!saved && reason != nullptr) {
        *reason = why;
    }
    return saved;
}

bool ReadIniText(const std::string& path, std::string& text, std::string* reason) {
    text.clear();
    const auto fail = [reason](const char* step) {
        if (reason != nullptr) {
            *reason = std::string(step) + ": " + std::strerror(errno);
        }
        return false;
    };
    std::string target;
    if (!ResolveTarget(path, target)) {
        return fail("cannot reach the file");
    }
    FileDescriptor file(::open(target.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0) {
        return errno == ENOENT ? true : fail("cannot open the file");
    }
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0) {
        return fail("cannot look at the file");
    }
    if (!S_ISREG(info.st_mode)) {
        errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        return fail("cannot read the file");
    }
    char buffer[kReadChunk];
    for (;;) {
        const ssize_t got = ::read(file.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return fail("cannot read the file");
        }
        if (got == 0) {
            return true;
        }
        text.append(buffer, static_cast<size_t>(got));
    }
}

std::optional<std::string> WithIniValue(std::string_view text, std::string_view section,
                                        std::string_view key, std::string_view value) {
    if (value.find_first_of("\r\n") != std::string_view::npos) {
        return std::nullopt;
    }
    const std::string wantedSection = AsciiLower(section);
    const std::string wantedKey = AsciiLower(key);
    std::string result;
    result.reserve(text.size() + key.size() + value.size() + section.size() + 8);
    // The line end the file uses, for the lines added; its first line decides.
    const size_t firstFeed = text.find('\n');
    const std::string_view lineEnd =
        firstFeed != std::string_view::npos && firstFeed > 0 && text[firstFeed - 1] == '\r' ? "\r\n"
                                                                                            : "\n";
    std::string current;
    bool replaced = false;
    // In `result`, the end of the last non-empty line of the first section of that name.
    size_t sectionEnd = std::string::npos;
    bool inFirstSection = false;
    bool seenSection = false;
    for (size_t at = 0; at < text.size();) {
        const size_t feed = text.find('\n', at);
        const size_t next = feed == std::string_view::npos ? text.size() : feed + 1;
        const std::string_view raw =
            text.substr(at, (feed == std::string_view::npos ? next : feed) - at);
        const std::string_view line = StripLineEnd(raw);
        at = next;
        if (line.empty()) {
            result.append(raw);
            if (feed != std::string_view::npos) {
                result += '\n';
            }
            continue;
        }
        if (!IsPrintableLead(static_cast<unsigned char>(line.front()))) {
            return std::nullopt;
        }
        const size_t mark = line.find_first_of(";#[=");
        bool isKey = false;
        if (mark != std::string_view::npos && line[mark] == '[') {
            const size_t close = line.rfind(']');
            if (close != std::string_view::npos && close > mark) {
                current = AsciiLower(line.substr(mark + 1, close - mark - 1));
                inFirstSection = !seenSection && current == wantedSection;
                seenSection = seenSection || inFirstSection;
            }
        } else if (mark != std::string_view::npos && line[mark] == '=') {
            isKey = current == wantedSection && AsciiLower(line.substr(0, mark)) == wantedKey;
        }
        if (isKey) {
            // The name and "=" as written, the new value, then whatever line end there was.
            result.append(line.substr(0, mark + 1)).append(value).append(raw.substr(line.size()));
            replaced = true;
        } else {
            result.append(raw);
        }
        if (inFirstSection) {
            sectionEnd = result.size();
        }
        if (feed != std::string_view::npos) {
            result += '\n';
        }
    }
    if (replaced) {
        return result;
    }
    const std::string added = std::string(key) + "=" + std::string(value);
    // A last line without its line end gets one: a bare line feed after a carriage return, so
    // that Load strips from that line exactly what it stripped before.
    const auto endLastLine = [&result, lineEnd] {
        if (!result.empty() && result.back() != '\n') {
            result.append(result.back() == '\r' ? std::string_view("\n") : lineEnd);
        }
    };
    if (sectionEnd != std::string::npos) {
        // After the section's last line, keeping that line's own end.
        if (sectionEnd == result.size()) {
            endLastLine();
        }
        result.insert(result.find('\n', sectionEnd) + 1, added + std::string(lineEnd));
        return result;
    }
    // A section of its own at the end, after a blank line as the writer separates them.
    endLastLine();
    if (!result.empty()) {
        size_t last = result.size() - 1;  // the final line feed; the last line ends before it
        while (last > 0 && result[last - 1] == '\r') {
            --last;
        }
        if (last > 0 && result[last - 1] != '\n') {
            result.append(lineEnd);
        }
    }
    result.append("[").append(section).append("]").append(lineEnd).append(added).append(lineEnd);
    return result;
}

void RemoveLeftoverSaves(const std::string& path, std::chrono::seconds minimumAge) {
    std::string target;
    if (!ResolveTarget(path, target)) {
        return;
    }
    const std::string folder = FolderOf(target);
    const std::string stem = TemporaryNameOf(target, "");
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
    if (!dir) {
        return;
    }
    const time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name(entry->d_name);
        // Ours exactly: the stem and the six letters and digits mkostemp put in.
        if (name.size() != stem.size() + 6 || name.substr(0, stem.size()) != stem ||
            !std::all_of(name.begin() + static_cast<std::ptrdiff_t>(stem.size()), name.end(),
                         [](char c) {
                             return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                    (c >= '0' && c <= '9');
                         })) {
            continue;
        }
        const std::string file = folder + "/" + std::string(name);
        struct stat info {};
        // A save still under way elsewhere (another copy of the program) is young; leave it.
        if (::lstat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            info.st_uid == ::geteuid() && now - info.st_mtime >= minimumAge.count()) {
            ::unlink(file.c_str());
        }
    }
}

}  // namespace orvanta
