#include "platform/process.h"

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace orvanta::platform {

std::vector<std::string> SplitParameters(const std::string& parameters) {
    std::vector<std::string> args;
    std::string current;
    bool inArg = false;
    bool quoted = false;
    size_t i = 0;
    while (i < parameters.size()) {
        char c = parameters[i];
        if (c == '\\') {
            size_t run = 0;
            while (i < parameters.size() && parameters[i] == '\\') {
                ++run;
                ++i;
            }
            inArg = true;
            if (i < parameters.size() && parameters[i] == '"') {
                current.append(run / 2, '\\');
                if (run % 2 == 1) {
                    current += '"';
                    ++i;
                }
                // An even run leaves the quote to the next turn, where it groups.
            } else {
                current.append(run, '\\');
            }
            continue;
        }
        if (c == '"') {
            quoted = !quoted;
            inArg = true;
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
            if (inArg) {
                args.push_back(std::move(current));
                current.clear();
                inArg = false;
            }
        } else {
            current += c;
            inArg = true;
        }
        ++i;
    }
    if (inArg) {
        args.push_back(std::move(current));
    }
    return args;
}

pid_t LaunchProcess(const std::string& file, const std::vector<std::string>& args) {
    if (file.empty()) {
        return -1;
    }
    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(file.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    if (::posix_spawn_file_actions_init(&actions) != 0) {
        return -1;
    }
    ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    // glibc's posix_spawn reports a failed exec as its result, so a missing or non-executable
    // file fails here rather than as a child that exits with 127.
    int rc = ::posix_spawnp(&pid, file.c_str(), &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

ProcessState PollProcess(pid_t pid, int* exitCode) {
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0) {
        return ProcessState::Running;
    }
    if (r < 0) {
        return ProcessState::Failed;
    }
    if (exitCode != nullptr) {
        *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return ProcessState::Exited;
}

}  // namespace orvanta::platform
