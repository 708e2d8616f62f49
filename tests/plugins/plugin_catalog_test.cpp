#include "plugins/plugin_catalog.h"

#include "support/file.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <stdlib.h>
#include <string>
#include <vector>

namespace orvanta {
namespace {

using test::CacheHeader;
using test::CopyFixture;
using test::LimitFileSize;
using test::ReadFile;
using test::ReadLines;
using test::TempDir;
using test::WriteFile;

constexpr int32_t kFixtureKind = ORVANTA_PLUGIN_KIND_WMA_ENCODER;

std::string Bytes(const PluginDescriptor& record) {
    return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

PluginDescriptor Record(const char* name, int32_t kind, uint32_t capsA, uint32_t capsB,
                        uint32_t capsC, int32_t active, const char* extensions = "",
                        const char* filters = "") {
    PluginDescriptor record{};
    std::strcpy(record.fileName, name);
    record.kind = kind;
    record.capsA = capsA;
    record.capsB = capsB;
    record.capsC = capsC;
    record.capsD = 1;
    record.active = active;
    std::strcpy(record.extensionList, extensions);
    std::strcpy(record.filterList, filters);
    return record;
}

// The names of the records a walk passes, begun with FindNext and gone on with FindNextPlugin.
std::vector<std::string> Walk(CPluginCatalog& catalog, int32_t kind, uint32_t maskA, uint32_t maskB,
                              bool requireActive) {
    std::vector<std::string> names;
    PluginDescriptor* record = nullptr;
    for (int i = catalog.FindNext(-1, kind, maskA, maskB, 0xFFFF, 0xFFFF, &record, requireActive);
         i >= 0; i = catalog.FindNextPlugin(i, kind, maskA, maskB, 0xFFFF, 0xFFFF, &record,
                                            requireActive)) {
        names.push_back(record->fileName);
    }
    EXPECT_EQ(record, nullptr);
    return names;
}

class PluginCatalogTest : public ::testing::Test {
protected:
    void TearDown() override { ::unsetenv("ORV_FIXTURE_FACTORY_NULL"); }
    void AddPlugins(std::initializer_list<const char*> names) const {
        for (const char* name : names) {
            CopyFixture("fixture_plugin.so", m_dir.File(name));
        }
    }
    long Lines(const std::string& line) const {
        const auto lines = ReadLines(m_log);
        return std::count(lines.begin(), lines.end(), line);
    }
    void WriteCache(std::initializer_list<PluginDescriptor> records) const {
        std::string bytes = CacheHeader("OPC\0", 1, 1732);
        for (const PluginDescriptor& record : records) {
            bytes += Bytes(record);
        }
        WriteFile(m_cache, bytes);
    }

    TempDir m_dir;
    TempDir m_logDir;
    const std::string m_log = m_logDir.File("calls.log");
    test::ScopedEnv m_logEnv{"ORV_FIXTURE_LOG", m_log.c_str()};
    const std::string m_cache = m_dir.File("OVTPlugins.cache");
};

TEST_F(PluginCatalogTest, ScanListsEachPluginInNameOrderAndCachesItsDescriptor) {
    AddPlugins({"zeta.so", "alpha.so", "mid.so"});
    CopyFixture("fixture_no_factory.so", m_dir.File("beta.so"));
    CopyFixture("fixture_service.so", m_dir.File("service.so"));

    CPluginCatalog catalog;
    ASSERT_TRUE(catalog.Init(m_dir.Folder(), false));
    EXPECT_EQ(Walk(catalog, kFixtureKind, 4, 8, true),
              (std::vector<std::string>{"alpha.so", "mid.so", "zeta.so"}));
    EXPECT_EQ(Lines("plugin OPluginCreate Software\\KELVO"), 6) << "two passes";
    EXPECT_EQ(Lines("plugin Describe"), 6);
    EXPECT_EQ(Lines("plugin Destroy 1"), 6);

    std::string file = CacheHeader("OPC\0", 1, 1732);
    PluginDescriptor* record = nullptr;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(catalog.FindNext(i - 1, kFixtureKind, 4, 8, 1, 4, &record, true), i);
        EXPECT_EQ(record->active, 1);
        EXPECT_STREQ(record->displayName, "Fixture encoder");
        file += Bytes(*record);
    }
    EXPECT_EQ(ReadFile(m_cache), file);
}

TEST_F(PluginCatalogTest, NoPluginMeansNoRecordsAndNoCache) {
    WriteFile(m_dir.File("notes.txt"), "no library");
    EXPECT_FALSE(CPluginCatalog().Init(m_dir.Folder(), false));
    EXPECT_FALSE(FileExists(m_cache));

    AddPlugins({"null.so"});
    ::setenv("ORV_FIXTURE_FACTORY_NULL", "1", 1);
    CPluginCatalog catalog;
    EXPECT_FALSE(catalog.Init(m_dir.Folder(), false));
    EXPECT_EQ(catalog.Count(), 0);
    EXPECT_EQ(Lines("plugin OPluginCreate null"), 1);
    EXPECT_EQ(ReadFile("/proc/self/maps").find(m_dir.File("null.so")), std::string::npos)
        << "the library stayed loaded";
    EXPECT_FALSE(FileExists(m_cache));
}

TEST_F(PluginCatalogTest, TheCacheSparesLaterStartsTheScanUntilItIsGone) {
    AddPlugins({"a.so"});
    ASSERT_TRUE(CPluginCatalog().Init(m_dir.Folder(), false));
    std::filesystem::remove(m_log);
    EXPECT_TRUE(CPluginCatalog().Init(m_dir.Folder(), false));
    EXPECT_EQ(Lines("plugin Describe"), 0);
    std::filesystem::remove(m_cache);
    EXPECT_TRUE(CPluginCatalog().Init(m_dir.Folder(), false));
    EXPECT_EQ(Lines("plugin Describe"), 2);
}

TEST_F(PluginCatalogTest, FindNextWantsKindEveryMaskAndActivity) {
    CPluginCatalog catalog;
    PluginDescriptor outside{};
    PluginDescriptor* record = &outside;
    EXPECT_EQ(catalog.FindNext(-1, 4, 1, 1, 1, 1, &record, false), -1) << "no records";
    EXPECT_EQ(record, nullptr);

    WriteCache({Record("p0", 4, 1, 1, 1, 1), Record("p1", 4, 3, 2, 1, 0),
                Record("p2", 4, 1, 2, 0, 1), Record("p3", 100, 1, 1, 1, 1),
                Record("p4", 4, 1, 3, 1, 7)});
    ASSERT_TRUE(catalog.Init(m_dir.Folder(), false));
    EXPECT_EQ(Walk(catalog, 4, 0xFF, 0xFF, true), (std::vector<std::string>{"p0", "p4"}));
    EXPECT_EQ(Walk(catalog, 4, 0xFF, 0xFF, false), (std::vector<std::string>{"p0", "p1", "p4"}));
    EXPECT_EQ(Walk(catalog, 4, 1, 2, false), (std::vector<std::string>{"p1", "p4"}));
    EXPECT_EQ(Walk(catalog, 100, 1, 1, true), (std::vector<std::string>{"p3"}));
    EXPECT_EQ(Walk(catalog, 4, 4, 0xFF, false), (std::vector<std::string>{}));

    record = &outside;
    EXPECT_EQ(catalog.FindNext(4, 4, 1, 1, 1, 1, &record, false), -1) << "start at the last";
    EXPECT_EQ(record, nullptr);
    EXPECT_EQ(catalog.FindNextPlugin(3, 4, 1, 1, 1, 1, nullptr, false), 4);
    // Callers may change a record in place.
    ASSERT_EQ(catalog.FindNext(-1, 4, 1, 1, 1, 1, &record, true), 0);
    record->active = 0;
    EXPECT_EQ(Walk(catalog, 4, 0xFF, 0xFF, true), (std::vector<std::string>{"p4"}));
}

TEST_F(PluginCatalogTest, CacheFilesAreTakenOrRefusedByTheirHeader) {
    AddPlugins({"live.so"});
    const std::string record = Bytes(Record("cached.so", 4, 1, 1, 1, 1));
    const struct {
        const char* what;
        std::string bytes;
        int loaded;  // records read from the file, or -1 when the folder is scanned instead
    } cases[] = {
        // The shared reader's other refusals are the service cache's tests; these are this
        // cache's own magic and record size.
        {"lower-case magic, other version", CacheHeader("opc\0", 9, 1732) + record, 1},
        {"header alone", CacheHeader("OPC\0", 1, 1732), 0},
        {"other record size", CacheHeader("OPC\0", 1, 1731) + record, -1},
        {"service cache", CacheHeader("OSC\0", 1, 1732) + record, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(m_cache, c.bytes);
        std::filesystem::remove(m_log);
        CPluginCatalog catalog;
        EXPECT_EQ(catalog.Init(m_dir.Folder(), false), c.loaded != 0);
        EXPECT_EQ(Lines("plugin Describe"), c.loaded < 0 ? 2 : 0);
        EXPECT_EQ(catalog.Count(), c.loaded < 0 ? 1 : c.loaded);
        const std::string expected = c.loaded < 0 ? "live.so" : "cached.so";
        if (c.loaded != 0) {
            EXPECT_EQ(Walk(catalog, c.loaded < 0 ? kFixtureKind : 4, 0xFF, 0xFF, true),
                      std::vector<std::string>{expected});
        }
        if (c.loaded < 0) {
            EXPECT_EQ(ReadFile(m_cache).substr(0, 12), CacheHeader("OPC\0", 1, 1732));
        }
    }
}

TEST_F(PluginCatalogTest, JoinedTextsTakeActiveKind4And100PluginsReadBounded) {
    PluginDescriptor unterminated = Record("long", 100, 2, 1, 1, 1);
    std::memset(unterminated.extensionList, 'x', sizeof unterminated.extensionList);
    std::memset(unterminated.filterList, 'y', sizeof unterminated.filterList);
    WriteCache({Record("mp3", 4, 2, 4, 1, 1, "*.mp3", "MP3 (*.mp3)|*.mp3"),
                Record("off", 4, 2, 4, 1, 0, "*.off", "Off|*.off"),
                Record("ogg", 100, 3, 1, 1, 1, "*.ogg", "Ogg|*.ogg"),
                Record("wav", 4, 2, 1, 1, 1, "*.wav;", "WAV|*.wav|"),
                Record("nocaps", 4, 2, 2, 1, 1, "*.no", "No|*.no"), Record("empty", 4, 2, 1, 1, 1),
                Record("enc", 110, 2, 1, 1, 1, "*.enc", "E|*.enc"), unterminated});
    CPluginCatalog catalog;
    ASSERT_TRUE(catalog.Init(m_dir.Folder(), false));
    const std::string longExtensions = std::string(256, 'x') + ";";
    const std::string longFilters = std::string(260, 'y') + "|";
    EXPECT_EQ(catalog.Extensions4(), "*.mp3;*.wav;");
    EXPECT_EQ(catalog.Filters4(), "MP3 (*.mp3)|*.mp3|WAV|*.wav|");
    EXPECT_EQ(catalog.Extensions100(), "*.ogg;" + longExtensions);
    EXPECT_EQ(catalog.Filters100(), "Ogg|*.ogg|" + longFilters);
    EXPECT_EQ(catalog.ExtensionsAll(), "*.mp3;*.wav;*.ogg;" + longExtensions);
    EXPECT_EQ(catalog.FiltersAll(), "MP3 (*.mp3)|*.mp3|WAV|*.wav|Ogg|*.ogg|" + longFilters);
}

TEST_F(PluginCatalogTest, AFailedSaveLeavesNoFileAndKeepsTheRecords) {
    AddPlugins({"a.so"});
    std::filesystem::create_directory(m_cache);
    CPluginCatalog catalog;
    EXPECT_TRUE(catalog.Init(m_dir.Folder(), false));
    EXPECT_TRUE(std::filesystem::is_directory(m_cache));
    std::filesystem::remove(m_cache);

    // In a child process whose writes stop at 1000 bytes: the partial file must go.
    EXPECT_EXIT(
        {
            LimitFileSize(1000);
            std::_Exit(!catalog.SaveCache() && catalog.Count() == 1 && !FileExists(m_cache) ? 0
                                                                                            : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_FALSE(FileExists(m_cache));

    std::filesystem::remove_all(m_dir.Path());
    EXPECT_FALSE(catalog.SaveCache());
    EXPECT_EQ(catalog.Count(), 1);
}

}  // namespace
}  // namespace orvanta
