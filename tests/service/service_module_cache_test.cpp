#include "service/service_module_cache.h"

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
#include <unistd.h>

namespace orvanta {
namespace {

using test::CacheHeader;
using test::CopyFixture;
using test::LimitFileSize;
using test::ReadFile;
using test::ReadLines;
using test::TempDir;
using test::WriteFile;

std::string Bytes(const ServiceModuleInfo& record) {
    return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

std::string NameOf(const ServiceModuleInfo* record) {
    return record == nullptr ? "(none)"
                             : std::string(record->fileName,
                                           ::strnlen(record->fileName, sizeof record->fileName));
}

class ServiceModuleCacheTest : public ::testing::Test {
protected:
    void TearDown() override {
        ::unsetenv("ORV_FIXTURE_FORMAT_MASK");
        ::unsetenv("ORV_FIXTURE_FACTORY_NULL");
    }
    static void AddModules(const TempDir& dir, std::initializer_list<const char*> names) {
        for (const char* name : names) {
            CopyFixture("fixture_service.so", dir.File(name));
        }
    }
    long Lines(const std::string& line) const {
        const auto lines = ReadLines(m_log);
        return std::count(lines.begin(), lines.end(), line);
    }
    static std::string CacheOf(const TempDir& dir) { return dir.File("OVTService.cache"); }

    TempDir m_dir;
    TempDir m_logDir;
    const std::string m_log = m_logDir.File("calls.log");
    test::ScopedEnv m_logEnv{"ORV_FIXTURE_LOG", m_log.c_str()};
};

TEST_F(ServiceModuleCacheTest, ScanLoadsEveryLibraryTwiceInNameOrderAndNamesRecordsAfterFiles) {
    AddModules(m_dir, {"zeta.so", "alpha.so", "mid.so"});
    CopyFixture("fixture_no_factory.so", m_dir.File("beta.so"));
    std::filesystem::create_directory(m_dir.File("folder.so"));
    WriteFile(m_dir.File("readme.txt"), "not a library");

    CServiceModuleCache cache;
    ASSERT_TRUE(cache.Init(m_dir.Folder(), false));
    ASSERT_EQ(cache.Count(), 3);
    const char* expected[] = {"alpha.so", "mid.so", "zeta.so"};
    std::string file = CacheHeader("OSC\0", 1, 600);
    for (int i = 0; i < 3; ++i) {
        const ServiceModuleInfo& record = cache.Records()[static_cast<size_t>(i)];
        EXPECT_EQ(NameOf(&record), expected[i]) << "the module's own fileName must be replaced";
        EXPECT_EQ(record.formatMask, 18u);
        EXPECT_EQ(std::memcmp(record.moduleHeader, "FIXTURE", 8), 0) << "module's bytes kept";
        file += Bytes(record);
    }
    EXPECT_EQ(NameOf(cache.FindByFormat(ORVANTA_FORMAT_MP3)), "alpha.so");
    EXPECT_EQ(Lines("0 Create "), 6) << "each module is loaded twice, its factory given \"\"";
    EXPECT_EQ(Lines("8 Describe"), 6);
    EXPECT_EQ(Lines("1 Destroy 1"), 6);
    EXPECT_EQ(ReadFile(CacheOf(m_dir)), file);
}

TEST_F(ServiceModuleCacheTest, ModulesWhoseFactoryGivesNothingAreNotListed) {
    AddModules(m_dir, {"a.so"});
    WriteFile(CacheOf(m_dir), "junk");
    ::setenv("ORV_FIXTURE_FACTORY_NULL", "1", 1);
    CServiceModuleCache cache;
    EXPECT_FALSE(cache.Init(m_dir.Folder(), false));
    EXPECT_EQ(cache.Count(), 0);
    EXPECT_EQ(Lines("0 Create null"), 1) << "no second pass without modules";
    EXPECT_EQ(ReadFile(CacheOf(m_dir)), "junk") << "nothing is written without records";
    EXPECT_EQ(cache.FindByFormat(0), nullptr);
}

TEST_F(ServiceModuleCacheTest, TheCacheSparesLaterStartsTheScanUntilItIsGone) {
    AddModules(m_dir, {"a.so"});
    ASSERT_TRUE(CServiceModuleCache().Init(m_dir.Folder(), false));
    const std::string saved = ReadFile(CacheOf(m_dir));
    std::filesystem::remove(m_log);

    CServiceModuleCache cache;
    ASSERT_TRUE(cache.Init(m_dir.Folder(), false));
    EXPECT_EQ(NameOf(cache.FindByFormat(0)), "a.so");
    EXPECT_EQ(Lines("0 Create "), 0) << "no library loaded";

    std::filesystem::remove(CacheOf(m_dir));
    EXPECT_TRUE(cache.Init(m_dir.Folder(), false)) << "held records answer at once";
    EXPECT_FALSE(FileExists(CacheOf(m_dir)));
    EXPECT_TRUE(cache.Init(m_dir.Folder(), true));
    EXPECT_EQ(Lines("0 Create "), 2) << "force scans";
    EXPECT_EQ(ReadFile(CacheOf(m_dir)), saved);

    std::filesystem::remove(CacheOf(m_dir));
    EXPECT_TRUE(CServiceModuleCache().Init(m_dir.Folder(), false));
    EXPECT_EQ(Lines("0 Create "), 4) << "without its cache a new start scans again";
}

TEST_F(ServiceModuleCacheTest, FindByFormatAnswersTheFirstRecordServingEveryBit) {
    // One scan cannot give two copies of the fixture different formats: scan each into its
    // own folder and join the two caches.
    TempDir mp3Ogg;
    TempDir wma;
    AddModules(mp3Ogg, {"mp3ogg.so"});
    AddModules(wma, {"wma.so"});
    ::setenv("ORV_FIXTURE_FORMAT_MASK", "18", 1);
    ASSERT_TRUE(CServiceModuleCache().Init(mp3Ogg.Folder(), false));
    ::setenv("ORV_FIXTURE_FORMAT_MASK", "4", 1);
    ASSERT_TRUE(CServiceModuleCache().Init(wma.Folder(), false));
    WriteFile(CacheOf(m_dir), ReadFile(CacheOf(mp3Ogg)) + ReadFile(CacheOf(wma)).substr(12));

    CServiceModuleCache cache;
    ASSERT_TRUE(cache.Init(m_dir.Folder(), false));
    ASSERT_EQ(cache.Count(), 2);
    EXPECT_EQ(NameOf(cache.FindByFormat(ORVANTA_FORMAT_OGG_VORBIS)), "mp3ogg.so");
    EXPECT_EQ(NameOf(cache.FindByFormat(ORVANTA_FORMAT_WMA)), "wma.so");
    EXPECT_EQ(NameOf(cache.FindByFormat(ORVANTA_FORMAT_OGG_VORBIS | ORVANTA_FORMAT_WMA)), "(none)");
    EXPECT_TRUE(cache.Clear());
    EXPECT_EQ(cache.FindByFormat(0), nullptr);
}

TEST_F(ServiceModuleCacheTest, CacheFilesAreTakenOrRefusedByTheirHeader) {
    AddModules(m_dir, {"live.so"});
    ServiceModuleInfo cached{};
    cached.formatMask = ORVANTA_FORMAT_WMA;
    std::strcpy(cached.fileName, "cached.so");
    const std::string record = Bytes(cached);
    const struct {
        const char* what;
        std::string bytes;
        int loaded;  // records read from the file, or -1 when the folder is scanned instead
    } cases[] = {
        {"lower-case magic, other version", CacheHeader("osc\0", 7, 600) + record, 1},
        {"a partial record after one",
         CacheHeader("OSC\0", 1, 600) + record + std::string(400, 'z'), 1},
        {"header alone", CacheHeader("OSC\0", 1, 600), 0},
        {"other record size", CacheHeader("OSC\0", 1, 601) + record, -1},
        {"magic without its NUL", CacheHeader("OSCX", 1, 600) + record, -1},
        {"foreign magic", CacheHeader("MZP\0", 1, 600) + record, -1},
        {"cut header", CacheHeader("OSC\0", 1, 600).substr(0, 10), -1},
        {"empty", "", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(CacheOf(m_dir), c.bytes);
        std::filesystem::remove(m_log);
        CServiceModuleCache cache;
        EXPECT_EQ(cache.Init(m_dir.Folder(), false), c.loaded != 0);
        EXPECT_EQ(Lines("0 Create "), c.loaded < 0 ? 2 : 0);
        EXPECT_EQ(cache.Count(), c.loaded < 0 ? 1 : c.loaded);
        if (c.loaded > 0) {
            EXPECT_EQ(NameOf(cache.FindByFormat(ORVANTA_FORMAT_WMA)), "cached.so");
        } else if (c.loaded < 0) {
            EXPECT_EQ(ReadFile(CacheOf(m_dir)).substr(0, 12), CacheHeader("OSC\0", 1, 600));
        }
    }
}

TEST_F(ServiceModuleCacheTest, AnOversizedCacheIsRefusedAndTheRecordsStay) {
    AddModules(m_dir, {"a.so"});
    CServiceModuleCache cache;
    ASSERT_TRUE(cache.Init(m_dir.Folder(), false));
    // A sparse file that would claim millions of records.
    WriteFile(CacheOf(m_dir), CacheHeader("OSC\0", 1, 600));
    ASSERT_EQ(::truncate(CacheOf(m_dir).c_str(), off_t{5} << 30), 0);
    EXPECT_FALSE(cache.LoadCache());
    EXPECT_EQ(cache.Count(), 1);
}

TEST_F(ServiceModuleCacheTest, AFailedSaveLeavesNoFileAndKeepsTheRecords) {
    AddModules(m_dir, {"a.so"});
    const std::string path = CacheOf(m_dir);
    std::filesystem::create_directory(path);
    CServiceModuleCache cache;
    EXPECT_TRUE(cache.Init(m_dir.Folder(), false)) << "a cache that cannot be written is no error";
    EXPECT_TRUE(std::filesystem::is_directory(path));
    std::filesystem::remove(path);

    // In a child process whose writes stop at 100 bytes: the partial file must go.
    EXPECT_EXIT(
        {
            LimitFileSize(100);
            std::_Exit(!cache.SaveCache() && cache.Count() == 1 && !FileExists(path) ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_FALSE(FileExists(path));

    std::filesystem::remove_all(m_dir.Path());
    EXPECT_FALSE(cache.SaveCache());
    EXPECT_EQ(cache.Count(), 1);
}

}  // namespace
}  // namespace orvanta
