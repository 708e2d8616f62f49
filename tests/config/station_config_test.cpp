#include "config/station_config.h"

#include <gtest/gtest.h>

#include <cstring>

namespace orvanta {
namespace {

TEST(StationConfigTest, DefaultsResetStationFieldsAndKeepTheRest) {
    StationConfig config;
    config.Format = kFormatOggVorbis;
    config.RelayHostname = "upstream.example";
    config.RelayPort = 9000;
    config.TitleFormat = "%t - Night Owl FM";
    config.Generation = 3;
    config.OverrideIP = "203.0.113.9";
    config.PrivateUsers["bob"] = "pw";
    config.ConfigFile = "/srv/a.ini";
    config.EncoderModule = "wmenc.so";
    config.Password = "secret";
    config.Port = 9999;
    config.BindAddress = "127.0.0.1";
    config.Genre = 100;
    config.Portforward = 1;
    config.BroadcastTime.Type = 2;
    config.BroadcastTime.ETime3 = 24;

    const StationConfig before = config;
    config.SetDefaults();

    EXPECT_EQ(config.Format, before.Format);
    EXPECT_EQ(config.RelayHostname, before.RelayHostname);
    EXPECT_EQ(config.RelayPort, before.RelayPort);
    EXPECT_EQ(config.TitleFormat, before.TitleFormat);
    EXPECT_EQ(config.Generation, before.Generation);
    EXPECT_EQ(config.OverrideIP, before.OverrideIP);
    EXPECT_EQ(config.PrivateUsers, before.PrivateUsers);
    EXPECT_EQ(config.ConfigFile, before.ConfigFile);
    EXPECT_EQ(config.EncoderModule, before.EncoderModule);

    EXPECT_EQ(config.Password, "mustedit");
    EXPECT_EQ(config.Port, 8080);
    EXPECT_TRUE(config.BindAddress.empty());
    EXPECT_EQ(config.Genre, 800);
    EXPECT_EQ(config.Portforward, 0);
    EXPECT_EQ(config.BroadcastTime, BroadcastTimeBlock{});
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
