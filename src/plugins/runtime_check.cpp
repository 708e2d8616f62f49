#include "plugins/runtime_check.h"

#include "config/registry_key.h"
#include "plugins/runtime_probe.h"
#include "res/string_table.h"
#include "support/path.h"
#include "support/system.h"

namespace orvanta {

namespace {

std::string ValueName(int type) {
    return "Type_" + std::to_string(type);
}

// Opens the check's key for reading and writing, creating it when it does not open.
bool OpenEngineCheckKey(CRegistryKey& key) {
    return key.Open(kEngineCheckKey, RegistryRoot::LocalMachine) ||
           key.Create(kEngineCheckKey, RegistryRoot::LocalMachine);
}

}  // namespace

std::string UpdaterParameters(const std::string& instructionPath) {
    return "/c:\"" + instructionPath + "\" /R:1";
}

bool CheckWindowsMediaRuntime(IServiceHostUi& ui, const std::string& programFolder) {
    CRegistryKey key;
    const bool opened = key.Open(kEngineCheckKey, RegistryRoot::LocalMachine);
    if (opened && key.ReadDword(ValueName(kRuntimeWindowsMedia), 0) == 1) {
        return true;
    }
    if (!opened) {
        key.Create(kEngineCheckKey, RegistryRoot::LocalMachine);
    }
    if (IsWmRuntimeAdequate()) {
        key.WriteDword(ValueName(kRuntimeWindowsMedia), 1);
        return true;
    }
    RuntimeDownloadPrompt(ui, kRuntimeWindowsMedia, programFolder);
    return false;
}

void RuntimeDownloadPrompt(IServiceHostUi& ui, int type, const std::string& programFolder) {
    // A key that neither opens nor can be created reads as 0: the question comes anyway and
    // its answer is not remembered.
    CRegistryKey key;
    if (OpenEngineCheckKey(key) && key.ReadDword(ValueName(type), 0) == 1) {
        return;
    }

    std::string name;
    std::string instructions;
    if (type == kRuntimeRealMedia) {
        name = "RealMedia";
        instructions = "ORVUpInf_RM.cli";
    } else if (type == kRuntimeWindowsMedia) {
        name = "Windows Media";
        instructions = NeedsWm9(CurrentOsVersion()) ? "ORVUpInf_WM9.cli" : "ORVUpInf_WM7.cli";
    } else {
        return;
    }

    const std::string question =
        res::FormatString(res::LoadString(res::kStrRuntimeDownloadQuestion), {name, name});
    switch (ui.AskYesNoCancel(question)) {
        case IServiceHostUi::kAnswerNo:
            return;
        case IServiceHostUi::kAnswerCancel:
            key.WriteDword(ValueName(type), 1);
            return;
        case IServiceHostUi::kAnswerYes:
            break;
    }
    const std::string updater = JoinedPath(programFolder, kUpdaterName);
    const std::string instructionPath = JoinedPath(programFolder, instructions);
    ui.EnableWindows(false);
    int exitCode = 0;
    // The updater's outcome is not examined: the next start checks again.
    ShellExecuteAndWait([&ui] { ui.PumpMessages(); }, updater, UpdaterParameters(instructionPath),
                        true, &exitCode);
    ui.EnableWindows(true);
}

}  // namespace orvanta
