// Is the Windows Media runtime present and recent enough for a WMA station? A version is
// compared with a minimum that depends on the operating system: 9.0 on the newer Windows
// versions, 7.1 everywhere else (Linux included, whose class is "none of the above").
//
// On Linux the runtime a WMA station needs is the system's codec library (libavcodec, the
// version the WMA encoder plug-in is linked against) with its WMA version 2 encoder: the
// version is 9.0 when that library loads and holds the encoder, 0.0 when it is missing or lacks
// the encoder. So the runtime prompt appears exactly when WMA cannot work on this machine.
#pragma once

#include <cstdint>
#include <string>

namespace orvanta {

// The fields of the operating system's version record the probe looks at.
struct OsVersionInfo {
    uint32_t majorVersion = 0;
    uint32_t minorVersion = 0;
    uint32_t platformId = 0;  // 1 Windows 9x, 2 NT; 0 elsewhere
    std::string csdVersion;   // service-pack text
};

// 1 Windows 95, 2 Windows 98, 3 Windows Me, 4 NT 4, 5 Windows 2000, 6 XP and later,
// 0 none of these.
int GetOsClass(const OsVersionInfo& os);
bool IsWin98SE(const OsVersionInfo& os);
bool IsWinMe(const OsVersionInfo& os);
bool IsNt5OrLater(const OsVersionInfo& os);
bool NeedsWm9(const OsVersionInfo& os);

// This system's record, read once per process. On Linux: all zero (class 0).
const OsVersionInfo& CurrentOsVersion();

// The folder the codec library is loaded from: $ORVANTA_SYSTEM_DIR when set, else empty, which
// means the system's own library search.
std::string SystemFolder();
// Major and minor version of the runtime: 9 and 0 with a codec library that holds the WMA
// encoder, 0 and 0 without.
int GetWmRuntimeVersion(int* minor);

bool IsWmRuntimeAdequate(const OsVersionInfo& os, int major, int minor);
bool IsWmRuntimeAdequate();

}  // namespace orvanta
