// Running the console without a window: the same start-up and shutdown, the service started
// with /start, a status line every few seconds, messages on standard error, the configuration
// re-read on SIGHUP, and a clean stop on SIGINT or SIGTERM.
#pragma once

#include "config/language_pack.h"
#include "startup/command_line.h"
#include "startup/server_context.h"
#include "support/host_ui.h"

#include <chrono>
#include <functional>
#include <ostream>
#include <string>

namespace orvanta {

class CServiceHost;

// Blocks the stop signals in the calling thread, so that every thread started later inherits
// the mask and the runner alone receives them. Call first thing in main.
void BlockStopSignals();

// A descriptor that becomes readable when a blocked stop signal arrives, for an event loop to
// watch; -1 when the system cannot give one. ReadStopSignal takes the signal off it: its
// number, or 0 when none was there.
int OpenStopSignalDescriptor();
int ReadStopSignal(int descriptor);

// The status panel's facts on one line.
std::string StatusLine(const ServiceStatus& status, const StationConfig& config, bool running,
                       long long secondsOnAir);

class CHeadlessRunner : public IServiceHostUi {
public:
    CHeadlessRunner(CServerContext& context, const ProgramOptions& options, std::ostream& out,
                    std::ostream& err);

    // Start-up, the service when asked for, status lines until a stop signal, then the
    // service stopped and the exit step. `commandLine` is the process command line as the
    // console's rules expect it. Returns the process exit code.
    int Run(const std::string& commandLine, const std::string& programPath);

    // The runner stands in for the main window: questions are answered from the options.
    void ShowHostMessage(const std::string& text) override;
    bool HasMainWindow() override { return true; }
    Answer AskYesNoCancel(const std::string& text) override;
    void EnableWindows(bool) override {}
    void PumpMessages() override {}

private:
    // Shows a message the window would show in a message box with the program's caption.
    void ShowMessage(const std::string& text);
    // Waits up to `wait` for SIGINT, SIGTERM or SIGHUP; its number, or 0 on time-out.
    int WaitForStopSignal(std::chrono::milliseconds wait);
    // SIGHUP: the configuration file re-read, what a running service can take handed to it,
    // the changed settings named (those that wait for a restart on a line of their own). A
    // file that cannot be read changes nothing.
    // The outcome goes to the running module's web console as well.
    void Reload(const std::string& configPath, CServiceHost& host);
    // Reload's work; each line for the operator goes through `say`, to the stream given.
    void ReRead(const std::string& configPath, CServiceHost& host,
                const std::function<void(std::ostream&, const std::string&)>& say);

    CServerContext& m_context;
    const ProgramOptions& m_options;
    std::ostream& m_out;
    std::ostream& m_err;
    // The messages come from the same string table as the window's, so a pack applies here too.
    CLanguagePack m_languagePack;
};

}  // namespace orvanta
