#include "support/file.h"

#include "test_util.h"

#include <gtest/gtest.h>

namespace orvanta {
namespace {

using test::ReadFile;
using test::WriteFile;

TEST(DiskFileTest, OpeningFollowsTheDispositionAndAnExclusiveHolderKeepsOthersOut) {
    test::TempDir dir;
    const std::string path = dir.File("OVTService.cache");
    LDiskFile file;
    EXPECT_FALSE(file.OpenRead(dir.File("missing"), kFileShareRead));
    EXPECT_FALSE(file.OpenRead(dir.Path(), kFileShareRead)) << "a folder is not a file";
    WriteFile(path, "old contents");
    ASSERT_TRUE(file.Create(path, 0));
    EXPECT_EQ(file.GetSize(), 0u) << "Create empties an existing file";
    ASSERT_TRUE(file.Write("new", 3));
    file.Close();
    EXPECT_FALSE(file.Open(path, kGenericWrite, 0, kCreateNew, kFileAttributeNormal));
    ASSERT_TRUE(file.Open(path, kGenericWrite, kFileShareRead, kOpenAlways, kFileAttributeNormal));
    EXPECT_EQ(file.GetSize(), 3u) << "OPEN_ALWAYS keeps what is there";
    EXPECT_FALSE(file.Open(path, kGenericRead, kFileShareRead, 99, kFileAttributeNormal));
    EXPECT_FALSE(file.IsOpen()) << "a failed open leaves the object closed";

    LDiskFile reader;
    LDiskFile second;
    ASSERT_TRUE(reader.OpenRead(path, kFileShareRead));
    EXPECT_TRUE(second.OpenRead(path, kFileShareRead)) << "readers share";
    LDiskFile writer;
    EXPECT_FALSE(writer.Create(path, 0)) << "no exclusive open while someone reads";
    EXPECT_EQ(ReadFile(path), "new") << "the failed create truncated";
    reader.Close();
    second.Close();
    ASSERT_TRUE(writer.Create(path, 0));
    EXPECT_FALSE(reader.OpenRead(path, kFileShareRead)) << "no reader while the writer holds it";
}

}  // namespace
}  // namespace orvanta
