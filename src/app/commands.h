// The commands of the main window, the same from its buttons, the tray menu and the system
// menu.
#pragma once

namespace orvanta {

inline constexpr int kCmdStart = 1001;
inline constexpr int kCmdStop = 1002;
inline constexpr int kCmdConfig = 1003;
inline constexpr int kCmdAbout = 10075;
inline constexpr int kCmdExit = 10076;
// The About item of the window's own menu: unlike kCmdAbout it does not look at the
// about-box-open flag.
inline constexpr int kCmdSystemAbout = 0x0010;

}  // namespace orvanta
