#include "startup/server_context.h"

#include "config/station_config_file.h"
#include "config/station_settings.h"
#include "platform/dynamic_library.h"
#include "support/file.h"
#include "support/path.h"

#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <utility>

namespace orvanta {

namespace {

// True when the cache file `file` exists and a library of `folder` was put there (installed,
// replaced, changed) after the file was written. The change time counts, not the
// modification time: a package manager keeps the packaged modification times.
bool CacheOutdated(const std::string& file, const std::string& folder) {
    struct stat cache {};
    if (::stat(file.c_str(), &cache) != 0) {
        return false;
    }
    const auto later = [](const timespec& a, const timespec& b) {
        return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
    };
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        struct stat library {};
        const std::string path = it->path().string();
        if (path.ends_with(platform::kLibrarySuffix) && ::stat(path.c_str(), &library) == 0 &&
            later(library.st_ctim, cache.st_mtim)) {
            return true;
        }
    }
    return false;
}

}  // namespace

CServerContext::CServerContext(std::string programFolder, std::string stateFolder,
                               std::string logFolder)
    : m_programFolder(std::move(programFolder)),
      m_stateFolder(stateFolder.empty() ? m_programFolder : std::move(stateFolder)),
      m_logFolder(std::move(logFolder)) {
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
    plugins.SetCacheFolder(m_stateFolder);
    modules.SetCacheFolder(m_stateFolder);
    // Caches kept apart from the program folder may predate an upgrade of it: a library
    // put into the program folder after the cache was written makes it scan again.
    const bool apart = m_stateFolder != m_programFolder;
    plugins.Init(m_programFolder,
                 apart && CacheOutdated(JoinedPath(m_stateFolder, CPluginCatalog::kCacheFileName),
                                        m_programFolder));
    modules.Init(
        m_programFolder,
        apart && CacheOutdated(JoinedPath(m_stateFolder, CServiceModuleCache::kCacheFileName),
                               m_programFolder));
}

bool CServerContext::LoadStartupConfiguration(const CommandLineResult& commandLine) {
    if (commandLine.configPath.empty()) {
        return false;
    }
    LoadStationConfig(commandLine.configPath, config, {m_stateFolder, true, m_logFolder});
    m_readConfigPath = commandLine.configPath;
    return true;
}

CServerContext::ReloadResult CServerContext::ReloadConfiguration(const std::string& path) {
    ReloadResult result;
    if (!CheckStationConfigFile(path, &result.problem)) {
        return result;
    }
    result.read = true;
    m_readConfigPath = path;
    StationConfig fresh;
    LoadStationConfig(path, fresh, {m_stateFolder, true, m_logFolder});
    // The station settings table says which changes a running service takes and which wait
    // for its next Start.
    SettingChanges changes = ChangedSettings(config, fresh);
    result.live = std::move(changes.live);
    result.restart = std::move(changes.restart);
    // What nothing in the service reads (the DJ fields, the file's own names) is simply kept.
    if (result.live.empty() && result.restart.empty() && !(fresh == config)) {
        result.live.emplace_back("other settings");
    }
    config = std::move(fresh);
    return result;
}

bool CServerContext::ExitInstance(std::string* problem) {
    const std::string path = ExitConfigPath();
    std::string reason;
    if (SaveStationConfig(path, config, &reason)) {
        return true;
    }
    if (problem != nullptr) {
        *problem = reason;
    }
    return false;
}

std::vector<std::string> CServerContext::ConfigFiles() const {
    std::vector<std::string> files{ExitConfigPath()};
    if (!m_readConfigPath.empty() && m_readConfigPath != files.front()) {
        files.push_back(m_readConfigPath);
    }
    return files;
}

std::string CServerContext::BansFile() const {
    return JoinedPath(m_stateFolder, "bans.txt");
}

std::string CServerContext::ExitConfigPath() const {
    return JoinedPath(m_stateFolder, "Config.ini");
}

}  // namespace orvanta
