// The process-wide objects of the console, owned by one object that main creates. Members are
// declared in the order the program constructs them and so are destroyed in reverse: the
// crash-report module is released last.
#pragma once

#include "config/station_config.h"
#include "support/module_holder.h"

#include <string>

namespace orvanta {

// The crash-report module: looked for in the program's folder.
inline constexpr const char kCrashReporterName[] = "OrvCrash";
inline constexpr const char kCrashReportAddress[] = "crash-reports@orvanta.net";
inline constexpr const char kCrashReportTitle[] = "Orvanta Error Report";
inline constexpr const char kCrashReportRegistryKey[] = "HKCU\\Software\\KELVO";
inline constexpr const char kCrashReportRegistryLabel[] = "Registry";

class CServerContext {
public:
    // Constructing the context is the program's first step: it hooks up crash reporting when
    // the crash-report module is in `programFolder` (a folder ending in its separator).
    explicit CServerContext(std::string programFolder);
    CServerContext(const CServerContext&) = delete;
    CServerContext& operator=(const CServerContext&) = delete;

    // Start-up's part that needs no window: the station configuration to its defaults.
    void InitInstance();

    const std::string& ProgramFolder() const { return m_programFolder; }
    // The file exit always writes, whichever file the configuration was read from.
    std::string ExitConfigPath() const;

    bool HasCrashReporter() const { return m_crashReporter.IsLoaded(); }

    // Set while the About box or the configuration sheet is open.
    bool aboutOpen = false;
    bool configSheetOpen = false;

    StationConfig config;

private:
    std::string m_programFolder;
    CModuleHolder m_crashReporter;
};

}  // namespace orvanta
