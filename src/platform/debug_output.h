// The debugger output of the program. Linux has no debugger channel every tool listens on, so
// the text goes to standard error, where a terminal, journald or a test harness sees it.
#pragma once

#include <string_view>

namespace orvanta::platform {

// Writes the text as it is (no line feed added), in one write so that lines from several
// threads do not interleave.
void DebugOutput(std::string_view text);

}  // namespace orvanta::platform
