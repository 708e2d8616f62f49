#include "platform/debug_output.h"

#include "base/file_io.h"

#include <unistd.h>

namespace orvanta::platform {

void DebugOutput(std::string_view text) {
    WriteAll(STDERR_FILENO, text);
}

}  // namespace orvanta::platform
