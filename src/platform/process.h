// Starting another program and waiting for it (the updater, for example).
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace orvanta::platform {

// Splits a parameter text the way a Windows program splits its command line: white space
// separates, double quotes group, 2n backslashes before a quote give n backslashes and the
// quote groups, 2n+1 give n backslashes and a literal quote; other backslashes are literal.
std::vector<std::string> SplitParameters(const std::string& parameters);

// Starts `file` (a path to an executable; a bare name is looked up in PATH) with the given
// arguments, no shell, standard input from /dev/null, standard output and error inherited.
// Returns the child's process id, or -1 when it could not be started.
pid_t LaunchProcess(const std::string& file, const std::vector<std::string>& args);

enum class ProcessState { Running, Exited, Failed };

// Looks once, without blocking, whether the child has ended. On Exited the exit code is
// stored (128 + the signal number for a child ended by a signal) and the child is reaped.
ProcessState PollProcess(pid_t pid, int* exitCode);

}  // namespace orvanta::platform
