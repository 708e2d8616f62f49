#include "plugins/runtime_probe.h"

#include "support/path.h"

#include <cstdlib>
#include <dlfcn.h>

namespace orvanta {

namespace {
constexpr uint32_t kPlatformWin9x = 1;
constexpr uint32_t kPlatformNt = 2;
// The codec library the WMA encoder plug-in is linked against, by its versioned name.
constexpr const char kCodecLibrary[] = ORV_CODEC_LIBRARY;
// What a codec library with the WMA encoder reports: the newest runtime the thresholds know, so
// it is enough on every system; without one the version is 0.0, which is never enough.
constexpr int kRuntimeWithEncoderMajor = 9;

// Whether the codec library loads and holds the WMA version 2 encoder. A library that loaded
// stays mapped (the encoder plug-in needs it anyway): some of the libraries it pulls in keep
// allocations from their start-up that only their own globals point at.
bool CodecLibraryHasWmaEncoder() {
    const std::string folder = SystemFolder();
    const std::string path = folder.empty() ? kCodecLibrary : JoinedPath(folder, kCodecLibrary);
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (library == nullptr) {
        return false;
    }
    using FindEncoder = const void* (*)(const char*);
    auto find = reinterpret_cast<FindEncoder>(::dlsym(library, "avcodec_find_encoder_by_name"));
    const bool found = find != nullptr && find("wmav2") != nullptr;
    ::dlclose(library);
    return found;
}
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
    return folder != nullptr ? folder : "";
}

int GetWmRuntimeVersion(int* minor) {
    if (minor != nullptr) {
        *minor = 0;
    }
    return CodecLibraryHasWmaEncoder() ? kRuntimeWithEncoderMajor : 0;
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
