#include "startup/admin_commands.h"

#include "base/credentials.h"
#include "config/ini_file.h"
#include "config/station_settings.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <pthread.h>
#include <termios.h>
#include <unistd.h>
#include <variant>

namespace orvanta {

namespace {

// The signals that end a command typed at a terminal: the program keeps its stop signals
// blocked (BlockStopSignals), so here they are let through to interrupt the read, and the
// terminal gets its echo back before the program ends.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
volatile sig_atomic_t g_stopSignal = 0;

extern "C" void NoteStopSignal(int signal) {
    g_stopSignal = signal;
}

class StopSignalsInterruptReads {
public:
    StopSignalsInterruptReads() {
        struct sigaction action {};
        action.sa_handler = NoteStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;  // no SA_RESTART: a read under way returns EINTR
        sigset_t set;
        sigemptyset(&set);
        for (size_t i = 0; i < std::size(kStopSignals); ++i) {
            sigaction(kStopSignals[i], &action, &m_old[i]);
            sigaddset(&set, kStopSignals[i]);
        }
        pthread_sigmask(SIG_UNBLOCK, &set, &m_oldMask);
    }
    ~StopSignalsInterruptReads() {
        pthread_sigmask(SIG_SETMASK, &m_oldMask, nullptr);
        for (size_t i = 0; i < std::size(kStopSignals); ++i) {
            sigaction(kStopSignals[i], &m_old[i], nullptr);
        }
    }
    StopSignalsInterruptReads(const StopSignalsInterruptReads&) = delete;
    StopSignalsInterruptReads& operator=(const StopSignalsInterruptReads&) = delete;

private:
    struct sigaction m_old[std::size(kStopSignals)]{};
    sigset_t m_oldMask{};
};

// While it lives, what is typed at the terminal is not shown; the line end still is, so the
// next prompt starts on a line of its own.
class EchoOff {
public:
    explicit EchoOff(int fd) : m_fd(fd), m_changed(tcgetattr(fd, &m_old) == 0) {
        if (m_changed) {
            termios quiet = m_old;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK);
            quiet.c_lflag |= ECHONL;
            // Anything typed before the prompt is dropped, so it cannot become the password.
            m_changed = tcsetattr(fd, TCSAFLUSH, &quiet) == 0;
        }
    }
    ~EchoOff() {
        if (m_changed) {
            tcsetattr(m_fd, TCSANOW, &m_old);
        }
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    int m_fd;
    termios m_old{};
    bool m_changed;
};

enum class LineRead { Done, TooLong, Interrupted, Failed };

// One line from `fd`, a byte at a time so that nothing past it is taken from the descriptor
// and no buffer of the standard library holds a copy. The line end (LF or CR LF) is not part
// of the line; the end of the input ends it too. `error` gets errno when the read fails.
LineRead ReadSecretLine(int fd, std::string& line, int& error) {
    line.clear();
    bool tooLong = false;
    for (;;) {
        if (g_stopSignal != 0) {
            return LineRead::Interrupted;
        }
        char byte = 0;
        const ssize_t got = ::read(fd, &byte, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = errno;
            return LineRead::Failed;
        }
        if (got == 0 || byte == '\n') {
            break;
        }
        // The string was given room for the longest line, so it never moves and leaves no
        // copy of what it held behind.
        if (line.size() <= kMaxAdminPasswordBytes) {
            line += byte;
        } else {
            tooLong = true;
        }
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return tooLong || line.size() > kMaxAdminPasswordBytes ? LineRead::TooLong : LineRead::Done;
}

// Wipes the secrets it was given when it goes, whichever way the command ends.
class Secrets {
public:
    Secrets() {
        for (std::string& text : m_texts) {
            text.reserve(kMaxAdminPasswordBytes + 2);
        }
    }
    ~Secrets() {
        for (std::string& text : m_texts) {
            WipeSecret(text);
        }
    }
    Secrets(const Secrets&) = delete;
    Secrets& operator=(const Secrets&) = delete;

    std::string& operator[](size_t i) { return m_texts[i]; }

private:
    std::string m_texts[2];
};

const StationSetting& RowOf(std::string StationConfig::*field) {
    for (const StationSetting& row : StationSettings()) {
        const auto* member = std::get_if<std::string StationConfig::*>(&row.field);
        if (member != nullptr && *member == field) {
            return row;
        }
    }
    // Both fields have rows; a table without them is a build that cannot work.
    std::abort();
}

// Sets the row's key in the file, the rest of the file untouched. False, told on `err`, when
// the file cannot be read or written or is no INI file the program reads.
bool StoreInFile(const std::string& path, const StationSetting& row, const std::string& value,
                 std::ostream& err) {
    std::string text;
    std::string reason;
    if (!ReadIniText(path, text, &reason)) {
        err << "The configuration file " << path << " cannot be read: " << reason
            << "\nNothing was written.\n";
        return false;
    }
    const std::optional<std::string> edited =
        WithIniValue(text, row.section, row.WrittenKey(), value);
    if (!edited) {
        err << "The configuration file " << path
            << " is not one the program can read (a line starts with a control byte).\n"
               "Nothing was written.\n";
        return false;
    }
    if (!SaveIniText(path, *edited, &reason)) {
        err << "The configuration file " << path << " could not be written: " << reason
            << "\nThe file was left as it was.\n";
        return false;
    }
    return true;
}

std::string Where(const std::string& path, const StationSetting& row) {
    return path + " ([" + std::string(row.section) + "] " + std::string(row.WrittenKey()) + ")";
}

int Interrupted(std::ostream& err) {
    err << "\nInterrupted; nothing was written.\n";
    return 130;
}

int SetPassword(const std::string& path, int input, std::ostream& out, std::ostream& err) {
    Secrets secrets;
    std::string& password = secrets[0];
    std::string& repeated = secrets[1];
    const bool terminal = ::isatty(input) == 1;
    LineRead read = LineRead::Done;
    int error = 0;
    {
        StopSignalsInterruptReads stops;
        if (terminal) {
            EchoOff echo(input);
            err << "Web console password: " << std::flush;
            read = ReadSecretLine(input, password, error);
            if (read == LineRead::Done && !password.empty()) {
                err << "The same password again: " << std::flush;
                read = ReadSecretLine(input, repeated, error);
            }
        } else {
            read = ReadSecretLine(input, password, error);
        }
        if (g_stopSignal != 0) {
            read = LineRead::Interrupted;
        }
    }
    switch (read) {
        case LineRead::Interrupted:
            return Interrupted(err);
        case LineRead::Failed:
            err << "The password cannot be read: " << std::strerror(error)
                << "\nNothing was written.\n";
            return 1;
        case LineRead::TooLong:
            err << "The password is longer than " << kMaxAdminPasswordBytes
                << " bytes.\nNothing was written.\n";
            return 1;
        case LineRead::Done:
            break;
    }
    if (password.empty()) {
        err << "An empty password is not allowed.\nNothing was written.\n";
        return 1;
    }
    if (terminal && password != repeated) {
        err << "Passwords do not match.\nNothing was written.\n";
        return 1;
    }
    const std::string hash = MakePasswordHash(password);
    if (hash.empty()) {
        err << "The system's random source failed.\nNothing was written.\n";
        return 1;
    }
    const StationSetting& row = RowOf(&StationConfig::AdminPasswordHash);
    if (!StoreInFile(path, row, hash, err)) {
        return 1;
    }
    out << "The web console's password hash was written to " << Where(path, row)
        << "; a running station takes it at its next reload." << std::endl;
    return 0;
}

int SetApiToken(const std::string& path, std::ostream& out, std::ostream& err) {
    Secrets secrets;
    std::string& token = secrets[0];
    token = NewApiToken();
    const std::string hash = token.empty() ? std::string() : ApiTokenHash(token);
    if (hash.empty()) {
        err << "The system's random source failed.\nNothing was written.\n";
        return 1;
    }
    const StationSetting& row = RowOf(&StationConfig::AdminApiToken);
    if (!StoreInFile(path, row, hash, err)) {
        return 1;
    }
    // Alone on standard output, for a script to take; shown this once and never again.
    out << token << std::endl;
    err << "The API token's hash was written to " << Where(path, row)
        << "; a running station takes it at its next reload. Keep the token above: it is not "
           "stored anywhere and cannot be shown again."
        << std::endl;
    return 0;
}

}  // namespace

int RunAdminCommand(AdminCommand command, const std::string& configPath, int input,
                    std::ostream& out, std::ostream& err) {
    switch (command) {
        case AdminCommand::SetPassword:
            return SetPassword(configPath, input, out, err);
        case AdminCommand::NewApiToken:
            return SetApiToken(configPath, out, err);
        case AdminCommand::None:
            break;
    }
    return 0;
}

}  // namespace orvanta
