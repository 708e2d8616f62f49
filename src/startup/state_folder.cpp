#include "startup/state_folder.h"

#include "support/path.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace orvanta {

namespace {

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The service manager passes a colon-separated list when a unit names several folders.
std::string FirstEntry(const std::string& list) {
    return list.substr(0, list.find(':'));
}

std::string AsFolder(std::string path) {
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    return path;
}

}  // namespace

StateEnvironment StateEnvironment::FromProcess() {
    return {Variable("ORVANTA_STATE_DIR"), Variable("STATE_DIRECTORY"), Variable("LOGS_DIRECTORY"),
            Variable("XDG_CONFIG_HOME"), Variable("HOME")};
}

StateFolders DecideStateFolders(const StateEnvironment& environment,
                                const std::string& programFolder, bool programFolderPortable) {
    StateFolders result;
    if (environment.forced == kPortableStateName) {
        result.folder = programFolder;
        return result;
    }
    if (!environment.forced.empty()) {
        if (environment.forced.front() != '/') {
            result.error = "ORVANTA_STATE_DIR must be an absolute folder or \"portable\", not \"" +
                           environment.forced + "\"";
            return result;
        }
        result.kind = StateFolders::Kind::Forced;
        result.folder = AsFolder(environment.forced);
        result.logFolder = result.folder + "log/";
        result.userHive = result.folder + "user.reg";
        return result;
    }
    const std::string serviceState = FirstEntry(environment.serviceState);
    if (!serviceState.empty() && serviceState.front() == '/') {
        result.kind = StateFolders::Kind::Service;
        result.folder = AsFolder(serviceState);
        const std::string logs = FirstEntry(environment.serviceLogs);
        result.logFolder =
            !logs.empty() && logs.front() == '/' ? AsFolder(logs) : result.folder + "log/";
        result.userHive = result.folder + "user.reg";
        return result;
    }
    if (programFolderPortable) {
        result.folder = programFolder;
        return result;
    }
    result.kind = StateFolders::Kind::User;
    // A relative XDG_CONFIG_HOME is invalid and is ignored, as for every other program.
    if (!environment.xdgConfigHome.empty() && environment.xdgConfigHome.front() == '/') {
        result.folder = AsFolder(JoinedPath(environment.xdgConfigHome, kStateFolderName));
    } else if (!environment.home.empty() && environment.home.front() == '/') {
        result.folder =
            AsFolder(JoinedPath(JoinedPath(environment.home, ".config"), kStateFolderName));
    } else {
        result.error = "the program folder " + programFolder +
                       " is not writable and neither XDG_CONFIG_HOME nor HOME names a folder for "
                       "the settings; set ORVANTA_STATE_DIR";
        return result;
    }
    result.logFolder = result.folder + "log/";
    return result;
}

bool IsPortableProgramFolder(const std::string& programFolder) {
    if (programFolder.rfind("/usr/", 0) == 0) {
        return false;
    }
    return ::access(programFolder.c_str(), W_OK | X_OK) == 0;
}

std::string PrepareStateFolder(const std::string& folder) {
    const auto failed = [&folder](const std::string& why) {
        return "cannot use the state folder " + folder + ": " + why;
    };
    std::error_code error;
    const bool created = std::filesystem::create_directories(folder, error);
    if (error) {
        return failed(error.message());
    }
    // Config.ini holds the passwords: a folder made for it is its user's alone.
    if (created) {
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all, error);
    }
    if (!std::filesystem::is_directory(folder, error)) {
        return failed("not a folder");
    }
    // Writing a file is the only honest test: permissions, a read-only mount, a full disk.
    const std::string probe = JoinedPath(folder, ".write-test-" + std::to_string(::getpid()));
    const int descriptor = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        return failed(std::strerror(errno));
    }
    const bool written = ::write(descriptor, "x", 1) == 1;
    ::close(descriptor);
    ::unlink(probe.c_str());
    return written ? "" : failed("cannot write a file there");
}

}  // namespace orvanta
