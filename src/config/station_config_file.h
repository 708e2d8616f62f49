// The station configuration file: StationConfig to and from its INI sections and keys.
//
// Loading puts the defaults in, parses the file, merges a mass-configuration template when the
// file names one, copies every known key into the record (each with its own default for a
// missing key) and creates the log and content folders. Saving rewrites the file whole from
// the record, so comments and unknown keys of an earlier file are not kept.
#pragma once

#include "config/ini_file.h"
#include "config/station_config.h"

#include <string>
#include <utility>

namespace orvanta {

struct ConfigFolders {
    ConfigFolders() = default;
    ConfigFolders(std::string program, bool create, std::string logs = "")
        : programFolder(std::move(program)), createFolders(create), logFolder(std::move(logs)) {}

    // The program's folder, ending in its separator; "" means the running executable's.
    std::string programFolder;
    // Whether loading creates the log and content folders. Off only where a file's folders
    // must not touch the disk (fuzzing).
    bool createFolders = true;
    // Set for an installed program, whose `programFolder` is its state folder: the folder the
    // default log folders ("./log", "./logs") stand for, ending in its separator; other
    // relative log and content folders are then taken from `programFolder`, not from the
    // current folder. "" keeps the portable rules.
    std::string logFolder;
};

// 1 when loaded (also when the file is missing or broken: the record then holds the defaults
// for everything the file did not give), -1 for an empty path (record untouched).
int LoadStationConfig(const std::string& path, StationConfig& config,
                      const ConfigFolders& folders = {});

// Whether `path` holds a configuration a reload may take: a regular file that opens, with at
// least one section and no line that ends the reading (see LIniFile::Load). Unlike start-up,
// which takes a missing or broken file as one full of defaults, a running station must not
// fall back to defaults because a file is missing or half-edited. False with the reason
// (the system's, or what is wrong with the text) in `problem`.
bool CheckStationConfigFile(const std::string& path, std::string* problem);

// Writes the record to `path`. Cuts the record's ContentDir back to its folder part first, as
// the file stores it. Failures leave the old file as it was and no temporary file behind; the
// result says whether the file was written and `reason` (when given) why it was not, for the
// callers that tell the operator.
bool SaveStationConfig(const std::string& path, StationConfig& config,
                       std::string* reason = nullptr);

// Merges the template named by [MassConfig] Include into `ini`, every "$" replaced by
// [MassConfig] UniqueKey. 1 when merged (or the template was empty), 0 when there was nothing
// to merge (either name empty, template unreadable); the record's MassInclude and
// MassUniqueKey take the two names only on 1.
int ApplyMassConfig(LIniFile& ini, StationConfig& config);

// Resolves "./logs" and "./content" into the program's folder (see ConfigFolders for an
// installed program) and creates both folders with their parents. Failures are ignored.
void PrepareDirectories(StationConfig& config, const ConfigFolders& folders = {});

}  // namespace orvanta
