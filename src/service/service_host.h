// CServiceHost: where the console meets the streaming engine. Start finds the module of the
// configured format, loads it, hands it the station configuration call by call, starts it and
// starts the status monitor; Stop ends both.
#pragma once

#include "config/station_config.h"
#include "service/service_module_cache.h"
#include "service/service_monitor.h"
#include "service/service_status.h"
#include "support/host_ui.h"
#include "support/module_holder.h"

#include <string>
#include <vector>

namespace orvanta {

class CServiceHost {
public:
    // Given to the module's factory when it is loaded to run.
    static constexpr const char kRunRegistryRoot[] = "Software\\KELVO\\OVServer\\Plugins";
    // The caption of the host's own messages (not the program's caption).
    static constexpr const char kMessageCaption[] = "Orvanta server";
    // Host messages are cut to this many characters.
    static constexpr size_t kMessageLimit = 255;

    CServiceHost(CServiceModuleCache& modules, StationConfig& config, ServiceStatus& status,
                 IServiceHostUi& ui, std::string programFolder);
    virtual ~CServiceHost();
    CServiceHost(const CServiceHost&) = delete;
    CServiceHost& operator=(const CServiceHost&) = delete;

    // True when the service runs afterwards. False when it already ran, the WMA runtime check
    // said no, no module serves the format (message 2011), the module does not load (2012),
    // the module's Start failed, or the monitor thread could not be created (the service is
    // then stopped again: a service nobody watches is not a started one).
    bool Start();
    // After a failed Start: whether the headless runner's port message (2066) belongs after it.
    // It does unless the module named its own reason (shown by the host) and the station's
    // ports are free: a missing encoder is then not printed as a taken port. The console's box
    // follows every failed start, after the host's own message.
    bool PortMessageDue() const { return m_portMessageDue; }
    // Ends the monitor, then stops the service. The module stays loaded until the next Start
    // or the host's destruction. The controller's result, 1 when a controller was stopped, 0
    // without one.
    int Stop();
    bool IsRunning() const;
    // Hands the monitor the controller loaded now (none before the first Start).
    void AttachMonitor();
    // A reload while the service runs: hands the running module the settings it can take
    // without a restart, from the configuration as it is now (the order and the list are the
    // contract's, <orvanta/service_module.h>). The rest waits for the next Start. False, and
    // nothing handed over, when the service does not run.
    bool HandOverLiveSettings();
    // Files the module must never serve (the configuration files), handed over as an option
    // with the next Start or HandOverLiveSettings.
    void SetPrivateFiles(std::vector<std::string> files) { m_privateFiles = std::move(files); }
    // Where the module keeps the web console's bans (a whole path), handed over likewise.
    void SetBansFile(std::string path) { m_bansFile = std::move(path); }
    // This console re-reads its configuration on SIGHUP: the module's web console may raise it
    // for its Reload. Handed over with the next Start.
    void SetReloadBySignal(bool on) { m_reloadBySignal = on; }
    // After a reload: what the console said of it (lines, each with its line feed), stamped
    // with the time now and handed at once to a running module, with the configuration as it
    // is now for the web console to show; again with each Start.
    void SetLastReload(const std::string& said);

    // The loaded controller, or null; the monitor polls it.
    IServiceController* Controller() const { return m_holder.Controller(); }
    bool IsMonitorRunning() const { return m_monitor.IsRunning(); }

private:
    void ShowMessage(uint32_t stringId, const std::string& argument);
    void HandOverBeforeStart(IServiceController& controller);
    void HandOverAfterStart(IServiceController& controller);
    // The settings beyond the controller's operations, to a module that exports the optional
    // options entry (<orvanta/service_options.h>); nothing for one that does not. `liveOnly`:
    // only those a running module applies at once.
    void HandOverOptions(IServiceController& controller, bool liveOnly);
    // What the module's web console shows of the console: the configuration (secrets only as
    // set or not set) and the last reload.
    void HandOverConsoleFacts(IServiceController& controller);

    CServiceModuleCache& m_modules;
    StationConfig& m_config;
    IServiceHostUi& m_ui;
    std::string m_programFolder;
    std::vector<std::string> m_privateFiles;
    std::string m_bansFile;
    bool m_reloadBySignal = false;
    std::string m_lastReload;  // the option's value: "<ms>\n<lines>", "" before the first
    bool m_portMessageDue = true;
    // Declared before the monitor, so that even without the explicit order of the destructor
    // the monitor thread ends before the controller and its library go.
    CModuleHolder m_holder;
    CServiceMonitor m_monitor;
};

// The name message 2011 gives a format code: "MP3", "WMA", "OGG", or the code itself.
std::string FormatName(int32_t format);

}  // namespace orvanta
