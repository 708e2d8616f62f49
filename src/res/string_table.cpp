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
    Entry{kStrRuntimeDownloadQuestion,
          "To broadcast in  %s format, %s runtime files are needed.\nDo you want to download now "
          "?\n\nIf you press [Cancel], Orvanta will not display this message again.\n\n(During "
          "this process, any personal/private information is not sent to server.)"},
    Entry{kStrServiceModuleNotFound,
          "Failed finding \"%s service module\".\r\nFailed to start streaming service."},
    Entry{kStrServiceModuleLoadFailed,
          "Failed loading \"%s service module\".\r\nCannot continue streaming service."},
    Entry{kStrStartFailedPortOccupied,
          "Critical error occurred - TCP %d port is already occupied by another "
          "application.\r\nPlease change your streaming port, and try again."},
    Entry{kStrCommandLineParseFailed,
          "Failed to parse command line arguments.\r\ncommand line string : %s"},
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
