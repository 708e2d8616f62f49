// The operator's web console against a real engine on 127.0.0.1, spoken to as a browser would:
// off without a password, a login form, a session cookie with its flags, forms refused without
// their token or from another origin, a logout that makes the cookie worthless, addresses the
// operator did not allow, password guessing held back, and no password in the log.
#include "base/credentials.h"
#include "ovstream/engine_ports.h"
#include "ovstream/test_client.h"
#include "test_util.h"
#include "web/admin_pages.h"

#include <gtest/gtest.h>

#include <string>

namespace orvanta::engine {
namespace {

using test::ExpectHas;

constexpr char kPassword[] = "c0rrect horse";

class AdminConsoleTest : public test::EngineFixture {
protected:
    void SetUp() override {
        m_settings.adminPasswordHash = MakePasswordHash(kPassword);
        m_settings.logEnabled = 1;
        m_settings.logDirectory = m_logFolder.File("logs");
        m_settings.logFileName = "station.log";
    }

    std::string Post(const std::string& path, const std::string& body, const std::string& more = "",
                     const char* from = nullptr) {
        return Get("POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(m_port) +
                       "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                       std::to_string(body.size()) + "\r\n" + more + "\r\n" + body,
                   from);
    }
    std::string Page(const std::string& path, const std::string& cookie = "") {
        return Get("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                   (cookie.empty() ? "" : "Cookie: ovadmin=" + cookie + "\r\n") + "\r\n");
    }
    // The session id a login answer sets.
    static std::string CookieOf(const std::string& answer) {
        const size_t at = answer.find("Set-Cookie: ovadmin=");
        if (at == std::string::npos) {
            return {};
        }
        const size_t from = at + 20;
        return answer.substr(from, answer.find(';', from) - from);
    }
    static std::string CsrfOf(const std::string& page) {
        const std::string marker = "name=\"csrf\" value=\"";
        const size_t at = page.find(marker);
        return at == std::string::npos ? std::string() : page.substr(at + marker.size(), 64);
    }
    std::string Log() {
        return test::ReadFile(m_settings.logDirectory + "/" + m_settings.logFileName);
    }

    test::TempDir m_logFolder;
};

TEST_F(AdminConsoleTest, OffWithoutAPasswordAndSaysHowToTurnItOn) {
    m_settings.adminPasswordHash.clear();
    Start();
    ExpectHas(Page("/admin/"), {"200 OK", "ovserver --set-admin-password",
                                "Content-Security-Policy: default-src 'none'"});
    ExpectHas(Post("/admin/login", "user=admin&password=x"), {"403 Forbidden"});
    // The encoders' endpoints under /admin are what they were.
    ExpectHas(Get("GET /admin/metadata?mode=updinfo&song=x HTTP/1.0\r\n\r\n"), {"401"});
}

TEST_F(AdminConsoleTest, ALoginOpensASessionThatFormsNeedTheirTokenForAndLogoutEnds) {
    Start();
    ExpectHas(Page("/admin/"), {"303 See Other", "Location: /admin/login"});
    ExpectHas(Page("/admin/login"),
              {"200 OK", "<form method=\"post\" action=\"/admin/login\"", "autocomplete"});
    ExpectHas(Page(kAdminStylePath), {"200 OK", "text/css"});

    const std::string wrong = Post("/admin/login", "user=admin&password=guess");
    ExpectHas(wrong, {"403 Forbidden", "Wrong user or password"});
    EXPECT_EQ(CookieOf(wrong), "");
    ExpectHas(Post("/admin/login", "user=root&password=c0rrect+horse"), {"403 Forbidden"});

    const std::string login = Post("/admin/login", "user=admin&password=c0rrect+horse");
    ExpectHas(login, {"303 See Other", "Location: /admin/",
                      "; Path=/admin; HttpOnly; SameSite=Strict\r\n"});
    EXPECT_EQ(login.find("; Secure"), std::string::npos) << "plain HTTP: no Secure flag";
    const std::string id = CookieOf(login);
    ASSERT_EQ(id.size(), 64u);

    const std::string dashboard = Page("/admin/", id);
    ExpectHas(dashboard, {"200 OK", "<h1>Dashboard</h1>", "Not on air", "Cache-Control: no-store"});
    const std::string csrf = CsrfOf(dashboard);
    ASSERT_EQ(csrf.size(), 64u);
    const std::string cookie = "Cookie: ovadmin=" + id + "\r\n";

    // Forms that change something: the session's token, and no foreign origin.
    ExpectHas(Post("/admin/title", "title=Forged", cookie), {"403 Forbidden"});
    ExpectHas(Post("/admin/title", "csrf=" + std::string(64, '0') + "&title=Forged", cookie),
              {"403 Forbidden"});
    ExpectHas(Post("/admin/title", "csrf=" + csrf + "&title=Forged",
                   cookie + "Origin: https://evil.example\r\n"),
              {"403 Forbidden"});
    // No session: no action, token or not.
    ExpectHas(Post("/admin/title", "csrf=" + csrf + "&title=Forged"), {"403 Forbidden"});
    ExpectHas(Post("/admin/title", "csrf=" + csrf + "&title=Night+Owl",
                   cookie + "Origin: http://127.0.0.1:" + std::to_string(m_port) + "\r\n"),
              {"303 See Other", "Location: /admin/?done=title"});
    ExpectHas(Page("/admin/?done=title", id), {"The title is set.", "value=\"Night Owl\""});
    EXPECT_EQ(Log().find("Forged"), std::string::npos);

    ExpectHas(Post("/admin/logout", "csrf=" + csrf, cookie),
              {"303 See Other", "Location: /admin/login", "ovadmin=; Path=/admin", "Max-Age=0"});
    // The id is worthless after its logout.
    ExpectHas(Page("/admin/", id), {"303 See Other", "Location: /admin/login"});
    ExpectHas(Post("/admin/title", "csrf=" + csrf + "&title=Late", cookie), {"403 Forbidden"});

    const std::string log = Log();
    ExpectHas(log, {"Web console: admin logged in from 127.0.0.1", "logged out"});
    EXPECT_EQ(log.find("c0rrect"), std::string::npos) << "the password is never logged";
    EXPECT_EQ(log.find(id), std::string::npos) << "nor a session id";
}

TEST_F(AdminConsoleTest, AddressesNotAllowedAreRefusedBeforeAnyPassword) {
    m_settings.adminAllowFrom = "127.0.0.1/32, ::1";
    Start();
    ExpectHas(Page("/admin/login"), {"200 OK"});
    const std::string refused =
        Post("/admin/login", "user=admin&password=c0rrect+horse", "", "127.0.0.2");
    ExpectHas(refused, {"403 Forbidden", "does not answer this address"});
    EXPECT_EQ(CookieOf(refused), "");
}

TEST_F(AdminConsoleTest, PasswordGuessingIsHeldBack) {
    Start();
    int held = 0;
    int checked = 0;
    for (int i = 0; i < 50; ++i) {
        const std::string answer =
            Post("/admin/login", "user=admin&password=guess" + std::to_string(i));
        held += answer.find("429") != std::string::npos ? 1 : 0;
        checked += answer.find("Wrong user or password") != std::string::npos ? 1 : 0;
    }
    EXPECT_GT(held, 40) << "most guesses never reach the password check";
    EXPECT_LT(checked, 10);
    EXPECT_EQ(Log().find("guess"), std::string::npos);
}

}  // namespace
}  // namespace orvanta::engine
