#include "stats/player_family.h"

#include <gtest/gtest.h>

namespace orvanta::engine {
namespace {

// The User-Agent headers real players send, as seen in station logs.
TEST(PlayerFamilyTest, RealPlayersFallIntoTheirFamilies) {
    const struct {
        const char* agent;
        PlayerFamily family;
        bool relay;
    } cases[] = {
        {"VLC/3.0.18 LibVLC/3.0.18", PlayerFamily::Vlc, false},
        {"VLC/3.5.4 LibVLC/3.0.18 (Linux; Android 13)", PlayerFamily::Vlc, false},
        {"mpv 0.35.1", PlayerFamily::Mpv, false},
        {"libmpv", PlayerFamily::Mpv, false},
        {"mpg123/1.31.2", PlayerFamily::Mpg123, false},
        {"Lavf/59.27.100", PlayerFamily::Ffmpeg, false},
        {"Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
         "Chrome/120.0.0.0 Safari/537.36",
         PlayerFamily::Chromium, false},
        {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
         "Chrome/120.0.0.0 Safari/537.36 Edg/120.0.0.0",
         PlayerFamily::Chromium, false},
        {"Mozilla/5.0 (X11; Linux x86_64; rv:121.0) Gecko/20100101 Firefox/121.0",
         PlayerFamily::Firefox, false},
        {"Mozilla/5.0 (Macintosh; Intel Mac OS X 14_2) AppleWebKit/605.1.15 (KHTML, like Gecko) "
         "Version/17.2 Safari/605.1.15",
         PlayerFamily::Safari, false},
        {"Mozilla/5.0 (iPhone; CPU iPhone OS 17_2 like Mac OS X) AppleWebKit/605.1.15 (KHTML, "
         "like Gecko) Version/17.2 Mobile/15E148 Safari/604.1",
         PlayerFamily::Ios, false},
        {"AppleCoreMedia/1.0.0.21C62 (iPhone; U; CPU OS 17_2 like Mac OS X; en_us)",
         PlayerFamily::Ios, false},
        {"RadioApp/2.1 CFNetwork/1492.0.1 Darwin/23.3.0", PlayerFamily::Ios, false},
        {"Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 (KHTML, like Gecko) "
         "Chrome/120.0.0.0 Mobile Safari/537.36",
         PlayerFamily::Android, false},
        {"ExoPlayerLib/2.19.1", PlayerFamily::Android, false},
        {"stagefright/1.2 (Linux;Android 9)", PlayerFamily::Android, false},
        {"Icecast 2.4.4", PlayerFamily::Other, true},
        {"Orvanta Server relay", PlayerFamily::Other, true},
        {"curl/7.88.1", PlayerFamily::Other, false},
        {"", PlayerFamily::Other, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PlayerFamilyName(PlayerFamilyOf(c.agent)), PlayerFamilyName(c.family)) << c.agent;
        EXPECT_EQ(IsRelayAgent(c.agent), c.relay) << c.agent;
    }
}

}  // namespace
}  // namespace orvanta::engine
