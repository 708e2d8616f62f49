// What one country lookup costs: a MaxMind-format database of about a country database's
// shape (tens of thousands of IPv4 and IPv6 networks, 24-bit records) written to a temporary
// file, then addresses looked up in it, as text, the way the statistics' writer asks.
//
// Usage: geo_lookup_bench [LOOKUPS] (default 1,000,000; at most 100,000,000).
#include "stats/geo_lookup.h"

#include "stats/mmdb_file.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kIpv4Networks = 60000;
constexpr int kIpv6Networks = 20000;
constexpr long kMaxLookups = 100000000;
const char* const kCodes[] = {"NZ", "CA", "DE", "JP", "BR", "KR", "FR", "US"};

std::string Ipv4(uint32_t a) {
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 255) + "." +
           std::to_string((a >> 8) & 255) + "." + std::to_string(a & 255);
}

// In the /48 2xxx:yyyy:0::/48 chosen by `top`, the host `rest`.
std::string Ipv6(uint32_t top, uint32_t rest) {
    char text[64];
    std::snprintf(text, sizeof text, "2%03x:%x:0:%x::%x", top >> 20 & 0xfff, top & 0xffff,
                  rest >> 16, rest & 0xffff);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const long lookups = argc > 1 ? std::min(std::atol(argv[1]), kMaxLookups) : 1000000;
    std::mt19937 random(7);
    orvanta::test::MmdbFile file(6);
    std::vector<std::string> addresses;
    for (int i = 0; i < kIpv4Networks; ++i) {
        const uint32_t network = static_cast<uint32_t>(random()) & 0xffffff00u;
        file.Add(Ipv4(network) + "/24", "country", kCodes[i % 8]);
        addresses.push_back(Ipv4(network | 77));
        addresses.push_back(Ipv4(static_cast<uint32_t>(random())));  // mostly unknown
    }
    for (int i = 0; i < kIpv6Networks; ++i) {
        const uint32_t top = static_cast<uint32_t>(random());
        file.Add(Ipv6(top, 0) + "/48", "country", kCodes[i % 8]);
        addresses.push_back(Ipv6(top, static_cast<uint32_t>(random())));
    }
    const std::string bytes = file.Bytes();
    const std::string path = std::filesystem::temp_directory_path() /
                             ("geo-bench-" + std::to_string(::getpid()) + ".mmdb");
    std::ofstream(path, std::ios::binary) << bytes;
    std::string error;
    const auto lookup = orvanta::engine::GeoLookup::Open(path, &error);
    std::filesystem::remove(path);  // mapped: the file may go
    if (lookup == nullptr) {
        std::fprintf(stderr, "cannot open the database: %s\n", error.c_str());
        return 1;
    }

    long known = 0;
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < lookups; ++i) {
        known +=
            lookup->Country(addresses[static_cast<size_t>(i) % addresses.size()]).empty() ? 0 : 1;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("database: %zu bytes, %d IPv4 and %d IPv6 networks\n", bytes.size(), kIpv4Networks,
                kIpv6Networks);
    std::printf("%ld lookups in %.3f s: %.0f ns each, %.1f%% known\n", lookups, took.count(),
                took.count() * 1e9 / static_cast<double>(lookups),
                100.0 * static_cast<double>(known) / static_cast<double>(lookups));
    return 0;
}
