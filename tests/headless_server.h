// A fixture for tests of the whole program: ovserver started headless (/start) from a scratch
// program folder with its registry hives beside it, on a free port pair, and ffmpeg pushing a
// tone into it over the Icecast protocol. The server must end cleanly when the test does.
#pragma once

#include "test_process.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace orvanta::test {

class HeadlessServerTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (m_server) {
            m_server->Signal(SIGTERM);
            EXPECT_EQ(m_server->Wait(10000), 0) << ReadFile(m_dir.File("server.err"));
        }
        ::unsetenv("ORVANTA_USER_HIVE");
        ::unsetenv("ORVANTA_MACHINE_HIVE");
    }

    // Copies `files` from the build's program folder into the scratch one; the hives go there.
    void MakeProgramFolder(std::initializer_list<const char*> files) {
        for (const char* file : files) {
            std::filesystem::copy_file(std::string(ORV_PROGRAM_DIR) + "/" + file, m_dir.File(file));
        }
        ::setenv("ORVANTA_USER_HIVE", m_dir.File("user.reg").c_str(), 1);
        ::setenv("ORVANTA_MACHINE_HIVE", m_dir.File("machine.reg").c_str(), 1);
    }

    // ovserver --headless /start with the source password "hackme", five listeners, a 3 s
    // time-out and `moreConfig`, on the first free port pair of five tries.
    void StartServer(const std::string& moreConfig, int timeoutMs) {
        std::mt19937 random(
            static_cast<unsigned>(::getpid()) ^
            static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
        for (int attempt = 0; attempt < 5; ++attempt) {
            m_port = 20001 + static_cast<int>(random() % 20000) * 2;
            WriteConfig(moreConfig);
            if (Spawn(timeoutMs)) {
                return;
            }
            m_server->Signal(SIGTERM);
            m_server->Wait(5000);
            m_server.reset();
        }
        FAIL() << "ovserver did not start: " << ReadFile(m_dir.File("server.err"));
    }

    void StopServer() {
        m_server->Signal(SIGTERM);
        ASSERT_EQ(m_server->Wait(10000), 0) << ReadFile(m_dir.File("server.err"));
    }
    // Ends the server cleanly (if it still runs) and starts it again on its port: with a
    // Config.ini of `moreConfig`, or with the one it saved when `moreConfig` is null.
    void RestartServer(const char* moreConfig) {
        StopServer();
        if (moreConfig != nullptr) {
            WriteConfig(moreConfig);
        }
        ASSERT_TRUE(Spawn(5000)) << ReadFile(m_dir.File("server.err"));
    }

    // ffmpeg pushing `tone` to the station's /stream.
    std::unique_ptr<Process> Encoder(const Tone& tone) {
        return ToneEncoder(m_port, m_dir.Path(), tone);
    }

    TempDir m_dir;
    std::unique_ptr<Process> m_server;
    int m_port = 0;

private:
    void WriteConfig(const std::string& moreConfig) {
        WriteFile(m_dir.File("Config.ini"),
                  "[Broadcast]\nPassword=hackme\n[Network]\nPort=" + std::to_string(m_port) +
                      "\n[Limits]\nMaxClient=5\nTimeout=3\n" + moreConfig);
    }
    bool Spawn(int timeoutMs) {
        m_server = std::make_unique<Process>(
            m_dir.File("ovserver"),
            std::vector<std::string>{"--headless", "/start", "--status-interval=1"},
            m_dir.File("server.out"), m_dir.File("server.err"), m_dir.Path());
        return WaitForFileText(m_dir.File("server.out"), "Service started", timeoutMs);
    }
};

}  // namespace orvanta::test
