// Whole sessions, on a file system in memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "core/Error.h"
#include "core/HolyCoreUnit.h"
#include "tests/unit/MemoryFileSystem.h"
#include "tests/unit/PathFiles.h"
#include "tests/unit/Recorder.h"

namespace vx {
namespace {

using test::Recorder;

class SessionTest : public ::testing::Test {
 protected:
  int32_t Run(const CopyRec& options) {
    return RunSession(options, Recorder::All(), fs_, parsed_, "");
  }
  Recorder& rec() { return Recorder::Current(); }

  test::MemoryFileSystem fs_;
  test::MemoryDir dir_{fs_};
  ParsedState parsed_;
};

// A source entry that names nothing gets a notice and changes no exit code;
// under -STRICT it is a failed copy, which -C does not hide.
TEST_F(SessionTest, ASourceNamingNothingIsNoticedAndFailsUnderStrict) {
  dir_.Write("s/a.txt", "a");
  const std::string missing = dir_ / "absent", mask = dir_ / "s/*.zz";
  CopyRec options = test::MakeOptions(missing + ";" + mask + ";" + dir_ / "s", dir_ / "d");
  EXPECT_EQ(Run(options), ResultOk);
  EXPECT_TRUE(dir_.Exists("d/a.txt"));
  const auto notice = [](const std::string& entry) {
    return std::make_pair(ReportNotice,
                          Utf8ToAnsi("La source \"" + entry + "\" ne désigne aucun fichier ni dossier."));
  };
  EXPECT_EQ(rec().reports, (std::vector<std::pair<int32_t, std::string>>{notice(missing), notice(mask)}));

  parsed_.extras.strict = true;
  EXPECT_EQ(Run(options), ResultCopyFailed);
  EXPECT_EQ(rec().reports.size(), 1u);  // the session stops at the first
  options.IgnoreErrors = 1;
  options.LogMode = 0;
  EXPECT_EQ(Run(options), ResultCopyFailed);
  EXPECT_EQ(rec().reports.size(), 2u);
}

TEST_F(SessionTest, EverySourceMeetsEveryDestinationInOrder) {
  dir_.Write("s1/a.txt", "a");
  dir_.Write("s2/b.txt", "b");
  CopyRec options = test::MakeOptions(dir_ / "s1" + ";" + dir_ / "s2",
                                      dir_ / "d1" + ";" + dir_ / "d2" + ";" + dir_ / "d3" + ";");
  options.ShowBothNames = 1;
  EXPECT_EQ(Run(options), ResultOk);

  std::vector<std::string> expected;
  for (const std::string source : {"s1/a.txt", "s2/b.txt"})
    for (const char* dest : {"d1", "d2", "d3"})
      expected.push_back(dir_ / source + " -> " + dir_ / dest + kPathSeparator + source.substr(3));
  EXPECT_EQ(rec().files, expected);  // the trailing empty destination entry is skipped
  EXPECT_EQ(rec().totals, std::vector<int32_t>{6});
  EXPECT_EQ(rec().states, (std::vector<int32_t>{StateSessionOpen, StateCopyBegins}));
  EXPECT_EQ(dir_.Read("d3/b.txt"), "b");
}

TEST_F(SessionTest, CancelStopsLaterPairsButStillReportsTheTotal) {
  dir_.Write("s1/a.txt", "a");
  dir_.Write("s1/b.txt", "b");
  dir_.Write("s2/c.txt", "c");
  CopyRec options = test::MakeOptions(dir_ / "s1;" + dir_ / "s2", dir_ / "d");
  options.PromptCreate = 1;
  options.ConfirmStart = 1;
  Recorder::All();
  const int32_t result = [&] {
    Callbacks callbacks = Recorder::All();
    Recorder::Current().answers = {AnswerYes /* start */, AnswerCancel};
    return RunSession(options, callbacks, fs_, parsed_, "");
  }();
  EXPECT_EQ(result, ResultCancelled);
  ASSERT_EQ(rec().questions.size(), 2u);
  EXPECT_EQ(rec().questions[0].first, AskStartCopy);
  EXPECT_EQ(rec().questions[1], std::make_pair(AskCreateFile, dir_ / "d/a.txt"));
  EXPECT_EQ(dir_.Read("d/a.txt"), "a");  // the file asked about is still copied
  EXPECT_FALSE(dir_.Exists("d/b.txt"));
  EXPECT_FALSE(dir_.Exists("d/c.txt"));
  EXPECT_EQ(rec().totals.size(), 1u);
  EXPECT_EQ(rec().states.back(), StateCancelled);
}

TEST_F(SessionTest, LoggedErrorsMakeTheResultTwo) {
  dir_.Write("s/a.txt", "a");
  dir_.Write("d/a.txt", "old");
  ASSERT_FALSE(test::PathFiles(fs_).SetAttributes(dir_ / "d/a.txt", attr::ReadOnly));
  CopyRec options = test::MakeOptions(dir_ / "s", dir_ / "d");
  options.IgnoreErrors = 1;
  options.Force = 1;
  EXPECT_EQ(Run(options), ResultCopyFailed);
  EXPECT_TRUE(rec().errors.empty());  // -C: no message, the walk went on

  options.LogMode = 0;  // a copy failure that is not logged is not counted
  EXPECT_EQ(Run(options), ResultOk);
}

TEST_F(SessionTest, NullDestinationIsNeitherPurgedNorCopiedBack) {
  dir_.Write("s/a.txt", "a");
  dir_.Write("work/NUL", "not a device");
  fs_.SetCurrentDirectory(dir_ / "work");
  for (uint8_t mode : {1, 2}) {
    CopyRec options = test::MakeOptions(dir_ / "s", "NUL");
    options.SyncMode = mode;
    EXPECT_EQ(Run(options), ResultOk);
  }
  EXPECT_EQ(dir_.Read("work/NUL"), "not a device");
  EXPECT_EQ(dir_.Read("s/a.txt"), "a");
}

TEST_F(SessionTest, TwoWaySyncLeavesTheNewerCopyOnBothSides) {
  dir_.Write("a/only_a.txt", "A");
  dir_.Write("b/only_b.txt", "B");
  dir_.Write("a/both.txt", "old");
  dir_.Write("b/both.txt", "new");
  const int64_t now = fs_.WriteTime(dir_ / "b/both.txt"), hour = 36000000000;
  fs_.SetWriteTime(dir_ / "a/both.txt", now - 48 * hour);
  fs_.SetWriteTime(dir_ / "b/both.txt", now - hour);
  CopyRec options = test::MakeOptions(dir_ / "a", dir_ / "b");
  options.SyncMode = 2;
  EXPECT_EQ(Run(options), ResultOk);
  EXPECT_EQ(dir_.Read("a/both.txt"), "new");
  EXPECT_EQ(dir_.Read("b/both.txt"), "new");
  EXPECT_EQ(dir_.Read("a/only_b.txt"), "B");
  EXPECT_EQ(dir_.Read("b/only_a.txt"), "A");
  EXPECT_EQ(rec().totals, std::vector<int32_t>{3});  // both directions count
}

TEST_F(SessionTest, RaisedFailureSkipsTheTotal) {
  dir_.Write("s/a.txt", "a");
  CopyRec options = test::MakeOptions(dir_ / "s", dir_ / "d");
  options.HasExclude = 1;
  parsed_.exclusions.push_back("");  // an empty mask cannot be matched
  Callbacks callbacks = Recorder::All();
  EXPECT_THROW(RunSession(options, callbacks, fs_, parsed_, ""), VeltrixError);
  EXPECT_TRUE(rec().totals.empty());
}

TEST_F(SessionTest, SessionLinesFrameTheLog) {
  dir_.Write("s/a.txt", "a");
  CopyRec options = test::MakeOptions(dir_ / "s", dir_ / "d");
  const std::string log = dir_ / "logs/deeper/session.log";
  std::strncpy(options.LogFile, log.c_str(), kMaxTextLength);
  EXPECT_EQ(Run(options), ResultOk);
  EXPECT_EQ(Run(options), ResultOk);
  const std::string text = dir_.Read("logs/deeper/session.log");
  EXPECT_EQ(text.rfind("\r\n[", 0), 0u);
  EXPECT_NE(text.find(Utf8ToAnsi(" : Début de copie : \"") + dir_ / "s" + "\" -> \"" + dir_ / "d" + "\""),
            std::string::npos);
  EXPECT_NE(text.find(". 1 " + Utf8ToAnsi("fichiers copiés. 0 erreurs. Total de fichiers traités : 1]")),
            std::string::npos);

  options.LogLines = 3;
  EXPECT_EQ(Run(options), ResultOk);
  const std::string trimmed = dir_.Read("logs/deeper/session.log");
  EXPECT_EQ(trimmed.rfind("\r\n[", 0), 0u);
  EXPECT_EQ(trimmed.substr(trimmed.size() - 5), "]\r\n\r\n");
  EXPECT_EQ(std::count(trimmed.begin(), trimmed.end(), '\n'), 3);
}

// A run that promises to change nothing changes nothing: -L and -T run no
// purge and no copy back; -T makes the folders it exists for.
TEST_F(SessionTest, DryRunsNeitherPurgeNorCopyBack) {
  dir_.Write("s/a.txt", "a");
  dir_.Write("s/sub/b.txt", "b");
  dir_.Write("d/stale.txt", "x");
  dir_.Write("d/only_d.txt", "d");
  for (uint8_t mode : {1, 2}) {
    for (int treeOnly : {0, 1}) {
      CopyRec options = test::MakeOptions(dir_ / "s", dir_ / "d");
      options.SyncMode = mode;
      options.CopySubdirs = 1;
      options.ListOnly = !treeOnly;
      options.TreeOnly = treeOnly;
      options.DeleteSource = 1;
      EXPECT_EQ(Run(options), ResultOk);
      EXPECT_EQ(dir_.Read("d/stale.txt"), "x");
      EXPECT_FALSE(dir_.Exists("s/only_d.txt"));
      EXPECT_EQ(dir_.Read("s/a.txt"), "a");
      EXPECT_FALSE(dir_.Exists("d/a.txt"));
    }
  }
  EXPECT_TRUE(fs_.IsFolder(dir_ / "d/sub"));  // what -T is for
}

// A move that mirrors into an archive, run day after day: what it moved
// yesterday is the only copy, and the purge must not take it for stale.
TEST_F(SessionTest, AMirroringMoveKeepsWhatItMovedBefore) {
  CopyRec options = test::MakeOptions(dir_ / "s", dir_ / "archive");
  options.CopySubdirs = 1;
  options.DeleteSource = 1;
  options.KeepSourceDirs = 1;
  options.SyncMode = 1;
  dir_.Write("s/day1.txt", "1");
  dir_.Write("s/sub/day1.txt", "1");
  EXPECT_EQ(Run(options), ResultOk);
  dir_.Write("s/day2.txt", "2");
  EXPECT_EQ(Run(options), ResultOk);
  EXPECT_EQ(dir_.Read("archive/day1.txt"), "1");
  EXPECT_EQ(dir_.Read("archive/sub/day1.txt"), "1");
  EXPECT_EQ(dir_.Read("archive/day2.txt"), "2");
}

// A mirror whose source lies inside its destination, either named through
// a link, loses nothing.
TEST_F(SessionTest, AMirrorOfAFolderInsideItsDestinationLosesNothing) {
  dir_.Write("a/b/f", "1");
  fs_.Link(dir_ / "linkb", dir_ / "a/b");
  fs_.Link(dir_ / "linka", dir_ / "a");
  for (const auto& [source, dest] : {std::make_pair("linkb", "a"), std::make_pair("a/b", "linka")}) {
    CopyRec options = test::MakeOptions(dir_ / source, dir_ / dest);
    options.CopySubdirs = 1;
    options.SyncMode = 1;
    EXPECT_EQ(Run(options), ResultOk);
    EXPECT_EQ(dir_.Read("a/b/f"), "1") << source << " -> " << dest;
    EXPECT_EQ(dir_.Read("a/f"), "1") << source << " -> " << dest;
  }
}

}  // namespace
}  // namespace vx
