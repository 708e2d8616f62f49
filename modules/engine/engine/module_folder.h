// Where the module that holds the engine was loaded from: files installed beside it (the WMA
// encoder plug-in, the station page's hls.js) are found from there, whatever the current folder.
#pragma once

#include <string>

namespace orvanta::engine {

// The folder of the shared object this code is linked into ("." when the loader cannot say).
std::string ModuleFolder();

}  // namespace orvanta::engine
