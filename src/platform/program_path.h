// Where the program is and how it was started.
#pragma once

#include <string>
#include <vector>

namespace orvanta::platform {

// Full path of the running executable (from /proc/self/exe), or "" when it cannot be read.
std::string ProgramPath();

// The process command line in the shape the console's command-line rules expect: the program's
// full path in double quotes, then each argument separated by one space. An argument that is
// empty or holds white space is put in double quotes, as a Windows shell would have passed it,
// so a configuration path with spaces survives the rules unchanged.
std::string BuildCommandLine(const std::string& programPath, const std::vector<std::string>& args);

}  // namespace orvanta::platform
