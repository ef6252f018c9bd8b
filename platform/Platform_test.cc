#include "platform/Platform.h"

#include <gtest/gtest.h>

#include "tests/unit/PathFiles.h"
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

TEST(FileIO, FoldersAppendAndReplace) {
  test::TempDir dir;
  NativeFileSystem fs;
  test::PathFiles files(fs);
  const std::string deep = dir / "a/b/c";
  EXPECT_TRUE(IsMissing(fs.LookPath(deep).error()));
  ASSERT_FALSE(fs.CreateDirectories(deep));
  EXPECT_FALSE(fs.CreateDirectories(deep));  // already there
  EXPECT_EQ(fs.LookPath(deep)->kind, EntryKind::Folder);

  const std::string file = dir / "a/log.txt";
  ASSERT_FALSE(fs.AppendToFile(file, "one\r\n"));
  ASSERT_FALSE(fs.AppendToFile(file, "two\r\n"));
  EXPECT_EQ(files.ReadAll(file), "one\r\ntwo\r\n");
  ASSERT_FALSE(fs.ReplaceFile(file, "x"));
  EXPECT_EQ(files.ReadAll(file), "x");
  EXPECT_TRUE(fs.CreateDirectories(file + kPathSeparator + "under"));  // a file on the way

  ErrorOr<std::string> missing = fs.ReadWholeFile(dir / "missing.txt");
  ASSERT_FALSE(missing);
  EXPECT_TRUE(IsMissing(missing.error()));
  EXPECT_FALSE(missing.error().message().empty());
  EXPECT_FALSE(fs.ReadWholeFile(deep));  // a folder is not a file
  EXPECT_TRUE(fs.RemoveFolderPath(dir / "a"));  // not empty
  EXPECT_FALSE(fs.RemoveFolderPath(deep));
  EXPECT_TRUE(IsMissing(fs.LookPath(deep).error()));
}

TEST(FileIO, FullPathFoldsDots) {
  NativeFileSystem fs;
  ErrorOr<std::string> current = fs.CurrentDirectory();
  ASSERT_TRUE(current);
  const std::string cwd = *current;
  const std::string sep(1, kPathSeparator);
  EXPECT_EQ(*fs.FullPath("x"), cwd + sep + "x");
  EXPECT_EQ(*fs.FullPath(cwd + sep + "a" + sep + ".." + sep + "b" + sep + "." + sep + "c"),
            cwd + sep + "b" + sep + "c");
}

}  // namespace
}  // namespace vx
