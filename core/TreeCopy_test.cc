// The tree copy on real temporary trees.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <chrono>
#include <filesystem>

#include "core/HolyCoreUnit.h"
#include "support/md5.h"
#include "tests/unit/PathFiles.h"
#include "tests/unit/Recorder.h"
#include "platform/TestSystemTools.h"
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
  std::string unlistable;           // the path of a folder whose listing fails part-way
  bool renamesCrossDevices = false;  // as across bind mounts of one file system
  int moves = 0;
  int attributeReads = 0;       // DOS bits read after the listing
  std::string unlookable;       // the path of a file whose look-up fails with lookError
  std::errc lookError = std::errc::io_error;

  // The copy as read back with its first byte flipped, as if a write had gone wrong.
  class Flipped : public InputFile {
   public:
    explicit Flipped(std::unique_ptr<InputFile> file) : file_(std::move(file)) {}
    ErrorOr<int64_t> Size() override { return file_->Size(); }
    int64_t Position() override { return file_->Position(); }
    std::error_code Seek(int64_t position) override { return file_->Seek(position); }
    ErrorOr<std::size_t> Read(void* buffer, std::size_t count) override {
      const int64_t at = file_->Position();
      ErrorOr<std::size_t> n = file_->Read(buffer, count);
      if (n && *n > 0 && at == 0) static_cast<char*>(buffer)[0] ^= 0x5a;
      return n;
    }

   private:
    std::unique_ptr<InputFile> file_;
  };
  // Counts the digest's reads; corrupts the copies as read back.
  class Prepared : public PreparedCopy {
   public:
    Prepared(FaultyFiles& fs, std::unique_ptr<PreparedCopy> copy)
        : fs_(fs), copy_(std::move(copy)) {
      source_ = copy_->Source();
    }
    ErrorOr<std::unique_ptr<InputFile>> ReadSource() override {
      ++fs_.digestOpens;
      return copy_->ReadSource();
    }
    ErrorOr<std::unique_ptr<InputFile>> ReadCopy() override {
      ++fs_.digestOpens;
      ErrorOr<std::unique_ptr<InputFile>> copy = copy_->ReadCopy();
      if (!copy || !fs_.corruptCopies) return copy;
      return std::unique_ptr<InputFile>(std::make_unique<Flipped>(std::move(*copy)));
    }
    ErrorOr<bool> SourceUnchanged() override { return copy_->SourceUnchanged(); }
    std::error_code Commit() override { return copy_->Commit(); }

   private:
    FaultyFiles& fs_;
    std::unique_ptr<PreparedCopy> copy_;
  };
  ErrorOr<std::unique_ptr<PreparedCopy>> PrepareCopy(const Folder& from, std::string_view name,
                                                     const Folder& to, std::string_view target,
                                                     const CopyRequest& request) override {
    ErrorOr<std::unique_ptr<PreparedCopy>> copy = NativeFileSystem::PrepareCopy(from, name, to, target, request);
    if (!copy) return copy;
    return std::unique_ptr<PreparedCopy>(std::make_unique<Prepared>(*this, std::move(*copy)));
  }
  std::error_code DeleteMovedSource(const Folder& folder, std::string_view name,
                                    const SourceState& expected) override {
    if (failingDeletes != 0) {
      if (failingDeletes > 0) --failingDeletes;
      return std::make_error_code(std::errc::permission_denied);
    }
    return NativeFileSystem::DeleteMovedSource(folder, name, expected);
  }
  std::error_code MoveFile(const Folder& from, std::string_view name, const Folder& to,
                           std::string_view target) override {
    ++moves;
    if (renamesCrossDevices) return std::make_error_code(std::errc::cross_device_link);
    return NativeFileSystem::MoveFile(from, name, to, target);
  }
  std::error_code DeleteFile(const Folder& folder, std::string_view name) override {
    if (failingDeletes != 0) {
      if (failingDeletes > 0) --failingDeletes;
      return std::make_error_code(std::errc::permission_denied);
    }
    return NativeFileSystem::DeleteFile(folder, name);
  }
  ErrorOr<std::string> ShortPath(const std::string& path) override {
    const std::size_t at = longName.empty() ? std::string::npos : path.find(longName);
    if (at == std::string::npos) return NativeFileSystem::ShortPath(path);
    return path.substr(0, at) + shortName + path.substr(at + longName.size());
  }
  ErrorOr<std::unique_ptr<InputFile>> OpenForRead(const Folder& folder, std::string_view name,
                                                  Sharing sharing) override {
    ++digestOpens;
    return NativeFileSystem::OpenForRead(folder, name, sharing);
  }
  ErrorOr<Listing> List(const Folder& folder, const ListOptions& options) override {
    if (!unlistable.empty() && folder.Path() == unlistable)
      return std::make_error_code(std::errc::io_error);
    return NativeFileSystem::List(folder, options);
  }
  ErrorOr<EntryInfo> Look(const Folder& folder, std::string_view name) override {
    if (folder.PathOf(name) == unlookable) return std::make_error_code(lookError);
    return NativeFileSystem::Look(folder, name);
  }
  ErrorOr<uint32_t> ListedAttributes(const Folder& folder, const ListedEntry& entry) override {
    ++attributeReads;
    return NativeFileSystem::ListedAttributes(folder, entry);
  }
};

class TreeCopyTest : public ::testing::Test {
 protected:
  TreeCopyTest() : session_(fs_), files_(fs_) {
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
    return CopyTree(session_, dir_ / source, dest == "NUL" ? dest : dir_ / dest);
  }
  bool Exists(const std::string& relative) { return stdfs::exists(dir_ / relative); }
  std::string Log() { return Exists("log.txt") ? dir_.Read("log.txt") : std::string(); }
  Recorder& rec() { return Recorder::Current(); }
  CopyRec& o() { return session_.options; }

  test::TempDir dir_;
  FaultyFiles fs_;
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
  EXPECT_EQ(ErrorCount, 1);
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
  EXPECT_EQ(ErrorCount, 0);
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
  EXPECT_EQ(ErrorCount, 1);
  EXPECT_EQ(files_.Attributes(dir_ / "dst/a.txt"), before);
  EXPECT_EQ(dir_.Read("dst/a.txt/inner.txt"), "kept");
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

// A large file and its copy are digested at once: the log line still gives
// the source's digest first, and a good copy passes.
TEST_F(TreeCopyTest, LargeFilesAreVerifiedBothAtOnce) {
  const std::string bytes(static_cast<std::size_t>(kDigestBothAtOnce) + 4097, 'v');
  dir_.Write("src/large.bin", bytes);
  o().Verify = 1;
  EXPECT_EQ(Copy(), 1);
  EXPECT_EQ(Log(), "");
  EXPECT_EQ(fs_.digestOpens, 2);

  fs_.corruptCopies = true;
  o().Force = 1;
  EXPECT_EQ(Copy(), 0);
  EXPECT_EQ(session_.status, ResultDigestDiffers);
  const std::string sourceHex = DigestToHex(FileDigest(fs_, files_.Open(dir_ / "src"), "large.bin", ""));
  std::string flipped = bytes;
  flipped[0] ^= 0x5a;
  dir_.Write("flipped.bin", flipped);
  const std::string copyHex = DigestToHex(FileDigest(fs_, files_.Open(dir_.path()), "flipped.bin", ""));
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
  fs_.attributeReads = 0;
  EXPECT_EQ(Copy(), 0);
  EXPECT_EQ(fs_.attributeReads, WindowsBuild() ? 0 : 1);  // the folder's, before entering it

  // New files: the visible one is asked about and copied, the hidden one not.
  stdfs::remove_all(dir_ / "dst");
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
  EXPECT_EQ(fs_.moves, 2);
  EXPECT_EQ(files_.Attributes(dir_ / "dst/ro.txt"), attr::Archive);
  EXPECT_EQ(files_.Attributes(dir_ / "dst/plain.txt"), attr::Archive);
  // Wine reports the archive bit on every file.
  if (WindowsBuild()) return;
  dir_.Write("src/m.txt", "m");
  o().ArchiveClear = 1;
  EXPECT_EQ(Copy(), 1);
  EXPECT_EQ(files_.Attributes(dir_ / "dst/m.txt"), attr::Normal);
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
  ASSERT_FALSE(fs_.CreateDirectories(dir_ / relative));
  ASSERT_FALSE(fs_.ReplaceFile(dir_ / (relative + "/leaf.txt"), "deep"));
  o().CopySubdirs = 1;
  EXPECT_EQ(Copy(), 1);
  EXPECT_EQ(files_.ReadAll(dir_ / ("dst" + relative.substr(3) + "/leaf.txt")), "deep");
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

// A source file that cannot be looked at when the selection needs its size
// and time is a failed copy; one gone since the listing is no entry at all.
// (Windows lists every file with its size and time: nothing is looked up.)
TEST_F(TreeCopyLinuxTest, ASourceThatCannotBeLookedAtIsAFailedCopy) {
  MakeTree();
  ASSERT_EQ(Copy(), 2);
  fs_.unlookable = dir_ / "src/b.txt";
  fs_.lookError = std::errc::no_such_file_or_directory;
  EXPECT_EQ(Copy(), 0);
  EXPECT_EQ(session_.status, -1);
  EXPECT_TRUE(rec().errors.empty());
  fs_.lookError = std::errc::io_error;
  o().Force = 1;  // a.txt is copied again, b.txt cannot be judged
  EXPECT_EQ(Copy(), 0);
  EXPECT_EQ(session_.status, ResultCopyFailed);
  EXPECT_EQ(rec().errors,
            std::vector<std::string>{"Erreur lors de la copie de \"" + dir_ / "src/b.txt" + "\"."});
}

TEST_F(TreeCopyLinuxTest, ArchiveBitSelectsAndIsClearedOnTheCopy) {
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

TEST_F(TreeCopyLinuxTest, MoveToAnotherFileSystemCopiesThenDeletes) {
  if (!stdfs::is_directory("/dev/shm")) GTEST_SKIP() << "no tmpfs at /dev/shm";
  test::TempDir dummy;  // a unique name for the tmpfs side
  const std::string other = "/dev/shm/" + stdfs::path(dummy.path()).filename().string();
  MakeTree();
  o().CopySubdirs = 1;
  o().DeleteSource = 1;
  o().Verify = 1;
  EXPECT_EQ(CopyTree(session_, dir_ / "src", other), 3);
  EXPECT_EQ(fs_.digestOpens, 6);  // copied and verified, not renamed
  EXPECT_FALSE(Exists("src"));
  EXPECT_EQ(files_.ReadAll(other + "/sub/c.txt"), "gamma");
  stdfs::remove_all(other);
}

TEST_F(TreeCopyLinuxTest, SameAsCpArchiveAndSecondRunCopiesNothing) {
  MakeTree();
  dir_.Write("src/sub/deeper/d.bin", std::string(200000, '\x5a'));
  dir_.Write("src/ro.txt", "read-only");
  ASSERT_FALSE(files_.SetAttributes(dir_ / "src/ro.txt", attr::ReadOnly | attr::Archive));
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

// A listing that fails part-way is a failed copy, never the end of the
// folder; with -C the walk goes on and the error is counted.
TEST_F(TreeCopyTest, AListingThatFailsIsAFailedCopy) {
  MakeTree();
  fs_.unlistable = dir_ / "src/sub";
  o().CopySubdirs = 1;
  o().Force = 1;
  EXPECT_EQ(Copy(), 2);  // the top folder's own files, "empty" before "sub"
  EXPECT_EQ(session_.status, ResultCopyFailed);
  EXPECT_EQ(rec().errors, std::vector<std::string>{"Erreur lors de la copie de \"" +
                                                   dir_ / "src/sub" + kPathSeparator + "\"."});
  session_.status = -1;
  o().IgnoreErrors = 1;
  ErrorCount = 0;
  EXPECT_EQ(Copy(), 2);
  EXPECT_EQ(ErrorCount, 1);
  fs_.unlistable = dir_ / "src";
  EXPECT_EQ(Copy(), 0);
  EXPECT_EQ(ErrorCount, 2);
}

// A rename refused across devices (bind mounts of one file system) becomes
// copy then delete, as a move to another volume does.
TEST_F(TreeCopyTest, AMoveRefusedAcrossDevicesCopiesThenDeletes) {
  MakeTree();
  fs_.renamesCrossDevices = true;
  o().CopySubdirs = 1;
  o().DeleteSource = 1;
  o().Verify = 1;
  EXPECT_EQ(Copy(), 3);
  EXPECT_EQ(session_.status, -1);
  EXPECT_EQ(fs_.moves, 3);
  EXPECT_EQ(fs_.digestOpens, 6);  // copied and verified
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
  stdfs::last_write_time(dir_ / "dst/report.txt",
                         stdfs::last_write_time(dir_ / "src/report.txt") - std::chrono::hours(24));
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
TEST_F(TreeCopyLinuxTest, ADestinationFolderLinkIsNeverWrittenThrough) {
  MakeTree();
  dir_.Write("outside/c.txt", "outside");
  stdfs::create_directories(dir_ / "dst");
  ASSERT_TRUE(test::Symlink(dir_ / "outside", dir_ / "dst/sub"));
  o().CopySubdirs = 1;
  o().Force = 1;
  o().IgnoreErrors = 1;
  o().OverwriteReadOnly = 1;
  EXPECT_EQ(Copy(), 2);
  EXPECT_EQ(ErrorCount, 1);
  EXPECT_EQ(dir_.Read("outside/c.txt"), "outside");
  EXPECT_EQ(files_.Names(dir_ / "outside", true), std::vector<std::string>{"c.txt"});
  EXPECT_TRUE(test::IsSymlink(dir_ / "dst/sub"));
}

// A link to a file is copied as its content, also by a move, which then
// removes the link; attributes are never written through it (-X, -R).
TEST_F(TreeCopyLinuxTest, LinksToFilesMoveAsContentAndKeepTheirTargetsAlone) {
  dir_.Write("data/real.txt", "real");
  ASSERT_TRUE(test::SetMode(dir_ / "data/real.txt", 0444));
  dir_.Write("src/plain.txt", "plain");
  ASSERT_TRUE(test::Symlink("../data/real.txt", dir_ / "src/link.txt"));
  dir_.Write("data/other.txt", "other");
  ASSERT_TRUE(test::SetMode(dir_ / "data/other.txt", 0444));
  stdfs::create_directories(dir_ / "out/a");
  ASSERT_TRUE(test::Symlink(dir_ / "data/other.txt", dir_ / "out/a/plain.txt"));
  o().DeleteSource = 1;
  o().OverwriteReadOnly = 1;
  o().Force = 1;
  EXPECT_EQ(CopyTree(session_, dir_ / "src", dir_ / "out/a"), 2);
  EXPECT_EQ(session_.status, -1);
  EXPECT_EQ(dir_.Read("out/a/link.txt"), "real");
  EXPECT_FALSE(test::IsSymlink(dir_ / "out/a/link.txt"));
  EXPECT_EQ(dir_.Read("out/a/plain.txt"), "plain");
  EXPECT_FALSE(test::IsSymlink(dir_ / "out/a/plain.txt"));
  EXPECT_FALSE(Exists("src"));  // the link went, and its emptied folder
  EXPECT_EQ(dir_.Read("data/real.txt"), "real");
  EXPECT_EQ(test::Mode(dir_ / "data/real.txt"), 0444);
  EXPECT_EQ(dir_.Read("data/other.txt"), "other");
  EXPECT_EQ(test::Mode(dir_ / "data/other.txt"), 0444);
}

// Folders the copy creates keep their source folder's bits.
TEST_F(TreeCopyLinuxTest, PrivateFoldersStayPrivate) {
  dir_.Write("src/private/secret.txt", "s");
  dir_.Write("src/shared/group.txt", "g");
  ASSERT_TRUE(test::SetMode(dir_ / "src", 0750));
  ASSERT_TRUE(test::SetMode(dir_ / "src/private", 0700));
  ASSERT_TRUE(test::SetMode(dir_ / "src/shared", 02770));
  o().CopySubdirs = 1;
  EXPECT_EQ(Copy(), 2);
  EXPECT_EQ(test::Mode(dir_ / "dst"), 0750);
  EXPECT_EQ(test::Mode(dir_ / "dst/private"), 0700);
  EXPECT_EQ(test::Mode(dir_ / "dst/shared"), 02770);
}

// A name with a line break keeps its log entry on one line; shown to the
// host unchanged (the console decides how a terminal shows it).
TEST_F(TreeCopyLinuxTest, LineBreaksInNamesStayOnOneLogLine) {
  dir_.Write("src/deux\nlignes.txt", "x");
  o().LogMode = 2;
  EXPECT_EQ(Copy(), 1);
  EXPECT_EQ(dir_.Read("dst/deux\nlignes.txt"), "x");
  EXPECT_NE(Log().find("\"" + dir_ / "src/deux?lignes.txt\" -> \"" + dir_ / "dst/deux?lignes.txt\"."),
            std::string::npos)
      << Log();
  EXPECT_EQ(rec().files, std::vector<std::string>{dir_ / "src/deux\nlignes.txt"});
}

}  // namespace
}  // namespace vx
