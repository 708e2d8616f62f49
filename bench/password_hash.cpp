// How long the stored password hash takes to make and to check, at the iteration count new
// hashes get and at others around it: the number the count is chosen by (see README.md here).
//   password_hash [ROUNDS]
#include "base/credentials.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double MedianMs(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    using namespace orvanta;
    using Clock = std::chrono::steady_clock;
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const std::string password = "correct horse battery staple";
    const std::string salt(kPasswordSaltBytes, 's');

    std::vector<double> verify;
    const std::string stored = MakePasswordHash(password);
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        const bool ok = VerifyPasswordHash(stored, password);
        verify.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (!ok) {
            std::fprintf(stderr, "the hash did not verify\n");
            return 1;
        }
    }
    std::printf(
        "VerifyPasswordHash at %u iterations: median %.1f ms, min %.1f ms, max %.1f ms "
        "(%d runs)\n",
        kPasswordHashIterations, MedianMs(verify), *std::min_element(verify.begin(), verify.end()),
        *std::max_element(verify.begin(), verify.end()), rounds);
    for (const uint32_t iterations : {100'000u, 200'000u, 300'000u, 600'000u}) {
        std::vector<double> times;
        for (int i = 0; i < std::max(3, rounds / 3); ++i) {
            const auto start = Clock::now();
            Pbkdf2HmacSha256(password, salt, iterations, kPasswordHashBytes);
            times.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        std::printf("PBKDF2-HMAC-SHA256, %u iterations: median %.1f ms\n", iterations,
                    MedianMs(times));
    }
    return 0;
}
