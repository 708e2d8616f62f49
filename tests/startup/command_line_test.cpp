#include "startup/command_line.h"

#include "test_util.h"

#include <gtest/gtest.h>

namespace orvanta {
namespace {

constexpr const char kOwn[] = "/opt/orvanta/ovserver";
constexpr const char kFolder[] = "/opt/orvanta/";

CommandLineResult Parse(const std::string& line) {
    return ParseCommandLine(line, kOwn, kFolder);
}

TEST(ParseCommandLineTest, OptionsPathsAndTheProgramPath) {
    struct Case {
        const char* arguments;
        const char* configPath;
        bool autoStart;
    };
    const Case cases[] = {
        {"", "/opt/orvanta/Config.ini", false},
        // Any case, quotes dropped.
        {" /START /Config:\"/srv/st/a.ini\"", "/srv/st/a.ini", true},
        {" some other words", "/opt/orvanta/Config.ini", false},
        {" /srv/x.ini /config:", "/srv/x.ini", false},
        // "start" inside the path is taken as the option.
        {" /config:/srv/start/a.ini", "/srv/a.ini", true},
        // Only the first occurrence of each option goes.
        {" /config:/config:x.ini /start", "/config:x.ini", true},
    };
    for (const Case& c : cases) {
        const auto r = Parse(std::string("\"/opt/orvanta/ovserver\"") + c.arguments);
        EXPECT_EQ(r.configPath, c.configPath) << c.arguments;
        EXPECT_EQ(r.autoStart, c.autoStart) << c.arguments;
    }
    // A program path spelled differently fails the parse.
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
