#include "app/status_list_box.h"

#include "startup/status_text.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace orvanta {
namespace {

const QRgb kLit = qRgb(84, 151, 216);
const QRgb kUnlit = qRgb(45, 92, 137);
const QRgb kBlack = qRgb(0, 0, 0);

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

    // What the list area shows now, after the pending layout and repaints.
    QImage Render() {
        QCoreApplication::processEvents();
        return m_panel.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    // The colour of the badge's plate, one pixel in from its corner (inside the plate, clear
    // of the lettering).
    QRgb Plate(const QImage& image, Badge badge) {
        const QRect rect = m_panel.BadgeRect(badge);
        EXPECT_FALSE(rect.isEmpty()) << badge;
        return image.pixel(rect.topLeft() + QPoint(1, 1));
    }

    QRect RowRect(int row) { return m_panel.visualItemRect(m_panel.item(row)); }

    // Separator lines run from 7 pixels in; 20 pixels in is on every line.
    QRgb LineColour(const QImage& image, int row, int dy = 0) {
        return image.pixel(20, RowRect(row).top() + dy);
    }

    std::string Value(int row) { return m_panel.RowTexts().at(static_cast<size_t>(row)).value; }

    StationConfig m_config;
    ServiceStatus m_status;
    CStatusBadges m_badges;
    CStatusListBox m_panel{m_config, m_status, m_badges};
};

TEST_F(StatusListBoxTest, RowsShowTheStationAndTheLastPolledStatus) {
    m_status.sourceConnected = 1;
    m_status.listenerCount = 3;
    m_status.totalReceivedBytes = 1048576;
    m_status.totalSentBytes = 0;
    m_config.PrivateBr = 1;
    m_config.ShoutcastRegister = 0;
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

    // Stopping resets nothing the monitor reported; only the time on air goes back to zero.
    m_status.sourceConnected = 0;
    m_panel.StopStatusTimer();
    Texts stopped = running;
    stopped[2].second = "Not connected";
    EXPECT_EQ(shown(), stopped);
    EXPECT_FALSE(m_panel.IsRunning());
}

TEST_F(StatusListBoxTest, WmaIsNeverPrivateNorRegisteredAndShowsItsOwnBadge) {
    m_config.PrivateBr = 1;
    m_config.ShoutcastRegister = 1;
    m_config.Format = kFormatWma;
    m_panel.StartStatusTimer();
    EXPECT_EQ(Value(12), "No");
    EXPECT_EQ(Value(13), "No");
    QImage image = Render();
    EXPECT_TRUE(m_panel.BadgeRect(CStatusBadges::kFormatMp3Ogg).isEmpty());
    EXPECT_EQ(Plate(image, CStatusBadges::kFormatWma), kLit);
    // The padlock follows the configuration alone.
    EXPECT_TRUE(m_panel.BadgeLit(CStatusBadges::kPadlock));

    for (const int32_t format : {kFormatMp3, kFormatOggVorbis}) {
        m_config.Format = format;
        EXPECT_EQ(Value(12), "Yes");
        EXPECT_EQ(Value(13), "Yes");
        m_panel.viewport()->update();
        image = Render();
        EXPECT_TRUE(m_panel.BadgeRect(CStatusBadges::kFormatWma).isEmpty());
        EXPECT_EQ(Plate(image, CStatusBadges::kFormatMp3Ogg), kLit) << format;
    }
}

TEST_F(StatusListBoxTest, DrawsInTheLitColourOnlyWhileRunning) {
    QImage image = Render();
    ASSERT_EQ(m_panel.count(), CStatusListBox::kRowCount);
    const std::vector<int> heights = {20, 2, 16, 16, 16, 2, 16, 16, 2, 16, 16, 2, 16, 16, 2, 16};
    for (int row = 0; row < m_panel.count(); ++row) {
        EXPECT_EQ(m_panel.item(row)->text(), "LINE");
        EXPECT_EQ(RowRect(row).height(), heights[static_cast<size_t>(row)]) << row;
    }
    // Black everywhere nothing is drawn: the margins and below the last row.
    EXPECT_EQ(image.pixel(3, RowRect(1).top()), kBlack);
    EXPECT_EQ(image.pixel(20, RowRect(15).bottom() + 10), kBlack);

    // Stopped: every line and badge unlit.
    EXPECT_EQ(LineColour(image, 1), kUnlit);
    EXPECT_EQ(LineColour(image, 1, 1), kUnlit);  // 2 pixels under the header
    EXPECT_EQ(LineColour(image, 5), kUnlit);
    EXPECT_EQ(LineColour(image, 5, 1), kBlack);  // 1 pixel elsewhere
    for (const Badge badge :
         {CStatusBadges::kOnAir, CStatusBadges::kCluster, CStatusBadges::kFormatMp3Ogg}) {
        EXPECT_EQ(Plate(image, badge), kUnlit) << badge;
    }

    // Running as a cluster member (no master): CLUSTER lit.
    m_config.Master = 0;
    m_panel.StartStatusTimer();
    image = Render();
    EXPECT_EQ(LineColour(image, 1), kLit);
    EXPECT_EQ(LineColour(image, 14), kLit);
    for (const Badge badge :
         {CStatusBadges::kOnAir, CStatusBadges::kCluster, CStatusBadges::kFormatMp3Ogg}) {
        EXPECT_EQ(Plate(image, badge), kLit) << badge;
    }
    // The badges sit in one line 4 pixels apart; the two icons are taller and sit higher.
    const QRect onAir = m_panel.BadgeRect(CStatusBadges::kOnAir);
    EXPECT_EQ(onAir, QRect(7, RowRect(0).top() + 4, 40, 11));
    EXPECT_EQ(m_panel.BadgeRect(CStatusBadges::kCluster).left(), onAir.right() + 5);
    EXPECT_EQ(m_panel.BadgeRect(CStatusBadges::kPadlock).top(), onAir.top() - 2);
    EXPECT_EQ(m_panel.BadgeRect(CStatusBadges::kListener).top(), onAir.top() - 1);

    // The master of a cluster is not a member.
    m_config.Master = 1;
    m_panel.viewport()->update();
    EXPECT_EQ(Plate(Render(), CStatusBadges::kCluster), kUnlit);

    m_panel.StopStatusTimer();
    image = Render();
    EXPECT_EQ(LineColour(image, 1), kUnlit);
    EXPECT_EQ(Plate(image, CStatusBadges::kOnAir), kUnlit);
    EXPECT_EQ(Plate(image, CStatusBadges::kFormatMp3Ogg), kUnlit);
}

TEST_F(StatusListBoxTest, OnAirBlinksWithEachTickWhileRunning) {
    m_panel.OnStatusTimer();  // stopped: nothing to blink
    EXPECT_EQ(Plate(Render(), CStatusBadges::kOnAir), kUnlit);

    m_panel.StartStatusTimer();
    EXPECT_EQ(Plate(Render(), CStatusBadges::kOnAir), kLit);
    m_panel.OnStatusTimer();
    const QRgb first = Plate(Render(), CStatusBadges::kOnAir);
    m_panel.OnStatusTimer();
    const QRgb second = Plate(Render(), CStatusBadges::kOnAir);
    EXPECT_NE(first, second);
    EXPECT_TRUE(first == kLit || first == kUnlit);
    EXPECT_TRUE(second == kLit || second == kUnlit);
    // The other badges stay lit.
    EXPECT_EQ(Plate(Render(), CStatusBadges::kFormatMp3Ogg), kLit);

    // The panel's own timer does the same: ON AIR goes out within two ticks.
    m_panel.StartStatusTimer();
    QElapsedTimer clock;
    clock.start();
    while (m_panel.BadgeLit(CStatusBadges::kOnAir) && clock.elapsed() < 3000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    EXPECT_FALSE(m_panel.BadgeLit(CStatusBadges::kOnAir));
    EXPECT_EQ(Plate(Render(), CStatusBadges::kOnAir), kUnlit);

    m_panel.StopStatusTimer();
    EXPECT_EQ(Plate(Render(), CStatusBadges::kOnAir), kUnlit);
}

TEST(StatusTextTest, MegabytesAndTheHoursOfTheDay) {
    EXPECT_EQ(FormatMegabytes(int64_t{5} << 40), "5242880.000 Mbytes");
    // Whole days on air are not shown.
    EXPECT_EQ(FormatOnAirTime(25 * 3600 + 3 * 60 + 4), "01:03:04");
    EXPECT_EQ(FormatOnAirTime(23 * 3600 + 59 * 60 + 59), "23:59:59");
    EXPECT_EQ(FormatListenerCounter(120, 5), "( 120 /  5 )");
}

// The panel's own tests place the badges; here every image, lit and unlit, has its plate
// colour and shows no magenta (it is where the panel shows through).
TEST(StatusBadgesTest, LoadsEveryImageWithMagentaTransparent) {
    CStatusBadges badges;
    EXPECT_TRUE(badges.Image(CStatusBadges::kOnAir, true).isNull());
    ASSERT_TRUE(badges.Load());
    for (int badge = 0; badge < CStatusBadges::kBadgeCount; ++badge) {
        for (const bool lit : {false, true}) {
            const QImage image = badges.Image(static_cast<Badge>(badge), lit)
                                     .toImage()
                                     .convertToFormat(QImage::Format_ARGB32);
            ASSERT_FALSE(image.isNull()) << badge;
            int transparent = 0;
            int magenta = 0;
            int plate = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    const QRgb pixel = image.pixel(x, y);
                    transparent += qAlpha(pixel) == 0 ? 1 : 0;
                    magenta += pixel == qRgb(255, 0, 255) ? 1 : 0;
                    plate += pixel == (lit ? kLit : kUnlit) ? 1 : 0;
                }
            }
            EXPECT_GT(transparent, 0) << badge;
            EXPECT_EQ(magenta, 0) << badge;
            EXPECT_GT(plate, 0) << badge << (lit ? " lit" : " unlit");
        }
    }
    badges.Release();
    EXPECT_FALSE(badges.IsLoaded());
    EXPECT_TRUE(badges.Image(CStatusBadges::kListener, false).isNull());
}

}  // namespace
}  // namespace orvanta
