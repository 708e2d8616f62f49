// Small helpers shared by the tests: a temporary folder per test, reading and writing files.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdlib.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace orvanta::test {

// Sets an environment variable for the life of the object, then puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        Set(value);
    }
    ~ScopedEnv() { Set(m_old ? m_old->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Set(const char* value) {
        value != nullptr ? ::setenv(m_name, value, 1) : ::unsetenv(m_name);
    }
    const char* m_name;
    std::optional<std::string> m_old;
};

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes.
class TempDir {
public:
    TempDir() {
        std::string pattern = std::filesystem::temp_directory_path() / "orvanta-test-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
        }
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    // The folder with a trailing separator, as the console passes folders around.
    std::string Folder() const { return m_path + "/"; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Whether the file at `path` holds `text`.
inline bool Holds(const std::string& path, const std::string& text) {
    return ReadFile(path).find(text) != std::string::npos;
}

// The lines of a file, without their line feeds.
inline std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Polls `done` every 10 ms for at most `timeoutMs`; whether it came true. `done` runs once per
// turn, so it may have effects (write, then check).
template <typename Predicate>
bool WaitUntil(Predicate done, int timeoutMs = 3000) {
    for (int waited = 0; !done(); waited += 10) {
        if (waited >= timeoutMs) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Whether `text` appears in the file, beyond its first `from` bytes, within the time.
inline bool WaitForFileText(const std::string& path, const std::string& text, int timeoutMs,
                            size_t from = 0) {
    return WaitUntil(
        [&] {
            const std::string content = ReadFile(path);
            return content.size() > from && content.find(text, from) != std::string::npos;
        },
        timeoutMs);
}

// Whether a command is on PATH (the tools deps.sh installs for the tests).
inline bool HaveTool(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// The files in `folder` whose names start with `prefix`, leaving out the WAL files SQLite keeps
// beside a database.
inline std::vector<std::string> FilesNamed(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename();
        if (name.rfind(prefix, 0) == 0 && name.find("-wal") == std::string::npos) {
            found.push_back(entry.path());
        }
    }
    return found;
}

// What a shell command writes to its standard output.
inline std::string CommandOutput(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            out.append(buffer, n);
        }
        ::pclose(pipe);
    }
    return out;
}

// A test module or plug-in from beside the test programs, copied to `to`.
inline void CopyFixture(const char* fixture, const std::string& to) {
    std::filesystem::copy_file(std::string(ORV_FIXTURE_DIR) + "/" + fixture, to);
}

// The twelve bytes that open a record cache: magic, version and record size, little-endian.
inline std::string CacheHeader(const char* magic, uint32_t version, uint32_t recordSize) {
    std::string bytes(magic, 4);
    for (const uint32_t value : {version, recordSize}) {
        bytes.append({char(value), char(value >> 8), char(value >> 16), char(value >> 24)});
    }
    return bytes;
}

// From here on, writes that would make a file larger fail, as on a full disk. For child
// processes only: the limit cannot be raised again.
inline void LimitFileSize(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

}  // namespace orvanta::test
