#include "service/service_host.h"

#include "config/station_settings.h"
#include "platform/listen_port.h"
#include "plugins/runtime_check.h"
#include "res/string_table.h"
#include "support/exception.h"
#include "support/path.h"

#include <chrono>
#include <cstring>
#include <orvanta/service_options.h>
#include <utility>

namespace orvanta {

std::string FormatName(int32_t format) {
    switch (format) {
        case kFormatMp3:
            return "MP3";
        case kFormatWma:
            return "WMA";
        case kFormatOggVorbis:
            return "OGG";
        default:
            return "format " + std::to_string(format);
    }
}

CServiceHost::CServiceHost(CServiceModuleCache& modules, StationConfig& config,
                           ServiceStatus& status, IServiceHostUi& ui, std::string programFolder)
    : m_modules(modules),
      m_config(config),
      m_ui(ui),
      m_programFolder(std::move(programFolder)),
      m_monitor(status) {}

CServiceHost::~CServiceHost() {
    m_monitor.Stop();
    m_holder.Release();
}

void CServiceHost::AttachMonitor() {
    m_monitor.SetController(m_holder.Controller(),
                            reinterpret_cast<OrvantaServiceFallbackFunction>(
                                m_holder.Symbol(ORVANTA_SERVICE_FALLBACK_NAME)),
                            reinterpret_cast<OrvantaServiceHeartbeatFunction>(
                                m_holder.Symbol(ORVANTA_SERVICE_HEARTBEAT_NAME)));
}

bool CServiceHost::IsRunning() const {
    IServiceController* controller = m_holder.Controller();
    return controller != nullptr && controller->IsRunning() != 0;
}

void CServiceHost::ShowMessage(uint32_t stringId, const std::string& argument) {
    std::string text = res::FormatString(res::LoadString(stringId), {argument});
    if (text.size() > kMessageLimit) {
        text.resize(kMessageLimit);
    }
    m_ui.ShowHostMessage(text);
}

bool CServiceHost::Start() {
    m_portMessageDue = true;
    if (IsRunning()) {
        return false;
    }
    StationConfig& c = m_config;
    // An override with neither address nor port overrides nothing; the cleared switch is
    // kept and saved with the configuration.
    if (c.Portforward != 0 && c.OverrideIP.empty() && c.OverridePort <= 0) {
        c.Portforward = 0;
    }
    const ServiceModuleInfo* module = m_modules.FindByFormat(static_cast<uint32_t>(c.Format));
    if (c.Format == kFormatWma && m_ui.HasMainWindow() &&
        !CheckWindowsMediaRuntime(m_ui, m_programFolder)) {
        return false;
    }
    if (module == nullptr) {
        ShowMessage(res::kStrServiceModuleNotFound, FormatName(c.Format));
        return false;
    }
    // A service that ended by itself leaves its monitor polling until now.
    m_monitor.Stop();
    const std::string fileName(module->fileName,
                               strnlen(module->fileName, sizeof module->fileName));
    IServiceController* controller = m_holder.LoadServiceModule(fileName, kRunRegistryRoot);
    if (controller == nullptr) {
        ShowMessage(res::kStrServiceModuleLoadFailed, fileName);
        return false;
    }

    HandOverBeforeStart(*controller);
    HandOverOptions(*controller, false);
    if (controller->Start(c.Port, 0) == 0) {
        // A module that can say why (a WMA encoder it cannot use, say) is heard first.
        const auto why = reinterpret_cast<OrvantaServiceStartErrorFunction>(
            m_holder.Symbol(ORVANTA_SERVICE_START_ERROR_NAME));
        const char* text = why != nullptr ? why(controller) : nullptr;
        if (text != nullptr && *text != '\0') {
            ShowMessage(res::kStrServiceStartRefused, text);
            m_portMessageDue = platform::ListenPortTaken(c.BindAddress, c.Port);
        }
        return false;
    }
    HandOverAfterStart(*controller);

    AttachMonitor();
    try {
        m_monitor.Start();
    } catch (const LException&) {
        controller->Stop();
        return false;
    }
    return true;
}

void CServiceHost::HandOverBeforeStart(IServiceController& s) {
    const StationConfig& c = m_config;
    s.Initialize(1);
    s.SetMaxClients(c.MaxClient);
    s.SetTimeout(c.Timeout);
    s.SetSongHistoryMax(c.SongHistoryMax);
    s.SetDirectoryServer(c.DirectoryServer.c_str(), c.DirectoryPort);
    s.SetMaxClients(c.MaxClient);
    s.SetSourcePassword(c.Password.c_str());
    s.SetPublicServer(c.PublicServer);
    s.SetShoutcastRegister(c.ShoutcastRegister);
    s.SetGenre(static_cast<uint16_t>(c.Genre));
    s.SetMent(c.Ment);
    s.SetGeneration(c.Generation);
    s.SetPrivateBroadcast(c.PrivateBr);
    if (c.PrivateBr != 0) {
        for (const auto& [user, password] : c.PrivateUsers) {
            s.AddPrivateUser(user.c_str(), password.c_str());
        }
    }
    if (!c.LogFile.empty()) {
        s.EnableLogFile(1);
    }
    if (!c.BindAddress.empty()) {
        s.SetBindAddress(c.BindAddress.c_str());
    }
    s.SetAddressOverride(c.Portforward, c.OverrideIP.c_str(), c.OverridePort);
    if (c.CreateLog != 0) {
        const std::string logDir =
            c.LogDir.empty() ? JoinedPath(m_programFolder, "logs") : c.LogDir;
        s.SetLogDirectory(logDir.c_str());
        s.SetLogFileName(c.LogFile.empty() ? "ovserver.log" : c.LogFile.c_str());
    }
    s.SetContentDirectory(c.ContentDir.c_str());
    s.SetIndexPage(c.IndexPage.c_str());
    s.SetLanguageCode(c.LangCode);
    if (!c.RelayHostname.empty() && !c.RelayStreamUrl.empty() && c.RelayPort != 0) {
        s.SetRelay(c.RelayHostname.c_str(), c.RelayPort, c.RelayStreamUrl.c_str());
    }
    if (!c.TitleFormat.empty()) {
        s.SetTitleFormat(c.TitleFormat.c_str());
    }
    if (!c.URLFormat.empty()) {
        s.SetUrlFormat(c.URLFormat.c_str());
    }
    if (c.Format == kFormatWma) {
        s.SetEncoderValues(c.EncoderValue56, c.EncoderValue55, 0);
    }
    if (!c.EncoderModule.empty()) {
        s.SetEncoderPlugin(c.EncoderModule.c_str());
    }
}

void CServiceHost::HandOverAfterStart(IServiceController& s) {
    const StationConfig& c = m_config;
    s.SetMaster(c.Master);
    s.SetSourcePassword(c.Password.c_str());
    s.SetPublicServer(c.PublicServer);
    s.SetGenre(static_cast<uint16_t>(c.Genre));
    s.SetGeneration(c.Generation);
    s.SetMent(c.Ment);
    const auto schedule = c.BroadcastTime.ToArray();
    s.SetSchedule(schedule.data());
    s.SetLanguageCode(c.LangCode);
    // The switch goes over inverted this second time; modules rely on that.
    s.SetAddressOverride(c.Portforward == 0 ? 1 : 0, c.OverrideIP.c_str(), c.OverridePort);
}

bool CServiceHost::HandOverLiveSettings() {
    IServiceController* controller = m_holder.Controller();
    if (controller == nullptr || controller->IsRunning() == 0) {
        return false;
    }
    IServiceController& s = *controller;
    const StationConfig& c = m_config;
    s.SetMaxClients(c.MaxClient);
    s.SetTimeout(c.Timeout);
    s.SetSongHistoryMax(c.SongHistoryMax);
    s.SetSourcePassword(c.Password.c_str());
    s.SetGenre(static_cast<uint16_t>(c.Genre));
    s.SetLanguageCode(c.LangCode);
    s.SetGeneration(c.Generation);
    s.SetMent(c.Ment);
    const auto schedule = c.BroadcastTime.ToArray();
    s.SetSchedule(schedule.data());
    s.SetAddressOverride(c.Portforward == 0 ? 1 : 0, c.OverrideIP.c_str(), c.OverridePort);
    s.SetPrivateBroadcast(c.PrivateBr);
    if (c.PrivateBr != 0) {
        for (const auto& [user, password] : c.PrivateUsers) {
            s.AddPrivateUser(user.c_str(), password.c_str());
        }
    }
    // Start names no log folder to a station that does not log; a running one is told to
    // stop with empty names.
    const std::string logDir = c.CreateLog == 0   ? std::string()
                               : c.LogDir.empty() ? JoinedPath(m_programFolder, "logs")
                                                  : c.LogDir;
    s.SetLogDirectory(logDir.c_str());
    s.SetLogFileName(c.CreateLog == 0    ? ""
                     : c.LogFile.empty() ? "ovserver.log"
                                         : c.LogFile.c_str());
    s.SetContentDirectory(c.ContentDir.c_str());
    s.SetIndexPage(c.IndexPage.c_str());
    s.SetTitleFormat(c.TitleFormat.c_str());
    s.SetUrlFormat(c.URLFormat.c_str());
    HandOverOptions(s, true);
    return true;
}

void CServiceHost::HandOverOptions(IServiceController& s, bool liveOnly) {
    const auto option = reinterpret_cast<OrvantaServiceOptionFunction>(
        m_holder.Symbol(ORVANTA_SERVICE_OPTION_NAME));
    if (option == nullptr) {
        return;
    }
    const StationConfig& c = m_config;
    // Paths in the file may be relative to the program's folder; the module gets them whole.
    const auto path = [this](const std::string& value) {
        return value.empty() || value.front() == '/' ? value : JoinedPath(m_programFolder, value);
    };
    // What the table marks live goes over at a reload too; the rest waits for the next Start.
    for (const StationSetting& row : StationSettings()) {
        if (row.option != nullptr && (row.reload == ReloadClass::Live || !liveOnly)) {
            option(&s, row.option, OptionValue(row, c, path).c_str());
        }
    }
    // Paths cannot hold a line feed in the list; such a path is left out (nothing names it).
    std::string privateFiles;
    for (const std::string& file : m_privateFiles) {
        if (!file.empty() && file.find('\n') == std::string::npos) {
            privateFiles += path(file) + '\n';
        }
    }
    option(&s, ORVANTA_OPTION_PRIVATE_FILES, privateFiles.c_str());
    // At a reload too: the module reads the file again then.
    option(&s, ORVANTA_OPTION_BANS_FILE, m_bansFile.c_str());
    HandOverConsoleFacts(s);
}

void CServiceHost::HandOverConsoleFacts(IServiceController& s) {
    const auto option = reinterpret_cast<OrvantaServiceOptionFunction>(
        m_holder.Symbol(ORVANTA_SERVICE_OPTION_NAME));
    if (option == nullptr) {
        return;
    }
    option(&s, ORVANTA_OPTION_ADMIN_SETTINGS, ShownSettings(m_config).c_str());
    option(&s, ORVANTA_OPTION_ADMIN_RELOAD_BY_SIGNAL, m_reloadBySignal ? "1" : "0");
    option(&s, ORVANTA_OPTION_ADMIN_LAST_RELOAD, m_lastReload.c_str());
}

void CServiceHost::SetLastReload(const std::string& said) {
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    m_lastReload = std::to_string(now.count()) + "\n" + said;
    if (IServiceController* controller = m_holder.Controller();
        controller != nullptr && IsRunning()) {
        HandOverConsoleFacts(*controller);
    }
}

int CServiceHost::Stop() {
    m_monitor.Stop();
    IServiceController* controller = m_holder.Controller();
    if (controller == nullptr) {
        return 0;
    }
    controller->Stop();
    return 1;
}

}  // namespace orvanta
