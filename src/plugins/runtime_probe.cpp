#include "plugins/runtime_probe.h"

#include "support/file_version.h"
#include "support/path.h"

#include <cstdlib>

namespace orvanta {

namespace {
constexpr uint32_t kPlatformWin9x = 1;
constexpr uint32_t kPlatformNt = 2;
constexpr const char kDefaultSystemFolder[] = "/usr/lib/orvanta";
constexpr const char kRuntimeFile[] = "wmvcore.dll";
}  // namespace

int GetOsClass(const OsVersionInfo& os) {
    if (os.platformId == kPlatformWin9x) {
        if (os.majorVersion == 4 && os.minorVersion < 10) {
            return 1;
        }
        if (os.majorVersion == 4 && os.minorVersion < 90) {
            return 2;
        }
        if (os.majorVersion > 4 || (os.majorVersion == 4 && os.minorVersion >= 90)) {
            return 3;
        }
        return 0;
    }
    if (os.platformId == kPlatformNt) {
        if (os.majorVersion == 4) {
            return 4;
        }
        if (os.majorVersion == 5 && os.minorVersion == 0) {
            return 5;
        }
        if ((os.majorVersion == 5 && os.minorVersion >= 1) || os.majorVersion >= 6) {
            return 6;
        }
    }
    return 0;
}

bool IsWin98SE(const OsVersionInfo& os) {
    if (GetOsClass(os) != 2 || os.csdVersion.size() < 2) {
        return false;
    }
    return os.csdVersion[0] == ' ' && (os.csdVersion[1] == 'A' || os.csdVersion[1] == 'a');
}

bool IsWinMe(const OsVersionInfo& os) {
    return GetOsClass(os) == 3;
}

bool IsNt5OrLater(const OsVersionInfo& os) {
    return os.platformId == kPlatformNt && os.majorVersion >= 5;
}

bool NeedsWm9(const OsVersionInfo& os) {
    return IsWin98SE(os) || IsWinMe(os) || IsNt5OrLater(os);
}

const OsVersionInfo& CurrentOsVersion() {
    // Linux answers none of the Windows questions.
    static const OsVersionInfo os;
    return os;
}

std::string SystemFolder() {
    const char* folder = std::getenv("ORVANTA_SYSTEM_DIR");
    return folder != nullptr && *folder != '\0' ? folder : kDefaultSystemFolder;
}

int GetWmRuntimeVersion(int* minor) {
    uint16_t major = 0, minorPart = 0, build = 0, revision = 0;
    SplitFileVersion(JoinedPath(SystemFolder(), kRuntimeFile), &major, &minorPart, &build,
                     &revision);
    if (minor != nullptr) {
        *minor = static_cast<int16_t>(minorPart);
    }
    return static_cast<int16_t>(major);
}

bool IsWmRuntimeAdequate(const OsVersionInfo& os, int major, int minor) {
    if (NeedsWm9(os)) {
        return major >= 9;
    }
    return major > 7 || (major == 7 && minor >= 1);
}

bool IsWmRuntimeAdequate() {
    int minor = 0;
    const int major = GetWmRuntimeVersion(&minor);
    return IsWmRuntimeAdequate(CurrentOsVersion(), major, minor);
}

}  // namespace orvanta
