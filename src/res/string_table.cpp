#include "res/string_table.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <utility>

namespace orvanta::res {

namespace {

struct Entry {
    uint32_t id;
    const char* text;
};

// Grouped by window; sorted when the program is compiled.
constexpr std::array kStrings = {
    Entry{kStrAppCaption, "Orvanta Server"},
    Entry{kStrSystemMenuAbout, "&About Orvanta streaming server..."},
    Entry{kStrRuntimeDownloadQuestion,
          "To broadcast in  %s format, %s runtime files are needed.\nDo you want to download now "
          "?\n\nIf you press [Cancel], Orvanta will not display this message again.\n\n(During "
          "this process, any personal/private information is not sent to server.)"},
    Entry{kStrTrayTooltip, "Orvanta Server"},
    Entry{kStrServiceModuleNotFound,
          "Failed finding \"%s service module\".\r\nFailed to start streaming service."},
    Entry{kStrServiceModuleLoadFailed,
          "Failed loading \"%s service module\".\r\nCannot continue streaming service."},
    Entry{kStrServiceStartRefused, "The streaming service did not start: %s"},
    Entry{2020, "Alternative"}, Entry{2021, "Classical / Opera"}, Entry{2022, "Country"},
    Entry{2023, "Dance / House"}, Entry{2024, "Electronic"}, Entry{2025, "Hip-Hop / Rap"},
    Entry{2026, "Jazz"}, Entry{2027, "Original Sound Track"}, Entry{2028, "Pop / Rock"},
    Entry{2029, "R&B / Soul"}, Entry{2030, "Spiritual / Gospel"}, Entry{2031, "Talk  / Spoken"},
    Entry{2032, "Traditional Music"}, Entry{2033, "World"}, Entry{2034, "Other / Mixed / Reggae"},
    Entry{2035, "K-Pop"}, Entry{2036, "J-Pop"}, Entry{2037, "Old Pop / Rock"},
    Entry{2038, "Old K-Pop"}, Entry{2039, "Adult Contemporary"},
    Entry{kStrLabelSourceStatus, "Source status"}, Entry{kStrLabelSourcePort, "Source port"},
    Entry{kStrLabelClientPort, "Client port "}, Entry{kStrLabelGenre, "Genre"},
    Entry{kStrLabelLanguage, "Language"}, Entry{kStrLabelReceived, "Total received bytes"},
    Entry{kStrLabelSent, "Total sent bytes"}, Entry{kStrLabelOnAirTime, "Total onair time"},
    Entry{kStrSourceConnected, "Connected"}, Entry{kStrSourceNotConnected, "Not connected"},
    Entry{kStrStartFailedPortOccupied,
          "Critical error occurred - TCP %d port is already occupied by another "
          "application.\r\nPlease change your streaming port, and try again."},
    Entry{kStrLabelPrivateBroadcast, "Private broadcast"},
    Entry{kStrLabelShoutcastRegister, "Shoutcast register"}, Entry{kStrYes, "Yes"},
    Entry{kStrNo, "No"}, Entry{kStrConfigSheetCaption, "Config"},
    Entry{kStrDisconnectQuestion, "All connections will be disconnected.\r\nContinue anyway?"},
    Entry{kStrCommandLineParseFailed,
          "Failed to parse command line arguments.\r\ncommand line string : %s"},
    Entry{kStrConfigSaveFailed,
          "The station configuration could not be saved to %s.\r\n%s\r\nThe file was left as "
          "it was."},
    Entry{kStrNotAvailable, "N/A"}, Entry{kStrAboutTitle, "About Orvanta"},
    Entry{kStrAboutClose, "Close"}, Entry{kStrAboutProduct, "Orvanta Server"},
    Entry{kStrAboutVersion, "Version %s"}, Entry{kStrAboutHomepage, "Homepage:"},
    Entry{kStrAboutForum, "Forum: "},
    Entry{kStrAboutNotice,
          "Orvanta Server streams audio in formats that others invented, and uses them under "
          "their terms.\r\n\r\nMPEG Layer-3: the MP3 patents have expired worldwide; the "
          "format may be streamed and decoded freely.\r\n\r\nWindows Media: Windows Media "
          "Audio is a format of its maker; streaming it needs that maker's runtime and is "
          "subject to its licence.\r\n\r\nOgg Vorbis: Ogg and Vorbis are free, open formats of "
          "the Xiph.Org Foundation, free of licence fees, with reference libraries under a "
          "BSD-style licence.\r\n\r\nAPE: Monkey's Audio is a lossless format whose software "
          "comes under its own licence terms.\r\n\r\nThe streaming engine uses Asio (Boost "
          "Software License) and libogg (BSD-style licence); the console uses Qt (LGPL 3) and "
          "ICU (Unicode licence)."},
    Entry{kStrMainTitle, "Orvanta Server"}, Entry{kStrMainStart, "Start"},
    Entry{kStrMainStop, "Stop"}, Entry{kStrMainConfig, "Config"}, Entry{kStrTrayStart, "Start"},
    Entry{kStrTrayStop, "Stop"}, Entry{kStrTrayConfig, "Config..."},
    Entry{kStrTrayAbout, "About..."}, Entry{kStrTrayExit, "Exit"}, Entry{kStrButtonOk, "OK"},
    Entry{kStrButtonCancel, "Cancel"},
    // BEGIN general and server pages
    Entry{kStrOverrideSheetCaption, "Config"},
    Entry{kStrIniFileFilter, "ini files (*.ini)|*.ini|All files (*.*)|*.*||"},
    Entry{kStrAnyAddress, "Any address"}, Entry{kStrGeneralTitle, "General"},
    Entry{kStrGeneralConfigFileGroup, "Current config file"},
    Entry{kStrGeneralLoadConfig, "Load config..."},
    Entry{kStrGeneralSaveConfig, "Save current config as..."},
    Entry{kStrGeneralEnableLogging, "Enable logging"},
    Entry{kStrGeneralLogDirLabel, "Log directory:"},
    Entry{kStrGeneralLogFileLabel, "Log file name:"}, Entry{kStrGeneralContentsGroup, "Contents"},
    Entry{kStrGeneralContentDirLabel, "Content directory:"},
    Entry{kStrGeneralIndexPageLabel, "Default html name:"},
    Entry{kStrGeneralFormatNote,
          "* Logging options and Content directory and default html page are only supported "
          "in MP3 and Ogg Vorbis format."},
    Entry{kStrFormatTitle, "General::Format"}, Entry{kStrFormatMp3OrOgg, "MP3 or Ogg Vorbis "},
    Entry{kStrFormatWma, "WMA"}, Entry{kStrFormatEncoderLabel, "Encoder:"},
    Entry{kStrFormatEncoderConfig, "Config"}, Entry{kStrServerTitle, "Server"},
    Entry{kStrServerLimitsGroup, "Limits"}, Entry{kStrServerMaxListenerLabel, "Max listener:"},
    Entry{kStrServerPasswordGroup, "Source password"}, Entry{kStrServerPasswordLabel, "Password:"},
    Entry{kStrServerBandwidthNote,
          "* If you don't have enough bandwidth, it is no use to increase max listeners. "
          "Please, compute a reasonable value for your bandwidth first."},
    Entry{kStrServerBandwidthExample,
          "For example, if you can upload at the speed of 256kbps, and want to broadcast "
          "48kbps, you can broadcast 256/48 = 5 listeners."},
    Entry{kStrNetworkTitle, "Server::Network"}, Entry{kStrNetworkGroup, "Network"},
    Entry{kStrNetworkPortLabel, "Listen port:"}, Entry{kStrNetworkBindLabel, "Binding address:"},
    Entry{kStrNetworkTimeoutLabel, "Timeout:"},
    Entry{kStrNetworkOverrideGroup, "Address ovrriding"},
    Entry{kStrNetworkOverrideButton, "Configure overriding address..."},
    Entry{kStrNetworkNicNote,
          "* If you have multiple NICs(network interface card), and if you want your station "
          "on specific NIC, fill binding address with the specific NIC's network address."},
    Entry{kStrNetworkRouterNote,
          "* if your server is behind router or proxy server,  Please configure your network "
          "devices to enable port-forwarding and override network address."},
    Entry{kStrNetworkTlsGroup, "Secure connections"},
    Entry{kStrNetworkTlsCertificateLabel, "Certificate:"},
    Entry{kStrNetworkTlsKeyLabel, "Private key:"}, Entry{kStrNetworkTlsBrowse, "Browse..."},
    Entry{kStrNetworkTlsNote,
          "* With a certificate chain and its key (PEM files), players and encoders can also "
          "use https:// on the listen port. Renewed files are picked up while running."},
    Entry{kStrNetworkTlsFileFilter, "PEM files|*.pem;*.crt;*.key|All files (*.*)|*.*||"},
    Entry{kStrOverrideTitle, "Config"}, Entry{kStrOverrideGroup, "Network address"},
    Entry{kStrOverrideUsePreexisting, "Use pre-existing network address "},
    Entry{kStrOverrideEditAddress, "Edit network address"},
    Entry{kStrOverrideAddressLabel, "address:"}, Entry{kStrOverridePortLabel, "Port:"},
    Entry{kStrFieldNotUnsigned, "Please enter an unsigned integer."},
    Entry{kStrFieldOutOfRange, "Please enter an integer between %s and %s."},
    // END general and server pages
    // BEGIN private page and list view
    Entry{kStrPrivateUsernameColumn, "Username"}, Entry{kStrPrivatePasswordColumn, "Password"},
    Entry{kStrPrivateUserInvalid,
          "Something wrong in ID or Password !\r\nCannot add user crendential."},
    Entry{kStrPrivateUserExists,
          "User crendential already exist!\r\nPlease, remove existing crendential and try again."},
    Entry{kStrPrivateDeleteQuestion,
          "Do you really want to delete selected user crendentials?\r\nOnce deleted, it cannot be "
          "restored."},
    Entry{kStrPrivateTitle, "Station::Private"},
    Entry{kStrPrivateEnable, "Enable private broadcast"},
    Entry{kStrPrivateGroup, "Private Settings"}, Entry{kStrPrivateAdd, "Add"},
    Entry{kStrPrivateDelete, "Delete"},
    Entry{kStrPrivateWmaNote, "* Private broadcast is not supported in WMA format."},
    Entry{kStrNewUserTitle, "New user id / Password"}, Entry{kStrNewUserIdLabel, "ID:"},
    Entry{kStrNewUserPasswordLabel, "Password:"}, Entry{kStrNewUserAdd, "Add"},
    Entry{kStrNewUserCancel, "Cancel"},
    // END private page and list view
    // BEGIN language page
    Entry{kStrDefaultLanguage, "[Default Language]"}, Entry{kStrLanguageTitle, "General::Language"},
    Entry{kStrLanguageDisablePack, "Don't load language pack"},
    Entry{kStrLanguageAvailableLabel, "Available Languages:"},
    Entry{kStrLanguageRestartNote,
          "* This option will be applied after restarting Orvanta server."},
    // END language page
    // BEGIN station and schedule pages
    Entry{kStrHourAm, "%2d AM"}, Entry{kStrHourPm, "%2d PM"}, Entry{kStrSelectWeekday, "Select..."},
    Entry{kStrGenerationAll, "All age groups"}, Entry{kStrGenerationTeens, "Teens"},
    Entry{kStrGeneration20s, "20's"}, Entry{kStrGeneration30s, "30's"},
    Entry{kStrGeneration40sAndOver, "40's and over"}, Entry{kStrMentWith, "With ment"},
    Entry{kStrMentWithout, "Without ment"}, Entry{kStrNotSelected, "Not Selected"},
    Entry{kStrStationTitle, "Station"}, Entry{kStrStationClusterGroup, "Clustering"},
    Entry{kStrStationClusterCheck, "This server is a cluster server"},
    Entry{kStrStationClusterNote,
          "* Check this option If this server is one of your cluster servers."},
    Entry{kStrStationGeneralGroup, "General"}, Entry{kStrStationLanguageLabel, "Language :"},
    Entry{kStrStationGenreLabel, "Genre :"}, Entry{kStrStationGenerationLabel, "Generation :"},
    Entry{kStrStationMentLabel, "Ment :"},
    Entry{kStrStationGeneralNote, "* This information will be sent to directory server."},
    Entry{kStrMetadataTitle, "Station::Metadata"},
    Entry{kStrMetadataTitleGroup, "Title format string"},
    Entry{kStrMetadataTitleNote,
          "* Specify a format string for the title which is sent to listener."},
    Entry{kStrMetadataTitleMeaning, "* '%t' means current music title."},
    Entry{kStrMetadataTitleExample, "ex) My Station : %t"},
    Entry{kStrMetadataUrlGroup, "URL format string"},
    Entry{kStrMetadataUrlNote, "* Specify a format string for the url which is sent to listener."},
    Entry{kStrMetadataUrlMeaning, "* '%s' means current station home page."},
    Entry{kStrMetadataUrlExample, "ex) http://www.orvanta.net/redirect?url=%s"},
    Entry{kStrMetadataLengthNote, "* Format string can not exceed 256 characters."},
    Entry{kStrMetadataFormatNote, "* This options are only supported in MP3, Ogg Vorbis format."},
    Entry{kStrDirectoryTitle, "Station::Directory Server"},
    Entry{kStrDirectoryGroup, "Directory server"},
    Entry{kStrDirectoryPublicServer, "Register this server to Orvanta directory server"},
    Entry{kStrDirectoryShoutcast, "Register this server to SHOUTCast directory server"},
    Entry{kStrDirectoryShoutcastFormatNote,
          "* Registration to SHOUTCast directory server is supported in non private MP3 "
          "broadcast."},
    Entry{kStrDirectoryShoutcastTitleNote,
          "* Registration to SHOUTCast directory server needs to be in English station title. If "
          "current station title is not English, Registration will be rejected."},
    Entry{kStrPlanTitle, "Station::Schedule"}, Entry{kStrPlanGroup, "Broadcasting time schedule"},
    Entry{kStrPlanAroundTheClock, "24/7 broadcasting station"},
    Entry{kStrPlanDaily, "Daily broadcasting station"},
    Entry{kStrPlanWeekly, "Weekly broadcasting station"},
    Entry{kStrPlanIrregular, "Irregular broadcasting station"}, Entry{kStrPlanDailyFrom, "From"},
    Entry{kStrPlanTo, "to"}, Entry{kStrPlanWeeklyFrom, "From "},
    // END station and schedule pages
};

constexpr bool ById(const Entry& a, const Entry& b) {
    return a.id < b.id;
}

constexpr auto kSorted = [] {
    auto sorted = kStrings;
    std::sort(sorted.begin(), sorted.end(), ById);
    return sorted;
}();

static_assert(std::adjacent_find(kSorted.begin(), kSorted.end(),
                                 [](const Entry& a, const Entry& b) { return a.id == b.id; }) ==
                  kSorted.end(),
              "every string id is used once");

// Installed once at start-up and taken away at exit, but read from whichever thread shows a
// message, so the pointer is swapped atomically and readers keep the table they took alive.
std::atomic<std::shared_ptr<const StringTable>> g_override;

}  // namespace

std::string LoadString(uint32_t id) {
    if (const std::shared_ptr<const StringTable> table = g_override.load()) {
        if (auto found = table->find(id); found != table->end()) {
            return found->second;
        }
    }
    auto it = std::lower_bound(kSorted.begin(), kSorted.end(), id,
                               [](const Entry& e, uint32_t key) { return e.id < key; });
    return it != kSorted.end() && it->id == id ? it->text : "";
}

void SetStringOverride(std::shared_ptr<const StringTable> table) {
    g_override.store(std::move(table));
}

std::vector<uint32_t> AllStringIds() {
    std::vector<uint32_t> ids;
    ids.reserve(kSorted.size());
    for (const Entry& entry : kSorted) {
        ids.push_back(entry.id);
    }
    return ids;
}

std::string FormatString(std::string_view format, std::initializer_list<std::string_view> args) {
    std::string out;
    out.reserve(format.size());
    auto next = args.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 == format.size()) {
            out += format[i];
            continue;
        }
        if (format[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        // Flags, then a width (texts line up by it: " 1 AM" above "11 AM"), then precision
        // and length up to the conversion letter. The width is capped so that a language
        // pack cannot ask for a huge padding.
        size_t j = i + 1;
        bool left = false;
        bool zeros = false;
        for (; j < format.size() &&
               std::string_view("-+ #0").find(format[j]) != std::string_view::npos;
             ++j) {
            left = left || format[j] == '-';
            zeros = zeros || format[j] == '0';
        }
        size_t width = 0;
        for (; j < format.size() && format[j] >= '0' && format[j] <= '9'; ++j) {
            width = std::min<size_t>(width * 10 + static_cast<size_t>(format[j] - '0'), 64);
        }
        while (j < format.size() &&
               std::string_view(".0123456789lhzjtL").find(format[j]) != std::string_view::npos) {
            ++j;
        }
        if (j == format.size()) {
            out.append(format.substr(i));
            break;
        }
        const std::string_view value = next != args.end() ? *next++ : std::string_view();
        const size_t pad = value.size() < width ? width - value.size() : 0;
        if (left) {
            out.append(value);
            out.append(pad, ' ');
        } else if (zeros && format[j] != 's' && format[j] != 'c') {
            // Zeros go after a sign.
            const bool sign = !value.empty() && (value[0] == '-' || value[0] == '+');
            out.append(value.substr(0, sign ? 1 : 0));
            out.append(pad, '0');
            out.append(value.substr(sign ? 1 : 0));
        } else {
            out.append(pad, ' ');
            out.append(value);
        }
        i = j;
    }
    return out;
}

}  // namespace orvanta::res
