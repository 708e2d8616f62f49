// The reports' queries over a real file written through the store: the figures of a day worked
// out by hand, and an export's rows.
#include "stats/stats_reader.h"

#include "stats/known_day.h"
#include "test_util.h"

#include <gtest/gtest.h>

namespace orvanta::engine {
namespace {

using test::kAt10;
using test::kKnownDay;

class StatsReaderTest : public ::testing::Test {
protected:
    void SetUp() override { test::WriteKnownDay(m_dir.Path()); }
    std::string Path() const { return StatsStore::FilePathIn(m_dir.Path()); }

    test::TempDir m_dir;
};

TEST_F(StatsReaderTest, ADayGivesItsHoursMedianPeakBucketsPlayersAndTitles) {
    StatsReader reader(Path());
    std::string problem;
    const auto report = reader.Report(kKnownDay, kKnownDay + 86400, 3600, &problem);
    ASSERT_TRUE(report) << problem;
    const ListeningSummary& s = report->summary;
    EXPECT_EQ(s.sessions, 6);
    EXPECT_EQ(s.uniqueListeners, 4) << "two pairs share a network";
    EXPECT_DOUBLE_EQ(s.hours, (30 + 240 + 600 + 1800 + 5400 + 7200 + 600) / 3600.0)
        << "the session of the day before counts its 10 minutes in the day";
    EXPECT_DOUBLE_EQ(s.averageSeconds, (30 + 240 + 600 + 1800 + 5400 + 7200) / 6.0);
    EXPECT_DOUBLE_EQ(s.medianSeconds, (600 + 1800) / 2.0);

    EXPECT_EQ(report->peakListeners, 4) << "relays are no listeners";
    EXPECT_EQ(report->peakAt, kAt10 + 9000) << "the first minute of the peak";
    EXPECT_EQ(report->samples, 4);
    ASSERT_EQ(report->overTime.size(), 3u);
    EXPECT_EQ(report->overTime[0].at, kAt10);
    EXPECT_DOUBLE_EQ(report->overTime[0].listeners, 2.5);
    EXPECT_EQ(report->overTime[2].at, kAt10 + 3 * 3600);
    EXPECT_DOUBLE_EQ(report->weekHours[0][10], 2.5) << "Monday, 10:00";
    EXPECT_EQ(report->weekHourSamples[0][10], 2);
    EXPECT_EQ(report->weekHourSamples[1][0], 0) << "the next day is outside";

    const std::array<int64_t, 7> lengths{1, 1, 1, 0, 1, 1, 1};
    EXPECT_EQ(report->lengths, lengths) << "each bound belongs to the longer bucket";

    ASSERT_EQ(report->players.size(), 4u);
    EXPECT_EQ(report->players[0].family, "vlc");
    EXPECT_EQ(report->players[0].sessions, 3);
    EXPECT_DOUBLE_EQ(report->players[0].hours, (30 + 240 + 5400) / 3600.0);
    EXPECT_EQ(report->players[1].family, "android") << "ties by name";

    ASSERT_EQ(report->titles.size(), 2u);
    EXPECT_EQ(report->titles[0].title, "=HYPERLINK(\"x\")") << "latest first";
    EXPECT_EQ(report->titles[0].atStart - report->titles[0].atEnd, 3);
    EXPECT_EQ(report->titles[1].peak, 5);

    // Two days: the next day's sample joins, as Tuesday 00:00.
    const auto two = reader.Report(kKnownDay, kKnownDay + 2 * 86400, 3600);
    ASSERT_TRUE(two);
    EXPECT_EQ(two->peakListeners, 9);
    EXPECT_DOUBLE_EQ(two->weekHours[1][0], 9);

    const auto empty = reader.Report(kKnownDay - 10 * 86400, kKnownDay - 9 * 86400, 60);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->samples, 0);
    EXPECT_EQ(empty->summary.sessions, 0);
    EXPECT_TRUE(empty->overTime.empty());
}

TEST_F(StatsReaderTest, AnExportGivesNamesThenRowsUpToItsLimit) {
    StatsReader reader(Path());
    std::vector<std::string> lines;
    const auto sink = [&lines](std::span<const StatsCell> cells) {
        std::string line;
        for (const StatsCell& cell : cells) {
            line += (line.empty() ? "" : "|") +
                    (cell.type == StatsCell::Type::Null ? "NULL" : std::string(cell.text));
        }
        lines.push_back(line);
    };
    bool cut = true;
    EXPECT_EQ(reader.Export(StatsTable::Titles, kKnownDay, kKnownDay + 86400, 10, sink, &cut), 2);
    EXPECT_FALSE(cut);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0],
              "started|ended|title|listeners_at_start|listeners_at_end|peak_listeners|change");
    EXPECT_EQ(lines[1], "2024-05-06T10:00:00Z|2024-05-06T10:03:20Z|Blue, in \"Green\"|2|3|5|1");

    lines.clear();
    EXPECT_EQ(reader.Export(StatsTable::Sessions, kKnownDay, kKnownDay + 86400, 3, sink, &cut), 3);
    EXPECT_TRUE(cut) << "seven sessions, the relay's too";
    EXPECT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1],
              "2024-05-06T10:00:00Z|2024-05-06T10:00:30Z|30|480000|stream|0|vlc|"
              "192.0.2.0|NULL");

    StatsReader missing(m_dir.File("nowhere/stats.sqlite"));
    std::string problem;
    EXPECT_EQ(missing.Export(StatsTable::Samples, 0, 1, 10, sink, nullptr, &problem), -1);
    EXPECT_FALSE(problem.empty());
}

}  // namespace
}  // namespace orvanta::engine
