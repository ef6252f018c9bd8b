// The tree copy, on a file system in memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "core/HolyCoreUnit.h"
#include "support/md5.h"
#include "tests/unit/MemoryFileSystem.h"
#include "tests/unit/PathFiles.h"
#include "tests/unit/Recorder.h"

namespace vx {
namespace {

using test::Fail;
using test::Recorder;

class TreeCopyTest : public ::testing::Test {
 protected:
  TreeCopyTest() : session_(fs_), files_(fs_) {
    session_.options = test::MakeOptions(dir_ / "src", dir_ / "dst");
    session_.callbacks = Recorder::All();
    std::strncpy(session_.options.LogFile, (dir_ / "log.txt").c_str(), kMaxTextLength);
  }
  // A small tree: two files on top, one below, an empty folder.
  void MakeTree() {
    dir_.Write("src/a.txt", "alpha");
    dir_.Write("src/b.txt", "beta");
    dir_.Write("src/sub/c.txt", "gamma");
    dir_.MakeFolder("src/empty");
  }
  int32_t Copy(const std::string& source = "src", const std::string& dest = "dst") {
    return CopyTree(session_, dir_ / source, dest == "NUL" ? dest : dir_ / dest);
  }
  bool Exists(const std::string& relative) { return dir_.Exists(relative); }
  bool IsFolder(const std::string& relative) { return fs_.IsFolder(dir_ / relative); }
  std::string Log() { return Exists("log.txt") ? dir_.Read("log.txt") : std::string(); }
  test::Faults& FaultsOf(const std::string& relative) { return fs_.FaultsOf(dir_ / relative); }
  Recorder& rec() { return Recorder::Current(); }
  CopyRec& o() { return session_.options; }

  test::MemoryFileSystem fs_;
  test::MemoryDir dir_{fs_};
  Session session_;
  test::PathFiles files_;
};

TEST_F(TreeCopyTest, SubfoldersOnlyWithTheirSwitches) {
  MakeTree();
  EXPECT_EQ(Copy(), 2);
  EXPECT_EQ(dir_.Read("dst/a.txt"), "alpha");
  EXPECT_FALSE(Exists("dst/sub"));

  o().CopySubdirs = 1;
  o().Force = 1;
  EXPECT_EQ(Copy(), 3);
  EXPECT_EQ(dir_.Read("dst/sub/c.txt"), "gamma");
  EXPECT_FALSE(Exists("dst/empty"));

  o().CopySubdirs = 0;
  o().CopyEmptySubdirs = 1;
  EXPECT_EQ(Copy(), 3);
  EXPECT_TRUE(IsFolder("dst/empty"));
  EXPECT_EQ(session_.status, -1);
  EXPECT_EQ(rec().files.size(), 8u);
  EXPECT_EQ(rec().files[0], dir_ / "src/a.txt");
}

TEST_F(TreeCopyTest, NamesLineAndLogModeTwo) {
  MakeTree();
  o().ShowBothNames = 1;
  o().LogMode = 2;
  EXPECT_EQ(Copy(), 2);
  EXPECT_EQ(rec().files[0], dir_ / "src/a.txt" + " -> " + dir_ / "dst/a.txt");
  EXPECT_NE(Log().find("\"" + dir_ / "src/b.txt" + "\" -> \"" + dir_ / "dst/b.txt" + "\"."),
            std::string::npos);
  o().Quiet = 1;
  o().Force = 1;
  rec().files.clear();
  EXPECT_EQ(Copy(), 2);
  EXPECT_TRUE(rec().files.empty());
}

TEST_F(TreeCopyTest, ListOnlyTouchesNothing) {
  MakeTree();
  o().ListOnly = 1;
  o().DeleteSource = 1;
  EXPECT_EQ(Copy(), 3);
  EXPECT_EQ(rec().files.size(), 3u);
  EXPECT_FALSE(Exists("dst"));
  EXPECT_TRUE(Exists("src/a.txt"));
  EXPECT_TRUE(Exists("src/empty"));
}

TEST_F(TreeCopyTest, NullDestinationDeletesOnlyUnderMove) {
  MakeTree();
  o().CopySubdirs = 1;
  EXPECT_EQ(Copy("src", "NUL"), 0);
  EXPECT_EQ(rec().files.size(), 3u);
  EXPECT_TRUE(Exists("src/a.txt"));
  o().DeleteSource = 1;
  o().KeepSourceDirs = 1;
  o().LogMode = 2;
  // Read-only goes as it is: a mode written first would reach every other
  // link of the file.
  fs_.SetMode(dir_ / "src/a.txt", 0444);
  fs_.calls = {};
  EXPECT_EQ(Copy("src", "NUL"), 3);
  EXPECT_EQ(fs_.calls.setAttributes, 0);
  EXPECT_FALSE(Exists("src/a.txt"));
  EXPECT_FALSE(Exists("src/sub/c.txt"));
  EXPECT_TRUE(Exists("src/sub"));
  EXPECT_NE(Log().find("\"" + dir_ / "src/a.txt" + "\" -> \"NUL\"."), std::string::npos);
}

TEST_F(TreeCopyTest, MoveByRenameRemovesEmptiedFolders) {
  MakeTree();
  o().CopySubdirs = 1;
  o().DeleteSource = 1;
  o().Verify = 1;
  dir_.Write("dst/b.txt", "old");  // present: copied, then the source deleted
  EXPECT_EQ(Copy(), 3);
  EXPECT_EQ(dir_.Read("dst/a.txt"), "alpha");
  EXPECT_EQ(dir_.Read("dst/b.txt"), "beta");
  EXPECT_EQ(dir_.Read("dst/sub/c.txt"), "gamma");
  EXPECT_EQ(fs_.calls.openForRead, 2);  // only b.txt was copied and verified
  EXPECT_FALSE(Exists("src"));   // the top folder goes too

  dir_.Write("src2/sub/d.txt", "delta");
  o().KeepSourceDirs = 1;
  EXPECT_EQ(Copy("src2"), 1);
  EXPECT_TRUE(Exists("src2/sub"));
  EXPECT_FALSE(Exists("src2/sub/d.txt"));
}

TEST_F(TreeCopyTest, MaskChoosesTopFilesAndFolders) {
  dir_.Write("src/x.tmp", "1");
  dir_.Write("src/y.ini", "2");
  dir_.Write("src/dir.tmp/inner.ini", "3");
  dir_.Write("src/other/z.tmp", "4");
  o().CopySubdirs = 1;
  EXPECT_EQ(Copy("src/*.tmp"), 2);
  EXPECT_TRUE(Exists("dst/x.tmp"));
  EXPECT_TRUE(Exists("dst/dir.tmp/inner.ini"));
  EXPECT_FALSE(Exists("dst/y.ini"));
  EXPECT_FALSE(Exists("dst/other"));
}

TEST_F(TreeCopyTest, CopyFailureStopsAndLeavesThisFolderUncounted) {
  MakeTree();
  dir_.Write("dst/b.txt", "locked");
  ASSERT_FALSE(files_.SetAttributes(dir_ / "dst/b.txt", attr::ReadOnly));
  o().CopySubdirs = 1;
  EXPECT_EQ(Copy(), 0);  // a.txt was copied but the folder left at once
  EXPECT_EQ(session_.status, ResultCopyFailed);
  EXPECT_EQ(rec().errors,
            std::vector<std::string>{"Erreur lors de la copie de \"" + dir_ / "src/b.txt" + "\"."});
  EXPECT_EQ(dir_.Read("dst/b.txt"), "locked");
  EXPECT_FALSE(Exists("dst/sub"));
  EXPECT_NE(Log().find("Erreur lors de la copie de \"" + dir_ / "src/b.txt" + "\"."),
            std::string::npos);
  EXPECT_EQ(session_.errors, 1);
}

TEST_F(TreeCopyTest, IgnoredFailureInLogModeZeroCountsNothing) {
  MakeTree();
  dir_.Write("dst/b.txt", "locked");
  ASSERT_FALSE(files_.SetAttributes(dir_ / "dst/b.txt", attr::ReadOnly));
  o().IgnoreErrors = 1;
  o().LogMode = 0;
  o().CopySubdirs = 1;
  EXPECT_EQ(Copy(), 2);
  EXPECT_EQ(session_.status, -1);
  EXPECT_EQ(session_.errors, 0);
  EXPECT_EQ(Log(), "");
  EXPECT_TRUE(rec().errors.empty());
}

TEST_F(TreeCopyTest, ReadOnlyTargetsAndSources) {
  dir_.Write("src/ro.txt", "new");
  ASSERT_FALSE(files_.SetAttributes(dir_ / "src/ro.txt", attr::ReadOnly | attr::Archive));
  EXPECT_EQ(Copy(), 1);
  EXPECT_FALSE(files_.Attributes(dir_ / "dst/ro.txt") & attr::ReadOnly);

  dir_.Write("dst/ro.txt", "older file");
  o().KeepAttributes = 1;
  EXPECT_EQ(Copy(), 1);
  EXPECT_TRUE(files_.Attributes(dir_ / "dst/ro.txt") & attr::ReadOnly);

  // Over a read-only target only with -R.
  dir_.Write("src/ro.txt", "newest!");
  o().IgnoreErrors = 1;
  EXPECT_EQ(Copy(), 0);
  EXPECT_EQ(dir_.Read("dst/ro.txt"), "new");
  o().OverwriteReadOnly = 1;
  EXPECT_EQ(Copy(), 1);
  EXPECT_EQ(dir_.Read("dst/ro.txt"), "newest!");
}

// -R makes a target file writable, never a folder that has the file's
// name: the copy fails and the folder keeps its attributes.
TEST_F(TreeCopyTest, OverwriteReadOnlyLeavesAFolderInTheFilesPlaceAlone) {
  dir_.Write("src/a.txt", "alpha");
  dir_.Write("dst/a.txt/inner.txt", "kept");
  ASSERT_FALSE(files_.SetAttributes(dir_ / "dst/a.txt", attr::Hidden));
  const uint32_t before = files_.Attributes(dir_ / "dst/a.txt");
  o().OverwriteReadOnly = 1;
  o().IgnoreErrors = 1;
  EXPECT_EQ(Copy(), 0);
  EXPECT_EQ(session_.errors, 1);
  EXPECT_EQ(files_.Attributes(dir_ / "dst/a.txt"), before);
  EXPECT_EQ(dir_.Read("dst/a.txt/inner.txt"), "kept");
}

TEST_F(TreeCopyTest, DigestMismatchStopsOrKeepsTheSource) {
  dir_.Write("src/a.txt", "alpha");
  dir_.Write("src/b.txt", "beta");
  dir_.MakeFolder("dst");
  FaultsOf("dst").corruptCopies = true;
  o().Verify = 1;
  EXPECT_EQ(Copy(), 0);
  EXPECT_EQ(session_.status, ResultDigestDiffers);
  EXPECT_EQ(rec().errors, std::vector<std::string>{"Erreur lors de la copie de " + dir_ / "src/a.txt"});
  EXPECT_NE(Log().find("MD5(" + dir_ / "src/a.txt" + ") <> MD5(" + dir_ / "dst/a.txt" + ") - "),
            std::string::npos);
  EXPECT_FALSE(Exists("dst/b.txt"));

  // With -C and -X the copy counts, but the only good copy, the source, stays.
  session_.status = -1;
  o().IgnoreErrors = 1;
  o().DeleteSource = 1;
  o().Force = 1;
  dir_.Write("dst/a.txt", "old");  // present: no move by renaming
  dir_.Write("dst/b.txt", "old");
  EXPECT_EQ(Copy(), 2);
  EXPECT_EQ(session_.status, -1);
  EXPECT_EQ(dir_.Read("src/a.txt"), "alpha");
  EXPECT_EQ(dir_.Read("src/b.txt"), "beta");
  EXPECT_EQ(session_.errors, 3);
}

// A large file and its copy are digested at once: the log line still gives
// the source's digest first, and a good copy passes.
TEST_F(TreeCopyTest, LargeFilesAreVerifiedBothAtOnce) {
  const std::string bytes(static_cast<std::size_t>(kDigestBothAtOnce) + 4097, 'v');
  dir_.Write("src/large.bin", bytes);
  o().Verify = 1;
  EXPECT_EQ(Copy(), 1);
  EXPECT_EQ(Log(), "");
  EXPECT_EQ(fs_.calls.openForRead, 2);

  FaultsOf("dst").corruptCopies = true;
  o().Force = 1;
  EXPECT_EQ(Copy(), 0);
  EXPECT_EQ(session_.status, ResultDigestDiffers);
  const std::string sourceHex = DigestToHex(FileDigest(fs_, files_.Open(dir_ / "src"), "large.bin", ""));
  const std::string copyHex = DigestToHex(FileDigest(fs_, files_.Open(dir_ / "dst"), "large.bin", ""));
  EXPECT_NE(Log().find(") - " + sourceHex + " <> " + copyHex), std::string::npos) << Log();
}

TEST_F(TreeCopyTest, FailedSourceDeletion) {
  dir_.Write("src/a.txt", "alpha");
  dir_.Write("src/b.txt", "beta");
  o().DeleteSource = 1;
  o().Force = 1;
  // Targets present, so each file is copied and then its source deleted.
  auto reset = [&] {
    dir_.Write("dst/a.txt", "x");
    dir_.Write("dst/b.txt", "x");
    rec().questions.clear();
  };
  reset();
  FaultsOf("src/a.txt").remove = Fail(std::errc::permission_denied, 2);
  rec().answers = {AnswerYes, AnswerNo};  // each answer tries again
  EXPECT_EQ(Copy(), 2);
  ASSERT_EQ(rec().questions.size(), 2u);
  EXPECT_EQ(rec().questions[0], std::make_pair(AskDeleteFailed, dir_ / "dst/a.txt"));
  EXPECT_FALSE(Exists("src/a.txt"));

  dir_.Write("src/a.txt", "alpha");
  dir_.Write("src/b.txt", "beta");
  reset();
  for (const char* file : {"src/a.txt", "src/b.txt"})
    FaultsOf(file).remove = Fail(std::errc::permission_denied);
  rec().answers = {AnswerIgnore, AnswerCancel};
  EXPECT_EQ(Copy(), 0);  // a.txt counted in this folder, which was left at once
  EXPECT_EQ(session_.status, ResultCancelled);
  EXPECT_EQ(rec().states, std::vector<int32_t>{StateCancelled});
  EXPECT_TRUE(Exists("src/a.txt"));

  session_.status = -1;
  reset();
  o().Silent = 1;
  session_.errors = 0;
  EXPECT_EQ(Copy(), 2);
  EXPECT_TRUE(rec().questions.empty());
  EXPECT_EQ(session_.errors, 2);
  EXPECT_NE(Log().find("Impossible de supprimer le fichier \"" + dir_ / "src/b.txt" + "\"."),
            std::string::npos);
}

// The reason of each failure reaches the host after its message (or, under
// -C, with it), and log mode 3 is mode 2 with the reason on failure lines,
// counting no error (the exit codes of earlier mode-3 runs stay).
TEST_F(TreeCopyTest, FailuresCarryTheirReason) {
  MakeTree();
  FaultsOf("src/b.txt").open = Fail(std::errc::io_error);
  const std::string reason = ReasonLine(std::make_error_code(std::errc::io_error));
  const std::string failure = "Erreur lors de la copie de \"" + dir_ / "src/b.txt" + "\"";
  o().IgnoreErrors = 1;
  o().LogMode = 3;
  EXPECT_EQ(Copy(), 1);
  EXPECT_TRUE(rec().errors.empty());
  const std::vector<std::pair<int32_t, std::string>> reported = {
      {ReportFailure, failure + " vers \"" + dir_ / "dst/b.txt" + "\"."}, {ReportReason, reason}};
  EXPECT_EQ(rec().reports, reported);
  EXPECT_NE(Log().find("\"" + dir_ / "src/a.txt" + "\" -> \""), std::string::npos);
  EXPECT_NE(Log().find(failure + " vers \"" + dir_ / "dst/b.txt" + "\". " + reason + "\r\n"),
            std::string::npos);
  EXPECT_EQ(session_.errors, 0);

  // Shown through ShowError: only the reason follows; none under -SILENT.
  rec().reports.clear();
  o().IgnoreErrors = 0;
  o().LogMode = 1;
  EXPECT_EQ(Copy(), 0);
  EXPECT_EQ(rec().errors, std::vector<std::string>{failure + "."});
  EXPECT_EQ(rec().reports, (std::vector<std::pair<int32_t, std::string>>{{ReportReason, reason}}));
  rec().reports.clear();
  o().Silent = 1;
  session_.status = -1;
  EXPECT_EQ(Copy(), 0);
  EXPECT_TRUE(rec().reports.empty());
}

// A host that follows the progress sees each phase of a large file grow
// from 0 to its size, in steps.
TEST_F(TreeCopyTest, ProgressGrowsThroughTheCopyAndTheDigest) {
  const int64_t size = 3 << 20;
  dir_.Write("src/big.bin", std::string(static_cast<std::size_t>(size), 'x'));
  session_.callbacks.showProgress = Recorder::ProgressCallback();
  o().Verify = 1;
  EXPECT_EQ(Copy(), 1);
  for (const int32_t phase : {ProgressCopy, ProgressVerify}) {
    std::vector<int64_t> done;
    for (const Recorder::Progress& p : rec().progress) {
      if (p.phase != phase) continue;
      EXPECT_EQ(p.path, dir_ / "src/big.bin");
      EXPECT_EQ(p.total, size);
      done.push_back(p.done);
    }
    ASSERT_GE(done.size(), 3u) << "phase " << phase;
    EXPECT_EQ(done.front(), 0);
    EXPECT_EQ(done.back(), size);
    EXPECT_TRUE(std::is_sorted(done.begin(), done.end()));
    EXPECT_TRUE(std::any_of(done.begin(), done.end(), [&](int64_t d) { return d > 0 && d < size; }));
  }
}

TEST_F(TreeCopyTest, ShortNamesAreCutAtTheShortFormOfTheRoot) {
  dir_.Write("LongFolderName/sub/file.txt", "x");
  fs_.SetShortName(dir_ / "LongFolderName", "LONGFO~1");
  o().ShortNames = 1;
  o().CopySubdirs = 1;
  EXPECT_EQ(Copy("LongFolderName"), 1);
  EXPECT_EQ(dir_.Read("dst/sub/file.txt"), "x");
}

TEST_F(TreeCopyTest, HiddenFilesOnlyWithH) {
  dir_.Write("src/shown.txt", "1");
  dir_.Write("src/secret.txt", "2");
  ASSERT_FALSE(files_.SetAttributes(dir_ / "src/secret.txt", attr::Hidden | attr::Archive));
  EXPECT_EQ(Copy(), 1);
  EXPECT_FALSE(Exists("dst/secret.txt"));
  o().CopyHidden = 1;
  o().Force = 1;
  EXPECT_EQ(Copy(), 2);
  EXPECT_TRUE(files_.Attributes(dir_ / "dst/secret.txt") & attr::Hidden);
}

// Without -H, whether a file is hidden is asked only before something a
// user could see, and a hidden file then leaves no trace: no " = " line, no
// question, no name. A rerun that skips identical files without a log reads
// no attribute at all.
TEST_F(TreeCopyTest, HiddenFilesAreAskedOnlyWhenItMatters) {
  dir_.Write("src/shown.txt", "1");
  dir_.Write("src/secret.txt", "2");
  dir_.Write("src/hidden/inner.txt", "3");
  ASSERT_FALSE(files_.SetAttributes(dir_ / "src/secret.txt", attr::Hidden | attr::Archive));
  ASSERT_FALSE(files_.SetAttributes(dir_ / "src/hidden", attr::Hidden));
  o().CopySubdirs = 1;
  o().CopyHidden = 1;
  EXPECT_EQ(Copy(), 3);
  o().CopyHidden = 0;

  rec().files.clear();
  EXPECT_EQ(Copy(), 0);
  EXPECT_NE(Log().find(dir_ / "src/shown.txt = "), std::string::npos);
  EXPECT_EQ(Log().find("secret.txt"), std::string::npos);
  EXPECT_EQ(Log().find("inner.txt"), std::string::npos);  // a hidden folder is not entered
  o().LogFile[0] = '\0';
  fs_.calls.listedAttributes = 0;
  EXPECT_EQ(Copy(), 0);
  EXPECT_EQ(fs_.calls.listedAttributes, 1);  // the folder's, before entering it

  // New files: the visible one is asked about and copied, the hidden one not.
  fs_.Remove(dir_ / "dst");
  o().PromptCreate = 1;
  rec().answers = {AnswerYes};
  EXPECT_EQ(Copy(), 1);
  ASSERT_EQ(rec().questions.size(), 1u);
  EXPECT_EQ(rec().questions[0].second, dir_ / "dst/shown.txt");
  EXPECT_EQ(rec().files, std::vector<std::string>{dir_ / "src/shown.txt"});
  EXPECT_FALSE(Exists("dst/secret.txt"));
}

// A file moved by renaming gets the attributes its copy would: read-only
// dropped without -K, the archive bit dropped under -M.
TEST_F(TreeCopyTest, MovedFilesGetTheAttributesOfACopy) {
  dir_.Write("src/ro.txt", "r");
  dir_.Write("src/plain.txt", "p");
  ASSERT_FALSE(files_.SetAttributes(dir_ / "src/ro.txt", attr::ReadOnly | attr::Archive));
  o().DeleteSource = 1;
  o().KeepSourceDirs = 1;
  EXPECT_EQ(Copy(), 2);
  EXPECT_EQ(fs_.calls.move, 2);
  EXPECT_EQ(files_.Attributes(dir_ / "dst/ro.txt"), attr::Archive);
  EXPECT_EQ(files_.Attributes(dir_ / "dst/plain.txt"), attr::Archive);
  dir_.Write("src/m.txt", "m");
  o().ArchiveClear = 1;
  EXPECT_EQ(Copy(), 1);
  EXPECT_EQ(files_.Attributes(dir_ / "dst/m.txt"), attr::Normal);
}

TEST_F(TreeCopyTest, TreeOnlyCreatesFoldersWithoutFiles) {
  MakeTree();
  dir_.Write("src/skip/only.log", "z");
  o().HasExclude = 1;
  session_.masks.exclusions = {"*.LOG"};
  o().TreeOnly = 1;
  o().DeleteSource = 1;
  EXPECT_EQ(Copy(), 0);
  EXPECT_TRUE(IsFolder("dst/sub"));
  EXPECT_FALSE(Exists("dst/skip"));   // no selected file in it or below
  EXPECT_FALSE(Exists("dst/empty"));
  EXPECT_FALSE(Exists("dst/a.txt"));
  EXPECT_FALSE(Exists("dst/sub/c.txt"));
  EXPECT_TRUE(Exists("src/a.txt"));   // nothing moved or deleted
  EXPECT_TRUE(rec().files.empty());

  o().CopyEmptySubdirs = 1;
  EXPECT_EQ(Copy(), 0);
  EXPECT_TRUE(IsFolder("dst/empty"));
  EXPECT_TRUE(IsFolder("dst/skip"));
  EXPECT_FALSE(Exists("dst/skip/only.log"));
}

TEST_F(TreeCopyTest, DestinationInsideTheSourceIsNotCopiedAgain) {
  MakeTree();
  o().CopySubdirs = 1;
  EXPECT_EQ(Copy("src", "src/sub/out"), 3);
  EXPECT_EQ(dir_.Read("src/sub/out/sub/c.txt"), "gamma");
  EXPECT_FALSE(Exists("src/sub/out/sub/out"));
  // A second run finds everything identical.
  EXPECT_EQ(Copy("src", "src/sub/out"), 0);
}

TEST_F(TreeCopyTest, SameFolderTwiceNeverLosesAFile) {
  MakeTree();
  o().CopySubdirs = 1;
  o().DeleteSource = 1;
  o().Force = 1;
  EXPECT_EQ(Copy("src", "src"), 0);
  EXPECT_EQ(dir_.Read("src/a.txt"), "alpha");
  EXPECT_EQ(dir_.Read("src/sub/c.txt"), "gamma");
}

TEST_F(TreeCopyTest, DeepTreeIsCopied) {
  std::string relative = "src";
  for (int i = 0; i < 1000; ++i) relative += "/d";
  dir_.Write(relative + "/leaf.txt", "deep");
  o().CopySubdirs = 1;
  EXPECT_EQ(Copy(), 1);
  EXPECT_EQ(files_.ReadAll(dir_ / ("dst" + relative.substr(3) + "/leaf.txt")), "deep");
}

TEST_F(TreeCopyTest, LinkedFoldersAndSpecialFilesAreNotFollowed) {
  MakeTree();
  fs_.Link(dir_ / "src/sub/loop", dir_ / "src");
  fs_.Link(dir_ / "src/again", dir_ / "src/sub");
  fs_.Link(dir_ / "src/link.txt", dir_ / "src/a.txt");
  fs_.MakeSpecial(dir_ / "src/fifo");
  o().CopySubdirs = 1;
  EXPECT_EQ(Copy(), 4);
  EXPECT_FALSE(Exists("dst/sub/loop"));
  EXPECT_FALSE(Exists("dst/again"));
  EXPECT_FALSE(Exists("dst/fifo"));
  EXPECT_EQ(dir_.Read("dst/link.txt"), "alpha");  // a link to a file gives its content
  EXPECT_FALSE(fs_.IsLink(dir_ / "dst/link.txt"));
}

// A source file that cannot be looked at when the selection needs its size
// and time is a failed copy; one gone since the listing is no entry at all.
TEST_F(TreeCopyTest, ASourceThatCannotBeLookedAtIsAFailedCopy) {
  MakeTree();
  ASSERT_EQ(Copy(), 2);
  FaultsOf("src/b.txt").look = Fail(std::errc::no_such_file_or_directory);
  EXPECT_EQ(Copy(), 0);
  EXPECT_EQ(session_.status, -1);
  EXPECT_TRUE(rec().errors.empty());
  FaultsOf("src/b.txt").look = Fail(std::errc::io_error);
  o().Force = 1;  // a.txt is copied again, b.txt cannot be judged
  EXPECT_EQ(Copy(), 0);
  EXPECT_EQ(session_.status, ResultCopyFailed);
  EXPECT_EQ(rec().errors,
            std::vector<std::string>{"Erreur lors de la copie de \"" + dir_ / "src/b.txt" + "\"."});
}

TEST_F(TreeCopyTest, ArchiveBitSelectsAndIsClearedOnTheCopy) {
  MakeTree();
  ASSERT_FALSE(files_.SetAttributes(dir_ / "src/b.txt", attr::Normal));
  o().ArchiveClear = 1;
  EXPECT_EQ(Copy(), 1);
  EXPECT_FALSE(Exists("dst/b.txt"));
  EXPECT_EQ(files_.Attributes(dir_ / "dst/a.txt"), attr::Normal);
  EXPECT_EQ(files_.Attributes(dir_ / "src/a.txt"), attr::Archive);  // the source keeps it
  o().ArchiveClear = 0;
  o().ArchiveOnly = 1;
  dir_.Write("src/a.txt", "alpha, again");
  EXPECT_EQ(Copy(), 1);
  EXPECT_EQ(files_.Attributes(dir_ / "dst/a.txt"), attr::Archive);
}

TEST_F(TreeCopyTest, MoveToAnotherFileSystemCopiesThenDeletes) {
  fs_.Mount(dir_ / "other");
  MakeTree();
  o().CopySubdirs = 1;
  o().DeleteSource = 1;
  o().Verify = 1;
  EXPECT_EQ(Copy("src", "other"), 3);
  EXPECT_EQ(fs_.calls.openForRead, 6);  // copied and verified, not renamed
  EXPECT_FALSE(Exists("src"));
  EXPECT_EQ(dir_.Read("other/sub/c.txt"), "gamma");
}

// The copy is the source again: bytes, write times to the tick, read-only
// kept under -K; no empty folder under -S. A second run copies nothing.
TEST_F(TreeCopyTest, SameAsTheSourceAndSecondRunCopiesNothing) {
  MakeTree();
  dir_.Write("src/sub/deeper/d.bin", std::string(200000, '\x5a'));
  dir_.Write("src/ro.txt", "read-only");
  ASSERT_FALSE(files_.SetAttributes(dir_ / "src/ro.txt", attr::ReadOnly | attr::Archive));
  fs_.SetWriteTime(dir_ / "src/sub/c.txt", *FileTimeFromUnix(981173106, 789000000));
  o().CopySubdirs = 1;
  o().KeepAttributes = 1;
  EXPECT_EQ(Copy(), 5);
  EXPECT_EQ(fs_.Names(dir_ / "dst"), (std::vector<std::string>{"a.txt", "b.txt", "ro.txt", "sub"}));
  EXPECT_EQ(fs_.Names(dir_ / "dst/sub"), (std::vector<std::string>{"c.txt", "deeper"}));
  for (const std::string file : {"a.txt", "b.txt", "ro.txt", "sub/c.txt", "sub/deeper/d.bin"}) {
    EXPECT_EQ(dir_.Read("dst/" + file), dir_.Read("src/" + file)) << file;
    EXPECT_EQ(fs_.WriteTime(dir_ / ("dst/" + file)), fs_.WriteTime(dir_ / ("src/" + file))) << file;
    EXPECT_EQ(fs_.Mode(dir_ / ("dst/" + file)), fs_.Mode(dir_ / ("src/" + file))) << file;
  }
  rec().files.clear();
  EXPECT_EQ(Copy(), 0);
  EXPECT_TRUE(rec().files.empty());
  EXPECT_EQ(session_.status, -1);
  EXPECT_EQ(session_.errors, 0);
}

// A listing that fails part-way is a failed copy, never the end of the
// folder; with -C the walk goes on and the error is counted.
TEST_F(TreeCopyTest, AListingThatFailsIsAFailedCopy) {
  MakeTree();
  FaultsOf("src/sub").list = Fail(std::errc::io_error);
  o().CopySubdirs = 1;
  o().Force = 1;
  EXPECT_EQ(Copy(), 2);  // the top folder's own files, "empty" before "sub"
  EXPECT_EQ(session_.status, ResultCopyFailed);
  EXPECT_EQ(rec().errors, std::vector<std::string>{"Erreur lors de la copie de \"" +
                                                   dir_ / "src/sub" + kPathSeparator + "\"."});
  session_.status = -1;
  o().IgnoreErrors = 1;
  session_.errors = 0;
  EXPECT_EQ(Copy(), 2);
  EXPECT_EQ(session_.errors, 1);
  FaultsOf("src").list = Fail(std::errc::io_error);
  EXPECT_EQ(Copy(), 0);
  EXPECT_EQ(session_.errors, 2);
}

// A rename refused across devices (bind mounts of one file system) becomes
// copy then delete, as a move to another volume does.
TEST_F(TreeCopyTest, AMoveRefusedAcrossDevicesCopiesThenDeletes) {
  MakeTree();
  fs_.Mount(dir_ / "dst", /*bind=*/true);
  o().CopySubdirs = 1;
  o().DeleteSource = 1;
  o().Verify = 1;
  EXPECT_EQ(Copy(), 3);
  EXPECT_EQ(session_.status, -1);
  EXPECT_EQ(fs_.calls.move, 3);
  EXPECT_EQ(fs_.calls.openForRead, 6);  // copied and verified
  EXPECT_EQ(dir_.Read("dst/sub/c.txt"), "gamma");
  EXPECT_FALSE(Exists("src"));
}

// Under -L and -T nothing in the file system changes but the folders -T makes.
TEST_F(TreeCopyTest, DryRunsWriteNoAttributeAndDeleteNoSource) {
  MakeTree();
  ASSERT_FALSE(files_.SetAttributes(dir_ / "src/a.txt", attr::ReadOnly | attr::Archive));
  for (int treeOnly : {0, 1}) {
    o().ListOnly = !treeOnly;
    o().TreeOnly = treeOnly;
    o().DeleteSource = 1;
    o().OverwriteReadOnly = 1;
    o().CopySubdirs = 1;
    Copy();
    EXPECT_TRUE(Exists("src/a.txt"));
    EXPECT_TRUE(Exists("src/empty"));
    EXPECT_EQ(files_.Attributes(dir_ / "src/a.txt"), attr::ReadOnly | attr::Archive);
    EXPECT_FALSE(Exists("dst/a.txt"));
  }
}

// The copy's temporary file has a fresh name: a user's file that looks like
// an old temporary name is neither deleted nor taken for a copy.
TEST_F(TreeCopyTest, FilesNamedLikeTemporariesAreTheUsersOwn) {
  dir_.Write("src/report.txt", "new");
  dir_.Write("dst/report.txt", "old");
  dir_.Write("dst/.report.txt.vxpart", "precious");
  dir_.Write("dst/report.txt.vxpart", "precious");
  fs_.SetWriteTime(dir_ / "dst/report.txt",
                   fs_.WriteTime(dir_ / "src/report.txt") - 864000000000);  // a day older
  EXPECT_EQ(Copy(), 1);
  EXPECT_EQ(dir_.Read("dst/report.txt"), "new");
  EXPECT_EQ(dir_.Read("dst/.report.txt.vxpart"), "precious");
  EXPECT_EQ(dir_.Read("dst/report.txt.vxpart"), "precious");

  // Both files moved, each to its own name.
  dir_.Write("moved/foo", "foo");
  dir_.Write("moved/.foo.vxpart", "second");
  dir_.Write("moved/foo.vxpart", "third");
  o().CopyHidden = 1;
  o().DeleteSource = 1;
  EXPECT_EQ(CopyTree(session_, dir_ / "moved", dir_ / "dst2"), 3);
  EXPECT_EQ(dir_.Read("dst2/foo"), "foo");
  EXPECT_EQ(dir_.Read("dst2/.foo.vxpart"), "second");
  EXPECT_EQ(dir_.Read("dst2/foo.vxpart"), "third");
  EXPECT_EQ(files_.Names(dir_ / "dst2", true).size(), 3u);
}

// A destination subfolder that is a link leads out of the destination:
// nothing is written through it, each file is a failed copy.
TEST_F(TreeCopyTest, ADestinationFolderLinkIsNeverWrittenThrough) {
  MakeTree();
  dir_.Write("outside/c.txt", "outside");
  fs_.Link(dir_ / "dst/sub", dir_ / "outside");
  o().CopySubdirs = 1;
  o().Force = 1;
  o().IgnoreErrors = 1;
  o().OverwriteReadOnly = 1;
  EXPECT_EQ(Copy(), 2);
  EXPECT_EQ(session_.errors, 1);
  EXPECT_EQ(dir_.Read("outside/c.txt"), "outside");
  EXPECT_EQ(files_.Names(dir_ / "outside", true), std::vector<std::string>{"c.txt"});
  EXPECT_TRUE(fs_.IsLink(dir_ / "dst/sub"));
}

// A link to a file is copied as its content, also by a move, which then
// removes the link; attributes are never written through it (-X, -R).
TEST_F(TreeCopyTest, LinksToFilesMoveAsContentAndKeepTheirTargetsAlone) {
  dir_.Write("data/real.txt", "real");
  fs_.SetMode(dir_ / "data/real.txt", 0444);
  dir_.Write("src/plain.txt", "plain");
  fs_.Link(dir_ / "src/link.txt", "../data/real.txt");
  dir_.Write("data/other.txt", "other");
  fs_.SetMode(dir_ / "data/other.txt", 0444);
  fs_.Link(dir_ / "out/a/plain.txt", dir_ / "data/other.txt");
  o().DeleteSource = 1;
  o().OverwriteReadOnly = 1;
  o().Force = 1;
  EXPECT_EQ(CopyTree(session_, dir_ / "src", dir_ / "out/a"), 2);
  EXPECT_EQ(session_.status, -1);
  EXPECT_EQ(dir_.Read("out/a/link.txt"), "real");
  EXPECT_FALSE(fs_.IsLink(dir_ / "out/a/link.txt"));
  EXPECT_EQ(dir_.Read("out/a/plain.txt"), "plain");
  EXPECT_FALSE(fs_.IsLink(dir_ / "out/a/plain.txt"));
  EXPECT_FALSE(Exists("src"));  // the link went, and its emptied folder
  EXPECT_EQ(dir_.Read("data/real.txt"), "real");
  EXPECT_EQ(fs_.Mode(dir_ / "data/real.txt"), 0444);
  EXPECT_EQ(dir_.Read("data/other.txt"), "other");
  EXPECT_EQ(fs_.Mode(dir_ / "data/other.txt"), 0444);
}

// Folders the copy creates keep their source folder's bits.
TEST_F(TreeCopyTest, PrivateFoldersStayPrivate) {
  dir_.Write("src/private/secret.txt", "s");
  dir_.Write("src/shared/group.txt", "g");
  fs_.SetMode(dir_ / "src", 0750);
  fs_.SetMode(dir_ / "src/private", 0700);
  fs_.SetMode(dir_ / "src/shared", 02770);
  o().CopySubdirs = 1;
  EXPECT_EQ(Copy(), 2);
  EXPECT_EQ(fs_.Mode(dir_ / "dst"), 0750);
  EXPECT_EQ(fs_.Mode(dir_ / "dst/private"), 0700);
  EXPECT_EQ(fs_.Mode(dir_ / "dst/shared"), 02770);
}

// A name with a line break keeps its log entry on one line; shown to the
// host unchanged (the console decides how a terminal shows it).
TEST_F(TreeCopyTest, LineBreaksInNamesStayOnOneLogLine) {
  dir_.Write("src/deux\nlignes.txt", "x");
  o().LogMode = 2;
  EXPECT_EQ(Copy(), 1);
  EXPECT_EQ(dir_.Read("dst/deux\nlignes.txt"), "x");
  EXPECT_NE(Log().find("\"" + dir_ / "src/deux?lignes.txt\" -> \"" + dir_ / "dst/deux?lignes.txt\"."),
            std::string::npos)
      << Log();
  EXPECT_EQ(rec().files, std::vector<std::string>{dir_ / "src/deux\nlignes.txt"});
}

// -OWNER and -XATTR reach the copies and the folders the copy creates (the
// root among them); where owners cannot be given, the copies stay the
// process's and nothing fails. Without them, nothing is carried.
TEST_F(TreeCopyTest, OwnerAndExtendedAttributesOnlyWhenAsked) {
  MakeTree();
  for (const char* path : {"src", "src/sub", "src/sub/c.txt"}) {
    fs_.SetOwner(dir_ / path, 7);
    fs_.Xattrs(dir_ / path)["user.comment"] = path;
  }
  o().CopySubdirs = 1;
  EXPECT_EQ(Copy("src", "plain"), 3);
  EXPECT_EQ(fs_.Owner(dir_ / "plain/sub/c.txt"), 0);
  EXPECT_TRUE(fs_.Xattrs(dir_ / "plain/sub").empty());

  session_.extras.keepOwner = true;
  session_.extras.copyXattrs = true;
  EXPECT_EQ(Copy("src", "kept"), 3);
  for (const char* path : {"", "/sub", "/sub/c.txt"}) {
    EXPECT_EQ(fs_.Owner(dir_ / ("kept" + std::string(path))), 7) << path;
    EXPECT_EQ(fs_.Xattrs(dir_ / ("kept" + std::string(path)))["user.comment"], "src" + std::string(path));
  }
  EXPECT_EQ(fs_.Owner(dir_ / "kept/a.txt"), 0);

  fs_.mayChangeOwners = false;
  EXPECT_EQ(Copy("src", "unprivileged"), 3);
  EXPECT_EQ(fs_.Owner(dir_ / "unprivileged/sub/c.txt"), 0);
  EXPECT_EQ(fs_.Xattrs(dir_ / "unprivileged/sub/c.txt")["user.comment"], "src/sub/c.txt");
  EXPECT_EQ(session_.status, -1);
  EXPECT_TRUE(rec().errors.empty());
}

// -HARDLINKS: names of one file become names of one copy (each shown and
// counted); a rerun leaves the groups alone and mends one whose names became
// separate files; under -X a group moves whole. Without it, each is a copy.
TEST_F(TreeCopyTest, HardLinkedNamesStayLinked) {
  dir_.Write("src/a/one", "111");
  fs_.HardLink(dir_ / "src/a/two", dir_ / "src/a/one");
  fs_.HardLink(dir_ / "src/b/three", dir_ / "src/a/one");
  dir_.Write("src/pair", "22");
  fs_.HardLink(dir_ / "src/b/pair2", dir_ / "src/pair");
  dir_.Write("src/solo", "3");
  o().CopySubdirs = 1;
  EXPECT_EQ(Copy("src", "plain"), 6);
  EXPECT_NE(fs_.Id(dir_ / "plain/a/one"), fs_.Id(dir_ / "plain/a/two"));

  session_.extras.hardLinks = true;
  rec().files.clear();
  EXPECT_EQ(Copy(), 6);
  EXPECT_EQ(rec().files.size(), 6u);
  EXPECT_EQ(fs_.calls.link, 3);
  const FileId one = fs_.Id(dir_ / "dst/a/one");
  EXPECT_EQ(fs_.Id(dir_ / "dst/a/two"), one);
  EXPECT_EQ(fs_.Id(dir_ / "dst/b/three"), one);
  EXPECT_EQ(fs_.Id(dir_ / "dst/b/pair2"), fs_.Id(dir_ / "dst/pair"));
  EXPECT_NE(fs_.Id(dir_ / "dst/pair"), one);
  EXPECT_EQ(dir_.Read("dst/b/three"), "111");

  EXPECT_EQ(Copy(), 0);
  fs_.Remove(dir_ / "dst/b/three");
  dir_.Write("dst/b/three", "111");
  fs_.SetWriteTime(dir_ / "dst/b/three", fs_.WriteTime(dir_ / "src/a/one"));
  EXPECT_EQ(Copy(), 1);
  EXPECT_EQ(fs_.Id(dir_ / "dst/b/three"), one);

  o().DeleteSource = 1;
  EXPECT_EQ(Copy("src", "moved"), 6);
  EXPECT_FALSE(Exists("src/a/one") || Exists("src/a/two") || Exists("src/b/three") || Exists("src/b/pair2"));
  EXPECT_EQ(fs_.Id(dir_ / "moved/b/three"), fs_.Id(dir_ / "moved/a/one"));
  EXPECT_EQ(fs_.Id(dir_ / "moved/b/pair2"), fs_.Id(dir_ / "moved/pair"));
  EXPECT_EQ(session_.status, -1);
}

}  // namespace
}  // namespace vx
