// The real ovserver's credential commands: a password from a pipe or typed at a terminal, a new
// API token, each stored as its hash in the configuration file with nothing else in the file
// changed, and nothing else run.
#include "base/credentials.h"
#include "test_process.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace orvanta {
namespace {

namespace fs = std::filesystem;

const std::string kBuiltProgram = std::string(ORV_PROGRAM_DIR) + "/ovserver";

// A copy of ovserver whose program folder, and so state folder, is `dir`.
std::string Install(const test::TempDir& dir) {
    fs::copy_file(kBuiltProgram, dir.File("ovserver"), fs::copy_options::overwrite_existing);
    return dir.File("ovserver");
}

struct Outcome {
    int code = -1;
    std::string out;
    std::string err;
};

// ovserver run in `dir` with `input` waiting in a pipe that is its standard input.
Outcome WithPipe(const test::TempDir& dir, const std::vector<std::string>& args,
                 const std::string& input) {
    int pipe[2] = {-1, -1};
    EXPECT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
    // Small enough for the pipe's buffer: all of it is there before the program starts.
    EXPECT_EQ(::write(pipe[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    ::close(pipe[1]);
    test::Process child(Install(dir), args, dir.File("stdout"), dir.File("stderr"), dir.Path(),
                        pipe[0]);
    ::close(pipe[0]);
    Outcome run;
    run.code = child.Wait(30000);
    run.out = test::ReadFile(dir.File("stdout"));
    run.err = test::ReadFile(dir.File("stderr"));
    fs::remove(dir.File("stdout"));
    fs::remove(dir.File("stderr"));
    return run;
}

struct TerminalRun {
    int code = -1;
    std::string screen;  // everything the terminal showed
};

// ovserver run in `dir` on a pseudo-terminal; each of `typed` is typed, with Enter, once the
// prompt for it shows. Bounded: ended by its PID after 30 seconds.
TerminalRun OnTerminal(const test::TempDir& dir, const std::vector<std::string>& args,
                       const std::vector<std::string>& typed) {
    const std::string program = Install(dir);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    int terminal = -1;
    const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid == 0) {
        if (::chdir(dir.Path().c_str()) == 0) {
            ::execv(program.c_str(), argv.data());
        }
        ::_exit(127);
    }
    TerminalRun run;
    if (pid < 0) {
        ADD_FAILURE() << "forkpty: " << std::strerror(errno);
        return run;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    size_t answered = 0;
    const auto prompts = [&run] {
        size_t count = 0;
        for (const char* prompt : {"password: ", "again: "}) {
            for (size_t at = run.screen.find(prompt); at != std::string::npos;
                 at = run.screen.find(prompt, at + 1)) {
                ++count;
            }
        }
        return count;
    };
    while (std::chrono::steady_clock::now() < deadline) {
        if (answered < typed.size() && prompts() > answered) {
            const std::string line = typed[answered++] + "\n";
            EXPECT_EQ(::write(terminal, line.data(), line.size()),
                      static_cast<ssize_t>(line.size()));
        }
        pollfd ready{terminal, POLLIN, 0};
        if (::poll(&ready, 1, 100) <= 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t got = ::read(terminal, buffer, sizeof buffer);
        if (got <= 0) {
            break;  // EIO: the program has ended and closed the terminal
        }
        run.screen.append(buffer, static_cast<size_t>(got));
    }
    int status = 0;
    if (std::chrono::steady_clock::now() >= deadline) {
        ::kill(pid, SIGKILL);
        ADD_FAILURE() << "ovserver did not end; the terminal showed:\n" << run.screen;
    }
    ::waitpid(pid, &status, 0);
    ::close(terminal);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

// The value of the first line of `text` that starts with `key` and "=".
std::string ValueOf(const std::string& text, const std::string& key) {
    const size_t at = text.find("\n" + key + "=");
    if (at == std::string::npos) {
        return {};
    }
    const size_t begin = at + key.size() + 2;
    return text.substr(begin, text.find_first_of("\r\n", begin) - begin);
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

fs::perms Mode(const std::string& path) {
    return fs::status(path).permissions() & fs::perms::mask;
}

std::vector<std::string> Listing(const test::TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A file an operator edited: comments, CR LF line ends, keys the program does not know, the
// section in question in the middle.
const std::string kEdited =
    "; Owl FM, edited by hand\r\n[Broadcast]\r\nPassword=hackme\r\nUnknown = kept as is\r\n"
    "\r\n[Admin]\r\nUser=ann\r\n# the old one\r\nPasswordHash=old\r\nAllowFrom=10.0.0.0/8 ::1\r\n"
    "\r\n[Network]\r\nPort=8123\r\n";

TEST(AdminCommandTest, APipedPasswordIsStoredAsItsHashAndNothingElseChanges) {
    test::TempDir dir;
    const std::string config = dir.File("Config.ini");
    test::WriteFile(config, kEdited);
    ASSERT_EQ(::chmod(config.c_str(), 0600), 0);

    // The first line is the password; its line end and the lines after it are not.
    const Outcome run =
        WithPipe(dir, {"--set-admin-password"}, "correct horse battery\r\nsecond\n");
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "The web console's password hash was written to " + config +
                           " ([Admin] PasswordHash); a running station takes it at its next "
                           "reload.\n");
    EXPECT_EQ(run.err, "");
    const std::string text = test::ReadFile(config);
    const std::string hash = ValueOf(text, "PasswordHash");
    ASSERT_TRUE(hash.starts_with("pbkdf2-sha256$")) << text;
    EXPECT_EQ(text, Replaced(kEdited, "PasswordHash=old", "PasswordHash=" + hash))
        << "every other byte as it was";
    EXPECT_TRUE(VerifyPasswordHash(hash, "correct horse battery"));
    EXPECT_FALSE(VerifyPasswordHash(hash, "correct horse battery\r"));
    EXPECT_FALSE(VerifyPasswordHash(hash, "second"));
    for (const std::string& seen : {text, run.out, run.err}) {
        EXPECT_EQ(seen.find("horse"), std::string::npos) << "the password itself is nowhere";
    }
    EXPECT_EQ(Mode(config), fs::perms{0600}) << "the owner's alone stays the owner's alone";
    // Nothing of a start: no caches, no log or content folder, no temporary file.
    EXPECT_EQ(Listing(dir), (std::vector<std::string>{"Config.ini", "ovserver"}));

    // A file named on the command line that does not exist yet: made, the owner's alone, and
    // the default file is left alone.
    const std::string named = dir.File("station one.ini");
    const Outcome second = WithPipe(dir, {"/config:" + named, "--set-admin-password"}, "x");
    EXPECT_EQ(second.code, 0) << second.err;
    EXPECT_TRUE(second.out.find(named) != std::string::npos) << second.out;
    const std::string made = test::ReadFile(named);
    EXPECT_TRUE(made.starts_with("[Admin]\nPasswordHash=pbkdf2-sha256$") && made.ends_with("\n") &&
                std::count(made.begin(), made.end(), '\n') == 2)
        << made;
    EXPECT_TRUE(VerifyPasswordHash(ValueOf("\n" + made, "PasswordHash"), "x"));
    EXPECT_EQ(Mode(named), fs::perms{0600});
    EXPECT_EQ(test::ReadFile(config), text);
}

TEST(AdminCommandTest, AnEmptyPasswordIsRefusedAndNothingIsWritten) {
    test::TempDir dir;
    for (const std::string& input : {std::string("\n"), std::string(), std::string("\r\nx\n")}) {
        const Outcome run = WithPipe(dir, {"--set-admin-password"}, input);
        EXPECT_EQ(run.code, 1);
        EXPECT_EQ(run.err, "An empty password is not allowed.\nNothing was written.\n");
        EXPECT_EQ(run.out, "");
        EXPECT_FALSE(fs::exists(dir.File("Config.ini")));
    }
    const Outcome tooLong = WithPipe(dir, {"--set-admin-password"}, std::string(1025, 'p') + "\n");
    EXPECT_EQ(tooLong.code, 1);
    EXPECT_EQ(tooLong.err, "The password is longer than 1024 bytes.\nNothing was written.\n");
    EXPECT_FALSE(fs::exists(dir.File("Config.ini")));

    // A file the program cannot read as a configuration is refused, not edited.
    const std::string broken = std::string("[Admin]\n\x01\x02\n[Broadcast]\nPassword=x\n");
    test::WriteFile(dir.File("Config.ini"), broken);
    const Outcome run = WithPipe(dir, {"--set-admin-password"}, "pw\n");
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("Nothing was written."), std::string::npos) << run.err;
    EXPECT_EQ(test::ReadFile(dir.File("Config.ini")), broken);
}

// Typed at a terminal: asked twice, never shown, and two different passwords change nothing.
TEST(AdminCommandTest, ATerminalAsksTwiceWithoutEchoAndAMismatchChangesNothing) {
    test::TempDir dir;
    const std::string config = dir.File("Config.ini");
    test::WriteFile(config, kEdited);

    const TerminalRun typed =
        OnTerminal(dir, {"--set-admin-password"}, {"Tawny Owl 42", "Tawny Owl 42"});
    EXPECT_EQ(typed.code, 0) << typed.screen;
    EXPECT_NE(typed.screen.find("Web console password: "), std::string::npos) << typed.screen;
    EXPECT_NE(typed.screen.find("The same password again: "), std::string::npos);
    EXPECT_NE(typed.screen.find("hash was written to " + config), std::string::npos);
    EXPECT_EQ(typed.screen.find("Tawny"), std::string::npos) << "not echoed:\n" << typed.screen;
    const std::string text = test::ReadFile(config);
    const std::string hash = ValueOf(text, "PasswordHash");
    EXPECT_TRUE(VerifyPasswordHash(hash, "Tawny Owl 42")) << text;
    EXPECT_EQ(text, Replaced(kEdited, "PasswordHash=old", "PasswordHash=" + hash));

    const TerminalRun mismatch =
        OnTerminal(dir, {"--set-admin-password"}, {"Barn Owl 1", "Barn Owl 2"});
    EXPECT_EQ(mismatch.code, 1) << mismatch.screen;
    EXPECT_NE(mismatch.screen.find("Passwords do not match"), std::string::npos) << mismatch.screen;
    EXPECT_EQ(mismatch.screen.find("Barn"), std::string::npos) << mismatch.screen;
    EXPECT_EQ(test::ReadFile(config), text) << "the earlier hash stays";

    // Ctrl+C at the prompt ends the command at once, though the program blocks its stop
    // signals everywhere else.
    const TerminalRun stopped = OnTerminal(dir, {"--set-admin-password"}, {"Eagle\x03"});
    EXPECT_EQ(stopped.code, 130) << stopped.screen;
    EXPECT_NE(stopped.screen.find("Interrupted; nothing was written."), std::string::npos)
        << stopped.screen;
    EXPECT_EQ(test::ReadFile(config), text);
}

TEST(AdminCommandTest, ANewApiTokenIsPrintedOnceAndOnlyItsHashIsStored) {
    test::TempDir dir;
    const std::string config = dir.File("Config.ini");
    test::WriteFile(config, kEdited);

    std::string earlier;
    for (int round = 0; round < 2; ++round) {
        const Outcome run = WithPipe(dir, {"--new-api-token"}, "");
        ASSERT_EQ(run.code, 0) << run.err;
        ASSERT_EQ(run.out.size(), 44u) << "the token alone on its line: " << run.out;
        const std::string token = run.out.substr(0, 43);
        EXPECT_NE(token, earlier);
        earlier = token;
        EXPECT_NE(run.err.find("hash was written to " + config + " ([Admin] ApiToken)"),
                  std::string::npos)
            << run.err;
        const std::string text = test::ReadFile(config);
        const std::string hash = ValueOf(text, "ApiToken");
        EXPECT_TRUE(VerifyApiToken(hash, token)) << text;
        EXPECT_EQ(text.find(token), std::string::npos) << "the token itself is not stored";
        // Added after the section's last line, then replaced in place.
        EXPECT_EQ(text, Replaced(kEdited, "::1\r\n", "::1\r\nApiToken=" + hash + "\r\n"));
    }
    EXPECT_EQ(Listing(dir), (std::vector<std::string>{"Config.ini", "ovserver"}));
}

TEST(AdminCommandTest, HelpNamesTheCommandsAndTheyCannotBeCombined) {
    test::TempDir dir;
    const Outcome help = WithPipe(dir, {"--help"}, "");
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("--set-admin-password"), std::string::npos);
    EXPECT_NE(help.out.find("--new-api-token"), std::string::npos);
    const Outcome both = WithPipe(dir, {"--set-admin-password", "--new-api-token"}, "pw\n");
    EXPECT_EQ(both.code, 2);
    EXPECT_NE(both.err.find("are two commands"), std::string::npos) << both.err;
    EXPECT_FALSE(fs::exists(dir.File("Config.ini")));
}

}  // namespace
}  // namespace orvanta
