// The runtime-components check before a WMA start: is the Windows Media runtime there, and if
// not, offer to fetch it with the updater. The answer is remembered per runtime type in the
// machine hive under "Software\KELVO\Orvanta\EngineCheck" as "Type_<n>"; 1 means never check
// or ask again.
#pragma once

#include "support/host_ui.h"

#include <string>

namespace orvanta {

inline constexpr const char kEngineCheckKey[] = "Software\\KELVO\\Orvanta\\EngineCheck";
inline constexpr int kRuntimeRealMedia = 1;
inline constexpr int kRuntimeWindowsMedia = 2;
// The updater and its instruction files live in the program's folder. Linux executables carry
// no suffix.
inline constexpr const char kUpdaterName[] = "orvUpdate";

// True when the start may go on. False after offering the download (whatever the answer), so
// the start that asked does not go ahead and the next one checks again.
bool CheckWindowsMediaRuntime(IServiceHostUi& ui, const std::string& programFolder);

// Offers the runtime of `type` and carries out the answer: No asks again next time, Cancel
// never asks again, Yes runs the updater with the windows greyed out until it ends.
void RuntimeDownloadPrompt(IServiceHostUi& ui, int type, const std::string& programFolder);

// The updater's parameters for an instruction file: /c:"<path>" /R:1
std::string UpdaterParameters(const std::string& instructionPath);

}  // namespace orvanta
