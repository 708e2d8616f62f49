// ovserver: the Orvanta Server console.
#include "app/server_app.h"
#include "app/single_instance.h"
#include "platform/program_path.h"
#include "platform/resource_limits.h"
#include "res/string_table.h"
#include "startup/admin_commands.h"
#include "startup/command_line.h"
#include "startup/headless_runner.h"
#include "startup/server_context.h"
#include "startup/state_folder.h"
#include "support/file_version.h"
#include "support/path.h"

#include <QApplication>

#include <cstdlib>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Windows need a display: an X server, a Wayland compositor, or a platform named outright
// (QT_QPA_PLATFORM=offscreen, for example).
bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace orvanta;

    // Before any thread exists, so that only the runner or the window receives the stop
    // signals.
    BlockStopSignals();

    const std::vector<std::string> args(argv + 1, argv + argc);
    const ProgramOptions options = ParseProgramOptions(args);
    const std::string programName = argc > 0 ? argv[0] : "ovserver";
    if (!options.error.empty()) {
        std::cerr << programName << ": " << options.error << "\n" << ProgramUsage(programName);
        return 2;
    }
    if (options.help) {
        std::cout << ProgramUsage(programName);
        return 0;
    }
    const std::string programPath = platform::ProgramPath();
    if (options.version) {
        std::cout << res::LoadString(res::kStrAppCaption) << " " << FormatFileVersion(programPath)
                  << std::endl;
        return 0;
    }

    // Everything the program writes goes to the state folder; when it cannot be written the
    // program stops here, before anything is written anywhere.
    const std::string programFolder = GetFolderOf(programPath);
    const StateFolders state = DecideStateFolders(StateEnvironment::FromProcess(), programFolder,
                                                  IsPortableProgramFolder(programFolder));
    if (options.admin != AdminCommand::None) {
        // The configuration file the station would read, and nothing else: the state folder is
        // prepared only when that file is the default one in it.
        const CommandLineResult target = ParseCommandLine(
            platform::BuildCommandLine(programPath, options.rest), programPath, state.folder);
        const std::string error = target.named          ? std::string()
                                  : state.error.empty() ? PrepareStateFolder(state.folder)
                                                        : state.error;
        if (!error.empty()) {
            std::cerr << programName << ": " << error << std::endl;
            return 3;
        }
        return RunAdminCommand(options.admin, target.configPath, STDIN_FILENO, std::cout,
                               std::cerr);
    }
    std::string stateError = state.error;
    for (const std::string& folder : {state.folder, state.logFolder}) {
        if (stateError.empty() && !folder.empty()) {
            stateError = PrepareStateFolder(folder);
        }
    }
    if (!stateError.empty()) {
        std::cerr << programName << ": " << stateError << std::endl;
        return 3;
    }
    // The user hive follows the settings into the state folder, unless it was named outright.
    if (!state.userHive.empty()) {
        setenv("ORVANTA_USER_HIVE", state.userHive.c_str(), 0);
    }

    platform::RaiseOpenFileLimit();
    CServerContext context(programFolder, state.folder, state.logFolder);
    const std::string commandLine = platform::BuildCommandLine(programPath, options.rest);
    if (options.headless || !HasDisplay()) {
        CHeadlessRunner runner(context, options, std::cout, std::cerr);
        return runner.Run(commandLine, programPath);
    }
    // Qt reads its own options (-platform, -display, ...) from a copy; the console's command
    // line is the one built above.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication application(qtArgc, qtArgv);
    QApplication::setApplicationName("Orvanta Server");
    QApplication::setDesktopFileName("orvanta-server");
    // One console per user: a second one would start a second server on the same port.
    CSingleInstance instance(SingleInstanceSocketPath());
    if (!instance.Claim()) {
        std::cout << "Orvanta Server is already running for this user; its window was brought "
                     "forward."
                  << std::endl;
        return 0;
    }
    CServerApp app(context);
    app.SetActivationServer(&instance.Server());
    return app.Run(commandLine, programPath);
}
