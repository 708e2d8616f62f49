// The status panel drawn for real (offscreen): the rows the operator reads, and the badges and
// lines in the lit blue only while the service runs, with no magenta showing.
#include "app/status_list_box.h"

#include "startup/status_text.h"

#include <QCoreApplication>
#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace orvanta {
namespace {

const QRgb kLit = qRgb(84, 151, 216);
const QRgb kUnlit = qRgb(45, 92, 137);

using Badge = CStatusBadges::Badge;

class StatusListBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_badges.Load());
        m_config.SetDefaults();
        m_config.Port = 8080;
        m_config.MaxClient = 32;
        m_config.Format = kFormatMp3;
        m_panel.resize(440, 260);
        m_panel.PopulateRows();
        m_panel.show();
    }

    // What the list area shows now.
    QImage Shot() {
        m_panel.viewport()->update();
        QCoreApplication::processEvents();
        return m_panel.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    // The colour of the badge's plate, one pixel in from its corner (inside the plate, clear of
    // the lettering).
    QRgb Plate(Badge badge) {
        const QImage shot = Shot();
        EXPECT_FALSE(m_panel.BadgeRect(badge).isEmpty()) << badge;
        return shot.pixel(m_panel.BadgeRect(badge).topLeft() + QPoint(1, 1));
    }
    // The separator line under the header, 20 pixels in.
    QRgb Line() { return Shot().pixel(20, m_panel.visualItemRect(m_panel.item(1)).top()); }

    StationConfig m_config;
    ServiceStatus m_status;
    CStatusBadges m_badges;
    CStatusListBox m_panel{m_config, m_status, m_badges};
};

TEST_F(StatusListBoxTest, RowsShowTheStationAndTheLastPolledStatus) {
    m_status.sourceConnected = 1;
    m_status.listenerCount = 3;
    m_status.totalReceivedBytes = 1048576;
    m_config.PrivateBr = 1;
    m_panel.SetGenreText("Jazz");
    m_panel.SetLanguageText("Korean");

    using Texts = std::vector<std::pair<std::string, std::string>>;
    const auto shown = [this] {
        Texts texts;
        for (const auto& row : m_panel.RowTexts()) {
            texts.emplace_back(row.label, row.value);
        }
        return texts;
    };
    // clang-format off
    const Texts running = {
        {"", ""}, {"", ""}, {"Source status", "Connected"}, {"Source port", "8081"},
        {"Client port ", "8080"}, {"", ""}, {"Genre", "Jazz"}, {"Language", "Korean"}, {"", ""},
        {"Total received bytes", "1.000 Mbytes"}, {"Total sent bytes", "0.000 Mbytes"}, {"", ""},
        {"Private broadcast", "Yes"}, {"Shoutcast register", "No"}, {"", ""},
        {"Total onair time", "00:00:00"}};
    // clang-format on
    m_panel.StartStatusTimer();
    EXPECT_EQ(shown(), running);
    EXPECT_EQ(m_panel.ListenerCounterText(), "(  3 / 32 )");

    // The source goes: the row says so and the counts follow the monitor.
    m_status.sourceConnected = 0;
    m_status.listenerCount = 0;
    m_panel.StopStatusTimer();
    Texts stopped = running;
    stopped[2].second = "Not connected";
    EXPECT_EQ(shown(), stopped);
    EXPECT_EQ(m_panel.ListenerCounterText(), "(  0 / 32 )");
    // Whole days on air are not shown.
    EXPECT_EQ(FormatOnAirTime(25 * 3600 + 3 * 60 + 4), "01:03:04");

    // WMA is never private nor registered, and shows its own badge; the padlock follows the
    // configuration alone.
    m_config.ShoutcastRegister = 1;
    m_config.Format = kFormatWma;
    m_panel.StartStatusTimer();
    EXPECT_EQ(m_panel.RowTexts().at(12).value, "No");
    EXPECT_EQ(m_panel.RowTexts().at(13).value, "No");
    EXPECT_EQ(Plate(CStatusBadges::kFormatWma), kLit);
    EXPECT_TRUE(m_panel.BadgeRect(CStatusBadges::kFormatMp3Ogg).isEmpty());
    EXPECT_TRUE(m_panel.BadgeLit(CStatusBadges::kPadlock));
}

TEST_F(StatusListBoxTest, DrawsLitOnlyWhileRunningAndOnAirBlinksWithTheTicks) {
    const Badge badges[] = {CStatusBadges::kOnAir, CStatusBadges::kCluster,
                            CStatusBadges::kFormatMp3Ogg};
    m_panel.OnStatusTimer();  // stopped: nothing to blink
    for (const Badge badge : badges) {
        EXPECT_EQ(Plate(badge), kUnlit) << badge;
    }
    EXPECT_EQ(Line(), kUnlit);

    // Running as a cluster member (no master): CLUSTER lit.
    m_config.Master = 0;
    m_panel.StartStatusTimer();
    for (const Badge badge : badges) {
        EXPECT_EQ(Plate(badge), kLit) << badge;
    }
    EXPECT_EQ(Line(), kLit);
    // Magenta in the badges' images is where the panel shows through.
    const QImage shot = Shot();
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            ASSERT_NE(shot.pixel(x, y), qRgb(255, 0, 255)) << x << "," << y;
        }
    }
    // The master of a cluster is not a member.
    m_config.Master = 1;
    EXPECT_EQ(Plate(CStatusBadges::kCluster), kUnlit);

    m_panel.OnStatusTimer();
    const QRgb first = Plate(CStatusBadges::kOnAir);
    m_panel.OnStatusTimer();
    EXPECT_NE(Plate(CStatusBadges::kOnAir), first);
    EXPECT_EQ(Plate(CStatusBadges::kFormatMp3Ogg), kLit);

    // The panel's own timer does the same: ON AIR goes out within two ticks.
    m_panel.StartStatusTimer();
    EXPECT_TRUE(QTest::qWaitFor([this] { return !m_panel.BadgeLit(CStatusBadges::kOnAir); }, 3000));
    EXPECT_EQ(Plate(CStatusBadges::kOnAir), kUnlit);

    m_panel.StopStatusTimer();
    EXPECT_EQ(Plate(CStatusBadges::kFormatMp3Ogg), kUnlit);
    EXPECT_EQ(Line(), kUnlit);
}

}  // namespace
}  // namespace orvanta
