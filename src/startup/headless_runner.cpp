#include "startup/headless_runner.h"

#include "config/program_settings.h"
#include "res/string_table.h"
#include "service/service_host.h"
#include "startup/status_text.h"
#include "support/file_version.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <functional>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace orvanta {

namespace {

sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

// Message texts are written for a message box, with CR LF line ends; a terminal wants LF.
std::string TerminalText(std::string text) {
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.erase(at, 1);
    }
    return text;
}

}  // namespace

void BlockStopSignals() {
    sigset_t set = StopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int OpenStopSignalDescriptor() {
    const sigset_t set = StopSignals();
    return signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
}

int ReadStopSignal(int descriptor) {
    signalfd_siginfo info{};
    const ssize_t got = read(descriptor, &info, sizeof info);
    return got == static_cast<ssize_t>(sizeof info) ? static_cast<int>(info.ssi_signo) : 0;
}

std::string StatusLine(const ServiceStatus& status, const StationConfig& config, bool running,
                       long long secondsOnAir) {
    const bool connected = status.sourceConnected.load(std::memory_order_relaxed) != 0;
    const int32_t fallback = status.fallback.load(std::memory_order_relaxed);
    const char* playing = fallback == 1   ? " | fallback file"
                          : fallback == 2 ? " | fallback stream"
                                          : "";
    return std::string(running ? "running" : "stopped") + " | source " +
           (connected ? "connected" : "not connected") + playing + " | listeners " +
           std::to_string(status.listenerCount.load(std::memory_order_relaxed)) + " / " +
           std::to_string(config.MaxClient) + " | received " +
           FormatMegabytes(status.totalReceivedBytes.load(std::memory_order_relaxed)) + " | sent " +
           FormatMegabytes(status.totalSentBytes.load(std::memory_order_relaxed)) + " | on air " +
           FormatOnAirTime(secondsOnAir);
}

CHeadlessRunner::CHeadlessRunner(CServerContext& context, const ProgramOptions& options,
                                 std::ostream& out, std::ostream& err)
    : m_context(context), m_options(options), m_out(out), m_err(err) {}

void CHeadlessRunner::ShowMessage(const std::string& text) {
    m_err << res::LoadString(res::kStrAppCaption) << ": " << TerminalText(text) << std::endl;
}

void CHeadlessRunner::ShowHostMessage(const std::string& text) {
    m_err << CServiceHost::kMessageCaption << ": " << TerminalText(text) << std::endl;
}

IServiceHostUi::Answer CHeadlessRunner::AskYesNoCancel(const std::string& text) {
    static constexpr const char* kNames[] = {"yes", "no", "cancel"};
    const Answer answer = m_options.runtimeAnswer == ProgramOptions::Answer::Yes ? kAnswerYes
                          : m_options.runtimeAnswer == ProgramOptions::Answer::Cancel
                              ? kAnswerCancel
                              : kAnswerNo;
    ShowMessage(text);
    m_err << "Answered " << kNames[answer] << " (--runtime-answer)." << std::endl;
    return answer;
}

int CHeadlessRunner::WaitForStopSignal(int seconds) {
    const sigset_t set = StopSignals();
    timespec timeout{seconds, 0};
    for (;;) {
        const int signal = sigtimedwait(&set, nullptr, &timeout);
        if (signal > 0) {
            return signal;
        }
        if (errno == EAGAIN) {
            return 0;
        }
        if (errno != EINTR) {
            return SIGTERM;
        }
    }
}

namespace {

std::string Names(const std::vector<std::string>& first, const std::vector<std::string>& then) {
    std::string names;
    for (const auto* list : {&first, &then}) {
        for (const std::string& name : *list) {
            names += (names.empty() ? "" : ", ") + name;
        }
    }
    return names;
}

}  // namespace

void CHeadlessRunner::Reload(const std::string& configPath, CServiceHost& host) {
    // What the operator reads here goes to the web console too, whose Reload raised the signal
    // or which shows the outcome of the last one.
    std::string said;
    const auto say = [&said](std::ostream& to, const std::string& line) {
        to << line << std::endl;
        said += line + '\n';
    };
    ReRead(configPath, host, say);
    host.SetLastReload(said);
}

void CHeadlessRunner::ReRead(const std::string& configPath, CServiceHost& host,
                             const std::function<void(std::ostream&, const std::string&)>& say) {
    if (configPath.empty()) {
        say(m_out, "Reload asked (SIGHUP): no configuration file to re-read.");
        return;
    }
    const CServerContext::ReloadResult result = m_context.ReloadConfiguration(configPath);
    if (!result.read) {
        say(m_err, "Reload asked (SIGHUP): " + configPath + " not taken: " + result.problem +
                       ". Everything keeps running as it was.");
        return;
    }
    const std::string head = "Reload asked (SIGHUP): " + configPath + " re-read; ";
    if (result.live.empty() && result.restart.empty()) {
        say(m_out, head + "nothing changed.");
        return;
    }
    if (!host.IsRunning()) {
        say(m_out, head + "changed, in effect at the next start: " +
                       Names(result.restart, result.live) + ".");
        return;
    }
    if (!result.live.empty()) {
        host.SetPrivateFiles(m_context.ConfigFiles());
        host.SetBansFile(m_context.BansFile());
        host.HandOverLiveSettings();
    }
    say(m_out,
        head + (result.live.empty() ? std::string("nothing that applies while running changed.")
                                    : "applied now: " + Names(result.live, {}) + "."));
    if (!result.restart.empty()) {
        say(m_out, "Reload: changed, in effect only after a restart of the service: " +
                       Names(result.restart, {}) +
                       ". Until then it keeps running with the old values.");
    }
}

int CHeadlessRunner::Run(const std::string& commandLine, const std::string& programPath) {
    m_languagePack.Load(kRegistryRoot, programPath);
    m_context.InitInstance();

    const CommandLineResult parsed =
        ParseCommandLine(commandLine, programPath, m_context.StateFolder());
    if (!m_context.LoadStartupConfiguration(parsed)) {
        ShowMessage(
            res::FormatString(res::LoadString(res::kStrCommandLineParseFailed), {commandLine}));
    }

    m_out << res::LoadString(res::kStrAppCaption) << " " << FormatFileVersion(programPath)
          << " running without a window (configuration: "
          << (parsed.configPath.empty() ? "defaults" : parsed.configPath)
          << "). Stop with Ctrl+C or SIGTERM; SIGHUP re-reads the configuration." << std::endl;

    int signal = 0;
    {
        // The host lives as long as the window would: destroying it releases the module.
        CServiceHost host(m_context.modules, m_context.config, m_context.status, *this,
                          m_context.ProgramFolder());
        host.AttachMonitor();
        host.SetPrivateFiles(m_context.ConfigFiles());
        host.SetBansFile(m_context.BansFile());
        host.SetReloadBySignal(true);
        auto started = std::chrono::steady_clock::now();
        if (parsed.autoStart) {
            if (host.Start()) {
                started = std::chrono::steady_clock::now();
                m_out << "Service started on port " << m_context.config.Port << "." << std::endl;
            } else if (host.PortMessageDue()) {
                ShowMessage(res::FormatString(res::LoadString(res::kStrStartFailedPortOccupied),
                                              {std::to_string(m_context.config.Port)}));
            }
        }
        while ((signal = WaitForStopSignal(m_options.statusIntervalSeconds)) == 0 ||
               signal == SIGHUP) {
            if (signal == SIGHUP) {
                Reload(parsed.configPath, host);
                continue;
            }
            const bool running = host.IsRunning();
            const auto onAir = std::chrono::duration_cast<std::chrono::seconds>(
                std::chrono::steady_clock::now() - started);
            m_out << StatusLine(m_context.status, m_context.config, running,
                                running ? static_cast<long long>(onAir.count()) : 0)
                  << std::endl;
        }
        m_out << "Stopping (" << sigabbrev_np(signal) << ")." << std::endl;
        if (host.IsRunning()) {
            host.Stop();
        }
    }
    std::string problem;
    if (!m_context.ExitInstance(&problem)) {
        // A service manager reads the exit status: settings that were not kept are a failure.
        ShowMessage(res::FormatString(res::LoadString(res::kStrConfigSaveFailed),
                                      {m_context.ExitConfigPath(), problem}));
        return 1;
    }
    return 0;
}

}  // namespace orvanta
