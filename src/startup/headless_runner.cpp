#include "startup/headless_runner.h"

#include "config/program_settings.h"
#include "platform/service_notify.h"
#include "res/string_table.h"
#include "service/service_host.h"
#include "startup/status_text.h"
#include "startup/watchdog_feed.h"
#include "support/file_version.h"

#include <algorithm>
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

int CHeadlessRunner::WaitForStopSignal(std::chrono::milliseconds wait) {
    const sigset_t set = StopSignals();
    timespec timeout{static_cast<time_t>(wait.count() / 1000),
                     static_cast<long>(wait.count() % 1000) * 1000000L};
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

    using Clock = std::chrono::steady_clock;
    const ServiceNotifier notifier;
    const auto watchdog = notifier.WatchdogInterval();
    // Fed four times per interval. A sign of life may stand still for half of one (the engine
    // beats once a second, so never less than three seconds): a hung engine is noticed well
    // before the manager gives up on us.
    WatchdogFeed feed(std::max<Clock::duration>(watchdog / 2, std::chrono::seconds(3)));
    const auto statusPeriod = std::chrono::seconds(m_options.statusIntervalSeconds);
    int signal = 0;
    bool startFailed = false;
    {
        // The host lives as long as the window would: destroying it releases the module.
        CServiceHost host(m_context.modules, m_context.config, m_context.status, *this,
                          m_context.ProgramFolder());
        host.AttachMonitor();
        host.SetPrivateFiles(m_context.ConfigFiles());
        host.SetBansFile(m_context.BansFile());
        host.SetReloadBySignal(true);
        auto started = Clock::now();
        const auto statusLine = [&] {
            const bool running = host.IsRunning();
            const auto onAir =
                std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - started);
            return StatusLine(m_context.status, m_context.config, running,
                              running ? static_cast<long long>(onAir.count()) : 0);
        };
        if (parsed.autoStart) {
            if (host.Start()) {
                started = Clock::now();
                m_out << "Service started on port " << m_context.config.Port << "." << std::endl;
            } else {
                if (host.PortMessageDue()) {
                    ShowMessage(res::FormatString(res::LoadString(res::kStrStartFailedPortOccupied),
                                                  {std::to_string(m_context.config.Port)}));
                }
                // A service manager that waits for readiness is told no at once, and restarts
                // or reports us as it is configured to; by hand the runner stays, as the window
                // would, for a reload to fix what was wrong.
                startFailed = notifier.Active();
            }
        }
        if (!startFailed) {
            // Ready: the listen sockets are bound and the engine runs (or nobody asked it to).
            notifier.Send("READY=1\nSTATUS=" + statusLine());
        }
        // A service manager's status line is kept fresh every few seconds (and at the
        // watchdog's pace when that is quicker), one datagram each, whatever the interval of the
        // printed status lines.
        Clock::duration notifyPeriod = Clock::duration::zero();
        if (notifier.Active()) {
            notifyPeriod = std::chrono::seconds(5);
            if (watchdog.count() > 0) {
                notifyPeriod = std::min<Clock::duration>(notifyPeriod, watchdog / 4);
            }
        }
        auto statusDue = Clock::now() + statusPeriod;
        while (!startFailed) {
            auto wait = statusDue - Clock::now();
            if (notifyPeriod > Clock::duration::zero()) {
                wait = std::min(wait, notifyPeriod);
            }
            signal = WaitForStopSignal(std::max<std::chrono::milliseconds>(
                std::chrono::duration_cast<std::chrono::milliseconds>(wait),
                std::chrono::milliseconds(1)));
            if (signal == SIGHUP) {
                notifier.Send("RELOADING=1");
                Reload(parsed.configPath, host);
                notifier.Send("READY=1\nSTATUS=" + statusLine());
                continue;
            }
            if (signal != 0) {
                break;
            }
            const auto now = Clock::now();
            const std::string line = statusLine();
            const bool alive =
                watchdog.count() > 0 &&
                feed.Alive(m_context.status.monitorPolls.load(std::memory_order_relaxed),
                           m_context.status.engineBeats.load(std::memory_order_relaxed),
                           host.IsRunning(), now);
            notifier.Send(std::string(alive ? "WATCHDOG=1\n" : "") + "STATUS=" + line);
            if (now >= statusDue) {
                statusDue = now + statusPeriod;
                m_out << line << std::endl;
            }
        }
        if (startFailed) {
            m_out << "Stopping: the service did not start." << std::endl;
        } else {
            m_out << "Stopping (" << sigabbrev_np(signal) << ")." << std::endl;
        }
        notifier.Send("STOPPING=1");
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
    return startFailed ? 1 : 0;
}

}  // namespace orvanta
