// The share modes of the program's disk files: the catalogue caches rely on them so that two
// consoles never read a cache while the other rewrites it.
#include "support/file.h"

#include "test_util.h"

#include <gtest/gtest.h>

namespace orvanta {
namespace {

TEST(DiskFileTest, ReadersShareAndAnExclusiveHolderKeepsOthersOut) {
    test::TempDir dir;
    const std::string path = dir.File("OVTService.cache");
    test::WriteFile(path, "new");
    LDiskFile reader;
    LDiskFile second;
    LDiskFile writer;
    ASSERT_TRUE(reader.OpenRead(path, kFileShareRead));
    EXPECT_TRUE(second.OpenRead(path, kFileShareRead)) << "readers share";
    EXPECT_FALSE(writer.Create(path, 0)) << "no exclusive open while someone reads";
    EXPECT_EQ(test::ReadFile(path), "new") << "the refused create truncated";
    reader.Close();
    second.Close();
    ASSERT_TRUE(writer.Create(path, 0));
    EXPECT_FALSE(reader.OpenRead(path, kFileShareRead)) << "no reader while the writer holds it";
}

}  // namespace
}  // namespace orvanta
