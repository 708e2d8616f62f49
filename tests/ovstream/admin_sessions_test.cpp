// The web console's sessions over a clock the test moves: ids and tokens that cannot be guessed,
// the idle and absolute ends, logout, and the bound on how many are kept.
#include "engine/admin_sessions.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace orvanta::engine {
namespace {

using namespace std::chrono_literals;

TEST(AdminSessionsTest, IdsAreFreshTokensAndEndIdleAbsolutelyOrAtLogout) {
    AdminSessions sessions;
    const auto start = AdminSessions::Clock::now();
    std::set<std::string> seen;
    const AdminSessions::Session& first = sessions.Open("admin", start);
    const std::string id = first.id;
    const std::string csrf = first.csrf;
    EXPECT_EQ(id.size(), 64u);
    EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(id, csrf);
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(seen.insert(RandomToken()).second);
    }
    EXPECT_TRUE(SameToken(csrf, std::string(csrf)));
    EXPECT_FALSE(SameToken(csrf, csrf.substr(1)));
    EXPECT_FALSE(SameToken(csrf, std::string(csrf.size(), '0')));

    // Used every 20 minutes it lives on, up to 12 hours after the login.
    auto now = start;
    for (int i = 0; i < 35; ++i) {
        now += 20min;
        ASSERT_NE(sessions.Use(id, now), nullptr) << "at " << i;
    }
    EXPECT_EQ(sessions.Use(id, start + 12h), nullptr) << "12 hours after the login";
    EXPECT_EQ(sessions.Count(), 0u);

    const std::string idle = sessions.Open("admin", start).id;
    EXPECT_NE(sessions.Use(idle, start + 29min), nullptr);
    EXPECT_EQ(sessions.Use(idle, start + 29min + 30min), nullptr) << "30 minutes unused";

    const std::string out = sessions.Open("admin", start).id;
    sessions.Close(out);
    EXPECT_EQ(sessions.Use(out, start), nullptr) << "an id is worthless after its logout";
    EXPECT_EQ(sessions.Use("", start), nullptr);
}

TEST(AdminSessionsTest, TooManyLoginsEndTheLeastRecentlyUsed) {
    AdminSessions sessions;
    const auto start = AdminSessions::Clock::now();
    const std::string kept = sessions.Open("admin", start).id;
    const std::string dropped = sessions.Open("admin", start + 1s).id;
    for (size_t i = 2; i < AdminSessions::kMaxSessions; ++i) {
        sessions.Open("admin", start + 2s);
    }
    ASSERT_NE(sessions.Use(kept, start + 3s), nullptr);
    sessions.Open("admin", start + 4s);
    EXPECT_EQ(sessions.Count(), AdminSessions::kMaxSessions);
    EXPECT_EQ(sessions.Use(dropped, start + 5s), nullptr);
    EXPECT_NE(sessions.Use(kept, start + 5s), nullptr);
}

}  // namespace
}  // namespace orvanta::engine
