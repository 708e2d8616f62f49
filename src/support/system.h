// Running another program, the modifier keys, the host's addresses.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace orvanta {

// Lets the user interface serve its events while ShellExecuteAndWait waits; may be empty.
using MessagePump = std::function<void()>;

// Runs `file` with `parameters` (split as a Windows program splits its command line), hidden:
// no terminal input. Without `wait`: true once it started. With `wait`: looks every 10 ms
// whether it has ended, pumping between looks, and then stores its exit code through
// `exitCode` (when given) and returns true. False when it cannot be started. Call it with
// waiting only on the user-interface thread.
bool ShellExecuteAndWait(const MessagePump& pump, const std::string& file,
                         const std::string& parameters, bool wait, int* exitCode = nullptr);

inline constexpr unsigned kModifierKeyAlt = 1u;
inline constexpr unsigned kModifierKeyCtrl = 2u;
inline constexpr unsigned kModifierKeyShift = 4u;

// The kModifierKey* bits of the modifier keys that are down now.
unsigned GetModifierKeys();

// The host's IPv4 addresses as dotted-quad text, in the resolver's order.
std::vector<std::string> GetLocalAddresses();

}  // namespace orvanta
