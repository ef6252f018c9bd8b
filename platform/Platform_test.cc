#include "platform/Platform.h"

#include <gtest/gtest.h>

#include "tests/unit/TempDir.h"

namespace vx {
namespace {

TEST(DayNumbers, CalendarDatesAndFileTimes) {
  EXPECT_EQ(EncodeDayNumber({1899, 12, 30}), 0.0);
  EXPECT_EQ(EncodeDayNumber({2003, 10, 23}), 37917.0);
  EXPECT_DOUBLE_EQ(EncodeDayNumber({2003, 10, 23, 12, 0, 0}), 37917.5);
  EXPECT_EQ(EncodeDayNumber({2000, 3, 1}), 36586.0);  // after a century leap day
  // 1 January 1970 00:00 UTC as a file time.
  EXPECT_DOUBLE_EQ(FileTimeToDayNumber(116444736000000000LL), 25569.0);
}

TEST(FileIO, FoldersAppendAndRewrite) {
  test::TempDir dir;
  NativeFileSystem fs;
  const std::string deep = dir / "a/b/c";
  EXPECT_FALSE(fs.DirectoryExists(deep));
  ASSERT_TRUE(fs.CreateDirectories(deep));
  EXPECT_TRUE(fs.DirectoryExists(deep));
  EXPECT_FALSE(fs.FileExists(deep));

  std::string error, bytes;
  const std::string file = dir / "a/log.txt";
  ASSERT_TRUE(fs.AppendToFile(file, "one\r\n", error));
  ASSERT_TRUE(fs.AppendToFile(file, "two\r\n", error));
  ASSERT_TRUE(fs.ReadWholeFile(file, bytes, error));
  EXPECT_EQ(bytes, "one\r\ntwo\r\n");
  ASSERT_TRUE(fs.RewriteFile(file, "x", error));
  ASSERT_TRUE(fs.ReadWholeFile(file, bytes, error));
  EXPECT_EQ(bytes, "x");

  EXPECT_FALSE(fs.ReadWholeFile(dir / "missing.txt", bytes, error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(fs.ReadWholeFile(deep, bytes, error));  // a folder is not a file
  EXPECT_FALSE(fs.RemoveDirectory(dir / "a"));        // not empty
  EXPECT_TRUE(fs.RemoveDirectory(deep));
}

TEST(FileIO, FullPathFoldsDots) {
  NativeFileSystem fs;
  const std::string cwd = fs.CurrentDirectory();
  const std::string sep(1, kPathSeparator);
  EXPECT_EQ(fs.FullPath("x"), cwd + sep + "x");
  EXPECT_EQ(fs.FullPath(cwd + sep + "a" + sep + ".." + sep + "b" + sep + "." + sep + "c"),
            cwd + sep + "b" + sep + "c");
}

}  // namespace
}  // namespace vx
