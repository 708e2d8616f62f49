#include "config/config_commands.h"

#include "config/program_settings.h"
#include "config/station_config_file.h"
#include "support/path.h"

namespace orvanta {

namespace {

bool RunCommand(const char* entry, const FileChooser& chooser, std::string& path) {
    const std::string folder = GetProfileString(kSectionFolders, entry);
    if (!chooser || !chooser(folder, path)) {
        return false;
    }
    // The folder is remembered whenever the user confirmed, whatever the load or save does.
    WriteProfileString(kSectionFolders, entry, GetFolderOf(path));
    return true;
}

}  // namespace

bool LoadConfigCommand(StationConfig& config, const FileChooser& chooser) {
    std::string path;
    if (!RunCommand(kEntryLastOpen, chooser, path)) {
        return false;
    }
    LoadStationConfig(path, config);
    return true;
}

bool SaveConfigCommand(StationConfig& config, const FileChooser& chooser,
                       const SaveFailureHandler& onFailure) {
    std::string path;
    if (!RunCommand(kEntryLastSave, chooser, path)) {
        return false;
    }
    std::string reason;
    if (!SaveStationConfig(path, config, &reason) && onFailure) {
        onFailure(path, reason);
    }
    return true;
}

}  // namespace orvanta
