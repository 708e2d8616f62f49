#include "config/station_config_file.h"

#include "base/ascii.h"
#include "base/file_io.h"
#include "config/station_settings.h"
#include "support/path.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orvanta {

namespace {

constexpr std::string_view kMassConfig = "MassConfig";

// A template piece is what one read of a 1024-byte line buffer gives: at most 1023 bytes,
// ending after a line feed or when the buffer is full.
constexpr size_t kTemplatePiece = 1023;
// A template is a handful of lines; a "template" larger than this is not one (and /dev/zero
// named by mistake must not be read forever).
constexpr off_t kTemplateLimit = 64 * 1024 * 1024;

// The template's text, or false when it cannot be read as a regular file of sane size.
bool ReadTemplate(const std::string& path, std::string& text) {
    // Non-blocking, so a FIFO named by mistake cannot hang the load; it is refused below.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.Get() < 0) {
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(file.Get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kTemplateLimit;
    if (ok) {
        text.resize(static_cast<size_t>(st.st_size));
        size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::read(file.Get(), text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            done += static_cast<size_t>(n);
        }
        text.resize(done);
    }
    return ok;
}

// Writes `text` to a new private file in the system's temporary folder; "" on failure (the
// half-written file is removed).
std::string WriteTemporaryFile(const std::string& text) {
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec) / "orvanta-mass-XXXXXX");
    if (ec) {
        pattern = "/tmp/orvanta-mass-XXXXXX";
    }
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    FileDescriptor file(::mkostemp(name.data(), O_CLOEXEC));
    if (file.Get() < 0) {
        return {};
    }
    if (!WriteAll(file.Get(), text) || !file.Close()) {
        ::unlink(name.data());
        return {};
    }
    return name.data();
}

// mkdir -p, ignoring every failure.
void CreateFolder(const std::string& path) {
    if (path.empty() || path.size() >= PATH_MAX) {
        return;
    }
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1)) {
        ::mkdir(path.substr(0, at).c_str(), 0777);
    }
    ::mkdir(path.c_str(), 0777);
}

}  // namespace

int ApplyMassConfig(LIniFile& ini, StationConfig& config) {
    const std::string include = ini.GetString(kMassConfig, "Include", "");
    if (include.empty()) {
        return 0;
    }
    const std::string uniqueKey = ini.GetString(kMassConfig, "UniqueKey", "");
    if (uniqueKey.empty()) {
        return 0;
    }
    std::string source;
    if (!ReadTemplate(include, source)) {
        return 0;
    }

    std::string output;
    for (size_t at = 0; at < source.size();) {
        size_t end = source.find('\n', at);
        end = end == std::string::npos ? source.size() : end + 1;
        end = std::min(end, at + kTemplatePiece);
        std::string_view piece(source.data() + at, end - at);
        at = end;
        // A piece is handled as a C string: it ends at a zero byte.
        piece = piece.substr(0, std::min(piece.size(), piece.find('\0')));
        std::string replaced;
        replaced.reserve(piece.size());
        for (char c : piece) {
            if (c == '$') {
                replaced += uniqueKey;
            } else {
                replaced += c;
            }
        }
        // The template's own mass-configuration lines would point the station at the template
        // again; they are left out.
        if (replaced.find("Include") != std::string::npos &&
            replaced.find("Unique") != std::string::npos) {
            continue;
        }
        output += replaced;
    }

    if (!output.empty()) {
        const std::string temporary = WriteTemporaryFile(output);
        // Without a temporary file there is nothing to merge, and a partial one is never read.
        if (temporary.empty()) {
            return 0;
        }
        ini.path = temporary;
        ini.Load();
        ::unlink(temporary.c_str());
    }
    config.MassInclude = include;
    config.MassUniqueKey = uniqueKey;
    return 1;
}

void PrepareDirectories(StationConfig& config, const ConfigFolders& folders) {
    const std::string programFolder =
        folders.programFolder.empty() ? GetModuleFolder() : folders.programFolder;
    if (!folders.logFolder.empty()) {
        // Installed: nothing may land in whatever folder the program was started from, so the
        // default log folder is the given one and other relative folders hang off the state
        // folder.
        const auto anchored = [&programFolder](const std::string& path) {
            return path.empty() || path.front() == '/'
                       ? path
                       : JoinedPath(programFolder,
                                    path.rfind("./", 0) == 0 ? path.substr(2) : path);
        };
        if (config.LogDir == "./logs" || config.LogDir == "./log") {
            config.LogDir = folders.logFolder;
        }
        config.LogDir = anchored(config.LogDir);
        if (config.ContentDir == "./content") {
            config.ContentDir = JoinedPath(programFolder, "Contents");
        }
        config.ContentDir = anchored(config.ContentDir);
    } else {
        if (config.LogDir == "./logs") {
            config.LogDir = JoinedPath(programFolder, "logs");
        }
        if (config.ContentDir == "./content") {
            config.ContentDir = JoinedPath(programFolder, "Contents");
        }
    }
    if (folders.createFolders) {
        CreateFolder(config.LogDir);
        CreateFolder(config.ContentDir);
    }
}

int LoadStationConfig(const std::string& path, StationConfig& config,
                      const ConfigFolders& folders) {
    if (path.empty()) {
        return -1;
    }
    config.SetDefaults();
    config.ConfigFile = path;
    RemoveLeftoverSaves(path);

    LIniFile ini(path);
    ini.Load();
    if (ApplyMassConfig(ini, config) == 1) {
        ReadStationSettings(ini, config);
    }
    // The file's own values win over the template's; keys only the template has stay.
    ini.path = path;
    ini.Load();
    ReadStationSettings(ini, config);
    PrepareDirectories(config, folders);
    return 1;
}

bool CheckStationConfigFile(const std::string& path, std::string* problem) {
    const auto fail = [problem](std::string why) {
        if (problem != nullptr) {
            *problem = std::move(why);
        }
        return false;
    };
    // Non-blocking, so that a FIFO in its place cannot hang the reload.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return fail(std::strerror(errno));
    }
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!regular) {
        return fail("not a regular file");
    }
    LIniFile ini(path);
    if (!ini.Load()) {
        return fail(
            "not a configuration file (no [section], or a line starting with a "
            "control byte)");
    }
    return true;
}

bool SaveStationConfig(const std::string& path, StationConfig& config, std::string* reason) {
    LIniFile ini(path);
    WriteStationSettings(ini, config);
    return ini.Save(reason);
}

}  // namespace orvanta
