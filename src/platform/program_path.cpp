#include "platform/program_path.h"

#include <climits>
#include <unistd.h>

namespace orvanta::platform {

std::string ProgramPath() {
    std::string path(PATH_MAX, '\0');
    ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<size_t>(n) >= path.size()) {
        return {};
    }
    path.resize(static_cast<size_t>(n));
    return path;
}

std::string BuildCommandLine(const std::string& programPath, const std::vector<std::string>& args) {
    std::string line = "\"" + programPath + "\"";
    for (const std::string& arg : args) {
        line += ' ';
        if (arg.empty() || arg.find_first_of(" \t\r\n") != std::string::npos) {
            line += '"' + arg + '"';
        } else {
            line += arg;
        }
    }
    return line;
}

}  // namespace orvanta::platform
