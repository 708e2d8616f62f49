#include "config/station_config_file.h"

#include "base/ascii.h"
#include "base/file_io.h"
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

// Section names.
constexpr std::string_view kBroadcast = "Broadcast";
constexpr std::string_view kBroadcastTime = "BroadcastTime";
constexpr std::string_view kLimits = "Limits";
constexpr std::string_view kMassConfig = "MassConfig";
constexpr std::string_view kMedia = "Media";
constexpr std::string_view kMetadata = "Metadata";
constexpr std::string_view kNetwork = "Network";
constexpr std::string_view kPaths = "Paths";
constexpr std::string_view kPrivateBr = "PrivateBr";
constexpr std::string_view kRelay = "Relay";
constexpr std::string_view kHls = "HLS";
constexpr std::string_view kTls = "TLS";

constexpr std::string_view kPrivateUserKey = "PrivateUser";
constexpr std::string_view kPrivatePassKey = "PrivatePass";

// A template piece is what one read of a 1024-byte line buffer gives: at most 1023 bytes,
// ending after a line feed or when the buffer is full.
constexpr size_t kTemplatePiece = 1023;
// A template is a handful of lines; a "template" larger than this is not one (and /dev/zero
// named by mistake must not be read forever).
constexpr off_t kTemplateLimit = 64 * 1024 * 1024;

std::string Trimmed(std::string text) {
    TrimSpaces(text);
    return text;
}

const char* TrueFalse(int32_t flag) {
    return flag != 0 ? "True" : "False";
}

int32_t Flag(const LIniFile& ini, std::string_view section, std::string_view key,
             std::string_view fallback) {
    return AsciiLower(ini.GetString(section, key, fallback)) == "true" ? 1 : 0;
}

std::string TrimmedString(const LIniFile& ini, std::string_view section, std::string_view key,
                          std::string_view fallback) {
    return Trimmed(ini.GetString(section, key, fallback));
}

int32_t TrimmedInt(const LIniFile& ini, std::string_view section, std::string_view key,
                   std::string_view fallback) {
    return AtoI(TrimmedString(ini, section, key, fallback));
}

int16_t Low16(int32_t value) {
    return static_cast<int16_t>(static_cast<uint16_t>(value));
}

void ReadLimits(const LIniFile& ini, StationConfig& config) {
    config.MaxClient = TrimmedInt(ini, kLimits, "MaxClient", "20");
    config.Timeout = TrimmedInt(ini, kLimits, "Timeout", "30");
    config.SongHistoryMax = ini.GetInt(kLimits, "SongHistoryMax", 10);
}

void ReadNetwork(const LIniFile& ini, StationConfig& config) {
    config.Port = TrimmedInt(ini, kNetwork, "Port", "8000");
    std::string bind = TrimmedString(ini, kNetwork, "BindAddress", "");
    // An address is a C string to the service: it ends at the first zero byte.
    bind.resize(std::char_traits<char>::length(bind.c_str()));
    config.BindAddress = std::move(bind);
    config.Portforward = Flag(ini, kNetwork, "Portforward", "True");
    config.OverrideIP = ini.GetString(kNetwork, "OverrideIP", "");
    config.OverridePort = ini.GetInt(kNetwork, "OverridePort", 8000);
}

void ReadPaths(const LIniFile& ini, StationConfig& config) {
    config.LogDir = TrimmedString(ini, kPaths, "LogDir", "./log");
    config.LogFile = TrimmedString(ini, kPaths, "LogFile", "ovserver.log");
    config.ConfigFile = TrimmedString(ini, kPaths, "ConfigFile", "./Config.ini");
    config.ContentDir = TrimmedString(ini, kPaths, "ContentDir", "./content");
    config.IndexPage = TrimmedString(ini, kPaths, "IndexPage", "index.html");
}

// Without a host the section says nothing: a relay set up by an earlier file stays.
void ReadRelay(const LIniFile& ini, StationConfig& config) {
    std::string host = TrimmedString(ini, kRelay, "Hostname", "");
    if (host.empty()) {
        return;
    }
    config.RelayHostname = std::move(host);
    const std::string port = ini.GetString(kRelay, "Port", "");
    config.RelayPort = port.empty() ? 8000 : AtoI(port);
    std::string url = TrimmedString(ini, kRelay, "StreamUrl", "");
    if (!url.empty()) {
        config.RelayStreamUrl = std::move(url);
    }
}

// The highest n <= count for which the section holds a key "PrivateUser<n>" (written the way
// "%d" writes n), so a Count of two billion over a short list costs nothing.
int32_t LastPrivateUserNumber(const LIniFile& ini, int32_t count) {
    const size_t section = ini.FindSection(kPrivateBr);
    if (section == LIniFile::kNone) {
        return 0;
    }
    const std::string prefix = ini.FoldCase(kPrivateUserKey);
    int32_t last = 0;
    for (const std::string& key : ini.sections[section].keyNames) {
        const std::string folded = ini.FoldCase(key);
        if (folded.size() <= prefix.size() || folded.size() > prefix.size() + 10 ||
            folded.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        const std::string digits = folded.substr(prefix.size());
        if (digits.find_first_not_of("0123456789") != std::string::npos || digits[0] == '0') {
            continue;
        }
        const long long n = std::stoll(digits);
        if (n <= count && n > last) {
            last = static_cast<int32_t>(n);
        }
    }
    return last;
}

// Adds to the list, never clears it: users of an earlier configuration stay.
void ReadPrivateUsers(const LIniFile& ini, StationConfig& config) {
    const int32_t count = ini.GetInt(kPrivateBr, "Count", 0);
    const int32_t last = LastPrivateUserNumber(ini, count);
    for (int32_t i = 1; i <= last; ++i) {
        const std::string number = std::to_string(i);
        std::string user = ini.GetString(kPrivateBr, std::string(kPrivateUserKey) + number, "");
        if (user.empty()) {
            continue;
        }
        config.PrivateUsers[std::move(user)] =
            ini.GetString(kPrivateBr, std::string(kPrivatePassKey) + number, "");
    }
}

void ReadMedia(const LIniFile& ini, StationConfig& config) {
    const std::string format = AsciiLower(ini.GetString(kMedia, "Format", "MP3"));
    if (format == "mp3") {
        config.Format = kFormatMp3;
    } else if (format == "wma") {
        config.Format = kFormatWma;
    } else if (format.find("vorbis") != std::string::npos) {
        config.Format = kFormatOggVorbis;
    } else {
        config.Format = kFormatMp3;
    }
}

void ReadBroadcast(const LIniFile& ini, StationConfig& config) {
    // Only an explicit "false" makes a station part of a cluster.
    config.Master = AsciiLower(ini.GetString(kBroadcast, "Master", "True")) == "false" ? 0 : 1;
    config.PublicServer = Flag(ini, kBroadcast, "PublicServer", "true");
    config.ShoutcastRegister = Flag(ini, kBroadcast, "ShoutcastRegister", "true");
    config.PrivateBr = Flag(ini, kBroadcast, "PrivateBr", "false");
    config.CreateLog = Flag(ini, kBroadcast, "CreateLog", "true");
    config.Password = ini.GetString(kBroadcast, "Password", "mustedit");
    config.DJName = ini.GetString(kBroadcast, "DJName", "");
    config.DJEmail = ini.GetString(kBroadcast, "DJEmail", "");
    config.DJSex = ini.GetInt(kBroadcast, "DJSex", 0);
    config.LangCode = ini.GetInt(kBroadcast, "LangCode", 9);
    config.Genre = Low16(ini.GetInt(kBroadcast, "Genre", 100));
    config.Generation = Low16(ini.GetInt(kBroadcast, "Generation", 0));
    config.Ment = Low16(ini.GetInt(kBroadcast, "Ment", 0));

    BroadcastTimeBlock& t = config.BroadcastTime;
    t.Day1 = ini.GetInt(kBroadcastTime, "Day1", 0);
    t.Day2 = ini.GetInt(kBroadcastTime, "Day2", 0);
    t.Day3 = ini.GetInt(kBroadcastTime, "Day3", 0);
    t.ETime1 = ini.GetInt(kBroadcastTime, "ETime1", 0);
    t.ETime2 = ini.GetInt(kBroadcastTime, "ETime2", 0);
    t.ETime3 = ini.GetInt(kBroadcastTime, "ETime3", 0);
    t.STime1 = ini.GetInt(kBroadcastTime, "STime1", 0);
    t.STime2 = ini.GetInt(kBroadcastTime, "STime2", 0);
    t.STime3 = ini.GetInt(kBroadcastTime, "STime3", 0);
    t.Type = ini.GetInt(kBroadcastTime, "Type", 0);
}

void ReadMetadata(const LIniFile& ini, StationConfig& config) {
    config.TitleFormat = ini.GetString(kMetadata, "TitleFormat", "");
    config.URLFormat = ini.GetString(kMetadata, "URLFormat", "");
}

// The sections of the settings that reach the service beside its controller (see
// <orvanta/service_options.h>). A missing key gives its default, like every other key.
void ReadOptions(const LIniFile& ini, StationConfig& config) {
    config.TlsCertificate = TrimmedString(ini, kTls, "Certificate", "");
    config.TlsPrivateKey = TrimmedString(ini, kTls, "PrivateKey", "");
    config.TlsPort = TrimmedInt(ini, kTls, "Port", "0");
    config.TlsTrustedCertificates = TrimmedString(ini, kTls, "TrustedCertificates", "");
    config.HlsEnabled = Flag(ini, kHls, "Enabled", "True");
    config.HlsSegmentSeconds = TrimmedInt(ini, kHls, "SegmentSeconds", "6");
    config.HlsWindow = TrimmedInt(ini, kHls, "Window", "10");
    config.HlsOriginFolder = TrimmedString(ini, kHls, "OriginFolder", "");
}

void ReadSections(const LIniFile& ini, StationConfig& config) {
    ReadLimits(ini, config);
    ReadNetwork(ini, config);
    ReadPaths(ini, config);
    ReadRelay(ini, config);
    ReadPrivateUsers(ini, config);
    ReadMedia(ini, config);
    ReadBroadcast(ini, config);
    ReadMetadata(ini, config);
    ReadOptions(ini, config);
}

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

void TrimSpaces(std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        text.clear();
        return;
    }
    text.erase(text.find_last_not_of(' ') + 1);
    text.erase(0, first);
}

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
        ReadSections(ini, config);
    }
    // The file's own values win over the template's; keys only the template has stay.
    ini.path = path;
    ini.Load();
    ReadSections(ini, config);
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

    ini.AddSection(kBroadcast);
    ini.SetString(kBroadcast, "Master", TrueFalse(config.Master), true);
    ini.SetString(kBroadcast, "PublicServer", TrueFalse(config.PublicServer), true);
    ini.SetString(kBroadcast, "ShoutcastRegister", TrueFalse(config.ShoutcastRegister), true);
    ini.SetString(kBroadcast, "PrivateBr", TrueFalse(config.PrivateBr), true);
    ini.SetString(kBroadcast, "CreateLog", config.CreateLog != 0 ? "true" : "false", true);
    ini.SetString(kBroadcast, "Password", config.Password, true);
    ini.SetString(kBroadcast, "DJName", config.DJName, true);
    ini.SetString(kBroadcast, "DJEmail", config.DJEmail, true);
    ini.SetInt(kBroadcast, "DJSex", config.DJSex, true);
    ini.SetInt(kBroadcast, "LangCode", config.LangCode, true);
    ini.SetInt(kBroadcast, "Genre", config.Genre, true);
    ini.SetInt(kBroadcast, "Generation", config.Generation, true);
    ini.SetInt(kBroadcast, "Ment", config.Ment, true);

    const BroadcastTimeBlock& t = config.BroadcastTime;
    ini.AddSection(kBroadcastTime);
    ini.SetInt(kBroadcastTime, "Day1", t.Day1, true);
    ini.SetInt(kBroadcastTime, "Day2", t.Day2, true);
    ini.SetInt(kBroadcastTime, "Day3", t.Day3, true);
    ini.SetInt(kBroadcastTime, "ETime1", t.ETime1, true);
    ini.SetInt(kBroadcastTime, "ETime2", t.ETime2, true);
    ini.SetInt(kBroadcastTime, "ETime3", t.ETime3, true);
    ini.SetInt(kBroadcastTime, "STime1", t.STime1, true);
    ini.SetInt(kBroadcastTime, "STime2", t.STime2, true);
    ini.SetInt(kBroadcastTime, "STime3", t.STime3, true);
    ini.SetInt(kBroadcastTime, "Type", t.Type, true);

    ini.AddSection(kLimits);
    ini.SetInt(kLimits, "MaxClient", config.MaxClient, true);
    ini.SetInt(kLimits, "Timeout", config.Timeout, true);
    ini.SetInt(kLimits, "SongHistoryMax", config.SongHistoryMax, true);

    ini.AddSection(kMassConfig);
    ini.SetString(kMassConfig, "Include", config.MassInclude, true);
    ini.SetString(kMassConfig, "UniqueKey", config.MassUniqueKey, true);

    ini.AddSection(kMedia);
    const char* format = config.Format == kFormatOggVorbis ? "VORBIS"
                         : config.Format == kFormatWma     ? "WMA"
                                                           : "MP3";
    ini.SetString(kMedia, "Format", format, true);

    ini.AddSection(kMetadata);
    ini.SetString(kMetadata, "TitleFormat", config.TitleFormat, true);
    ini.SetString(kMetadata, "URLFormat", config.URLFormat, true);

    ini.AddSection(kNetwork);
    ini.SetInt(kNetwork, "Port", config.Port, true);
    ini.SetString(kNetwork, "BindAddress", config.BindAddress, true);
    ini.SetString(kNetwork, "Portforward", TrueFalse(config.Portforward), true);
    ini.SetString(kNetwork, "OverrideIP", config.OverrideIP, true);
    ini.SetInt(kNetwork, "OverridePort", config.OverridePort, true);

    ini.AddSection(kPaths);
    ini.SetString(kPaths, "LogDir", config.LogDir, true);
    ini.SetString(kPaths, "LogFile", config.LogFile, true);
    ini.SetString(kPaths, "Configfile", config.ConfigFile, true);
    config.ContentDir = GetFolderOf(config.ContentDir);
    ini.SetString(kPaths, "ContentDir", config.ContentDir, true);
    ini.SetString(kPaths, "IndexPage", config.IndexPage, true);

    ini.AddSection(kPrivateBr);
    ini.SetInt(kPrivateBr, "Count", static_cast<int32_t>(config.PrivateUsers.size()), true);
    int32_t n = 0;
    for (const auto& [user, password] : config.PrivateUsers) {
        const std::string number = std::to_string(++n);
        ini.SetString(kPrivateBr, std::string(kPrivateUserKey) + number, user, true);
        ini.SetString(kPrivateBr, std::string(kPrivatePassKey) + number, password, true);
    }

    // A relay read from a file survives a save, in the keys the loader reads.
    if (!config.RelayHostname.empty()) {
        ini.AddSection(kRelay);
        ini.SetString(kRelay, "Hostname", config.RelayHostname, true);
        ini.SetInt(kRelay, "Port", config.RelayPort, true);
        ini.SetString(kRelay, "StreamUrl", config.RelayStreamUrl, true);
    }

    ini.AddSection(kHls);
    ini.SetString(kHls, "Enabled", TrueFalse(config.HlsEnabled), true);
    ini.SetInt(kHls, "SegmentSeconds", config.HlsSegmentSeconds, true);
    ini.SetInt(kHls, "Window", config.HlsWindow, true);
    ini.SetString(kHls, "OriginFolder", config.HlsOriginFolder, true);

    ini.AddSection(kTls);
    ini.SetString(kTls, "Certificate", config.TlsCertificate, true);
    ini.SetString(kTls, "PrivateKey", config.TlsPrivateKey, true);
    ini.SetInt(kTls, "Port", config.TlsPort, true);
    ini.SetString(kTls, "TrustedCertificates", config.TlsTrustedCertificates, true);

    return ini.Save(reason);
}

}  // namespace orvanta
