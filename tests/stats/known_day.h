// One day of listening with figures worked out by hand, written through the store into a real
// file: the reports' tests read it back. Monday 2024-05-06, UTC.
#pragma once

#include "stats/stats_store.h"

#include <string>

namespace orvanta::test {

using engine::ListenerKind;
using engine::ListenerSessionRecord;
using engine::MinuteSample;
using engine::StatsStore;
using engine::StatsTime;
using engine::TitleRecord;

inline constexpr StatsTime kKnownDay = 1714953600;  // 2024-05-06 00:00 UTC, a Monday
inline constexpr StatsTime kAt10 = kKnownDay + 10 * 3600;
// The rows go back further than any default keeps.
inline constexpr int kKeepForever = 100000;

// Sessions begun that day (not relays), 30 s, 4 min, 10 min, 30 min, 1 h 30 min and 2 h long,
// from four networks; one more began the day before and ran 10 min into it, and a relay.
// Samples at 10:00 (2 listeners), 10:01 (3, and 5 relays), 12:30 (4), 13:00 (4) and at 00:00
// the next day (9). Titles at 10:00 (2 -> 3, peak 5) and 12:00 (4 -> 1, peak 4), one the day
// before.
inline void WriteKnownDay(const std::string& folder) {
    StatsStore::Options options;
    options.folder = folder;
    options.keepDays = kKeepForever;
    StatsStore store(options);
    const auto session = [&store](StatsTime start, StatsTime seconds, const char* address,
                                  const char* player, ListenerKind kind = ListenerKind::Stream) {
        ListenerSessionRecord record;
        record.start = start;
        record.end = start + seconds;
        record.bytes = static_cast<uint64_t>(seconds) * 16000;
        record.kind = kind;
        record.player = player;
        record.address = address;
        store.Record(record);
    };
    session(kAt10, 30, "192.0.2.10", "vlc");
    session(kAt10, 240, "192.0.2.20", "vlc");
    session(kAt10 + 300, 600, "198.51.100.7", "mpg123");
    session(kAt10 + 3600, 1800, "2001:db8:1:2::5", "firefox", ListenerKind::Hls);
    session(kAt10 + 7200, 5400, "203.0.113.9", "vlc", ListenerKind::Icy);
    session(kAt10 + 3 * 3600, 7200, "203.0.113.10", "android");
    session(kKnownDay - 600, 1200, "192.0.2.99", "mpv");
    session(kAt10, 9000, "203.0.113.50", "other", ListenerKind::Relay);
    const auto sample = [&store](StatsTime minute, uint32_t stream, uint32_t icy, uint32_t hls,
                                 uint32_t relay) {
        store.RecordSample(MinuteSample{minute, stream, icy, hls, relay, 1000, true, "live"});
    };
    sample(kAt10, 2, 0, 0, 0);
    sample(kAt10 + 60, 1, 1, 1, 5);
    sample(kAt10 + 9000, 2, 2, 0, 0);
    sample(kAt10 + 3 * 3600, 4, 0, 0, 0);
    sample(kKnownDay + 86400, 9, 0, 0, 0);
    store.Record(TitleRecord{kAt10, kAt10 + 200, "Blue, in \"Green\"", 2, 3, 5});
    store.Record(TitleRecord{kAt10 + 7200, kAt10 + 7400, "=HYPERLINK(\"x\")", 4, 1, 4});
    store.Record(TitleRecord{kKnownDay - 300, kKnownDay - 100, "Yesterday", 1, 1, 1});
}

}  // namespace orvanta::test
