// The login guard's arithmetic over made-up time: the budget against guessers with many
// addresses, network holds, and which addresses a full table forgets.
#include "engine/login_guard.h"

#include <gtest/gtest.h>

#include <string>

namespace orvanta::engine {
namespace {

using namespace std::chrono_literals;
using G = LoginGuard;

std::string V4(int network, int host) {
    return "10." + std::to_string(network / 256) + "." + std::to_string(network % 256) + "." +
           std::to_string(host);
}

TEST(LoginGuardTest, FreshAddressesUseUpTheBudgetYetARightPasswordWaitsASecond) {
    G guard;
    const G::Clock::time_point start{};
    guard.Succeeded("192.0.2.7", start);  // the station's encoder, logged in earlier
    // Every 5 ms a never-seen address in a never-seen network guesses, for a minute.
    int checked = 0;
    for (int i = 0; i < 12000; ++i) {
        const auto now = start + i * 5ms;
        const std::string address = V4(i, 1);
        const G::Hold hold = guard.HeldFor(address, now);
        ASSERT_LE(hold.wait, 1s) << address;
        if (hold.wait == 0s) {
            ++checked;
            guard.Failed(address, now);
        }
        if (i % 1000 == 999) {
            // Worn down as the budget is, the encoder is checked at once, and a new address
            // with the right password is asked to wait a second at most.
            EXPECT_EQ(guard.HeldFor("192.0.2.7", now).wait, 0s);
            const G::Hold fresh = guard.HeldFor("203.0.113.9", now);
            EXPECT_LE(fresh.wait, 1s);
            EXPECT_EQ(guard.HeldFor("203.0.113.9", now + fresh.wait).wait, 0s);
        }
    }
    // Not too stingy either; the ceiling is the engine test's, over real sockets.
    EXPECT_GE(checked, 60 * G::kBudgetPerSecond - 1);
}

TEST(LoginGuardTest, ANetworkThatFailedOftenWaitsForTheBudgetOthersUseTheReserve) {
    G guard;
    const G::Clock::time_point start{};
    for (int i = 1; i <= G::kNetworkFailuresV4; ++i) {
        guard.Failed("192.0.2." + std::to_string(i), start);
    }
    for (int i = 1; i <= G::kNetworkFailuresV6; ++i) {
        guard.Failed("2001:db8:1:" + std::to_string(i) + "::5", start);
    }
    // The budget has refilled to just below empty: within the reserve.
    const auto now =
        start + std::chrono::seconds(static_cast<int>((G::kReserve + 0.5) / G::kBudgetPerSecond));
    const G::Hold held = guard.HeldFor("192.0.2.200", now);
    EXPECT_GT(held.wait, 0s);
    EXPECT_LE(held.wait, G::kLongestBudgetWait);
    EXPECT_FALSE(held.own);
    EXPECT_GT(guard.HeldFor("2001:db8:1:ff::1", now).wait, 0s);
    EXPECT_EQ(guard.HeldFor("198.51.100.1", now).wait, 0s);
    EXPECT_EQ(guard.HeldFor("2001:db8:2::1", now).wait, 0s) << "its /32 is below its threshold";
    // An address that failed once waits like a held network's.
    EXPECT_GT(guard.HeldFor("192.0.2.1", now).wait, 0s);
}

TEST(LoginGuardTest, AFullTableForgetsAddressesThatAreNotHeldFirstAndNeverAHeldOne) {
    G guard(4);
    G::Clock::time_point now{};
    for (int i = 0; i < G::kFreeFailures; ++i) {
        guard.Failed("192.0.2.1", now);
    }
    for (int i = 0; i < 100; ++i) {
        now += 1s;
        guard.Failed(V4(i, 1), now);
    }
    EXPECT_EQ(guard.Failed("192.0.2.1", now).hold, 2 * G::kFirstHold) << "its count was kept";
    for (int a = 2; a <= 4; ++a) {
        for (int i = 0; i < G::kFreeFailures; ++i) {
            guard.Failed("192.0.2." + std::to_string(a), now);
        }
    }
    EXPECT_EQ(guard.Failed("198.51.100.1", now).failures, 0) << "not recorded";
    EXPECT_EQ(guard.Size(), 4u);
    for (int a = 1; a <= 4; ++a) {
        EXPECT_TRUE(guard.HeldFor("192.0.2." + std::to_string(a), now).own) << a;
    }
}

}  // namespace
}  // namespace orvanta::engine
