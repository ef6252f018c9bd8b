// The file selection on a file system in memory: masks, -U, archive bit,
// dates, sizes, the identical-target and two-way rules, and the -P question.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "core/Error.h"
#include "core/HolyCoreUnit.h"
#include "tests/unit/MemoryFileSystem.h"
#include "tests/unit/PathFiles.h"
#include "tests/unit/Recorder.h"

namespace vx {
namespace {

using test::Recorder;

constexpr int64_t kSecond = 10000000;  // in file-time ticks

// Moves a file's last-write time by a number of 100-ns ticks.
void ShiftWriteTime(test::MemoryFileSystem& fs, const std::string& path, int64_t ticks) {
  fs.SetWriteTime(path, fs.WriteTime(path) + ticks);
}

// Gives both files one last-write time in whole even seconds, as packed
// DOS times hold them.
void SetSameWriteTime(test::MemoryFileSystem& fs, const std::string& from, const std::string& to) {
  const int64_t time = fs.WriteTime(from) - fs.WriteTime(from) % (2 * kSecond);
  fs.SetWriteTime(from, time);
  fs.SetWriteTime(to, time);
}

// The destination entry looked up by path, as the tree copy would.
class PathTarget : public TargetLookup {
 public:
  PathTarget(FileSystem& fs, const std::string& path) : fs_(fs), path_(path) {}
  const Lookup& Find() override {
    answer_ = Lookup(test::PathFiles(fs_).Look(path_));
    return answer_;
  }

 private:
  FileSystem& fs_;
  std::string path_;
  Lookup answer_;
};

// SelectFile for two paths: the source's listing entry, its held folder and
// its target as the tree copy hands them over. A missing source comes with
// its name alone.
bool SelectPaths(Session& session, const std::string& sourcePath, const std::string& destPath) {
  const auto [folderPath, name] = test::SplitPath(sourcePath);
  ErrorOr<Folder> folder = session.fs.OpenRoot(folderPath);
  EXPECT_TRUE(folder);
  ListOptions options;
  options.includeHidden = true;
  options.mask = name;
  ErrorOr<Listing> listing = session.fs.List(*folder, options);
  ListedEntry entry;
  entry.name = name;
  if (listing && listing->Count() == 1) entry = listing->At(0);
  PathTarget target(session.fs, destPath);
  SourceFile source(session.fs, *folder, entry, session.options.CopyHidden != 0);
  return SelectFile(session, FileToSelect{sourcePath, destPath, source, *folder, target}) ==
         Selected::Yes;
}

// Gives a file the last-write time whose local day number is dayNumber.
void SetLocalDay(test::MemoryFileSystem& fs, const std::string& path, double dayNumber) {
  const double bias = *TimeZoneBiasMinutes() / 1440.0;
  fs.SetWriteTime(path, static_cast<int64_t>((dayNumber + bias + 109205.0) * 864000000000.0));
}

class SelectionTest : public ::testing::Test {
 protected:
  SelectionTest() : session_(fs_) {
    session_.options = test::MakeOptions(dir_.path(), dir_ / "dst");
    session_.callbacks = Recorder::All();
    std::strncpy(session_.options.LogFile, (dir_ / "log.txt").c_str(), kMaxTextLength);
    dir_.Write("src/abc.txt", "hello");
  }
  bool Select(const std::string& name = "abc.txt") {
    return SelectPaths(session_, dir_ / ("src/" + name), dir_ / ("dst/" + name));
  }
  std::string Log() { return dir_.Read("log.txt"); }
  bool LogMade() { return dir_.Exists("log.txt"); }
  bool Logged(const std::string& name = "abc.txt") {
    return Log().find(dir_ / ("src/" + name) + " = " + dir_ / ("dst/" + name)) != std::string::npos;
  }
  CopyRec& o() { return session_.options; }

  test::MemoryFileSystem fs_;
  test::MemoryDir dir_{fs_};
  Session session_;
};

TEST(Compare, IntsTimesAndDays) {
  EXPECT_EQ(CompareInts(-1, 0), -1);
  EXPECT_EQ(CompareInts(7, 7), 0);
  EXPECT_EQ(CompareInts(int64_t{3} << 30, 1000), 1);  // a 3 GiB size stays positive
  const double ms = 1.0 / 86400000.0;
  EXPECT_EQ(CompareTimes(100.0, 100.0 + 0.5 * ms), 0);
  EXPECT_EQ(CompareTimes(100.0, 100.0 + 2 * ms), -1);
  EXPECT_EQ(CompareTimes(100.0 + 2 * ms, 100.0), 1);
  EXPECT_EQ(CompareDays(37917.0, 37917.999), 0);
  EXPECT_EQ(CompareDays(37918.0, 37917.999), 1);
  EXPECT_EQ(CompareDays(37916.5, 37917.0), -1);
}

TEST_F(SelectionTest, NameMasksOnTheUpperCasedName) {
  o().HasExclude = 1;
  session_.masks.exclusions = {"A*.*", "B*.*"};
  EXPECT_FALSE(Select());
  dir_.Write("src/other.txt", "");
  EXPECT_TRUE(Select("other.txt"));

  o().HasExclude = 0;
  o().HasInclude = 1;
  session_.masks.inclusions = {"*.*"};
  dir_.Write("src/README", "");
  EXPECT_FALSE(Select("README"));  // a mask with a dot needs a dot
  EXPECT_TRUE(Select("other.txt"));
  session_.masks.inclusions.clear();
  EXPECT_FALSE(Select("other.txt"));  // an empty inclusion list lets nothing through
  EXPECT_FALSE(LogMade());  // mask rejections leave no trace

  session_.masks.inclusions = {"*.TXT", ""};
  EXPECT_THROW(Select(), VeltrixError);  // an empty mask is a failure, not a verdict
}

TEST_F(SelectionTest, ExistingOnlyAndArchiveBit) {
  o().ExistingOnly = 1;
  EXPECT_FALSE(Select());
  dir_.Write("dst/abc.txt", "older content");
  EXPECT_TRUE(Select());
  o().ExistingOnly = 0;

  o().ArchiveOnly = 1;
  EXPECT_TRUE(Select());
  ASSERT_FALSE(test::PathFiles(fs_).SetAttributes(dir_ / "src/abc.txt", attr::Normal));
  EXPECT_FALSE(Select());
  o().ArchiveOnly = 0;
  o().ArchiveClear = 1;
  EXPECT_FALSE(Select());
  EXPECT_EQ(test::PathFiles(fs_).Attributes(dir_ / "src/abc.txt"), attr::Normal);  // not changed here
}

TEST_F(SelectionTest, DateTestOnTheLastWriteDay) {
  const double day = 45000.0;
  o().NoDateFilter = 0;
  o().FilterDate = day;
  o().DateEqual = 1;
  SetLocalDay(fs_, dir_ / "src/abc.txt", day + 0.999);
  EXPECT_TRUE(Select());
  SetLocalDay(fs_, dir_ / "src/abc.txt", day + 1.0);
  EXPECT_FALSE(Select());
  o().DateAfter = 1;
  EXPECT_TRUE(Select());
  SetLocalDay(fs_, dir_ / "src/abc.txt", day - 0.5);
  EXPECT_FALSE(Select());
  o().DateBefore = 1;
  EXPECT_TRUE(Select());
  // A source whose times cannot be read fails the date test; nothing is raised.
  EXPECT_FALSE(Select("missing.txt"));
  EXPECT_FALSE(LogMade());
}

TEST_F(SelectionTest, DaylightSavingIsNeverApplied) {
  if (kPathSeparator == '\\') GTEST_SKIP() << "the time zone comes from the Wine prefix";
  const char* saved = std::getenv("TZ");
  static std::string previous;  // putenv keeps the text it is given
  previous = saved ? std::string("TZ=") + saved : std::string("TZ");
  static char paris[] = "TZ=CET-1CEST,M3.5.0,M10.5.0/3";
  ::putenv(paris);
  ::tzset();
  // 15 July 2020 (day 44027), 00:30 summer time is 22:30 UTC the day before;
  // with the base bias alone it reads 23:30 on 14 July.
  const double july15 = 44027.0;
  const auto atUtc = [&](double utcDay) {
    const int64_t ticks = static_cast<int64_t>((utcDay + 109205.0) * 864000000000.0);
    fs_.SetWriteTime(dir_ / "src/abc.txt", ticks);
  };
  o().NoDateFilter = 0;
  o().FilterDate = july15;
  o().DateEqual = 1;
  atUtc(july15 - 1.5 / 24);  // 00:30 CEST
  const bool halfPastMidnight = Select();
  atUtc(july15 - 0.5 / 24);  // 01:30 CEST
  const bool halfPastOne = Select();
  ::putenv(&previous[0]);  // "TZ" alone removes the variable again
  ::tzset();
  EXPECT_FALSE(halfPastMidnight);
  EXPECT_TRUE(halfPastOne);
}

// A last-write time that does not convert leaves no date to test: the file
// fails the date test as an unreadable one does, whatever the flags ask.
TEST_F(SelectionTest, UnconvertibleWriteTimeFailsTheDateTest) {
  o().NoDateFilter = 0;
  o().FilterDate = 0.0;
  o().DateBefore = o().DateEqual = o().DateAfter = 1;
  EXPECT_TRUE(Select());
  fs_.SetWriteTime(dir_ / "src/abc.txt", kNoFileTime);  // beyond what 64 bits of ticks hold
  EXPECT_FALSE(Select());
  EXPECT_FALSE(LogMade());
}

TEST_F(SelectionTest, SizeVerdictIsLoggedNotRejectedAtOnce) {
  o().NoSizeFilter = 0;
  o().FilterSize = 5;
  o().SizeAbove = 1;
  EXPECT_FALSE(Select());  // exactly FilterSize bytes is not above
  EXPECT_TRUE(Logged());
  o().SizeEqual = 1;
  EXPECT_TRUE(Select());
}

TEST_F(SelectionTest, WholeSizesAbove4GiB) {
  // Sparse files: nothing is written, only the sizes are large.
  const uint64_t big = (uint64_t{1} << 32) + 5;
  dir_.Write("src/big.bin", "");
  fs_.Resize(dir_ / "src/big.bin", big);
  o().NoSizeFilter = 0;
  o().FilterSize = 1000;
  o().SizeAbove = 1;
  EXPECT_TRUE(Select("big.bin"));
  o().NoSizeFilter = 1;
  // A small target whose size equals the low 32 bits, with the same time.
  dir_.Write("dst/big.bin", "12345");
  SetSameWriteTime(fs_, dir_ / "src/big.bin", dir_ / "dst/big.bin");
  EXPECT_TRUE(Select("big.bin"));
}

TEST_F(SelectionTest, IdenticalTargetIsPassedOverUnlessForced) {
  dir_.Write("dst/abc.txt", "hello");
  SetSameWriteTime(fs_, dir_ / "src/abc.txt", dir_ / "dst/abc.txt");
  EXPECT_FALSE(Select());
  EXPECT_TRUE(Logged());
  o().Force = 1;
  EXPECT_TRUE(Select());
  o().Force = 0;
  dir_.Write("dst/abc.txt", "hello, longer");
  SetSameWriteTime(fs_, dir_ / "src/abc.txt", dir_ / "dst/abc.txt");
  EXPECT_TRUE(Select());  // same time, other size
  // One second apart in the same two-second step still counts as the same time.
  dir_.Write("dst/abc.txt", "hello");
  SetSameWriteTime(fs_, dir_ / "src/abc.txt", dir_ / "dst/abc.txt");
  ShiftWriteTime(fs_, dir_ / "dst/abc.txt", 10000000);
  EXPECT_FALSE(Select());
}

TEST_F(SelectionTest, OlderSourceNeverOverwritesUnderTwoWaySync) {
  dir_.Write("dst/abc.txt", "newer");
  ShiftWriteTime(fs_, dir_ / "dst/abc.txt", 3600LL * 10000000);
  o().SyncMode = 1;
  EXPECT_TRUE(Select());
  o().SyncMode = 2;
  EXPECT_FALSE(Select());
  EXPECT_TRUE(Logged());
  // The reverse pass: the newer file overwrites the older one.
  EXPECT_TRUE(SelectPaths(session_, dir_ / "dst/abc.txt", dir_ / "src/abc.txt"));
}

TEST_F(SelectionTest, SourceIsNeverItsOwnTargetEvenForced) {
  o().Force = 1;
  const std::string path = dir_ / "src/abc.txt";
  EXPECT_FALSE(SelectPaths(session_, path, path));
  EXPECT_NE(Log().find(path + " = " + path), std::string::npos);
}

TEST_F(SelectionTest, PromptAnswers) {
  Recorder& rec = Recorder::Current();
  o().PromptCreate = 1;
  rec.answers = {AnswerNo, AnswerYes, 205, AnswerAll};
  EXPECT_FALSE(Select());
  EXPECT_TRUE(Select());
  EXPECT_TRUE(Select());
  EXPECT_TRUE(Select());
  EXPECT_EQ(o().PromptCreate, 0);  // no question after AnswerAll
  EXPECT_TRUE(Select());
  ASSERT_EQ(rec.questions.size(), 4u);
  EXPECT_EQ(rec.questions[0], std::make_pair(AskCreateFile, dir_ / "dst/abc.txt"));
  EXPECT_FALSE(LogMade());  // AnswerNo leaves no line

  o().PromptCreate = 1;
  rec.answers = {AnswerCancel};
  EXPECT_TRUE(Select());  // the file asked about is still handled
  EXPECT_EQ(session_.status, ResultCancelled);
  EXPECT_EQ(rec.states, std::vector<int32_t>{StateCancelled});

  // No question over an existing target.
  dir_.Write("dst/abc.txt", "x");
  rec.questions.clear();
  o().Force = 1;
  EXPECT_TRUE(Select());
  EXPECT_TRUE(rec.questions.empty());
}

}  // namespace
}  // namespace vx
