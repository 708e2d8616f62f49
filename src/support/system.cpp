#include "support/system.h"

#include "platform/host_addresses.h"
#include "platform/modifier_keys.h"
#include "platform/process.h"

#include <chrono>
#include <thread>

namespace orvanta {

namespace {
constexpr std::chrono::milliseconds kWaitSlice{10};
}  // namespace

bool ShellExecuteAndWait(const MessagePump& pump, const std::string& file,
                         const std::string& parameters, bool wait, int* exitCode) {
    const pid_t pid = platform::LaunchProcess(file, platform::SplitParameters(parameters));
    if (pid < 0) {
        return false;
    }
    if (!wait) {
        // Nobody waits for it; reap it once it ends so it does not linger as a zombie.
        std::thread([pid] {
            while (platform::PollProcess(pid, nullptr) == platform::ProcessState::Running) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }).detach();
        return true;
    }
    int code = 0;
    for (;;) {
        const platform::ProcessState state = platform::PollProcess(pid, &code);
        if (state == platform::ProcessState::Exited) {
            break;
        }
        if (state == platform::ProcessState::Failed) {
            return false;
        }
        std::this_thread::sleep_for(kWaitSlice);
        if (pump) {
            pump();
        }
    }
    if (exitCode != nullptr) {
        *exitCode = code;
    }
    return true;
}

unsigned GetModifierKeys() {
    static_assert(kModifierKeyAlt == platform::kModifierAlt &&
                  kModifierKeyCtrl == platform::kModifierCtrl &&
                  kModifierKeyShift == platform::kModifierShift);
    return platform::QueryModifierKeys();
}

std::vector<std::string> GetLocalAddresses() {
    std::vector<std::string> addresses = platform::HostIPv4Addresses();
    // Dotted quads are at most 15 characters; anything longer is not one.
    std::erase_if(addresses, [](const std::string& a) { return a.size() > 15; });
    return addresses;
}

}  // namespace orvanta
