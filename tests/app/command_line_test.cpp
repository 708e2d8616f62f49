#include "app/command_line.h"

#include "test_util.h"

#include <gtest/gtest.h>

namespace orvanta {
namespace {

constexpr const char kOwn[] = "/opt/orvanta/ovserver";
constexpr const char kFolder[] = "/opt/orvanta/";

CommandLineResult Parse(const std::string& line) {
    return ParseCommandLine(line, kOwn, kFolder);
}

TEST(ParseCommandLineTest, OnlyTheProgramPathGivesTheDefaultFile) {
    const auto r = Parse("\"/opt/orvanta/ovserver\"");
    EXPECT_EQ(r.configPath, "/opt/orvanta/Config.ini");
    EXPECT_FALSE(r.autoStart);
}

TEST(ParseCommandLineTest, OptionsMatchInAnyCaseAndQuotesAreDropped) {
    const auto r = Parse("\"/opt/orvanta/ovserver\" /START /Config:\"/srv/st/a.ini\"");
    EXPECT_TRUE(r.autoStart);
    EXPECT_EQ(r.configPath, "/srv/st/a.ini");
}

TEST(ParseCommandLineTest, WordsWithoutConfigOptionAreDropped) {
    const auto r = Parse("\"/opt/orvanta/ovserver\" some other words");
    EXPECT_EQ(r.configPath, "/opt/orvanta/Config.ini");
    EXPECT_FALSE(r.autoStart);
}

TEST(ParseCommandLineTest, ThePathMayStandBeforeTheOption) {
    EXPECT_EQ(Parse("\"/opt/orvanta/ovserver\" /srv/x.ini /config:").configPath, "/srv/x.ini");
}

TEST(ParseCommandLineTest, StartInsideThePathIsTakenAsTheOption) {
    const auto r = Parse("\"/opt/orvanta/ovserver\" /config:/srv/start/a.ini");
    EXPECT_TRUE(r.autoStart);
    EXPECT_EQ(r.configPath, "/srv/a.ini");
}

TEST(ParseCommandLineTest, OnlyTheFirstOccurrenceOfEachOptionGoes) {
    const auto r = Parse("\"/opt/orvanta/ovserver\" /config:/config:x.ini /start");
    EXPECT_EQ(r.configPath, "/config:x.ini");
    EXPECT_TRUE(r.autoStart);
}

TEST(ParseCommandLineTest, AProgramPathSpelledDifferentlyFailsTheParse) {
    const auto r = Parse("\"/OPT/orvanta/ovserver\" /start /config:a.ini");
    EXPECT_TRUE(r.configPath.empty());
    EXPECT_FALSE(r.autoStart);
    EXPECT_FALSE(r.exists);
}

TEST(ParseCommandLineTest, ASpacedPathSurvivesTheRebuiltLine) {
    test::TempDir dir;
    const std::string ini = dir.File("my station.ini");
    test::WriteFile(ini, "[Network]\n");
    const auto r = Parse(std::string("\"/opt/orvanta/ovserver\" \"/config:") + ini + "\"");
    EXPECT_EQ(r.configPath, ini);
    EXPECT_TRUE(r.exists);
    EXPECT_FALSE(Parse("\"/opt/orvanta/ovserver\" /config:/nonexistent.ini").exists);
}

TEST(ProgramOptionsTest, OurOptionsAreTakenOutAndUnknownOnesRefused) {
    const auto o = ParseProgramOptions({"/start", "--headless", "/config:a b.ini", "--version"});
    EXPECT_TRUE(o.headless);
    EXPECT_TRUE(o.version);
    EXPECT_FALSE(o.help);
    EXPECT_EQ(o.rest, (std::vector<std::string>{"/start", "/config:a b.ini"}));
    EXPECT_TRUE(o.error.empty());

    EXPECT_EQ(ParseProgramOptions({"--headles"}).error, "unknown option --headles");
    EXPECT_TRUE(ParseProgramOptions({"-h"}).help);
}

}  // namespace
}  // namespace orvanta
