// The General page's "Load config..." and "Save current config as..." without their dialogs:
// the page passes a file chooser, these remember the folders and load or save.
#pragma once

#include "config/station_config.h"

#include <functional>
#include <string>

namespace orvanta {

// Shows a file dialog opening in `initialFolder` ("" for its default). Returns true and the
// chosen path when the user confirmed, false when they cancelled.
using FileChooser = std::function<bool(const std::string& initialFolder, std::string& path)>;

// Load config: the chooser opens in Folders/LastOpen; a confirmed file is loaded into the
// record and its folder remembered (also when the load found nothing to read). True when the
// user confirmed, so the page shows the loaded values again.
bool LoadConfigCommand(StationConfig& config, const FileChooser& chooser);

// Told the file a confirmed save could not write and the system's reason.
using SaveFailureHandler = std::function<void(const std::string& path, const std::string& reason)>;

// Save current config as: the same with Folders/LastSave and a save. No extension is added
// to the name given. A save that fails leaves the file as it was and the record as it is, and
// goes to `onFailure` when one is given.
bool SaveConfigCommand(StationConfig& config, const FileChooser& chooser,
                       const SaveFailureHandler& onFailure = {});

}  // namespace orvanta
