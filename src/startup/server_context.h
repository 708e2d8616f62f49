// The process-wide objects of the console, owned by one object that main creates. Members are
// declared in the order the program constructs them and so are destroyed in reverse: the
// crash-report module is released last.
#pragma once

#include "config/station_config.h"
#include "plugins/plugin_catalog.h"
#include "service/service_module_cache.h"
#include "service/service_status.h"
#include "startup/command_line.h"
#include "support/module_holder.h"

#include <string>
#include <vector>

namespace orvanta {

// The crash-report module: looked for in the program's folder.
inline constexpr const char kCrashReporterName[] = "OrvCrash";
inline constexpr const char kCrashReportAddress[] = "crash-reports@orvanta.net";
inline constexpr const char kCrashReportTitle[] = "Orvanta Error Report";
inline constexpr const char kCrashReportRegistryKey[] = "HKCU\\Software\\KELVO";
inline constexpr const char kCrashReportRegistryLabel[] = "Registry";

class CServerContext {
    // Declared first: the folder is known before anything is loaded, and the crash-report
    // module is constructed first and released last.
    std::string m_programFolder;
    // Where Config.ini, the caches and the default log and content folders go; the program
    // folder unless it is installed (see state_folder.h). Both end in their separator.
    std::string m_stateFolder;
    std::string m_logFolder;       // "" for "logs" in the state folder
    std::string m_readConfigPath;  // the file read at start-up or by the last reload
    CModuleHolder m_crashReporter;

public:
    // Constructing the context is the program's first step: it hooks up crash reporting when
    // the crash-report module is in `programFolder` (a folder ending in its separator).
    // `stateFolder` "" means the program folder.
    explicit CServerContext(std::string programFolder, std::string stateFolder = "",
                            std::string logFolder = "");
    CServerContext(const CServerContext&) = delete;
    CServerContext& operator=(const CServerContext&) = delete;

    // Start-up's part that needs no window: the status zeroed, the station configuration to
    // its defaults, and the plug-in and service-module catalogues of the program's folder
    // (from their cache files in the state folder, or by a scan). Empty catalogues are found
    // out at Start.
    void InitInstance();

    // The configuration load of start-up, after the command line: loads the file the command
    // line named (or Config.ini), also when it does not exist (the record then holds the
    // defaults of a missing file). False when the command line could not be parsed: nothing
    // is loaded and the caller shows message 10070.
    bool LoadStartupConfiguration(const CommandLineResult& commandLine);

    // What a reload found.
    struct ReloadResult {
        // False when the file could not be taken (see CheckStationConfigFile): `problem` says
        // why, and the configuration is left exactly as it was.
        bool read = false;
        std::string problem;
        // Names of the changed settings a running service takes at once (the host's
        // HandOverLiveSettings hands them over) ...
        std::vector<std::string> live;
        // ... and of those it took at its Start and keeps until it is restarted.
        std::vector<std::string> restart;
    };

    // A reload (SIGHUP): checks `path`, reads it as start-up does into a fresh record, makes
    // that the configuration (what the exit step writes, what the next Start and the host's
    // HandOverLiveSettings use) and names the settings that changed.
    ReloadResult ReloadConfiguration(const std::string& path);

    // The exit step: the configuration always goes to Config.ini in the state folder,
    // whichever file it was read from. False when it could not be written (ExitConfigPath):
    // `problem` then says why in the system's words, the old file is left as it was, and the
    // record keeps the settings.
    bool ExitInstance(std::string* problem = nullptr);

    const std::string& ProgramFolder() const { return m_programFolder; }
    const std::string& StateFolder() const { return m_stateFolder; }
    std::string ExitConfigPath() const;
    // The configuration files the engine must never serve: the one read last and the one the
    // exit step writes.
    std::vector<std::string> ConfigFiles() const;
    // Where the engine keeps the web console's bans: beside the configuration it writes.
    std::string BansFile() const;

    bool HasCrashReporter() const { return m_crashReporter.IsLoaded(); }

    ServiceStatus status;
    // Set while the About box or the configuration sheet is open.
    bool aboutOpen = false;
    bool configSheetOpen = false;
    StationConfig config;
    CPluginCatalog plugins;
    CServiceModuleCache modules;
};

}  // namespace orvanta
