#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "tests/unit/PathFiles.h"
#include "tests/unit/TempDir.h"

namespace vx {
namespace {

// The path text a held root keeps: trailing separators go, a root stays whole.
TEST(PathText, TrailingSeparatorsGoButRootsStay) {
  const std::string sep(1, kPathSeparator);
  EXPECT_EQ(WithoutTrailingSeparators("a" + sep + "b" + sep + sep), "a" + sep + "b");
  EXPECT_EQ(WithoutTrailingSeparators(sep + sep), sep);
  EXPECT_EQ(WithoutTrailingSeparators("a"), "a");
  EXPECT_EQ(WithoutTrailingSeparators("C:" + sep + sep), kPathSeparator == '\\' ? "C:\\" : "C:");
}

TEST(DayNumbers, CalendarDatesAndFileTimes) {
  EXPECT_EQ(EncodeDayNumber({1899, 12, 30}), 0.0);
  EXPECT_EQ(EncodeDayNumber({2003, 10, 23}), 37917.0);
  EXPECT_DOUBLE_EQ(EncodeDayNumber({2003, 10, 23, 12, 0, 0}), 37917.5);
  EXPECT_EQ(EncodeDayNumber({2000, 3, 1}), 36586.0);  // after a century leap day
  // 1 January 1970 00:00 UTC as a file time.
  EXPECT_EQ(*FileTimeToDayNumber(116444736000000000LL, 0), 25569.0);
  // Before day 0 the fraction counts forward in time, on both sides alike.
  const double day = *FileTimeToDayNumber(*FileTimeFromUnix(-2209161600 - 86400 + 6 * 3600, 0), 0);
  EXPECT_EQ(day, EncodeDayNumber({1899, 12, 29, 6, 0, 0}));
  EXPECT_EQ(day, -1.25);
}

// A file written at any moment of a local day, midnight included, is on
// that day, in zones west and east of UTC alike; the tick before midnight
// is on the day before.
TEST(DayNumbers, LocalMidnightStartsItsDay) {
  constexpr int64_t kTicksPerMinute = 600000000;
  const int64_t utcMidnight = *FileTimeFromUnix(1043280000, 0);  // 23 January 2003 00:00 UTC
  const double day = EncodeDayNumber({2003, 1, 23});
  // UTC, New York, Newfoundland, Shanghai, Athens, Kathmandu.
  for (int bias : {0, 300, 210, -480, -120, -345}) {
    const int64_t midnight = utcMidnight + bias * kTicksPerMinute;
    const ErrorOr<double> atTime = FileTimeToDayNumber(midnight, bias);
    const ErrorOr<double> beforeTime = FileTimeToDayNumber(midnight - 1, bias);
    const ErrorOr<double> afterTime = FileTimeToDayNumber(midnight + 1, bias);
    ASSERT_TRUE(atTime && beforeTime && afterTime);
    const double at = *atTime, before = *beforeTime, after = *afterTime;
    EXPECT_EQ(at, day) << "bias " << bias;
    EXPECT_EQ(std::trunc(after), day) << "bias " << bias;
    EXPECT_EQ(std::trunc(before), day - 1) << "bias " << bias;
    EXPECT_EQ(before, EncodeDayNumber({2003, 1, 22, 23, 59, 59, 999})) << "bias " << bias;
  }
}

// Unix times become file times exactly, and a time that 64 bits of ticks
// since 1601 cannot hold is a conversion failure, never a wrapped value.
TEST(DayNumbers, UnixTimesConvertOrFail) {
  constexpr int64_t kEpoch = 116444736000000000LL;
  EXPECT_EQ(*FileTimeFromUnix(0, 0), kEpoch);
  EXPECT_EQ(*FileTimeFromUnix(1, 999999999), kEpoch + 19999999);
  EXPECT_EQ(*FileTimeFromUnix(-1, 500000000), kEpoch - 5000000);
  EXPECT_EQ(*FileTimeFromUnix(-11644473600, 0), 0);  // 1 January 1601
  EXPECT_EQ(FileTimeFromUnix(-11644473601, 999999999).error(), std::errc::value_too_large);
  // The last tick a signed 64-bit count holds, and the one after it.
  EXPECT_EQ(*FileTimeFromUnix(910692730085, 477580700), INT64_MAX);
  EXPECT_EQ(FileTimeFromUnix(910692730085, 477580800).error(), std::errc::value_too_large);
  EXPECT_EQ(FileTimeFromUnix(1000000000000000, 0).error(), std::errc::value_too_large);  // touch -d @1000000000000000
  EXPECT_EQ(FileTimeFromUnix(INT64_MAX, 0).error(), std::errc::value_too_large);
  EXPECT_EQ(FileTimeFromUnix(INT64_MIN, 0).error(), std::errc::value_too_large);
  EXPECT_FALSE(FileTimeToDayNumber(kNoFileTime, 0));
  EXPECT_FALSE(FileTimeToDayNumber(INT64_MIN, -480));
  const ErrorOr<double> latest = FileTimeToDayNumber(INT64_MAX, -840);  // the latest time, east of UTC
  ASSERT_TRUE(latest);
  EXPECT_GT(*latest, 10000000.0);
  EXPECT_FALSE(FileTimeToPackedLocal(kNoFileTime));
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
