// Where the program keeps what it writes: Config.ini, the two cache files, the log and content
// folders. A portable program folder (writable, outside the system's own prefix) keeps them
// beside the executable; an installed one is read-only, so they go to a state folder.
// Modules and plug-ins are always looked for in the program folder.
#pragma once

#include <string>

namespace orvanta {

// The environment the decision reads, gathered once so that the decision itself is pure.
struct StateEnvironment {
    std::string forced;         // ORVANTA_STATE_DIR: a folder, or "portable"
    std::string serviceState;   // STATE_DIRECTORY, set by the service manager
    std::string serviceLogs;    // LOGS_DIRECTORY, set by the service manager
    std::string xdgConfigHome;  // XDG_CONFIG_HOME
    std::string home;           // HOME

    static StateEnvironment FromProcess();
};

inline constexpr const char kPortableStateName[] = "portable";
inline constexpr const char kStateFolderName[] = "orvanta-server";

struct StateFolders {
    enum class Kind { Portable, Forced, Service, User };
    Kind kind = Kind::Portable;
    // Ends in its separator. For Portable it is the program folder.
    std::string folder;
    // The folder the default log folder stands for; "" for Portable, whose log folders stay
    // where they always were ("./log" from the current folder, "./logs" in `folder`).
    std::string logFolder;
    // The user registry hive to use instead of the default one ("" leaves it as it is).
    std::string userHive;
    // Set when no folder can be decided; names what is missing.
    std::string error;
};

// The rule, first match wins:
//   ORVANTA_STATE_DIR=portable     the program folder
//   ORVANTA_STATE_DIR=/some/folder that folder (absolute paths only)
//   STATE_DIRECTORY (the service)  its first entry; logs in the first of LOGS_DIRECTORY
// Every folder but the program folder gets its log folder (its "log/" unless the service
// names one) and its own user registry hive only when forced or for the service; a desktop
// user keeps the one hive of the XDG config folder.
//   a portable program folder      the program folder, as a build folder always did
//   otherwise (installed)          $XDG_CONFIG_HOME/orvanta-server, or ~/.config/orvanta-server
// `programFolder` ends in its separator.
StateFolders DecideStateFolders(const StateEnvironment& environment,
                                const std::string& programFolder, bool programFolderPortable);

// A program folder is portable when this process may write to it and it does not lie under
// /usr, which belongs to the package manager even for root.
bool IsPortableProgramFolder(const std::string& programFolder);

// Creates `folder` (and its parents) if needed and proves a file can be written in it: the
// probe file is created and removed again. "" on success, else a message naming the folder.
std::string PrepareStateFolder(const std::string& folder);

}  // namespace orvanta
