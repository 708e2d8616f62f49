#include "app/server_context.h"

#include "config/station_config_file.h"
#include "platform/dynamic_library.h"
#include "support/file.h"
#include "support/path.h"

#include <utility>

namespace orvanta {

CServerContext::CServerContext(std::string programFolder)
    : m_programFolder(std::move(programFolder)) {
    const std::string reporterPath =
        JoinedPath(m_programFolder, std::string(kCrashReporterName) + platform::kLibrarySuffix);
    // Without the module the program simply runs without crash reporting.
    if (!FileExists(reporterPath)) {
        return;
    }
    if (ICrashReporter* reporter = m_crashReporter.LoadCrashReporter(reporterPath)) {
        reporter->SetReportTarget(0, kCrashReportAddress, kCrashReportTitle);
        reporter->AddRegistrySource(kCrashReportRegistryKey, kCrashReportRegistryLabel);
    }
}

void CServerContext::InitInstance() {
    status.Zero();
    config.SetDefaults();
    plugins.Init(m_programFolder, false);
    modules.Init(m_programFolder, false);
}

bool CServerContext::LoadStartupConfiguration(const CommandLineResult& commandLine) {
    if (commandLine.configPath.empty()) {
        return false;
    }
    LoadStationConfig(commandLine.configPath, config, {m_programFolder, true});
    return true;
}

void CServerContext::ExitInstance() {
    SaveStationConfig(ExitConfigPath(), config);
}

std::string CServerContext::ExitConfigPath() const {
    return JoinedPath(m_programFolder, "Config.ini");
}

}  // namespace orvanta
