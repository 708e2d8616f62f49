#include "config/station_settings.h"

#include "base/ascii.h"
#include "base/ports.h"
#include "config/ini_file.h"
#include "support/path.h"

#include <algorithm>
#include <orvanta/service_options.h>
#include <type_traits>

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
constexpr std::string_view kFallback = "Fallback";
constexpr std::string_view kAdmin = "Admin";
constexpr std::string_view kStats = "Stats";

constexpr std::string_view kPrivateUserKey = "PrivateUser";
constexpr std::string_view kPrivatePassKey = "PrivatePass";

// Reload names, where rows share them.
constexpr const char kDirectoryRegistration[] = "Directory registration";
constexpr const char kPrivateBroadcast[] = "Private broadcast";
constexpr const char kLogging[] = "Logging";
constexpr const char kStationDetails[] = "Station details";
constexpr const char kAddressOverride[] = "Address override";
constexpr const char kContent[] = "ContentDir";
constexpr const char kRelaySetup[] = "Relay";
constexpr const char kHlsSetup[] = "HLS";
constexpr const char kTlsCertificate[] = "TLS certificate";
constexpr const char kFallbackSetup[] = "Fallback";
constexpr const char kAdminLogin[] = "Admin login";
constexpr const char kAdminAccess[] = "Admin access";
constexpr const char kAdminApiToken[] = "Admin API token";
constexpr const char kStatistics[] = "Statistics";

// The order reload messages have always named changes in; a name not listed follows these, in
// the table's order.
constexpr std::string_view kReloadOrder[] = {
    // clang-format off
    "Port", "BindAddress", "Format", "Relay", "TLS Port", "HLS", "Directory registration",
    "Password", "MaxClient", "Timeout", "SongHistoryMax", "Private broadcast", "Logging",
    "ContentDir", "TitleFormat", "URLFormat", "Station details", "Address override",
    "TLS certificate", "Fallback",
    // clang-format on
};

// Space characters (not tabs) off both ends.
std::string Trimmed(const std::string& text) {
    return std::string(TrimAny(text, " "));
}

std::string& TextOf(StationConfig& config, const StationSetting& row) {
    return config.*std::get<std::string StationConfig::*>(row.field);
}

int32_t NumberOf(const StationConfig& config, const StationSetting& row) {
    return std::visit(
        [&config](auto member) -> int32_t {
            using Member = decltype(member);
            if constexpr (std::is_same_v<Member, int32_t StationConfig::*> ||
                          std::is_same_v<Member, int16_t StationConfig::*>) {
                return config.*member;
            } else if constexpr (std::is_same_v<Member, int32_t BroadcastTimeBlock::*>) {
                return config.BroadcastTime.*member;
            } else {
                return 0;
            }
        },
        row.field);
}

void SetNumber(StationConfig& config, const StationSetting& row, int32_t value) {
    std::visit(
        [&config, value](auto member) {
            using Member = decltype(member);
            if constexpr (std::is_same_v<Member, int32_t StationConfig::*>) {
                config.*member = value;
            } else if constexpr (std::is_same_v<Member, int16_t StationConfig::*>) {
                // The file's number, cut to the field's 16 bits the way the service's do.
                config.*member = static_cast<int16_t>(static_cast<uint16_t>(value));
            } else if constexpr (std::is_same_v<Member, int32_t BroadcastTimeBlock::*>) {
                config.BroadcastTime.*member = value;
            }
        },
        row.field);
}

void ReadByForm(const LIniFile& ini, StationConfig& config, const StationSetting& row) {
    const std::string text = ini.GetString(row.section, row.key, row.fallback);
    switch (row.form) {
        case SettingForm::Text:
            TextOf(config, row) = text;
            break;
        case SettingForm::TrimmedText:
        case SettingForm::Path:
            TextOf(config, row) = Trimmed(text);
            break;
        case SettingForm::Number:
            SetNumber(config, row, AtoI(text));
            break;
        case SettingForm::Flag:
        case SettingForm::LowerFlag:
            SetNumber(config, row, AsciiLower(text) == "true" ? 1 : 0);
            break;
        case SettingForm::OnUnlessFalse:
            SetNumber(config, row, AsciiLower(text) == "false" ? 0 : 1);
            break;
    }
}

void WriteByForm(LIniFile& ini, StationConfig& config, const StationSetting& row) {
    const std::string_view key = row.WrittenKey();
    switch (row.form) {
        case SettingForm::Text:
        case SettingForm::TrimmedText:
        case SettingForm::Path:
            ini.SetString(row.section, key, TextOf(config, row), true);
            break;
        case SettingForm::Number:
            ini.SetInt(row.section, key, NumberOf(config, row), true);
            break;
        case SettingForm::Flag:
        case SettingForm::OnUnlessFalse:
            ini.SetString(row.section, key, NumberOf(config, row) != 0 ? "True" : "False", true);
            break;
        case SettingForm::LowerFlag:
            ini.SetString(row.section, key, NumberOf(config, row) != 0 ? "true" : "false", true);
            break;
    }
}

// The mass-configuration names are taken by ApplyMassConfig, and only when a merge happened.
void ReadNothing(const LIniFile&, StationConfig&, const StationSetting&) {}

void ReadFormat(const LIniFile& ini, StationConfig& config, const StationSetting& row) {
    const std::string format = AsciiLower(ini.GetString(row.section, row.key, row.fallback));
    config.Format = format == "wma"                              ? kFormatWma
                    : format.find("vorbis") != std::string::npos ? kFormatOggVorbis
                                                                 : kFormatMp3;
}

void WriteFormat(LIniFile& ini, StationConfig& config, const StationSetting& row) {
    const char* format = config.Format == kFormatOggVorbis ? "VORBIS"
                         : config.Format == kFormatWma     ? "WMA"
                                                           : "MP3";
    ini.SetString(row.section, row.WrittenKey(), format, true);
}

void ReadAddress(const LIniFile& ini, StationConfig& config, const StationSetting& row) {
    std::string address = Trimmed(ini.GetString(row.section, row.key, row.fallback));
    // An address is a C string to the service: it ends at the first zero byte.
    address.resize(std::char_traits<char>::length(address.c_str()));
    TextOf(config, row) = std::move(address);
}

// The file stores the content folder's folder part, and the record follows it.
void WriteFolderPart(LIniFile& ini, StationConfig& config, const StationSetting& row) {
    TextOf(config, row) = GetFolderOf(TextOf(config, row));
    WriteByForm(ini, config, row);
}

// Without a host the [Relay] section says nothing: a relay set up by an earlier file stays.
std::string RelayHost(const LIniFile& ini) {
    return Trimmed(ini.GetString(kRelay, "Hostname", ""));
}

void ReadRelayHost(const LIniFile& ini, StationConfig& config, const StationSetting& row) {
    if (std::string host = RelayHost(ini); !host.empty()) {
        TextOf(config, row) = std::move(host);
    }
}

void ReadRelayPort(const LIniFile& ini, StationConfig& config, const StationSetting& row) {
    if (!RelayHost(ini).empty()) {
        const std::string port = ini.GetString(row.section, row.key, "");
        SetNumber(config, row, AtoI(port.empty() ? row.fallback : port));
    }
}

// An empty URL keeps the one an earlier file gave.
void ReadRelayUrl(const LIniFile& ini, StationConfig& config, const StationSetting& row) {
    if (std::string url = Trimmed(ini.GetString(row.section, row.key, row.fallback));
        !RelayHost(ini).empty() && !url.empty()) {
        TextOf(config, row) = std::move(url);
    }
}

// A relay read from a file survives a save, in the keys the loader reads.
void WriteRelay(LIniFile& ini, StationConfig& config, const StationSetting& row) {
    if (!config.RelayHostname.empty()) {
        WriteByForm(ini, config, row);
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
void ReadPrivateUsers(const LIniFile& ini, StationConfig& config, const StationSetting& row) {
    const int32_t count = AtoI(ini.GetString(row.section, row.key, row.fallback));
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

void WritePrivateUsers(LIniFile& ini, StationConfig& config, const StationSetting& row) {
    ini.SetInt(row.section, row.WrittenKey(), static_cast<int32_t>(config.PrivateUsers.size()),
               true);
    int32_t n = 0;
    for (const auto& [user, password] : config.PrivateUsers) {
        const std::string number = std::to_string(++n);
        ini.SetString(row.section, std::string(kPrivateUserKey) + number, user, true);
        ini.SetString(row.section, std::string(kPrivatePassKey) + number, password, true);
    }
}

// Row modifiers, for the few rows with more than the common columns.
constexpr StationSetting Hooked(StationSetting row, SettingReader read,
                                SettingWriter write = nullptr) {
    row.read = read;
    row.write = write;
    return row;
}

constexpr StationSetting Spelled(StationSetting row, std::string_view writtenKey) {
    row.writtenKey = writtenKey;
    return row;
}

constexpr StationSetting Bounded(StationSetting row, bool (*inBounds)(int32_t)) {
    row.inBounds = inBounds;
    return row;
}

constexpr StationSetting Secret(StationSetting row) {
    row.secret = true;
    return row;
}

using enum SettingForm;
using enum ReloadClass;
using C = StationConfig;
using T = BroadcastTimeBlock;

// The reload classes follow what the bundled engine reads afresh for each login, listener,
// title or log line (live) and what it sets up once at Start: sockets, the module chosen by the
// format, the relay, directory registration, HLS segmenting.
constexpr StationSetting kSettings[] = {
    // clang-format off
    {kBroadcast, "Master", &C::Master, OnUnlessFalse, "True", Restart, kDirectoryRegistration},
    {kBroadcast, "PublicServer", &C::PublicServer, Flag, "true", Restart, kDirectoryRegistration},
    {kBroadcast, "ShoutcastRegister", &C::ShoutcastRegister, Flag, "true", Restart,
     kDirectoryRegistration},
    {kBroadcast, "PrivateBr", &C::PrivateBr, Flag, "false", Live, kPrivateBroadcast},
    {kBroadcast, "CreateLog", &C::CreateLog, LowerFlag, "true", Live, kLogging},
    Secret({kBroadcast, "Password", &C::Password, Text, "mustedit", Live, "Password"}),
    {kBroadcast, "DJName", &C::DJName, Text, "", Kept},
    {kBroadcast, "DJEmail", &C::DJEmail, Text, "", Kept},
    {kBroadcast, "DJSex", &C::DJSex, Number, "0", Kept},
    {kBroadcast, "LangCode", &C::LangCode, Number, "9", Live, kStationDetails},
    {kBroadcast, "Genre", &C::Genre, Number, "100", Live, kStationDetails},
    {kBroadcast, "Generation", &C::Generation, Number, "0", Live, kStationDetails},
    {kBroadcast, "Ment", &C::Ment, Number, "0", Live, kStationDetails},

    {kBroadcastTime, "Day1", &T::Day1, Number, "0", Live, kStationDetails},
    {kBroadcastTime, "Day2", &T::Day2, Number, "0", Live, kStationDetails},
    {kBroadcastTime, "Day3", &T::Day3, Number, "0", Live, kStationDetails},
    {kBroadcastTime, "ETime1", &T::ETime1, Number, "0", Live, kStationDetails},
    {kBroadcastTime, "ETime2", &T::ETime2, Number, "0", Live, kStationDetails},
    {kBroadcastTime, "ETime3", &T::ETime3, Number, "0", Live, kStationDetails},
    {kBroadcastTime, "STime1", &T::STime1, Number, "0", Live, kStationDetails},
    {kBroadcastTime, "STime2", &T::STime2, Number, "0", Live, kStationDetails},
    {kBroadcastTime, "STime3", &T::STime3, Number, "0", Live, kStationDetails},
    {kBroadcastTime, "Type", &T::Type, Number, "0", Live, kStationDetails},

    {kLimits, "MaxClient", &C::MaxClient, Number, "20", Live, "MaxClient"},
    {kLimits, "Timeout", &C::Timeout, Number, "30", Live, "Timeout"},
    {kLimits, "SongHistoryMax", &C::SongHistoryMax, Number, "10", Live, "SongHistoryMax"},

    Hooked({kMassConfig, "Include", &C::MassInclude, Text, "", Kept}, ReadNothing),
    Hooked({kMassConfig, "UniqueKey", &C::MassUniqueKey, Text, "", Kept}, ReadNothing),

    Hooked({kMedia, "Format", &C::Format, Text, "MP3", Restart, "Format"}, ReadFormat,
           WriteFormat),

    {kMetadata, "TitleFormat", &C::TitleFormat, Text, "", Live, "TitleFormat"},
    {kMetadata, "URLFormat", &C::URLFormat, Text, "", Live, "URLFormat"},

    Bounded({kNetwork, "Port", &C::Port, Number, "8000", Restart, "Port"}, IsUsableListenPort),
    Hooked({kNetwork, "BindAddress", &C::BindAddress, TrimmedText, "", Restart, "BindAddress"},
           ReadAddress),
    {kNetwork, "Portforward", &C::Portforward, Flag, "True", Live, kAddressOverride},
    {kNetwork, "OverrideIP", &C::OverrideIP, Text, "", Live, kAddressOverride},
    {kNetwork, "OverridePort", &C::OverridePort, Number, "8000", Live, kAddressOverride},

    {kPaths, "LogDir", &C::LogDir, TrimmedText, "./log", Live, kLogging},
    {kPaths, "LogFile", &C::LogFile, TrimmedText, "ovserver.log", Live, kLogging},
    Spelled({kPaths, "ConfigFile", &C::ConfigFile, TrimmedText, "./Config.ini", Kept},
            "Configfile"),
    Hooked({kPaths, "ContentDir", &C::ContentDir, TrimmedText, "./content", Live, kContent},
           nullptr, WriteFolderPart),
    {kPaths, "IndexPage", &C::IndexPage, TrimmedText, "index.html", Live, kContent},

    Secret(Hooked({kPrivateBr, "Count", &C::PrivateUsers, Number, "0", Live, kPrivateBroadcast,
                   ORVANTA_OPTION_PRIVATE_USERS},
                  ReadPrivateUsers, WritePrivateUsers)),

    Hooked({kRelay, "Hostname", &C::RelayHostname, TrimmedText, "", Restart, kRelaySetup},
           ReadRelayHost, WriteRelay),
    Hooked({kRelay, "Port", &C::RelayPort, Number, "8000", Restart, kRelaySetup}, ReadRelayPort,
           WriteRelay),
    Hooked({kRelay, "StreamUrl", &C::RelayStreamUrl, TrimmedText, "", Restart, kRelaySetup},
           ReadRelayUrl, WriteRelay),

    {kHls, "Enabled", &C::HlsEnabled, Flag, "True", Restart, kHlsSetup,
     ORVANTA_OPTION_HLS_ENABLED},
    {kHls, "SegmentSeconds", &C::HlsSegmentSeconds, Number, "6", Restart, kHlsSetup,
     ORVANTA_OPTION_HLS_SEGMENT_SECONDS},
    {kHls, "Window", &C::HlsWindow, Number, "10", Restart, kHlsSetup,
     ORVANTA_OPTION_HLS_WINDOW},
    {kHls, "OriginFolder", &C::HlsOriginFolder, Path, "", Restart, kHlsSetup,
     ORVANTA_OPTION_HLS_ORIGIN_FOLDER},

    {kTls, "Certificate", &C::TlsCertificate, Path, "", Live, kTlsCertificate,
     ORVANTA_OPTION_TLS_CERTIFICATE},
    {kTls, "PrivateKey", &C::TlsPrivateKey, Path, "", Live, kTlsCertificate,
     ORVANTA_OPTION_TLS_PRIVATE_KEY},
    {kTls, "Port", &C::TlsPort, Number, "0", Restart, "TLS Port", ORVANTA_OPTION_TLS_PORT},
    {kTls, "TrustedCertificates", &C::TlsTrustedCertificates, Path, "", Live,
     kTlsCertificate, ORVANTA_OPTION_TLS_TRUSTED_CERTIFICATES},

    {kFallback, "File", &C::FallbackFile, Path, "", Live, kFallbackSetup,
     ORVANTA_OPTION_FALLBACK_FILE},
    {kFallback, "Title", &C::FallbackTitle, Text, "", Live, kFallbackSetup,
     ORVANTA_OPTION_FALLBACK_TITLE},
    {kFallback, "Url", &C::FallbackUrl, TrimmedText, "", Live, kFallbackSetup,
     ORVANTA_OPTION_FALLBACK_URL},
    {kFallback, "IntroFile", &C::FallbackIntroFile, Path, "", Live, kFallbackSetup,
     ORVANTA_OPTION_FALLBACK_INTRO_FILE},

    // The console checks each login and request against what it has now, so all of these are
    // live: a new password or token takes effect at a reload.
    {kAdmin, "User", &C::AdminUser, TrimmedText, "admin", Live, kAdminLogin,
     ORVANTA_OPTION_ADMIN_USER},
    Secret({kAdmin, "PasswordHash", &C::AdminPasswordHash, TrimmedText, "", Live, kAdminLogin,
            ORVANTA_OPTION_ADMIN_PASSWORD_HASH}),
    {kAdmin, "AllowPlainHttp", &C::AdminAllowPlainHttp, Flag, "False", Live, kAdminAccess,
     ORVANTA_OPTION_ADMIN_ALLOW_PLAIN_HTTP},
    {kAdmin, "AllowFrom", &C::AdminAllowFrom, TrimmedText, "", Live, kAdminAccess,
     ORVANTA_OPTION_ADMIN_ALLOW_FROM},
    Secret({kAdmin, "ApiToken", &C::AdminApiToken, TrimmedText, "", Live, kAdminApiToken,
            ORVANTA_OPTION_ADMIN_API_TOKEN}),
    {kAdmin, "MetricsAllowFrom", &C::AdminMetricsAllowFrom, TrimmedText, "", Live,
     "MetricsAllowFrom", ORVANTA_OPTION_ADMIN_METRICS_ALLOW_FROM},

    // The store is opened at Start with these and kept as it is until the next.
    {kStats, "Enabled", &C::StatsEnabled, Flag, "True", Restart, kStatistics,
     ORVANTA_OPTION_STATS_ENABLED},
    {kStats, "KeepDays", &C::StatsKeepDays, Number, "400", Restart, kStatistics,
     ORVANTA_OPTION_STATS_KEEP_DAYS},
    {kStats, "FullAddresses", &C::StatsFullAddresses, Flag, "False", Restart, kStatistics,
     ORVANTA_OPTION_STATS_FULL_ADDRESSES},
    {kStats, "GeoIPDatabase", &C::StatsGeoIPDatabase, Path, "", Restart, kStatistics,
     ORVANTA_OPTION_STATS_GEOIP_DATABASE},
    // clang-format on
};

// ShownSettings hides a secret row's value as text: a number could not be hidden so.
static_assert(std::none_of(std::begin(kSettings), std::end(kSettings), [](const auto& row) {
    return row.secret && !std::holds_alternative<std::string C::*>(row.field) &&
           !std::holds_alternative<std::map<std::string, std::string> C::*>(row.field);
}));

size_t ReloadRank(std::string_view name) {
    return static_cast<size_t>(std::find(std::begin(kReloadOrder), std::end(kReloadOrder), name) -
                               std::begin(kReloadOrder));
}

}  // namespace

std::span<const StationSetting> StationSettings() {
    return kSettings;
}

void ReadStationSettings(const LIniFile& ini, StationConfig& config) {
    for (const StationSetting& row : kSettings) {
        (row.read != nullptr ? row.read : ReadByForm)(ini, config, row);
    }
}

void WriteStationSettings(LIniFile& ini, StationConfig& config) {
    for (const StationSetting& row : kSettings) {
        (row.write != nullptr ? row.write : WriteByForm)(ini, config, row);
    }
}

bool SettingDiffers(const StationSetting& row, const StationConfig& a, const StationConfig& b) {
    return std::visit(
        [&a, &b](auto member) {
            if constexpr (std::is_same_v<decltype(member), int32_t BroadcastTimeBlock::*>) {
                return a.BroadcastTime.*member != b.BroadcastTime.*member;
            } else {
                return a.*member != b.*member;
            }
        },
        row.field);
}

SettingChanges ChangedSettings(const StationConfig& old, const StationConfig& fresh) {
    SettingChanges changes;
    for (const StationSetting& row : kSettings) {
        if (row.reload == Kept || !SettingDiffers(row, old, fresh)) {
            continue;
        }
        std::vector<std::string>& list = row.reload == Live ? changes.live : changes.restart;
        if (std::find(list.begin(), list.end(), row.reloadName) == list.end()) {
            list.emplace_back(row.reloadName);
        }
    }
    for (std::vector<std::string>* list : {&changes.live, &changes.restart}) {
        std::stable_sort(list->begin(), list->end(),
                         [](const std::string& x, const std::string& y) {
                             return ReloadRank(x) < ReloadRank(y);
                         });
    }
    return changes;
}

std::string OptionValue(const StationSetting& row, const StationConfig& config,
                        const std::function<std::string(const std::string&)>& wholePath) {
    return std::visit(
        [&](auto member) -> std::string {
            using Member = decltype(member);
            if constexpr (std::is_same_v<Member, std::string StationConfig::*>) {
                return row.form == SettingForm::Path ? wholePath(config.*member) : config.*member;
            } else if constexpr (std::is_same_v<Member, std::map<std::string, std::string> C::*>) {
                // Users whose name or password holds a line feed cannot be in the file, nor in
                // the list.
                std::string users;
                for (const auto& [user, password] : config.*member) {
                    if (!user.empty() && user.find('\n') == std::string::npos &&
                        password.find('\n') == std::string::npos) {
                        users += user + '\n' + password + '\n';
                    }
                }
                return users;
            } else if (row.form == Number) {
                return std::to_string(NumberOf(config, row));
            } else {
                return NumberOf(config, row) != 0 ? "1" : "0";
            }
        },
        row.field);
}

std::string ShownSettings(const StationConfig& config) {
    const auto setOrNot = [](std::string& secret) { secret = secret.empty() ? "not set" : "set"; };
    StationConfig shown = config;
    for (const StationSetting& row : kSettings) {
        if (!row.secret) {
            continue;
        }
        std::visit(
            [&](auto member) {
                using Member = decltype(member);
                if constexpr (std::is_same_v<Member, std::string StationConfig::*>) {
                    setOrNot(shown.*member);
                } else if constexpr (std::is_same_v<Member,
                                                    std::map<std::string, std::string> C::*>) {
                    for (auto& [user, password] : shown.*member) {
                        setOrNot(password);
                    }
                }
            },
            row.field);
    }
    LIniFile ini;
    WriteStationSettings(ini, shown);
    std::string text;
    for (size_t section = 0; section < ini.sections.size(); ++section) {
        const LIniSection& keys = ini.sections[section];
        for (size_t key = 0; key < keys.keyNames.size(); ++key) {
            std::string line =
                ini.sectionNames[section] + "." + keys.keyNames[key] + "=" + keys.values[key];
            std::replace_if(
                line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
            text += line + '\n';
        }
    }
    return text;
}

std::vector<std::string> SettingsOutOfBounds(const StationConfig& config) {
    std::vector<std::string> names;
    for (const StationSetting& row : kSettings) {
        if (row.inBounds != nullptr && !row.inBounds(NumberOf(config, row))) {
            names.push_back(std::string(row.section) + "." + std::string(row.key));
        }
    }
    return names;
}

}  // namespace orvanta
