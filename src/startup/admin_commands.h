// The commands that set the operator's credentials for the web console and its API in the
// configuration file, then end: neither starts the station nor needs a display. Only the one
// key changes; every other byte of the file stays as it was, and the file keeps the
// permissions a save gives it (see LIniFile::Save).
#pragma once

#include "startup/command_line.h"

#include <ostream>
#include <string>

namespace orvanta {

// The longest password taken, in bytes.
inline constexpr size_t kMaxAdminPasswordBytes = 1024;

// Runs `command` on the configuration file at `configPath` and returns the exit code: 0 done,
// 1 refused or failed (nothing written; `err` says why), 130 interrupted by a stop signal.
//
// SetPassword reads the password from the descriptor `input`: on a terminal twice, without
// echo, after prompts on `err`; otherwise its first line without the line end (a line feed,
// or a carriage return and line feed). [Admin] PasswordHash gets its hash and `out` one line
// naming the file. NewApiToken stores the hash of a new token as [Admin] ApiToken, prints the
// token alone on `out` (the only time it is ever shown) and the file's name on `err`.
int RunAdminCommand(AdminCommand command, const std::string& configPath, int input,
                    std::ostream& out, std::ostream& err);

}  // namespace orvanta
