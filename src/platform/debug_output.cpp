#include "platform/debug_output.h"

#include <cerrno>
#include <unistd.h>

namespace orvanta::platform {

void DebugOutput(std::string_view text) {
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
}

}  // namespace orvanta::platform
