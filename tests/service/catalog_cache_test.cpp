// The two catalogue caches (service modules, plug-ins) over real fixture libraries: the scan,
// the cache file that spares the next start the scan, the files refused, the failed save.
#include "plugins/plugin_catalog.h"
#include "service/service_module_cache.h"
#include "support/file.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <stdlib.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace orvanta {
namespace {

using test::CacheHeader;
using test::ReadFile;
using test::WriteFile;
using Names = std::vector<std::string>;

template <typename Record>
std::string Bytes(const Record& record) {
    return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

template <typename Record>
std::string Bytes(const std::vector<Record>& records) {
    return std::string(reinterpret_cast<const char*>(records.data()),
                       records.size() * sizeof(Record));
}

// What differs between the two caches.
struct ServiceCache {
    using Cache = CServiceModuleCache;
    static constexpr const char* kFixture = "fixture_service.so";
    static constexpr const char* kCreate = "0 Create ";
    static constexpr const char* kCreateNull = "0 Create null";
    static constexpr const char* kMagic = "OSC";
    static constexpr const char* kLower = "osc";
    static constexpr uint32_t kSize = 600;
    static Names NamesOf(Cache& cache) {
        Names names;
        for (const ServiceModuleInfo& record : cache.Records()) {
            names.emplace_back(record.fileName, ::strnlen(record.fileName, sizeof record.fileName));
        }
        return names;
    }
    static std::string Record(const char* name) {
        ServiceModuleInfo record{};
        record.formatMask = ORVANTA_FORMAT_WMA;
        std::strcpy(record.fileName, name);
        return Bytes(record);
    }
};

struct PluginCache {
    using Cache = CPluginCatalog;
    static constexpr const char* kFixture = "fixture_plugin.so";
    static constexpr const char* kCreate = "plugin OPluginCreate Software\\KELVO";
    static constexpr const char* kCreateNull = "plugin OPluginCreate null";
    static constexpr const char* kMagic = "OPC";
    static constexpr const char* kLower = "opc";
    static constexpr uint32_t kSize = 1732;
    static Names NamesOf(Cache& cache) {
        Names names;
        PluginDescriptor* record = nullptr;
        for (int i = cache.FindNext(-1, 110, ~0u, ~0u, ~0u, ~0u, &record, true); i >= 0;
             i = cache.FindNext(i, 110, ~0u, ~0u, ~0u, ~0u, &record, true)) {
            names.push_back(record->fileName);
        }
        return names;
    }
    static std::string Record(const char* name) {
        PluginDescriptor record{};
        std::strcpy(record.fileName, name);
        record.kind = 110;
        record.capsA = record.capsB = record.capsC = record.capsD = 1;
        record.active = 1;
        return Bytes(record);
    }
};

template <typename T>
class CatalogCacheTest : public ::testing::Test {
protected:
    void TearDown() override { ::unsetenv("ORV_FIXTURE_FACTORY_NULL"); }
    void Add(std::initializer_list<const char*> names) const {
        for (const char* name : names) {
            test::CopyFixture(T::kFixture, m_dir.File(name));
        }
    }
    long Created() const {
        const auto lines = test::ReadLines(m_log);
        return std::count(lines.begin(), lines.end(), std::string(T::kCreate));
    }
    std::string Header(const char* magic = T::kMagic, uint32_t version = 1) const {
        return CacheHeader((std::string(magic) + '\0').c_str(), version, T::kSize);
    }

    test::TempDir m_dir;
    test::TempDir m_logDir;
    const std::string m_log = m_logDir.File("calls.log");
    test::ScopedEnv m_logEnv{"ORV_FIXTURE_LOG", m_log.c_str()};
    const std::string m_cache = m_dir.File(T::Cache::kCacheFileName);
};

using Caches = ::testing::Types<ServiceCache, PluginCache>;
TYPED_TEST_SUITE(CatalogCacheTest, Caches);

TYPED_TEST(CatalogCacheTest, ScansInNameOrderThenStartsFromTheCacheUntilItIsGone) {
    this->Add({"zeta.so", "alpha.so", "mid.so"});
    test::CopyFixture("fixture_no_factory.so", this->m_dir.File("beta.so"));
    std::filesystem::create_directory(this->m_dir.File("folder.so"));
    WriteFile(this->m_dir.File("readme.txt"), "not a library");

    typename TypeParam::Cache cache;
    ASSERT_TRUE(cache.Init(this->m_dir.Folder(), false));
    EXPECT_EQ(TypeParam::NamesOf(cache), (Names{"alpha.so", "mid.so", "zeta.so"}))
        << "named after their files, whatever the library wrote there";
    EXPECT_EQ(this->Created(), 6) << "two passes";
    const std::string saved = ReadFile(this->m_cache);
    EXPECT_EQ(saved.size(), 12u + 3 * TypeParam::kSize);
    EXPECT_EQ(saved.substr(0, 12), this->Header());

    std::filesystem::remove(this->m_log);
    typename TypeParam::Cache later;
    ASSERT_TRUE(later.Init(this->m_dir.Folder(), false));
    EXPECT_EQ(TypeParam::NamesOf(later), (Names{"alpha.so", "mid.so", "zeta.so"}));
    EXPECT_EQ(Bytes(later.Records()), Bytes(cache.Records())) << "every field kept";
    EXPECT_EQ(this->Created(), 0) << "no library loaded";
    ASSERT_TRUE(later.Init(this->m_dir.Folder(), true));
    EXPECT_EQ(this->Created(), 6) << "force scans";
    EXPECT_EQ(ReadFile(this->m_cache), saved);
    std::filesystem::remove(this->m_cache);
    EXPECT_TRUE(typename TypeParam::Cache().Init(this->m_dir.Folder(), false));
    EXPECT_EQ(this->Created(), 12) << "without its cache a new start scans again";
}

// A state folder away from the program folder keeps the cache: one left in the program folder
// is neither read nor replaced.
TYPED_TEST(CatalogCacheTest, AStateFolderKeepsTheCacheOfTheProgramFoldersLibraries) {
    this->Add({"live.so"});
    const std::string stale = this->Header() + TypeParam::Record("stale.so");
    WriteFile(this->m_cache, stale);
    test::TempDir state;
    typename TypeParam::Cache cache;
    cache.SetCacheFolder(state.Folder());
    ASSERT_TRUE(cache.Init(this->m_dir.Folder(), false));
    EXPECT_EQ(TypeParam::NamesOf(cache), Names{"live.so"});
    EXPECT_EQ(this->Created(), 2);
    EXPECT_EQ(ReadFile(this->m_cache), stale);

    std::filesystem::remove(this->m_log);
    typename TypeParam::Cache later;
    later.SetCacheFolder(state.Folder());
    ASSERT_TRUE(later.Init(this->m_dir.Folder(), false));
    EXPECT_EQ(TypeParam::NamesOf(later), Names{"live.so"});
    EXPECT_EQ(this->Created(), 0) << "the state folder's cache is read";
}

TYPED_TEST(CatalogCacheTest, LibrariesWhoseFactoryGivesNothingAreNotListedNorKept) {
    this->Add({"a.so"});
    WriteFile(this->m_cache, "junk");
    ::setenv("ORV_FIXTURE_FACTORY_NULL", "1", 1);
    typename TypeParam::Cache cache;
    EXPECT_FALSE(cache.Init(this->m_dir.Folder(), false));
    EXPECT_EQ(cache.Count(), 0);
    EXPECT_EQ(test::ReadLines(this->m_log), Names{TypeParam::kCreateNull}) << "no second pass";
    EXPECT_EQ(ReadFile(this->m_cache), "junk") << "nothing is written without records";
    EXPECT_EQ(ReadFile("/proc/self/maps").find(this->m_dir.File("a.so")), std::string::npos)
        << "the library stayed loaded";
}

TYPED_TEST(CatalogCacheTest, CacheFilesAreTakenOrRefusedByTheirHeader) {
    this->Add({"live.so"});
    const std::string record = TypeParam::Record("cached.so");
    const std::string header = this->Header();
    const struct {
        const char* what;
        std::string bytes;
        int loaded;  // records read from the file, or -1 when the folder is scanned instead
    } cases[] = {
        {"lower-case magic, other version", this->Header(TypeParam::kLower, 7) + record, 1},
        {"a partial record after one", header + record + std::string(400, 'z'), 1},
        {"header alone", header, 0},
        {"other record size", CacheHeader(header.c_str(), 1, TypeParam::kSize + 1) + record, -1},
        {"magic without its NUL",
         CacheHeader((header.substr(0, 3) + "X").c_str(), 1, TypeParam::kSize) + record, -1},
        {"the other cache's magic",
         this->Header(TypeParam::kMagic[1] == 'S' ? "OPC" : "OSC") + record, -1},
        {"cut header", header.substr(0, 10), -1},
        {"empty", "", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(this->m_cache, c.bytes);
        std::filesystem::remove(this->m_log);
        typename TypeParam::Cache cache;
        EXPECT_EQ(cache.Init(this->m_dir.Folder(), false), c.loaded != 0);
        EXPECT_EQ(this->Created(), c.loaded < 0 ? 2 : 0);
        EXPECT_EQ(TypeParam::NamesOf(cache), c.loaded == 0  ? Names{}
                                             : c.loaded > 0 ? Names{"cached.so"}
                                                            : Names{"live.so"});
        if (c.loaded < 0) {
            EXPECT_EQ(ReadFile(this->m_cache).substr(0, 12), header);
        }
    }
    // A sparse file that would claim millions of records is refused; the records stay.
    typename TypeParam::Cache cache;
    ASSERT_EQ(::truncate(this->m_cache.c_str(), off_t{5} << 30), 0);
    ASSERT_TRUE(cache.Init(this->m_dir.Folder(), false));
    EXPECT_EQ(cache.Count(), 1);
}

TYPED_TEST(CatalogCacheTest, AFailedSaveLeavesNoFileAndKeepsTheRecords) {
    this->Add({"a.so"});
    std::filesystem::create_directory(this->m_cache);
    typename TypeParam::Cache cache;
    EXPECT_TRUE(cache.Init(this->m_dir.Folder(), false)) << "an unwritable cache is no error";
    EXPECT_TRUE(std::filesystem::is_directory(this->m_cache));
    std::filesystem::remove(this->m_cache);

    // In a child process whose writes stop at 100 bytes: the partial file must go.
    EXPECT_EXIT(
        {
            test::LimitFileSize(100);
            std::_Exit(!cache.SaveCache() && cache.Count() == 1 && !FileExists(this->m_cache) ? 0
                                                                                              : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_FALSE(FileExists(this->m_cache));
    std::filesystem::remove_all(this->m_dir.Path());
    EXPECT_FALSE(cache.SaveCache());
    EXPECT_EQ(cache.Count(), 1);
}

PluginDescriptor Plugin(const char* name, int32_t kind, uint32_t capsB, int32_t active,
                        const char* extensions, const char* filters) {
    PluginDescriptor record{};
    std::strcpy(record.fileName, name);
    record.kind = kind;
    record.capsA = 2;
    record.capsB = capsB;
    record.capsC = record.capsD = 1;
    record.active = active;
    std::strcpy(record.extensionList, extensions);
    std::strcpy(record.filterList, filters);
    return record;
}

// The file dialogs' joined texts: active plug-ins of kinds 4 and 100 with the masks of what
// the dialogs open, each field read within its own size. (The walks behind them are the
// fuzzer's, checked against a plain loop.)
TEST(PluginCatalogTest, JoinedTextsTakeActiveKind4And100PluginsReadBounded) {
    test::TempDir dir;
    PluginDescriptor unterminated = Plugin("long", 100, 1, 1, "", "");
    std::memset(unterminated.extensionList, 'x', sizeof unterminated.extensionList);
    std::memset(unterminated.filterList, 'y', sizeof unterminated.filterList);
    std::string file = CacheHeader("OPC\0", 1, 1732);
    for (const PluginDescriptor& record :
         {Plugin("mp3", 4, 4, 1, "*.mp3", "MP3 (*.mp3)|*.mp3"), Plugin("off", 4, 4, 0, "*.o", "O"),
          Plugin("ogg", 100, 1, 1, "*.ogg", "Ogg|*.ogg"), Plugin("wav", 4, 1, 1, "*.wav;", "W|"),
          Plugin("nocaps", 4, 2, 1, "*.no", "No|*.no"), Plugin("empty", 4, 1, 1, "", ""),
          Plugin("enc", 110, 1, 1, "*.enc", "E|*.enc"), unterminated}) {
        file += Bytes(record);
    }
    WriteFile(dir.File("OVTPlugins.cache"), file);
    CPluginCatalog catalog;
    ASSERT_TRUE(catalog.Init(dir.Folder(), false));
    EXPECT_EQ(catalog.Extensions4(), "*.mp3;*.wav;");
    EXPECT_EQ(catalog.Filters4(), "MP3 (*.mp3)|*.mp3|W|");
    EXPECT_EQ(catalog.ExtensionsAll(), "*.mp3;*.wav;*.ogg;" + std::string(256, 'x') + ";");
    EXPECT_EQ(catalog.FiltersAll(), "MP3 (*.mp3)|*.mp3|W|Ogg|*.ogg|" + std::string(260, 'y') + "|");
}

}  // namespace
}  // namespace orvanta
