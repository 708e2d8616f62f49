#include "res/string_table.h"

#include <algorithm>
#include <array>
#include <utility>

namespace orvanta::res {

namespace {

struct Entry {
    uint32_t id;
    const char* text;
};

// Sorted by id.
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
    Entry{2020, "Alternative"},
    Entry{2021, "Classical / Opera"},
    Entry{2022, "Country"},
    Entry{2023, "Dance / House"},
    Entry{2024, "Electronic"},
    Entry{2025, "Hip-Hop / Rap"},
    Entry{2026, "Jazz"},
    Entry{2027, "Original Sound Track"},
    Entry{2028, "Pop / Rock"},
    Entry{2029, "R&B / Soul"},
    Entry{2030, "Spiritual / Gospel"},
    Entry{2031, "Talk  / Spoken"},
    Entry{2032, "Traditional Music"},
    Entry{2033, "World"},
    Entry{2034, "Other / Mixed / Reggae"},
    Entry{2035, "K-Pop"},
    Entry{2036, "J-Pop"},
    Entry{2037, "Old Pop / Rock"},
    Entry{2038, "Old K-Pop"},
    Entry{2039, "Adult Contemporary"},
    Entry{kStrLabelSourceStatus, "Source status"},
    Entry{kStrLabelSourcePort, "Source port"},
    Entry{kStrLabelClientPort, "Client port "},
    Entry{kStrLabelGenre, "Genre"},
    Entry{kStrLabelLanguage, "Language"},
    Entry{kStrLabelReceived, "Total received bytes"},
    Entry{kStrLabelSent, "Total sent bytes"},
    Entry{kStrLabelOnAirTime, "Total onair time"},
    Entry{kStrSourceConnected, "Connected"},
    Entry{kStrSourceNotConnected, "Not connected"},
    Entry{kStrStartFailedPortOccupied,
          "Critical error occurred - TCP %d port is already occupied by another "
          "application.\r\nPlease change your streaming port, and try again."},
    Entry{kStrLabelPrivateBroadcast, "Private broadcast"},
    Entry{kStrLabelShoutcastRegister, "Shoutcast register"},
    Entry{kStrYes, "Yes"},
    Entry{kStrNo, "No"},
    Entry{kStrConfigSheetCaption, "Config"},
    Entry{kStrDisconnectQuestion, "All connections will be disconnected.\r\nContinue anyway?"},
    Entry{kStrCommandLineParseFailed,
          "Failed to parse command line arguments.\r\ncommand line string : %s"},
    Entry{kStrNotAvailable, "N/A"},
    Entry{kStrAboutTitle, "About Orvanta"},
    Entry{kStrAboutClose, "Close"},
    Entry{kStrAboutProduct, "Orvanta Server"},
    Entry{kStrAboutVersion, "Version %s"},
    Entry{kStrAboutHomepage, "Homepage:"},
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
    Entry{kStrMainTitle, "Orvanta Server"},
    Entry{kStrMainStart, "Start"},
    Entry{kStrMainStop, "Stop"},
    Entry{kStrMainConfig, "Config"},
    Entry{kStrTrayStart, "Start"},
    Entry{kStrTrayStop, "Stop"},
    Entry{kStrTrayConfig, "Config..."},
    Entry{kStrTrayAbout, "About..."},
    Entry{kStrTrayExit, "Exit"},
    Entry{kStrButtonOk, "OK"},
    Entry{kStrButtonCancel, "Cancel"},
    Entry{kStrConfigSheetPending,
          "The station's settings are kept in %s. Exit the console before editing that file "
          "by hand: the console writes its settings there when it exits."},
};

static_assert(std::is_sorted(kStrings.begin(), kStrings.end(),
                             [](const Entry& a, const Entry& b) { return a.id < b.id; }));

}  // namespace

std::string LoadString(uint32_t id) {
    auto it = std::lower_bound(kStrings.begin(), kStrings.end(), id,
                               [](const Entry& e, uint32_t key) { return e.id < key; });
    return it != kStrings.end() && it->id == id ? it->text : "";
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
        // Skip flags, width, precision and length up to the conversion letter.
        size_t j = i + 1;
        while (j < format.size() && std::string_view("-+ #0123456789.lhzjtL").find(format[j]) !=
                                        std::string_view::npos) {
            ++j;
        }
        if (j == format.size()) {
            out.append(format.substr(i));
            break;
        }
        if (next != args.end()) {
            out.append(*next++);
        }
        i = j;
    }
    return out;
}

}  // namespace orvanta::res
