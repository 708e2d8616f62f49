#include "support/file.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <array>
#include <unistd.h>

namespace orvanta {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(DiskFileTest, EndOfFileIsSetByAnEmptyReadAndClearedBySeek) {
    TempDir dir;
    const std::string path = dir.File("data.bin");
    WriteFile(path, "abcdef");

    LDiskFile file;
    ASSERT_TRUE(file.OpenRead(path, kFileShareRead));
    std::array<char, 4> buffer{};
    uint32_t got = 99;
    ASSERT_TRUE(file.Read(buffer.data(), 4, &got));
    EXPECT_EQ(got, 4u);
    ASSERT_TRUE(file.Read(buffer.data(), 4, &got));
    EXPECT_EQ(got, 2u);
    EXPECT_FALSE(file.IsEOF()) << "a short read that is not empty does not set the flag";
    ASSERT_TRUE(file.Read(buffer.data(), 4, &got));
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(file.IsEOF());

    ASSERT_TRUE(file.Seek(0, kFileBegin));
    EXPECT_FALSE(file.IsEOF());
    EXPECT_EQ(file.Tell(), 0u);
    ASSERT_TRUE(file.Seek(-2, kFileEnd));
    EXPECT_EQ(file.Tell64(), 4);
    EXPECT_FALSE(file.Seek(-10, kFileBegin)) << "a position before the start fails";
    EXPECT_EQ(file.GetSize(), 6u);
    EXPECT_EQ(file.GetSize64(), 6);

    file.Close();
    EXPECT_FALSE(file.IsEOF()) << "Close clears the flag";
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(file.Read(buffer.data(), 4, &got)) << "reading a closed file fails";
    EXPECT_EQ(file.GetSize(), kInvalidSize32);
    EXPECT_EQ(file.GetSize64(), -1);
    EXPECT_EQ(file.Tell(), kInvalidSize32);
    file.Close();  // twice is harmless
}

TEST(DiskFileTest, OpeningFollowsTheCreationDisposition) {
    TempDir dir;
    const std::string path = dir.File("cache");
    LDiskFile file;

    EXPECT_FALSE(file.OpenRead(dir.File("missing"), kFileShareRead));
    EXPECT_FALSE(file.IsOpen());

    WriteFile(path, "old contents");
    ASSERT_TRUE(file.Create(path, 0));
    EXPECT_EQ(file.GetSize(), 0u) << "Create empties an existing file";
    uint32_t written = 0;
    ASSERT_TRUE(file.Write("new", 3, &written));
    EXPECT_EQ(written, 3u);
    file.Close();
    EXPECT_EQ(ReadFile(path), "new");

    EXPECT_FALSE(file.Open(path, kGenericWrite, 0, kCreateNew, kFileAttributeNormal));
    ASSERT_TRUE(file.Open(path, kGenericWrite, kFileShareRead, kOpenAlways, kFileAttributeNormal));
    EXPECT_EQ(file.GetSize(), 3u) << "OPEN_ALWAYS keeps what is there";
    ASSERT_TRUE(file.Open(dir.File("fresh"), kGenericWrite, 0, kOpenAlways, kFileAttributeNormal));
    EXPECT_TRUE(FileExists(dir.File("fresh")));
    EXPECT_FALSE(file.Open(path, kGenericRead, kFileShareRead, 99, kFileAttributeNormal));
    EXPECT_FALSE(file.IsOpen()) << "a failed open leaves the object closed";
    EXPECT_FALSE(file.OpenRead(dir.Path(), kFileShareRead)) << "a folder is not a file";
}

TEST(DiskFileTest, AnExclusiveHolderKeepsOthersOutUntilItCloses) {
    TempDir dir;
    const std::string path = dir.File("OVTService.cache");
    WriteFile(path, "contents that must survive");

    LDiskFile reader;
    ASSERT_TRUE(reader.OpenRead(path, kFileShareRead));
    LDiskFile writer;
    EXPECT_FALSE(writer.Create(path, 0)) << "no exclusive open while someone reads";
    EXPECT_EQ(ReadFile(path), "contents that must survive") << "the failed create truncated";

    LDiskFile second;
    EXPECT_TRUE(second.OpenRead(path, kFileShareRead)) << "readers share";
    reader.Close();
    second.Close();
    ASSERT_TRUE(writer.Create(path, 0));
    EXPECT_FALSE(reader.OpenRead(path, kFileShareRead)) << "no reader while the writer holds it";
}

TEST(DiskFileTest, SizesWhoseLowHalfIsAllOnesReadAsFailure) {
    TempDir dir;
    const std::string path = dir.File("sparse");
    LDiskFile file;
    ASSERT_TRUE(file.Create(path, 0));
    // A sparse file: no disk space is used.
    ASSERT_EQ(::truncate(path.c_str(), 0xFFFFFFFFll), 0);
    EXPECT_EQ(file.GetSize(), 0xFFFFFFFFu);
    EXPECT_EQ(file.GetSize64(), -1);
    ASSERT_EQ(::truncate(path.c_str(), 0x100000005ll), 0);
    EXPECT_EQ(file.GetSize(), 5u);
    EXPECT_EQ(file.GetSize64(), 0x100000005ll);
    ASSERT_TRUE(file.Seek64(0x100000001ll, kFileBegin));
    EXPECT_EQ(file.Tell(), 1u);
    EXPECT_EQ(file.Tell64(), 0x100000001ll);
}

}  // namespace
}  // namespace orvanta
