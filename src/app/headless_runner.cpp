#include "app/headless_runner.h"

#include "app/command_line.h"
#include "res/string_table.h"
#include "support/file_version.h"

#include <cerrno>
#include <cstring>
#include <signal.h>

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

CHeadlessRunner::CHeadlessRunner(CServerContext& context, std::ostream& out, std::ostream& err)
    : m_context(context), m_out(out), m_err(err) {}

void CHeadlessRunner::ShowMessage(const std::string& text) {
    m_err << res::LoadString(res::kStrAppCaption) << ": " << TerminalText(text) << std::endl;
}

int CHeadlessRunner::WaitForStopSignal() {
    const sigset_t set = StopSignals();
    for (;;) {
        int signal = 0;
        const int rc = sigwait(&set, &signal);
        if (rc == 0) {
            return signal;
        }
        if (rc != EINTR) {
            return SIGTERM;
        }
    }
}

int CHeadlessRunner::Run(const std::string& commandLine, const std::string& programPath) {
    m_context.InitInstance();

    const CommandLineResult parsed =
        ParseCommandLine(commandLine, programPath, m_context.ProgramFolder());
    if (parsed.configPath.empty()) {
        ShowMessage(
            res::FormatString(res::LoadString(res::kStrCommandLineParseFailed), {commandLine}));
    }

    m_out << res::LoadString(res::kStrAppCaption) << " " << FormatFileVersion(programPath)
          << " running without a window (configuration: "
          << (parsed.configPath.empty() ? "defaults" : parsed.configPath)
          << (parsed.autoStart ? ", start requested" : "") << "). Stop with Ctrl+C or SIGTERM."
          << std::endl;

    const int signal = WaitForStopSignal();
    m_out << "Stopping (" << sigabbrev_np(signal) << ")." << std::endl;
    return 0;
}

}  // namespace orvanta
