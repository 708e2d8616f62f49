// Is the Windows Media runtime present and recent enough for a WMA station? The answer comes
// from the version stamp of wmvcore.dll in the system folder, against a minimum that depends
// on the operating system: 9.0 on the newer Windows versions, 7.1 everywhere else (Linux
// included, whose class is "none of the above").
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

// The folder the runtime lives in: $ORVANTA_SYSTEM_DIR, else /usr/lib/orvanta.
std::string SystemFolder();
// Major and minor version of wmvcore.dll in the system folder; 0 and 0 without one.
int GetWmRuntimeVersion(int* minor);

bool IsWmRuntimeAdequate(const OsVersionInfo& os, int major, int minor);
bool IsWmRuntimeAdequate();

}  // namespace orvanta
