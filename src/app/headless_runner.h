// Running the console without a window: the same start-up and shutdown, messages on standard
// error, and a clean stop on SIGINT, SIGTERM or SIGHUP.
#pragma once

#include "app/server_context.h"

#include <ostream>
#include <string>

namespace orvanta {

// Blocks the stop signals in the calling thread, so that every thread started later inherits
// the mask and the runner alone receives them. Call first thing in main.
void BlockStopSignals();

class CHeadlessRunner {
public:
    CHeadlessRunner(CServerContext& context, std::ostream& out, std::ostream& err);

    // Start-up, then waits for a stop signal, then the exit step. `commandLine` is the process
    // command line as the console's rules expect it. Returns the process exit code.
    int Run(const std::string& commandLine, const std::string& programPath);

private:
    // Shows a message the window would show in a message box.
    void ShowMessage(const std::string& text);
    // Waits for SIGINT, SIGTERM or SIGHUP; returns its number.
    int WaitForStopSignal();

    CServerContext& m_context;
    std::ostream& m_out;
    std::ostream& m_err;
};

}  // namespace orvanta
