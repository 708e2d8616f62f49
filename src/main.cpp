// ovserver: the Orvanta Server console.
#include "app/command_line.h"
#include "app/headless_runner.h"
#include "app/server_context.h"
#include "platform/program_path.h"
#include "platform/resource_limits.h"
#include "res/string_table.h"
#include "support/file_version.h"
#include "support/path.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace orvanta;

    // Before any thread exists, so that only the runner receives the stop signals.
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

    platform::RaiseOpenFileLimit();
    CServerContext context(GetFolderOf(programPath));
    CHeadlessRunner runner(context, options, std::cout, std::cerr);
    return runner.Run(platform::BuildCommandLine(programPath, options.rest), programPath);
}
