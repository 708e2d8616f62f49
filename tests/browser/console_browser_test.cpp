// The operator's web console in Chromium the size of a phone, over HTTPS, against the real
// ovserver started headless with a certificate, a password hash made by its own
// --set-admin-password, and ffmpeg as the live source. console_test.mjs drives the browser
// through puppeteer-core and checks the pages with axe-core; this test sets the station up,
// runs it and reads what the server logged.
#include "headless_server.h"
#include "ovstream/tls_test_support.h"
#include "test_process.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace orvanta {
namespace {

namespace fs = std::filesystem;

const std::string kBrowserDir = ORV_BROWSER_DIR;

class ConsoleBrowserTest : public test::HeadlessServerTest {
protected:
    void SetUp() override {
        if (!fs::exists("/usr/bin/chromium") || !test::HaveTool("node") ||
            !fs::exists(kBrowserDir + "/node_modules/puppeteer-core/package.json") ||
            !fs::exists(kBrowserDir + "/node_modules/axe-core/axe.min.js")) {
            GTEST_SKIP() << "needs /usr/bin/chromium, node and the npm packages puppeteer-core "
                            "and axe-core in tests/browser/node_modules: bash scripts/deps.sh "
                            "--tests installs them";
        }
        if (!test::HaveTool("ffmpeg") || !test::HaveTool("openssl")) {
            GTEST_SKIP() << "ffmpeg and openssl are installed by scripts/deps.sh";
        }
        MakeProgramFolder({"ovserver", "ovstream.so"});
    }

    // The hash of `password` as `ovserver --set-admin-password` writes it, the password read
    // from a pipe, into a configuration file of its own.
    std::string PasswordHash(const std::string& password) {
        int pipe[2] = {-1, -1};
        EXPECT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
        const std::string line = password + "\n";
        EXPECT_EQ(::write(pipe[1], line.data(), line.size()), static_cast<ssize_t>(line.size()));
        ::close(pipe[1]);
        const std::string file = m_dir.File("admin.ini");
        test::Process command(m_dir.File("ovserver"), {"/config:" + file, "--set-admin-password"},
                              m_dir.File("password.out"), m_dir.File("password.err"), m_dir.Path(),
                              pipe[0]);
        ::close(pipe[0]);
        EXPECT_EQ(command.Wait(30000), 0) << test::ReadFile(m_dir.File("password.err"));
        const std::string text = test::ReadFile(file);
        const std::string key = "PasswordHash=";
        const size_t at = text.find(key);
        if (at == std::string::npos) {
            return {};
        }
        const size_t end = text.find('\n', at);
        return text.substr(at + key.size(), end - at - key.size());
    }
};

TEST_F(ConsoleBrowserTest, AnOperatorOnAPhoneLogsInSetsTheTitleAndLogsOut) {
    test::TestCertificates certificates;
    ASSERT_TRUE(certificates.Ok() && certificates.Issue("station", 0x61));
    fs::create_directories(m_dir.File("tls"));
    fs::copy_file(certificates.Certificate("station"), m_dir.File("tls/cert.pem"));
    fs::copy_file(certificates.Key("station"), m_dir.File("tls/key.pem"));

    const std::string password = "Tawny Owl at Dusk 7";
    const std::string hash = PasswordHash(password);
    ASSERT_TRUE(hash.starts_with("pbkdf2-sha256$")) << hash;
    StartServer("[TLS]\nCertificate=tls/cert.pem\nPrivateKey=tls/key.pem\n[Admin]\nPasswordHash=" +
                    hash + "\n",
                8000);
    ASSERT_TRUE(m_server);
    auto encoder = Encoder({.seconds = 120});
    ASSERT_TRUE(test::WaitForFileText(m_dir.File("server.out"), "source connected", 10000))
        << test::ReadFile(m_dir.File("encoder.err"));

    // Screenshots beside the other ones the suite writes, in the build folder.
    fs::create_directories(ORV_SCREENSHOT_DIR);
    const std::vector<std::pair<const char*, std::string>> environment = {
        {"ORV_CONSOLE_URL", "https://127.0.0.1:" + std::to_string(m_port)},
        {"ORV_CONSOLE_CA", certificates.Ca()},
        {"ORV_CONSOLE_CERTIFICATE", m_dir.File("tls/cert.pem")},
        {"ORV_CONSOLE_USER", "admin"},
        {"ORV_CONSOLE_PASSWORD", password},  // the environment: not on a command line
        {"ORV_SCREENSHOT_DIR", ORV_SCREENSHOT_DIR},
        {"ORV_BROWSER_PROFILE", m_dir.File("browser")},
    };
    for (const auto& [name, value] : environment) {
        ::setenv(name, value.c_str(), 1);
    }
    test::Process script("node", {kBrowserDir + "/console_test.mjs"}, m_dir.File("script.out"),
                         m_dir.File("script.err"), kBrowserDir);
    for (const auto& [name, value] : environment) {
        ::unsetenv(name);
    }
    // The script bounds itself at 75 s and closes the browser; this is the backstop.
    const int code = script.Wait(90000);
    const std::string report = test::ReadFile(m_dir.File("script.out"));
    EXPECT_EQ(code, 0) << report << test::ReadFile(m_dir.File("script.err"));
    EXPECT_NE(report.find("ok the logout leads to the login form"), std::string::npos)
        << "the script ran to its end\n"
        << report;

    // The server logged the login and the logout, with the user and the address; the
    // password is in none of its output.
    const std::string logFile = m_dir.File("log/ovserver.log");
    EXPECT_TRUE(test::WaitForFileText(logFile, "Web console: admin logged out", 5000));
    const std::string log = test::ReadFile(logFile) + test::ReadFile(m_dir.File("server.out")) +
                            test::ReadFile(m_dir.File("server.err"));
    test::ExpectHas(
        log, {"Web console: admin logged in from 127.0.0.1", "(kicked by admin on the web console)",
              "Banned 127.0.0.2 for good by admin on the web console"});
    EXPECT_EQ(log.find(password), std::string::npos);
}

}  // namespace
}  // namespace orvanta
