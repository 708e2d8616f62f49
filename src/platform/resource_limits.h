// Limits the system puts on the process.
#pragma once

namespace orvanta::platform {

// Raises the limit of open files to the most the system allows this process: every listener
// of the streaming service is one.
void RaiseOpenFileLimit();

}  // namespace orvanta::platform
