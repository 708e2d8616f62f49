// The station's stored settings as one table: where each lives in the configuration file, how
// its text becomes a value and back, the value of a missing key, what a reload does when it
// changes and the service option it also travels by. The file's reader and writer, the reload's
// sorting of changes and the host's hand-over of options all walk this table, so an ordinary
// new setting is one row in station_settings.cpp.
#pragma once

#include "config/station_config.h"

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace orvanta {

class LIniFile;

// How a setting's stored text becomes its value and back.
enum class SettingForm {
    Text,           // verbatim
    TrimmedText,    // spaces (not tabs) cut from both ends when read
    Path,           // as TrimmedText; a file or folder, handed to the service as a whole path
    Number,         // "%d"; read the way C's atoi reads; an int16 field keeps the low 16 bits
    Flag,           // 1 for "true" in any case, else 0; written True or False
    LowerFlag,      // as Flag, written true or false
    OnUnlessFalse,  // 0 only for "false" in any case, else 1; written True or False
};

// What a reload does with a changed setting.
enum class ReloadClass {
    Kept,     // nothing in the service reads it: the record takes it and no one is told
    Live,     // a running service takes it at once (CServiceHost::HandOverLiveSettings)
    Restart,  // the service took it at its Start and keeps it until it is restarted
};

using SettingField = std::variant<std::string StationConfig::*, int32_t StationConfig::*,
                                  int16_t StationConfig::*, int32_t BroadcastTimeBlock::*,
                                  std::map<std::string, std::string> StationConfig::*>;

struct StationSetting;
// A row's own rule where the form's does not fit (lists, keys that depend on other keys).
using SettingReader = void (*)(const LIniFile& ini, StationConfig& config,
                               const StationSetting& row);
using SettingWriter = void (*)(LIniFile& ini, StationConfig& config, const StationSetting& row);

struct StationSetting {
    std::string_view section;
    std::string_view key;  // as read; keys compare without regard to case
    SettingField field;
    SettingForm form = SettingForm::Text;
    std::string_view fallback = {};  // the stored text a missing key stands for
    ReloadClass reload = ReloadClass::Kept;
    const char* reloadName = nullptr;     // how a reload names it; settings may share a name
    const char* option = nullptr;         // the service option it also travels by, if any
    bool (*inBounds)(int32_t) = nullptr;  // numbers the service can use; nullptr: any
    std::string_view writtenKey = {};     // the key as written where it differs from `key`
    SettingReader read = nullptr;         // replaces the form's reading
    SettingWriter write = nullptr;        // replaces the form's writing
    // A password, hash or token (for a user list, its passwords): shown to the operator only as
    // set or not set (ShownSettings). Secret rows are text or user lists.
    bool secret = false;

    std::string_view WrittenKey() const { return writtenKey.empty() ? key : writtenKey; }
};

// Every stored setting, in the order the file is written.
std::span<const StationSetting> StationSettings();

// Copies every setting from `ini` into the record, a missing key giving the row's fallback.
void ReadStationSettings(const LIniFile& ini, StationConfig& config);
// Puts every setting of the record into `ini`; the record's ContentDir is cut back to its
// folder part first, as the file stores it.
void WriteStationSettings(LIniFile& ini, StationConfig& config);

bool SettingDiffers(const StationSetting& row, const StationConfig& a, const StationConfig& b);

// The names a reload reports for what changed between `old` and `fresh`, each once, in the
// order the operator has always read them.
struct SettingChanges {
    std::vector<std::string> live;
    std::vector<std::string> restart;
};
SettingChanges ChangedSettings(const StationConfig& old, const StationConfig& fresh);

// The text the service receives an option by: numbers in decimal, flags "0" or "1", paths
// through `wholePath`, user lists as <orvanta/service_options.h> describes them.
std::string OptionValue(const StationSetting& row, const StationConfig& config,
                        const std::function<std::string(const std::string&)>& wholePath);

// The record as the file would store it, for the operator to read: one line per key,
// "Section.Key=value" and a line feed, in the order the file is written; every secret row's
// value (each password of a user list) is "set" or "not set" instead, and line breaks in a
// value are spaces.
std::string ShownSettings(const StationConfig& config);

// "Section.Key" of each number the service could not use.
std::vector<std::string> SettingsOutOfBounds(const StationConfig& config);

}  // namespace orvanta
