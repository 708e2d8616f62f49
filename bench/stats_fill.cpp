// What the statistics file grows by: SESSIONS listener sessions (default 1,000,000) of a
// station's mix handed to a StatsStore in a temporary folder, as the engine hands them over at
// each listener's departure, with a minute sample each minute of the sessions' span and a
// title every four minutes; then the file's size (after the store's close has put its WAL into
// it) and the time the writer took.
//
// Usage: stats_fill_bench [SESSIONS] [FOLDER] (FOLDER kept when given, for a look with sqlite3).
#include "stats/stats_store.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>

using namespace orvanta::engine;

int main(int argc, char** argv) {
    const long sessions = argc > 1 ? std::clamp(std::atol(argv[1]), 1L, 100000000L) : 1000000;
    std::string folder = argc > 2 ? argv[2] : "";
    const bool keep = !folder.empty();
    if (!keep) {
        char pattern[] = "/tmp/stats-fill-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            std::perror("mkdtemp");
            return 1;
        }
        folder = pattern;
    }
    StatsStore::Options options;
    options.folder = folder;
    options.queueLimit = 100000;
    options.log = [](const std::string& line) { std::printf("log: %s\n", line.c_str()); };
    std::mt19937_64 random(7);
    // Session lengths of a station's audience: many short visits, a long tail of hours.
    std::lognormal_distribution<double> length(6.0, 1.6);  // median some 7 minutes
    const char* const players[] = {"vlc",     "mpv",    "mpg123", "ffmpeg",  "chromium",
                                   "firefox", "safari", "ios",    "android", "other"};
    const ListenerKind kinds[] = {ListenerKind::Stream, ListenerKind::Icy, ListenerKind::Icy,
                                  ListenerKind::Hls};
    // A day's worth of departures per 20,000 sessions, ending now (retention keeps them all).
    const StatsTime now = StatsNow();
    const StatsTime span = std::max<StatsTime>(3600, sessions * 86400 / 20000);
    const StatsTime first = now - std::min<StatsTime>(span, 300 * 86400L);
    const auto began = std::chrono::steady_clock::now();
    StatsTime minute = first / 60 * 60;
    {
        StatsStore store(options);
        for (long i = 0; i < sessions; ++i) {
            ListenerSessionRecord r;
            r.end = first + (now - first) * i / sessions;
            r.start = r.end - std::min<StatsTime>(static_cast<StatsTime>(length(random)), 86400);
            r.bytes = static_cast<uint64_t>(r.end - r.start) * 16000;
            r.kind = kinds[random() % 4];
            r.tls = random() % 3 == 0;
            r.player = players[random() % 10];
            const uint64_t a = random();
            r.address = random() % 5 == 0
                            ? "2001:db8:" + std::to_string(a % 9000) + ":" +
                                  std::to_string(a / 9000 % 9000) + "::" + std::to_string(a % 77)
                            : std::to_string(1 + a % 223) + "." + std::to_string(a >> 8 & 255) +
                                  "." + std::to_string(a >> 16 & 255) + "." +
                                  std::to_string(a >> 24 & 255);
            store.Record(std::move(r));
            for (; minute + 60 <= first + (now - first) * i / sessions; minute += 60) {
                store.RecordSample(MinuteSample{minute, 120, 310, 40, 1, 9600000, true, "live"});
                if (minute % 240 == 0) {
                    store.Record(TitleRecord{minute, minute + 240, "Artist - A title of a song",
                                             400, 410, 430});
                }
            }
            // Handed over at some 100,000 a second, about what the writer takes: the count of
            // dropped records below says when it was not.
            if (i % 5000 == 4999) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
        std::printf("dropped %llu\n", static_cast<unsigned long long>(store.Dropped()));
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    const auto bytes = std::filesystem::file_size(StatsStore::FilePathIn(folder));
    std::printf(
        "sessions %ld, %lld minute samples: %llu bytes (%.1f MB), %.1f bytes a session, "
        "%.1f s\n",
        sessions, static_cast<long long>((minute - first / 60 * 60) / 60),
        static_cast<unsigned long long>(bytes), static_cast<double>(bytes) / 1e6,
        static_cast<double>(bytes) / static_cast<double>(sessions), seconds);
    if (!keep) {
        std::filesystem::remove_all(folder);
    }
    return 0;
}
