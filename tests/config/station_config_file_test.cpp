#include "config/station_config_file.h"

#include "base/ports.h"
#include "config/station_settings.h"
#include "full_station_config.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace orvanta {
namespace {

using test::ReadFile;
using test::WriteFile;

class StationConfigFileTest : public ::testing::Test {
protected:
    // Loads `text` as a configuration file; folders are resolved into the temporary folder
    // and not created.
    StationConfig Load(const std::string& text, StationConfig config = {}) {
        WriteFile(m_path, text);
        EXPECT_EQ(LoadStationConfig(m_path, config, {m_dir.Folder(), false}), 1);
        return config;
    }

    test::TempDir m_dir;
    std::string m_path = m_dir.File("Config.ini");
};

TEST_F(StationConfigFileTest, ValuesAreReadByTheirOwnRulesAndMissingKeysGetTheirDefaults) {
    StationConfig c = Load("");
    EXPECT_EQ(c.MaxClient, 20);
    EXPECT_EQ(c.Port, 8000);
    EXPECT_EQ(c.LogDir, "./log") << "only \"./logs\" is moved into the program folder";
    EXPECT_EQ(c.ContentDir, m_dir.Folder() + "Contents");
    EXPECT_EQ(c.DirectoryServer, kDefaultDirectoryServer);

    c = Load(
        "[Limits]\nMaxClient= 25 \nSongHistoryMax=12abc\n[Media]\nFormat=Ogg Vorbis\n"
        "[Broadcast]\nPublicServer=TRUE\nShoutcastRegister= true\nMaster=no\nGenre=70000\n"
        "Password= spaced \nCreateLog=false\n"
        "[Network]\nBindAddress= 127.0.0.1 \nPortforward=false\nPort=abc\n"
        "[Paths]\nLogDir= /var/log/station \n");
    EXPECT_EQ(c.MaxClient, 25);
    EXPECT_EQ(c.SongHistoryMax, 12);
    EXPECT_EQ(Load("[Limits]\nSongHistoryMax=99999999999\n").SongHistoryMax, INT32_MAX);
    EXPECT_EQ(c.Format, kFormatOggVorbis);
    EXPECT_EQ(c.PublicServer, 1);
    EXPECT_EQ(c.ShoutcastRegister, 0) << "booleans are not trimmed";
    EXPECT_EQ(c.Master, 1) << "only \"false\" makes a cluster server";
    EXPECT_EQ(c.Genre, 4464) << "low 16 bits of 70000";
    EXPECT_EQ(c.Password, " spaced ") << "texts are verbatim";
    EXPECT_EQ(c.CreateLog, 0);
    EXPECT_EQ(c.BindAddress, "127.0.0.1");
    EXPECT_EQ(c.Portforward, 0);
    EXPECT_EQ(c.Port, 0);
    EXPECT_EQ(c.LogDir, "/var/log/station");
    EXPECT_EQ(Load("[Media]\nFormat=wma \n").Format, kFormatMp3);
    EXPECT_EQ(Load("[Media]\nFormat=WMA\n").Format, kFormatWma);
    EXPECT_EQ(Load("[Broadcast]\nMaster=FALSE\n").Master, 0);
    EXPECT_EQ(c.AdminUser, "admin");
    EXPECT_EQ(c.AdminAllowPlainHttp, 0) << "the console stays on this machine over plain HTTP";
    c = Load(
        "[Admin]\nUser= ann \nPasswordHash= pbkdf2-sha256$1000$x$y \nAllowPlainHttp=TRUE\n"
        "AllowFrom= 10.0.0.0/8 ::1 \nApiToken=\tsha256$ab \n");
    EXPECT_EQ(c.AdminUser, "ann");
    EXPECT_EQ(c.AdminPasswordHash, "pbkdf2-sha256$1000$x$y") << "spaces around a hash do not count";
    EXPECT_EQ(c.AdminAllowPlainHttp, 1);
    EXPECT_EQ(c.AdminAllowFrom, "10.0.0.0/8 ::1");
    EXPECT_EQ(c.AdminApiToken, "\tsha256$ab") << "only spaces are trimmed, as for every setting";

    StationConfig untouched;
    untouched.Password = "kept";
    EXPECT_EQ(LoadStationConfig("", untouched), -1);
    EXPECT_EQ(untouched.Password, "kept");
}

// A second file read into the same record adds private users and keeps a relay without a host.
TEST_F(StationConfigFileTest, PrivateUsersAreAddedAndTheRelayChangesOnlyWithAHost) {
    StationConfig c = Load(
        "[PrivateBr]\nCount=3\nPrivateUser1=ann\nPrivatePass1=a1\nPrivateUser3=cid\n"
        "PrivatePass3=c3\nPrivateUser4=dan\nPrivatePass4=d4\n"
        "[Relay]\nHostname= up.example \nPort=\nStreamUrl=/live\n");
    EXPECT_EQ(c.PrivateUsers, (std::map<std::string, std::string>{{"ann", "a1"}, {"cid", "c3"}}))
        << "number 2 is missing and 4 is beyond Count";
    EXPECT_EQ(c.RelayHostname, "up.example");
    EXPECT_EQ(c.RelayPort, 8000) << "an empty port reads as 8000";

    c = Load(
        "[PrivateBr]\nCount=2000000000\nPrivateUser1=ann\nPrivatePass1=new\nPrivateUser2=Bob\n"
        "[Relay]\nHostname=\nPort=1234\n",
        c);
    EXPECT_EQ(c.PrivateUsers,
              (std::map<std::string, std::string>{{"Bob", ""}, {"ann", "new"}, {"cid", "c3"}}));
    EXPECT_EQ(c.RelayHostname, "up.example") << "a second file without a host keeps the relay";
    EXPECT_EQ(c.RelayPort, 8000);

    c = Load("[Relay]\nHostname=other\nPort=9000\nStreamUrl=  \n", c);
    EXPECT_EQ(c.RelayPort, 9000);
    EXPECT_EQ(c.RelayStreamUrl, "/live") << "an empty StreamUrl keeps the old one";
}

TEST_F(StationConfigFileTest, TheTemplateIsMergedOnceAndTheFileWins) {
    WriteFile(m_dir.File("template.ini"),
              "[Broadcast]\nDJName=Radio-$\nPassword=from-template\nUniqueKey=Include\n"
              "[MassConfig]\nInclude=x.ini\n[Limits]\nMaxClient=$$\n");
    const StationConfig c = Load("[MassConfig]\nInclude=" + m_dir.File("template.ini") +
                                 "\nUniqueKey=07\n[Broadcast]\nPassword=from-file\n");
    EXPECT_EQ(c.DJName, "Radio-07");
    EXPECT_EQ(c.Password, "from-file");
    EXPECT_EQ(c.MaxClient, 707);
    EXPECT_EQ(c.MassInclude, m_dir.File("template.ini")) << "the station's own value wins";

    StationConfig before;
    before.MassInclude = "earlier";
    for (const char* include : {"/nonexistent/t.ini", "/dev/zero"}) {
        EXPECT_EQ(Load("[MassConfig]\nInclude=" + std::string(include) + "\nUniqueKey=1\n", before)
                      .MassInclude,
                  "earlier")
            << "no merge: the names keep their old values";
    }

    const std::string self = m_dir.File("self.ini");
    WriteFile(self, "[MassConfig]\nInclude=" + self + "\nUniqueKey=9\n[Broadcast]\nDJName=$\n");
    StationConfig selfIncluding;
    ASSERT_EQ(LoadStationConfig(self, selfIncluding, {m_dir.Folder(), false}), 1);
    EXPECT_EQ(selfIncluding.DJName, "$") << "the file's own value wins over its merged copy";
}

// The file written for a station without a file of its own (program folder /srv/station/).
constexpr const char kDefaultFile[] = R"([Broadcast]
Master=True
PublicServer=True
ShoutcastRegister=True
PrivateBr=False
CreateLog=true
Password=mustedit
DJName=
DJEmail=
DJSex=0
LangCode=9
Genre=100
Generation=0
Ment=0

[BroadcastTime]
Day1=0
Day2=0
Day3=0
ETime1=0
ETime2=0
ETime3=0
STime1=0
STime2=0
STime3=0
Type=0

[Limits]
MaxClient=20
Timeout=30
SongHistoryMax=10

[MassConfig]
Include=
UniqueKey=

[Media]
Format=MP3

[Metadata]
TitleFormat=
URLFormat=

[Network]
Port=8000
BindAddress=
Portforward=True
OverrideIP=
OverridePort=8000

[Paths]
LogDir=./log
LogFile=ovserver.log
Configfile=./Config.ini
ContentDir=/srv/station/
IndexPage=index.html

[PrivateBr]
Count=0

[HLS]
Enabled=True
SegmentSeconds=6
Window=10
OriginFolder=

[TLS]
Certificate=
PrivateKey=
Port=0
TrustedCertificates=

[Fallback]
File=
Title=
Url=
IntroFile=

[Admin]
User=admin
PasswordHash=
AllowPlainHttp=False
AllowFrom=
ApiToken=
MetricsAllowFrom=

[Stats]
Enabled=True
KeepDays=400
FullAddresses=False
GeoIPDatabase=

)";

// The file written for a station with every stored setting away from its default.
constexpr const char kFullFile[] = R"([Broadcast]
Master=False
PublicServer=False
ShoutcastRegister=False
PrivateBr=True
CreateLog=false
Password= spaced secret 
DJName=Ann
DJEmail=ann@example.org
DJSex=2
LangCode=7
Genre=-5
Generation=3
Ment=4

[BroadcastTime]
Day1=1
Day2=3
Day3=5
ETime1=12
ETime2=13
ETime3=14
STime1=9
STime2=10
STime3=11
Type=2

[Limits]
MaxClient=250
Timeout=45
SongHistoryMax=25

[MassConfig]
Include=@DIR@/template.ini
UniqueKey=07

[Media]
Format=VORBIS

[Metadata]
TitleFormat=%t on Owl FM
URLFormat=https://owl.example/%u

[Network]
Port=8123
BindAddress=127.0.0.2
Portforward=False
OverrideIP=192.0.2.7
OverridePort=8500

[Paths]
LogDir=/var/log/station
LogFile=owl.log
Configfile=/etc/orvanta/Station.ini
ContentDir=/srv/radio/web/
IndexPage=start.html

[PrivateBr]
Count=2
PrivateUser1=Bob
PrivatePass1=b
PrivateUser2=alice
PrivatePass2=a=1

[Relay]
Hostname=up.example
Port=9000
StreamUrl=/live

[HLS]
Enabled=False
SegmentSeconds=4
Window=12
OriginFolder=hls

[TLS]
Certificate=certs/fullchain.pem
PrivateKey=/etc/orvanta/privkey.pem
Port=8443
TrustedCertificates=upstream.pem

[Fallback]
File=gap.mp3
Title= Back soon 
Url=https://auto.example:8443/live
IntroFile=/srv/jingle.mp3

[Admin]
User=operator
PasswordHash=pbkdf2-sha256$1000$AAECAwQFBgcICQoLDA0ODw==$beM5rf90KpCcAQg9rqzVJDXHDURZod+A0rjTFF0Nlfo=
AllowPlainHttp=True
AllowFrom=127.0.0.1, 192.0.2.0/24 2001:db8::/32
ApiToken=sha256$ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad
MetricsAllowFrom=192.0.2.0/24, 2001:db8::7

[Stats]
Enabled=False
KeepDays=30
FullAddresses=True
GeoIPDatabase=geo/countries.mmdb

)";

// The file a station writes is read by operators and by older copies of the program: its
// sections, key spellings, order and value forms stay as they are, byte for byte. "@DIR@"
// stands for the temporary folder.
TEST_F(StationConfigFileTest, TheWrittenFileKeepsItsExactTextAndReadsBackWhole) {
    const auto expected = [this](std::string text) {
        for (size_t at = text.find("@DIR@"); at != std::string::npos; at = text.find("@DIR@")) {
            text.replace(at, 5, m_dir.Path());
        }
        return text;
    };
    // What a station without a file writes: every key at the default of a missing key.
    StationConfig defaults;
    WriteFile(m_path, "");
    ASSERT_EQ(LoadStationConfig(m_path, defaults, {"/srv/station/", false}), 1);
    ASSERT_TRUE(SaveStationConfig(m_path, defaults));
    EXPECT_EQ(ReadFile(m_path), expected(kDefaultFile));

    // Every stored setting away from its default.
    WriteFile(m_dir.File("template.ini"), "");
    // Its content folder names a page: the file and the record keep only the folder.
    StationConfig full = test::FullStationConfig(m_dir.File("template.ini"));
    full.ContentDir = "/srv/radio/web/start.html";
    ASSERT_TRUE(SaveStationConfig(m_path, full));
    EXPECT_EQ(full.ContentDir, "/srv/radio/web/");
    EXPECT_EQ(ReadFile(m_path), expected(kFullFile));

    StationConfig loaded;
    ASSERT_EQ(LoadStationConfig(m_path, loaded, {m_dir.Folder(), false}), 1);
    EXPECT_EQ(loaded, full);

    // A content folder without a separator is no folder; a file that cannot be written is kept.
    full.ContentDir = "web";
    ASSERT_TRUE(SaveStationConfig(m_path, full));
    EXPECT_EQ(full.ContentDir, "");
    EXPECT_FALSE(SaveStationConfig(m_dir.File("Config.ini/inside"), full));
    EXPECT_NE(ReadFile(m_path).find("\nContentDir=\n"), std::string::npos) << "kept";
}

TEST_F(StationConfigFileTest, LoadingCreatesTheFoldersAndRemovesOnlyStaleLeftoverSaves) {
    WriteFile(m_path, "[Paths]\nLogDir=./logs\nContentDir=" + m_dir.File("web/a/b") + "\n");
    // An interrupted save leaves a copy with the password beside the file.
    const std::string stale = m_dir.File(".Config.ini.aB3xY9");
    const std::string young = m_dir.File(".Config.ini.Qw12Er");
    const std::vector<std::string> others = {m_dir.File(".Config.ini.aB3xY"),
                                             m_dir.File("x.Config.ini.aB3xY9"),
                                             m_dir.File(".Other.ini.aB3xY9"), stale};
    const timespec hourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
    WriteFile(young, "Password=hackme\n");
    for (const std::string& file : others) {
        WriteFile(file, "Password=hackme\n");
        ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), hourAgo, 0), 0);
    }

    StationConfig config;
    ASSERT_EQ(LoadStationConfig(m_path, config, {m_dir.Folder(), true}), 1);
    EXPECT_EQ(config.LogDir, m_dir.Folder() + "logs");
    EXPECT_TRUE(std::filesystem::is_directory(config.LogDir));
    EXPECT_TRUE(std::filesystem::is_directory(m_dir.File("web/a/b"))) << "parents too";
    EXPECT_FALSE(std::filesystem::exists(stale)) << "a leftover with the password is gone";
    EXPECT_TRUE(std::filesystem::exists(young)) << "a save under way elsewhere is left alone";
    for (size_t i = 0; i + 1 < others.size(); ++i) {
        EXPECT_TRUE(std::filesystem::exists(others[i])) << "not ours: " << others[i];
    }
}

// SHOUTcast sources connect on the port above the listen port, so 65535 cannot listen.
TEST(StationSettingsTest, AListenPortLeavesThePortAboveItForSources) {
    for (const int32_t port : {-1, 0, 65535, 65536}) {
        EXPECT_FALSE(IsUsableListenPort(port)) << port;
    }
    EXPECT_TRUE(IsUsableListenPort(1));
    EXPECT_TRUE(IsUsableListenPort(65534));
    StationConfig config;
    config.SetDefaults();
    EXPECT_TRUE(SettingsOutOfBounds(config).empty());
    config.Port = 65535;
    EXPECT_EQ(SettingsOutOfBounds(config), std::vector<std::string>{"Network.Port"});
}

}  // namespace
}  // namespace orvanta
