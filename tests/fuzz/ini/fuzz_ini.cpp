// Whatever Load makes of a file must come back unchanged from Save and a second Load, since every
// change of a setting rewrites the whole configuration from what was read. The one thing the
// line format cannot carry is a carriage return at the end of a line: a comment or value that
// ends in one (read from a line ending in three or more) loses up to two of them on the way
// back, exactly as the reader strips them. Names never end a line in the saved text, and the
// reader cannot produce a model where the rest would not survive: a key name holds none of
// ";#[=" and starts with a printable byte, a section name is followed by its own "]", no text
// holds a line feed, and keys and comments only ever go to the first section of a name.
#include "config/ini_file.h"

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

using orvanta::LIniFile;

namespace {

void RemoveScratchFiles();

void Require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "ini round trip broken: %s\n", what);
        // abort() runs no destructors; the fuzzer keeps its own copy of the failing input.
        RemoveScratchFiles();
        std::abort();
    }
}

std::string MakeTemp(const std::string& folder, const char* stem, int* fd) {
    std::string name = folder + "/" + stem + "-XXXXXX";
    *fd = ::mkstemp(name.data());
    Require(*fd >= 0, "cannot create a scratch file");
    return name;
}

// A memory file system keeps the fsync of every save cheap.
std::string ScratchFolder() {
    struct stat info {};
    if (::stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode) &&
        ::access("/dev/shm", W_OK) == 0) {
        return "/dev/shm";
    }
    const char* tmp = std::getenv("TMPDIR");
    return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

// Files made once per process: the fuzzer calls in hundreds of times a second.
struct Scratch {
    Scratch() {
        const std::string folder = ScratchFolder();
        input = MakeTemp(folder, "fuzz-ini-input", &inputFd);
        int savedFd = -1;
        saved = MakeTemp(folder, "fuzz-ini-saved", &savedFd);
        ::close(savedFd);
        nullFd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        stdoutFd = ::dup(STDOUT_FILENO);
        made = this;
    }

    ~Scratch() { RemoveScratchFiles(); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    static const Scratch& Get() {
        static const Scratch scratch;
        return scratch;
    }

    std::string input;
    int inputFd = -1;
    std::string saved;
    int nullFd = -1;
    int stdoutFd = -1;
    // Set once both files exist.
    static inline const Scratch* made = nullptr;
};

void RemoveScratchFiles() {
    if (Scratch::made != nullptr) {
        ::unlink(Scratch::made->input.c_str());
        ::unlink(Scratch::made->saved.c_str());
    }
}

// Load, with the reader's complaints about unprintable lines kept off the fuzzer's output.
bool QuietLoad(LIniFile& ini) {
    const Scratch& scratch = Scratch::Get();
    std::fflush(stdout);
    const bool quiet =
        scratch.nullFd >= 0 && scratch.stdoutFd >= 0 && ::dup2(scratch.nullFd, STDOUT_FILENO) >= 0;
    const bool loaded = ini.Load();
    if (quiet) {
        std::fflush(stdout);
        ::dup2(scratch.stdoutFd, STDOUT_FILENO);
    }
    return loaded;
}

std::string StripLineEnd(std::string text) {
    for (int i = 0; i < 2 && !text.empty() && text.back() == '\r'; ++i) {
        text.pop_back();
    }
    return text;
}

bool SameLines(const std::vector<std::string>& first, const std::vector<std::string>& second) {
    if (first.size() != second.size()) {
        return false;
    }
    for (size_t i = 0; i < first.size(); ++i) {
        if (StripLineEnd(first[i]) != second[i]) {
            return false;
        }
    }
    return true;
}

// Lookups through the name indexes agree with a plain scan of the lists.
void CheckIndexes(const LIniFile& ini) {
    Require(ini.sections.size() == ini.sectionNames.size(), "section lists out of step");
    std::unordered_map<std::string, size_t> firstOfName;
    for (size_t i = 0; i < ini.sections.size(); ++i) {
        const std::string& name = ini.sectionNames[i];
        const size_t first = firstOfName.try_emplace(ini.FoldCase(name), i).first->second;
        Require(ini.FindSection(name) == first, "section lookup");
        const orvanta::LIniSection& section = ini.sections[i];
        Require(section.keyNames.size() == section.values.size(), "key lists out of step");
        Require(first == i || (section.keyNames.empty() && section.comments.empty()),
                "content in a later section of a repeated name");
        for (size_t k = 0; k < section.keyNames.size(); ++k) {
            Require(ini.FindKey(i, section.keyNames[k]) == k, "key lookup");
            Require(ini.GetString(name, section.keyNames[k], "\n") == section.values[k],
                    "GetString");
            // The C library's own reading, saturated, is what GetInt promises.
            const long wide = std::strtol(section.values[k].c_str(), nullptr, 10);
            const long expected = wide < INT32_MIN   ? INT32_MIN
                                  : wide > INT32_MAX ? INT32_MAX
                                                     : wide;
            Require(orvanta::AtoI(section.values[k]) == expected, "AtoI");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Scratch& scratch = Scratch::Get();
    Require(::ftruncate(scratch.inputFd, 0) == 0, "truncating the input");
    for (size_t done = 0; done < size;) {
        const ssize_t wrote =
            ::pwrite(scratch.inputFd, data + done, size - done, static_cast<off_t>(done));
        Require(wrote > 0 || (wrote < 0 && errno == EINTR), "writing the input");
        done += wrote > 0 ? static_cast<size_t>(wrote) : 0;
    }

    LIniFile first(scratch.input);
    QuietLoad(first);
    CheckIndexes(first);

    first.path = scratch.saved;
    Require(first.Save(), "Save");
    LIniFile second(scratch.saved);
    Require(QuietLoad(second) == !first.sectionNames.empty(), "Load of a saved file");
    CheckIndexes(second);

    Require(SameLines(first.headerComments, second.headerComments), "header comments");
    Require(first.sectionNames == second.sectionNames, "section names");
    for (size_t i = 0; i < first.sections.size(); ++i) {
        Require(first.sections[i].keyNames == second.sections[i].keyNames, "key names");
        Require(SameLines(first.sections[i].values, second.sections[i].values), "values");
        Require(SameLines(first.sections[i].comments, second.sections[i].comments), "comments");
    }
    return 0;
}
