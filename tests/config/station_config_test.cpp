#include "config/station_config.h"

#include <gtest/gtest.h>

#include <cstring>

namespace orvanta {
namespace {

TEST(StationConfigTest, DefaultsResetStationFieldsAndKeepTheRest) {
    StationConfig config;
    config.SetDefaults();
    // What the defaults leave alone: the format, relay, titles, address override, users and
    // the files' names.
    config.Format = kFormatOggVorbis;
    config.RelayHostname = "upstream.example";
    config.RelayPort = 9000;
    config.TitleFormat = "%t - Night Owl FM";
    config.Generation = 3;
    config.OverrideIP = "203.0.113.9";
    config.PrivateUsers["bob"] = "pw";
    config.ConfigFile = "/srv/a.ini";
    config.EncoderModule = "wmenc.so";
    const StationConfig expected = config;
    // What they reset.
    config.Password = "secret";
    config.Port = 9999;
    config.BindAddress = "127.0.0.1";
    config.Genre = 100;
    config.Portforward = 1;
    config.BroadcastTime.Type = 2;
    config.BroadcastTime.ETime3 = 24;
    config.SetDefaults();
    EXPECT_EQ(config, expected);
}

TEST(StationConfigTest, PrivateUsersAreOrderedByteByByteOneEntryPerName) {
    StationConfig config;
    config.PrivateUsers["alice"] = "1";
    config.PrivateUsers["Bob"] = "2";
    config.PrivateUsers["alice"] = "3";
    ASSERT_EQ(config.PrivateUsers.size(), 2u);
    EXPECT_EQ(config.PrivateUsers.begin()->first, "Bob");
    EXPECT_EQ(config.PrivateUsers.at("alice"), "3");
}

TEST(StationConfigTest, ScheduleBlockIsTenLittleEndianIntegersInOrder) {
    BroadcastTimeBlock block{2, 1, 3, 0, 9, 13, 0, 11, 18, 0};
    const auto numbers = block.ToArray();
    EXPECT_EQ(numbers, (std::array<int32_t, 10>{2, 1, 3, 0, 9, 13, 0, 11, 18, 0}));
    unsigned char raw[40];
    std::memcpy(raw, &block, sizeof raw);
    EXPECT_EQ(raw[4], 1);    // Day1
    EXPECT_EQ(raw[16], 9);   // STime1
    EXPECT_EQ(raw[32], 18);  // ETime2
}

}  // namespace
}  // namespace orvanta
