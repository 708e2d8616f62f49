#include "startup/command_line.h"

#include "base/ascii.h"
#include "support/file.h"
#include "support/path.h"

#include <algorithm>

namespace orvanta {

namespace {

constexpr std::string_view kStartOption = "/start";
constexpr std::string_view kConfigOption = "/config:";
constexpr std::string_view kDefaultConfigName = "Config.ini";
constexpr std::string_view kRuntimeAnswerOption = "--runtime-answer=";
constexpr std::string_view kStatusIntervalOption = "--status-interval=";

}  // namespace

ProgramOptions ParseProgramOptions(const std::vector<std::string>& args) {
    ProgramOptions options;
    for (const std::string& arg : args) {
        if (arg == "--headless") {
            options.headless = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--set-admin-password" || arg == "--new-api-token") {
            const AdminCommand command =
                arg == "--new-api-token" ? AdminCommand::NewApiToken : AdminCommand::SetPassword;
            if (options.admin != AdminCommand::None && options.admin != command &&
                options.error.empty()) {
                options.error = "--set-admin-password and --new-api-token are two commands";
            }
            options.admin = command;
        } else if (arg.rfind(kRuntimeAnswerOption, 0) == 0) {
            const std::string answer = arg.substr(kRuntimeAnswerOption.size());
            if (answer == "yes") {
                options.runtimeAnswer = ProgramOptions::Answer::Yes;
            } else if (answer == "no") {
                options.runtimeAnswer = ProgramOptions::Answer::No;
            } else if (answer == "cancel") {
                options.runtimeAnswer = ProgramOptions::Answer::Cancel;
            } else if (options.error.empty()) {
                options.error = "--runtime-answer takes yes, no or cancel";
            }
        } else if (arg.rfind(kStatusIntervalOption, 0) == 0) {
            const std::string value = arg.substr(kStatusIntervalOption.size());
            const int seconds = value.empty() || value.size() > 6 ||
                                        value.find_first_not_of("0123456789") != std::string::npos
                                    ? 0
                                    : std::stoi(value);
            if (seconds > 0) {
                options.statusIntervalSeconds = seconds;
            } else if (options.error.empty()) {
                options.error = "--status-interval takes a number of seconds";
            }
        } else if (arg.rfind("--", 0) == 0 && arg.size() > 2) {
            if (options.error.empty()) {
                options.error = "unknown option " + arg;
            }
        } else {
            options.rest.push_back(arg);
        }
    }
    return options;
}

std::string ProgramUsage(std::string_view programName) {
    std::string name(programName);
    return "Usage: " + name + " [--headless] [/start] [/config:FILE]\n" + "       " + name +
           " --set-admin-password | --new-api-token [/config:FILE]\n" + "       " + name +
           " --version | --help\n"
           "\n"
           "  /start          start the streaming service at once\n"
           "  /config:FILE    read the station configuration from FILE\n"
           "                  (default: Config.ini in the state folder, which is the\n"
           "                  program's folder when that is writable; see\n"
           "                  ORVANTA_STATE_DIR in the README)\n"
           "  --headless      run without a window (also the default without a display);\n"
           "                  stop with Ctrl+C or SIGTERM\n"
           "  --status-interval=SECONDS\n"
           "                  headless: seconds between status lines (default 5)\n"
           "  --runtime-answer=yes|no|cancel\n"
           "                  headless: the answer to the offer to download a missing\n"
           "                  runtime (default no: ask again at the next start)\n"
           "  --set-admin-password\n"
           "                  store the web console's password (its hash) in the\n"
           "                  configuration file and exit; the password is read from\n"
           "                  standard input: typed twice, unseen, on a terminal, else\n"
           "                  the first line\n"
           "  --new-api-token print a new API token once, store its hash in the\n"
           "                  configuration file and exit\n"
           "  --version       print the program's version and exit\n"
           "  --help          print this text and exit\n";
}

CommandLineResult ParseCommandLine(std::string_view commandLine, std::string_view programPath,
                                   std::string_view programFolder) {
    CommandLineResult result;
    std::string line(commandLine);
    const size_t own = programPath.empty() ? std::string::npos : line.find(programPath);
    if (own == std::string::npos) {
        return result;
    }
    // The quotes that surrounded the program path stay; they go with all the others below.
    line.erase(own, programPath.size());
    std::string lower = AsciiLower(line);

    if (size_t at = lower.find(kStartOption); at != std::string::npos) {
        result.autoStart = true;
        lower.erase(at, kStartOption.size());
        line.erase(at, kStartOption.size());
    }
    if (size_t at = lower.find(kConfigOption); at != std::string::npos) {
        lower.erase(at, kConfigOption.size());
        line.erase(at, kConfigOption.size());
        result.named = true;
    } else {
        line.clear();
    }

    std::erase(line, '"');
    size_t first = 0;
    while (first < line.size() && IsCSpace(line[first])) {
        ++first;
    }
    size_t last = line.size();
    while (last > first && IsCSpace(line[last - 1])) {
        --last;
    }
    result.configPath = line.substr(first, last - first);
    if (result.configPath.empty()) {
        result.named = false;
        result.configPath = JoinedPath(programFolder, kDefaultConfigName);
    }
    result.exists = FileExists(result.configPath);
    return result;
}

}  // namespace orvanta
