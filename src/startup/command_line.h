// The program's command line: our own "--" options, then the console's rules for
// "/start" and "/config:".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvanta {

// A command that sets the operator's credentials in the configuration file and ends
// (admin_commands.h).
enum class AdminCommand { None, SetPassword, NewApiToken };

// The options that belong to this build of the program rather than to the console's
// command-line rules. They are taken out before those rules see the line.
struct ProgramOptions {
    enum class Answer { Yes, No, Cancel };

    bool headless = false;
    bool version = false;
    bool help = false;
    // --set-admin-password or --new-api-token: store a credential instead of running.
    AdminCommand admin = AdminCommand::None;
    // Headless, the answer to the offer to download a missing runtime (--runtime-answer).
    Answer runtimeAnswer = Answer::No;
    // Headless, seconds between two status lines (--status-interval).
    int statusIntervalSeconds = 5;
    std::vector<std::string> rest;  // everything else, in order
    std::string error;              // set when an unknown "--" option was given
};

ProgramOptions ParseProgramOptions(const std::vector<std::string>& args);

// Text for --help.
std::string ProgramUsage(std::string_view programName);

struct CommandLineResult {
    std::string configPath;  // "" only when the line did not hold the program's own path
    bool named = false;      // the path came from "/config:", not the default
    bool autoStart = false;
    bool exists = false;  // the configuration path names something on disk
};

// The console's rules: the program's own full path is taken out of the line (it must be
// there, spelled exactly), then "/start" and "/config:" (in any letter case, first occurrence,
// wherever they stand); every double quote goes, white space is trimmed at both ends, and what
// remains is the configuration path. Without "/config:" the remaining words are dropped; an
// empty path becomes "Config.ini" in the program's folder.
CommandLineResult ParseCommandLine(std::string_view commandLine, std::string_view programPath,
                                   std::string_view programFolder);

}  // namespace orvanta
