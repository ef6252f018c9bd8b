// The tree copy on real temporary trees.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "core/HolyCoreUnit.h"
#include "tests/unit/Recorder.h"
#include "tests/unit/TempDir.h"

namespace vx {
namespace {

namespace stdfs = std::filesystem;
using test::Recorder;

bool WindowsBuild() { return kPathSeparator == '\\'; }

// The real file system with faults on demand.
class FaultyFiles : public NativeFileSystem {
 public:
  bool corruptCopies = false;
  int failingDeletes = 0;  // deletions that fail before one succeeds; -1 for all
  int digestOpens = 0;
  std::string longName, shortName;  // ShortPath swaps one for the other when set

  bool CopyFile(const std::string& source, const std::string& target) override {
    if (!NativeFileSystem::CopyFile(source, target)) return false;
    if (corruptCopies) {
      std::string error;
      SetAttributes(target, attr::Normal);
      RewriteFile(target, "corrupted", error);
    }
    return true;
  }
  bool DeleteFile(const std::string& path) override {
    if (failingDeletes != 0) {
      if (failingDeletes > 0) --failingDeletes;
      return false;
    }
    return NativeFileSystem::DeleteFile(path);
  }
  std::string ShortPath(const std::string& path) override {
    const std::size_t at = longName.empty() ? std::string::npos : path.find(longName);
    if (at == std::string::npos) return NativeFileSystem::ShortPath(path);
    return path.substr(0, at) + shortName + path.substr(at + longName.size());
  }
  std::unique_ptr<InputFile> OpenForRead(const std::string& path, Sharing sharing,
                                         std::string& error) override {
    ++digestOpens;
    return NativeFileSystem::OpenForRead(path, sharing, error);
  }
};

class TreeCopyTest : public ::testing::Test {
 protected:
  TreeCopyTest() : session_(fs_) {
    ExclusionList().clear();
    InclusionList().clear();
    session_.options = test::MakeOptions(dir_ / "src", dir_ / "dst");
    session_.callbacks = Recorder::All();
    std::strncpy(session_.options.LogFile, (dir_ / "log.txt").c_str(), kMaxTextLength);
    ErrorCount = 0;
  }
  // A small tree: two files on top, one below, an empty folder.
  void MakeTree() {
    dir_.Write("src/a.txt", "alpha");
    dir_.Write("src/b.txt", "beta");
    dir_.Write("src/sub/c.txt", "gamma");
    stdfs::create_directories(dir_ / "src/empty");
  }
  int32_t Copy(const std::string& source = "src", const std::string& dest = "dst") {
    return CopyTree(session_, dir_ / source, dest == "NUL" ? dest : dir_ / dest, std::string());
  }
  bool Exists(const std::string& relative) { return stdfs::exists(dir_ / relative); }
  std::string Log() { return Exists("log.txt") ? dir_.Read("log.txt") : std::string(); }
  Recorder& rec() { return Recorder::Current(); }
  CopyRec& o() { return session_.options; }

  test::TempDir dir_;
  FaultyFiles fs_;
  Session session_;
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
  EXPECT_TRUE(stdfs::is_directory(dir_ / "dst/empty"));
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
  EXPECT_EQ(Copy("src", "NUL"), 3);
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
  EXPECT_EQ(fs_.digestOpens, 2);  // only b.txt was copied and verified
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
  ASSERT_TRUE(fs_.SetAttributes(dir_ / "dst/b.txt", attr::ReadOnly));
  o().CopySubdirs = 1;
  EXPECT_EQ(Copy(), 0);  // a.txt was copied but the folder left at once
  EXPECT_EQ(session_.status, ResultCopyFailed);
  EXPECT_EQ(rec().errors,
            std::vector<std::string>{"Erreur lors de la copie de \"" + dir_ / "src/b.txt" + "\"."});
  EXPECT_EQ(dir_.Read("dst/b.txt"), "locked");
  EXPECT_FALSE(Exists("dst/sub"));
  EXPECT_NE(Log().find("Erreur lors de la copie de \"" + dir_ / "src/b.txt" + "\"."),
            std::string::npos);
  EXPECT_EQ(ErrorCount, 1);
}

TEST_F(TreeCopyTest, IgnoredFailureInLogModeZeroCountsNothing) {
  MakeTree();
  dir_.Write("dst/b.txt", "locked");
  ASSERT_TRUE(fs_.SetAttributes(dir_ / "dst/b.txt", attr::ReadOnly));
  o().IgnoreErrors = 1;
  o().LogMode = 0;
  o().CopySubdirs = 1;
  EXPECT_EQ(Copy(), 2);
  EXPECT_EQ(session_.status, -1);
  EXPECT_EQ(ErrorCount, 0);
  EXPECT_EQ(Log(), "");
  EXPECT_TRUE(rec().errors.empty());
}

TEST_F(TreeCopyTest, ReadOnlyTargetsAndSources) {
  dir_.Write("src/ro.txt", "new");
  ASSERT_TRUE(fs_.SetAttributes(dir_ / "src/ro.txt", attr::ReadOnly | attr::Archive));
  EXPECT_EQ(Copy(), 1);
  EXPECT_FALSE(fs_.GetAttributes(dir_ / "dst/ro.txt") & attr::ReadOnly);

  dir_.Write("dst/ro.txt", "older file");
  o().KeepAttributes = 1;
  EXPECT_EQ(Copy(), 1);
  EXPECT_TRUE(fs_.GetAttributes(dir_ / "dst/ro.txt") & attr::ReadOnly);

  // Over a read-only target only with -R.
  dir_.Write("src/ro.txt", "newest!");
  o().IgnoreErrors = 1;
  EXPECT_EQ(Copy(), 0);
  EXPECT_EQ(dir_.Read("dst/ro.txt"), "new");
  o().OverwriteReadOnly = 1;
  EXPECT_EQ(Copy(), 1);
  EXPECT_EQ(dir_.Read("dst/ro.txt"), "newest!");
}

TEST_F(TreeCopyTest, DigestMismatchStopsOrKeepsTheSource) {
  dir_.Write("src/a.txt", "alpha");
  dir_.Write("src/b.txt", "beta");
  fs_.corruptCopies = true;
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
  EXPECT_EQ(ErrorCount, 3);
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
  fs_.failingDeletes = 2;
  rec().answers = {AnswerYes, AnswerNo};  // each answer tries again
  EXPECT_EQ(Copy(), 2);
  ASSERT_EQ(rec().questions.size(), 2u);
  EXPECT_EQ(rec().questions[0], std::make_pair(AskDeleteFailed, dir_ / "dst/a.txt"));
  EXPECT_FALSE(Exists("src/a.txt"));

  dir_.Write("src/a.txt", "alpha");
  dir_.Write("src/b.txt", "beta");
  reset();
  fs_.failingDeletes = -1;
  rec().answers = {AnswerIgnore, AnswerCancel};
  EXPECT_EQ(Copy(), 0);  // a.txt counted in this folder, which was left at once
  EXPECT_EQ(session_.status, ResultCancelled);
  EXPECT_EQ(rec().states, std::vector<int32_t>{StateCancelled});
  EXPECT_TRUE(Exists("src/a.txt"));

  session_.status = -1;
  reset();
  o().Silent = 1;
  ErrorCount = 0;
  EXPECT_EQ(Copy(), 2);
  EXPECT_TRUE(rec().questions.empty());
  EXPECT_EQ(ErrorCount, 2);
  EXPECT_NE(Log().find("Impossible de supprimer le fichier \"" + dir_ / "src/b.txt" + "\"."),
            std::string::npos);
}

TEST_F(TreeCopyTest, ShortNamesAreCutAtTheShortFormOfTheRoot) {
  dir_.Write("LongFolderName/sub/file.txt", "x");
  std::error_code ec;
  stdfs::create_directory_symlink(dir_ / "LongFolderName", dir_ / "LONGFO~1", ec);
  if (ec) GTEST_SKIP() << "no folder links here to stand for a short name";
  fs_.longName = "LongFolderName";
  fs_.shortName = "LONGFO~1";
  o().ShortNames = 1;
  o().CopySubdirs = 1;
  EXPECT_EQ(Copy("LongFolderName"), 1);
  EXPECT_EQ(dir_.Read("dst/sub/file.txt"), "x");
}

TEST_F(TreeCopyTest, HiddenFilesOnlyWithH) {
  dir_.Write("src/shown.txt", "1");
  dir_.Write("src/secret.txt", "2");
  ASSERT_TRUE(fs_.SetAttributes(dir_ / "src/secret.txt", attr::Hidden | attr::Archive));
  EXPECT_EQ(Copy(), 1);
  EXPECT_FALSE(Exists("dst/secret.txt"));
  o().CopyHidden = 1;
  o().Force = 1;
  EXPECT_EQ(Copy(), 2);
  EXPECT_TRUE(fs_.GetAttributes(dir_ / "dst/secret.txt") & attr::Hidden);
}

TEST_F(TreeCopyTest, TreeOnlyCreatesFoldersWithoutFiles) {
  MakeTree();
  dir_.Write("src/skip/only.log", "z");
  o().HasExclude = 1;
  ExclusionList() = {"*.LOG"};
  o().TreeOnly = 1;
  o().DeleteSource = 1;
  EXPECT_EQ(Copy(), 0);
  EXPECT_TRUE(stdfs::is_directory(dir_ / "dst/sub"));
  EXPECT_FALSE(Exists("dst/skip"));   // no selected file in it or below
  EXPECT_FALSE(Exists("dst/empty"));
  EXPECT_FALSE(Exists("dst/a.txt"));
  EXPECT_FALSE(Exists("dst/sub/c.txt"));
  EXPECT_TRUE(Exists("src/a.txt"));   // nothing moved or deleted
  EXPECT_TRUE(rec().files.empty());

  o().CopyEmptySubdirs = 1;
  EXPECT_EQ(Copy(), 0);
  EXPECT_TRUE(stdfs::is_directory(dir_ / "dst/empty"));
  EXPECT_TRUE(stdfs::is_directory(dir_ / "dst/skip"));
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
  // Windows paths stop at 260 characters; the depth is the point here.
  const int depth = WindowsBuild() ? 60 : 1000;
  std::string relative = "src";
  for (int i = 0; i < depth; ++i) relative += "/d";
  std::string error;
  ASSERT_TRUE(fs_.CreateDirectories(dir_ / relative));
  ASSERT_TRUE(fs_.RewriteFile(dir_ / (relative + "/leaf.txt"), "deep", error));
  o().CopySubdirs = 1;
  EXPECT_EQ(Copy(), 1);
  std::string bytes;
  EXPECT_TRUE(fs_.ReadWholeFile(dir_ / ("dst" + relative.substr(3) + "/leaf.txt"), bytes, error));
  EXPECT_EQ(bytes, "deep");
}

// Links, special files, other file systems and the comparison with cp -a
// need the Linux build.
class TreeCopyLinuxTest : public TreeCopyTest {
 protected:
  void SetUp() override {
    if (WindowsBuild()) GTEST_SKIP() << "Linux links, FIFOs and tools";
  }
  int Shell(const std::string& command) { return std::system(command.c_str()); }
};

TEST_F(TreeCopyLinuxTest, LinkedFoldersAndSpecialFilesAreNotFollowed) {
  MakeTree();
  stdfs::create_directory_symlink(dir_ / "src", dir_ / "src/sub/loop");
  stdfs::create_directory_symlink(dir_ / "src/sub", dir_ / "src/again");
  stdfs::create_symlink(dir_ / "src/a.txt", dir_ / "src/link.txt");
  ASSERT_EQ(Shell("mkfifo '" + dir_ / "src/fifo" + "'"), 0);
  o().CopySubdirs = 1;
  EXPECT_EQ(Copy(), 4);
  EXPECT_FALSE(Exists("dst/sub/loop"));
  EXPECT_FALSE(Exists("dst/again"));
  EXPECT_FALSE(Exists("dst/fifo"));
  EXPECT_EQ(dir_.Read("dst/link.txt"), "alpha");  // a link to a file gives its content
  EXPECT_FALSE(stdfs::is_symlink(dir_ / "dst/link.txt"));
}

TEST_F(TreeCopyLinuxTest, ArchiveBitSelectsAndIsClearedOnTheCopy) {
  MakeTree();
  ASSERT_TRUE(fs_.SetAttributes(dir_ / "src/b.txt", attr::Normal));
  o().ArchiveClear = 1;
  EXPECT_EQ(Copy(), 1);
  EXPECT_FALSE(Exists("dst/b.txt"));
  EXPECT_EQ(fs_.GetAttributes(dir_ / "dst/a.txt"), attr::Normal);
  EXPECT_EQ(fs_.GetAttributes(dir_ / "src/a.txt"), attr::Archive);  // the source keeps it
  o().ArchiveClear = 0;
  o().ArchiveOnly = 1;
  dir_.Write("src/a.txt", "alpha, again");
  EXPECT_EQ(Copy(), 1);
  EXPECT_EQ(fs_.GetAttributes(dir_ / "dst/a.txt"), attr::Archive);
}

TEST_F(TreeCopyLinuxTest, MoveToAnotherFileSystemCopiesThenDeletes) {
  if (!stdfs::is_directory("/dev/shm")) GTEST_SKIP() << "no tmpfs at /dev/shm";
  test::TempDir dummy;  // a unique name for the tmpfs side
  const std::string other = "/dev/shm/" + stdfs::path(dummy.path()).filename().string();
  MakeTree();
  o().CopySubdirs = 1;
  o().DeleteSource = 1;
  o().Verify = 1;
  EXPECT_EQ(CopyTree(session_, dir_ / "src", other, std::string()), 3);
  EXPECT_EQ(fs_.digestOpens, 6);  // copied and verified, not renamed
  EXPECT_FALSE(Exists("src"));
  std::string bytes, error;
  EXPECT_TRUE(fs_.ReadWholeFile(other + "/sub/c.txt", bytes, error));
  EXPECT_EQ(bytes, "gamma");
  stdfs::remove_all(other);
}

TEST_F(TreeCopyLinuxTest, SameAsCpArchiveAndSecondRunCopiesNothing) {
  MakeTree();
  dir_.Write("src/sub/deeper/d.bin", std::string(200000, '\x5a'));
  dir_.Write("src/ro.txt", "read-only");
  ASSERT_TRUE(fs_.SetAttributes(dir_ / "src/ro.txt", attr::ReadOnly | attr::Archive));
  ASSERT_EQ(Shell("touch -d '2001-02-03 04:05:06.789' '" + dir_ / "src/sub/c.txt" + "'"), 0);
  ASSERT_EQ(Shell("cp -a '" + dir_ / "src" + "' '" + dir_ / "ref" + "'"), 0);
  ASSERT_EQ(Shell("rmdir '" + dir_ / "ref/empty" + "'"), 0);  // -S leaves empty folders out
  o().CopySubdirs = 1;
  o().KeepAttributes = 1;
  EXPECT_EQ(Copy(), 5);
  EXPECT_EQ(Shell("diff -r '" + dir_ / "ref" + "' '" + dir_ / "dst" + "'"), 0);
  for (const char* file : {"a.txt", "b.txt", "ro.txt", "sub/c.txt", "sub/deeper/d.bin"}) {
    EXPECT_EQ(stdfs::last_write_time(dir_ / ("ref/" + std::string(file))),
              stdfs::last_write_time(dir_ / ("dst/" + std::string(file))))
        << file;
  }
  rec().files.clear();
  EXPECT_EQ(Copy(), 0);
  EXPECT_TRUE(rec().files.empty());
  EXPECT_EQ(session_.status, -1);
  EXPECT_EQ(ErrorCount, 0);
}

}  // namespace
}  // namespace vx
