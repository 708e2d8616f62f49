#include "config/station_config_file.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace orvanta {
namespace {

using test::ReadFile;
using test::TempDir;
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

    TempDir m_dir;
    std::string m_path = m_dir.File("Config.ini");
};

TEST_F(StationConfigFileTest, AMissingFileGivesTheMissingKeyDefaults) {
    StationConfig config;
    config.MaxClient = 99;
    config.Format = kFormatWma;
    ASSERT_EQ(LoadStationConfig(m_dir.File("absent.ini"), config, {m_dir.Folder(), false}), 1);
    EXPECT_EQ(config.MaxClient, 20);
    EXPECT_EQ(config.Timeout, 30);
    EXPECT_EQ(config.Port, 8000);
    EXPECT_EQ(config.Portforward, 1);
    EXPECT_EQ(config.ShoutcastRegister, 1);
    EXPECT_EQ(config.Genre, 100);
    EXPECT_EQ(config.OverridePort, 8000);
    EXPECT_EQ(config.Format, kFormatMp3);
    EXPECT_EQ(config.LogDir, "./log") << "only \"./logs\" is moved into the program folder";
    EXPECT_EQ(config.ContentDir, m_dir.Folder() + "Contents");
    EXPECT_EQ(config.ConfigFile, "./Config.ini");
    EXPECT_EQ(config.DirectoryServer, kDefaultDirectoryServer) << "no key: the program default";

    StationConfig untouched;
    untouched.Password = "kept";
    EXPECT_EQ(LoadStationConfig("", untouched), -1);
    EXPECT_EQ(untouched.Password, "kept");
}

TEST_F(StationConfigFileTest, ValuesAreReadByTheirOwnRules) {
    const StationConfig c = Load(
        "[Limits]\nMaxClient= 25 \nSongHistoryMax=12abc\n"
        "[Media]\nFormat=Ogg Vorbis\n"
        "[Broadcast]\nPublicServer=TRUE\nShoutcastRegister= true\nMaster=no\nGenre=70000\n"
        "Password= spaced \nCreateLog=false\n"
        "[Network]\nBindAddress= 127.0.0.1 \nPortforward=false\nPort=abc\n"
        "[Paths]\nLogDir= /var/log/station \n");
    EXPECT_EQ(c.MaxClient, 25);
    EXPECT_EQ(c.SongHistoryMax, 12);
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
}

TEST_F(StationConfigFileTest, PrivateUsersAreAddedNeverCleared) {
    StationConfig c = Load(
        "[PrivateBr]\nCount=3\nPrivateUser1=ann\nPrivatePass1=a1\nPrivateUser3=cid\n"
        "PrivatePass3=c3\nPrivateUser4=dan\nPrivatePass4=d4\n");
    EXPECT_EQ(c.PrivateUsers, (std::map<std::string, std::string>{{"ann", "a1"}, {"cid", "c3"}}))
        << "number 2 is missing and 4 is beyond Count";

    c = Load(
        "[PrivateBr]\nCount=2000000000\nPrivateUser1=ann\nPrivatePass1=new\n"
        "PrivateUser2=Bob\n[Relay]\nPort=1\n",
        c);
    EXPECT_EQ(c.PrivateUsers,
              (std::map<std::string, std::string>{{"Bob", ""}, {"ann", "new"}, {"cid", "c3"}}));
}

TEST_F(StationConfigFileTest, RelaySettingsChangeOnlyWithAHost) {
    StationConfig c = Load("[Relay]\nHostname= up.example \nPort=\nStreamUrl=/live\n");
    EXPECT_EQ(c.RelayHostname, "up.example");
    EXPECT_EQ(c.RelayPort, 8000) << "an empty port reads as 8000";
    EXPECT_EQ(c.RelayStreamUrl, "/live");

    c = Load("[Relay]\nHostname=\nPort=1234\n", c);
    EXPECT_EQ(c.RelayHostname, "up.example") << "a second file without a host keeps the relay";
    EXPECT_EQ(c.RelayPort, 8000);

    c = Load("[Relay]\nHostname=other\nPort=9000\nStreamUrl=  \n", c);
    EXPECT_EQ(c.RelayPort, 9000);
    EXPECT_EQ(c.RelayStreamUrl, "/live") << "an empty StreamUrl keeps the old one";
}

TEST_F(StationConfigFileTest, TheTemplateIsMergedAndTheFileWins) {
    WriteFile(m_dir.File("template.ini"),
              "[Broadcast]\nDJName=Radio-$\nPassword=from-template\nUniqueKey=Include\n"
              "[MassConfig]\nInclude=x.ini\n[Limits]\nMaxClient=$$\n");
    const StationConfig c = Load("[MassConfig]\nInclude=" + m_dir.File("template.ini") +
                                 "\nUniqueKey=07\n[Broadcast]\nPassword=from-file\n");
    EXPECT_EQ(c.DJName, "Radio-07");
    EXPECT_EQ(c.Password, "from-file");
    EXPECT_EQ(c.MaxClient, 707);
    EXPECT_EQ(c.MassInclude, m_dir.File("template.ini")) << "the line Include=x.ini stays in, "
                                                            "yet the station's own value wins";
    EXPECT_EQ(c.MassUniqueKey, "07");

    StationConfig before;
    before.MassInclude = "earlier";
    const StationConfig skipped =
        Load("[MassConfig]\nInclude=/nonexistent/t.ini\nUniqueKey=1\n", before);
    EXPECT_EQ(skipped.MassInclude, "earlier") << "no merge: the names keep their old values";
    const StationConfig fifo = Load("[MassConfig]\nInclude=/dev/zero\nUniqueKey=1\n", before);
    EXPECT_EQ(fifo.MassInclude, "earlier") << "a device is no template";
}

TEST_F(StationConfigFileTest, ATemplateThatIncludesItselfIsMergedOnce) {
    const std::string self = m_dir.File("self.ini");
    WriteFile(self, "[MassConfig]\nInclude=" + self + "\nUniqueKey=9\n[Broadcast]\nDJName=$\n");
    StationConfig c;
    ASSERT_EQ(LoadStationConfig(self, c, {m_dir.Folder(), false}), 1);
    EXPECT_EQ(c.DJName, "$") << "the file's own value wins over its merged copy";
    EXPECT_EQ(c.MassUniqueKey, "9");
}

TEST_F(StationConfigFileTest, SaveWritesTheLayoutAndARoundTripKeepsEveryField) {
    StationConfig config;
    config.SetDefaults();
    config.ContentDir = "/srv/radio/web";
    config.Format = kFormatOggVorbis;
    config.MaxClient = 77;
    config.SongHistoryMax = 33;
    config.Genre = -5;
    config.Generation = 3;
    config.Ment = 2;
    config.DJName = "Night Owl";
    config.DJEmail = "owl@example.org";
    config.DJSex = 1;
    config.TitleFormat = "%t on Owl FM";
    config.URLFormat = "http://%s/";
    config.BindAddress = "127.0.0.1";
    config.OverrideIP = "203.0.113.4";
    config.OverridePort = 9100;
    config.Portforward = 1;
    config.PrivateBr = 1;
    config.BroadcastTime = {2, 1, 3, 5, 9, 10, 11, 12, 13, 14};
    config.PrivateUsers = {{"Bob", "b"}, {"alice", "a"}};
    config.RelayHostname = "up.example";
    config.RelayPort = 8123;
    config.RelayStreamUrl = "/live";
    config.LogDir = m_dir.File("logs");
    config.TlsCertificate = "/etc/letsencrypt/live/radio/fullchain.pem";
    config.TlsPrivateKey = "privkey.pem";
    config.TlsPort = 8443;
    config.TlsTrustedCertificates = "ca.pem";
    config.HlsEnabled = 0;
    config.HlsSegmentSeconds = 4;
    config.HlsWindow = 900;
    config.HlsOriginFolder = "/var/www/hls";

    ASSERT_TRUE(SaveStationConfig(m_path, config));
    EXPECT_EQ(config.ContentDir, "/srv/radio/") << "the record is cut too";
    const std::string text = ReadFile(m_path);
    EXPECT_EQ(text.rfind("[Broadcast]\nMaster=True\nPublicServer=True\nShoutcastRegister=False\n"
                         "PrivateBr=True\nCreateLog=true\nPassword=mustedit\n",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("\n[PrivateBr]\nCount=2\nPrivateUser1=Bob\nPrivatePass1=b\n"
                        "PrivateUser2=alice\nPrivatePass2=a\n"),
              std::string::npos);
    EXPECT_NE(text.find("Configfile="), std::string::npos);
    EXPECT_NE(text.find("Genre=-5\n"), std::string::npos);

    StationConfig loaded;
    ASSERT_EQ(LoadStationConfig(m_path, loaded, {m_dir.Folder(), false}), 1);
    loaded.ConfigFile = config.ConfigFile;
    EXPECT_EQ(loaded, config);
}

TEST_F(StationConfigFileTest, ContentDirIsCutToItsFolderAtSave) {
    StationConfig config;
    config.ContentDir = "C:\\Radio\\web";
    SaveStationConfig(m_path, config);
    EXPECT_EQ(config.ContentDir, "C:\\Radio\\");
    config.ContentDir = "web";
    SaveStationConfig(m_path, config);
    EXPECT_EQ(config.ContentDir, "");
    EXPECT_NE(ReadFile(m_path).find("\nContentDir=\n"), std::string::npos);
}

TEST_F(StationConfigFileTest, AnUnwritableTargetKeepsTheOldFile) {
    WriteFile(m_path, "[Limits]\nMaxClient=5\n");
    StationConfig config;
    EXPECT_FALSE(SaveStationConfig(m_dir.File("Config.ini/inside"), config));
    WriteFile(m_dir.File("plain"), "x");
    EXPECT_FALSE(SaveStationConfig(m_dir.File("plain/Config.ini"), config));
    EXPECT_EQ(ReadFile(m_path), "[Limits]\nMaxClient=5\n");
}

TEST_F(StationConfigFileTest, LoadingCreatesTheFoldersAndResolvesTheDefaultOnes) {
    StationConfig config;
    WriteFile(m_path, "[Paths]\nLogDir=./logs\nContentDir=" + m_dir.File("web/a/b") + "\n");
    ASSERT_EQ(LoadStationConfig(m_path, config, {m_dir.Folder(), true}), 1);
    EXPECT_EQ(config.LogDir, m_dir.Folder() + "logs");
    struct stat st {};
    EXPECT_EQ(::stat(config.LogDir.c_str(), &st), 0);
    EXPECT_EQ(::stat(m_dir.File("web/a/b").c_str(), &st), 0) << "parents are created too";
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST_F(StationConfigFileTest, LoadingRemovesWhatAnInterruptedSaveLeftBehind) {
    WriteFile(m_path, "[Broadcast]\nPassword=hackme\n");
    const std::string stale = m_dir.File(".Config.ini.aB3xY9");
    const std::string young = m_dir.File(".Config.ini.Qw12Er");
    const std::vector<std::string> others = {m_dir.File(".Config.ini.aB3xY"),
                                             m_dir.File("x.Config.ini.aB3xY9"),
                                             m_dir.File(".Other.ini.aB3xY9")};
    for (const std::string& file : others) {
        WriteFile(file, "Password=hackme\n");
    }
    WriteFile(stale, "Password=hackme\n");
    WriteFile(young, "Password=hackme\n");
    const timespec hourAgo[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
    for (const std::string& file : others) {
        ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), hourAgo, 0), 0);
    }
    ASSERT_EQ(::utimensat(AT_FDCWD, stale.c_str(), hourAgo, 0), 0);

    StationConfig config;
    ASSERT_EQ(LoadStationConfig(m_path, config, {m_dir.Folder(), false}), 1);
    struct stat st {};
    EXPECT_NE(::stat(stale.c_str(), &st), 0) << "a leftover with the password is gone";
    EXPECT_EQ(::stat(young.c_str(), &st), 0) << "a save under way elsewhere is left alone";
    for (const std::string& file : others) {
        EXPECT_EQ(::stat(file.c_str(), &st), 0) << "not ours: " << file;
    }
}

}  // namespace
}  // namespace orvanta
