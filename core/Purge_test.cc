#include <gtest/gtest.h>

#include <filesystem>

#include "core/HolyCoreUnit.h"
#include "tests/unit/PathFiles.h"
#include "tests/unit/Recorder.h"
#include "platform/TestSystemTools.h"
#include "tests/unit/TempDir.h"

namespace vx {
namespace {

namespace stdfs = std::filesystem;

// A file system whose listing of one folder fails, as an unreadable source
// or a read error part-way through it would.
class UnlistableFolder : public NativeFileSystem {
 public:
  explicit UnlistableFolder(std::string folder) : folder_(std::move(folder)) {}
  ErrorOr<Listing> List(const Folder& folder, const ListOptions& options) override {
    if (folder.Path() == folder_) return std::make_error_code(std::errc::io_error);
    return NativeFileSystem::List(folder, options);
  }

 private:
  std::string folder_;
};

// A file system whose look-ups of names in one folder fail, as in a folder
// that can be listed but not searched, or on a failing disk.
class UnlookableFolder : public NativeFileSystem {
 public:
  UnlookableFolder(std::string folder, std::errc error)
      : folder_(std::move(folder)), error_(error) {}
  ErrorOr<EntryInfo> Look(const Folder& folder, std::string_view name) override {
    if (folder.Path() == folder_) return std::make_error_code(error_);
    return NativeFileSystem::Look(folder, name);
  }

 private:
  std::string folder_;
  std::errc error_;
};

class PurgeTest : public ::testing::Test {
 protected:
  PurgeTest() : session_(fs_) { session_.options = test::MakeOptions("", ""); }

  void Purge() { PurgeDestination(session_, dir_ / "dst", dir_ / "src"); }
  bool Exists(const std::string& relative) const { return stdfs::exists(dir_ / relative); }

  test::TempDir dir_;
  NativeFileSystem fs_;
  Session session_;
};

TEST_F(PurgeTest, RemovesWhatTheSourceLacks) {
  dir_.Write("src/keep.txt", "s");
  dir_.Write("src/sub/inner.txt", "s");
  dir_.Write("src/was_folder.txt", "s");
  dir_.Write("src/was_file/x.txt", "s");
  dir_.Write("dst/keep.txt", "d");
  dir_.Write("dst/extra.txt", "d");
  dir_.Write("dst/sub/inner.txt", "d");
  dir_.Write("dst/sub/extra.txt", "d");
  dir_.Write("dst/gone/deeper/file.txt", "d");
  stdfs::create_directories(dir_ / "dst/empty");
  dir_.Write("dst/was_folder.txt/x.txt", "d");  // a folder where the source has a file
  dir_.Write("dst/was_file", "d");              // a file where the source has a folder

  Purge();

  EXPECT_EQ(dir_.Read("dst/keep.txt"), "d");  // counterparts are kept, not compared
  EXPECT_TRUE(Exists("dst/sub/inner.txt"));
  EXPECT_FALSE(Exists("dst/extra.txt"));
  EXPECT_FALSE(Exists("dst/sub/extra.txt"));
  EXPECT_FALSE(Exists("dst/gone"));
  EXPECT_FALSE(Exists("dst/empty"));
  EXPECT_FALSE(Exists("dst/was_folder.txt"));
  EXPECT_FALSE(Exists("dst/was_file"));
  EXPECT_TRUE(Exists("dst"));  // the destination itself always stays
  EXPECT_TRUE(Exists("src/keep.txt"));
}

// Two runs into one destination: the mirror of one must not take the file
// the other is still writing, which the other then fails to put in place.
TEST_F(PurgeTest, AnotherRunsTemporaryFileStays) {
  stdfs::create_directories(dir_ / "src");
  const std::string temporary = NewTemporaryName();
  dir_.Write("dst/" + temporary, "half a copy");
  dir_.Write("dst/sub/" + temporary, "half a copy");
  session_.options.CopyHidden = 1;

  Purge();
  EXPECT_EQ(dir_.Read("dst/" + temporary), "half a copy");
  EXPECT_EQ(dir_.Read("dst/sub/" + temporary), "half a copy");
}

TEST_F(PurgeTest, HiddenAndReadOnlyEntriesStayWithTheirFolder) {
  stdfs::create_directories(dir_ / "src");
  dir_.Write("dst/.secret", "d");
  ASSERT_FALSE(test::PathFiles(fs_).SetAttributes(dir_ / "dst/.secret", attr::Hidden));
  dir_.Write("dst/locked/file.txt", "d");
  ASSERT_FALSE(test::PathFiles(fs_).SetAttributes(dir_ / "dst/locked/file.txt", attr::ReadOnly));

  Purge();
  EXPECT_TRUE(Exists("dst/.secret"));  // not listed without -H
  EXPECT_TRUE(Exists("dst/locked/file.txt"));
  EXPECT_TRUE(Exists("dst/locked"));  // cannot be removed: the notice names it

  session_.options.CopyHidden = 1;
  Purge();
  EXPECT_FALSE(Exists("dst/.secret"));
}

// Entries hidden by their DOS bits, not their name: without -H a hidden
// file without counterpart stays and a hidden folder is not entered, though
// the purge lists them all and asks only those it would act on.
TEST_F(PurgeTest, HiddenEntriesAreLeftAloneWhateverHidesThem) {
  dir_.Write("src/sub/kept.txt", "s");
  dir_.Write("dst/secret.txt", "d");
  dir_.Write("dst/sub/kept.txt", "d");
  dir_.Write("dst/sub/extra.txt", "d");
  dir_.Write("dst/system.txt", "d");
  test::PathFiles files(fs_);
  ASSERT_FALSE(files.SetAttributes(dir_ / "dst/secret.txt", attr::Hidden | attr::Archive));
  ASSERT_FALSE(files.SetAttributes(dir_ / "dst/system.txt", attr::System));
  ASSERT_FALSE(files.SetAttributes(dir_ / "dst/sub", attr::Hidden));
  Purge();
  EXPECT_TRUE(Exists("dst/secret.txt"));
  EXPECT_TRUE(Exists("dst/system.txt"));
  EXPECT_TRUE(Exists("dst/sub/extra.txt"));

  session_.options.CopyHidden = 1;
  Purge();
  EXPECT_FALSE(Exists("dst/secret.txt"));
  EXPECT_FALSE(Exists("dst/system.txt"));
  EXPECT_FALSE(Exists("dst/sub/extra.txt"));
  EXPECT_TRUE(Exists("dst/sub/kept.txt"));
}

TEST_F(PurgeTest, NothingIsDeletedWithoutAReadableSourceFolder) {
  dir_.Write("dst/a.txt", "d");
  dir_.Write("dst/sub/b.txt", "d");

  PurgeDestination(session_, dir_ / "dst", dir_ / "missing");  // no such source
  dir_.Write("src/a.txt", "s");
  PurgeDestination(session_, dir_ / "dst", dir_ / "src/a.txt");  // a file source
  PurgeDestination(session_, dir_ / "dst", dir_ / "src/*.txt");  // a mask source
  UnlistableFolder unreadable(dir_ / "src");
  Session session(unreadable);
  session.options = session_.options;
  PurgeDestination(session, dir_ / "dst", dir_ / "src");

  EXPECT_TRUE(Exists("dst/a.txt"));
  EXPECT_TRUE(Exists("dst/sub/b.txt"));
}

TEST_F(PurgeTest, UnreadableSubfolderOfTheSourceKeepsItsCounterpart) {
  dir_.Write("src/sub/s.txt", "s");
  dir_.Write("dst/sub/d.txt", "d");
  UnlistableFolder unreadable(dir_ / "src/sub");
  Session session(unreadable);
  session.options = session_.options;
  PurgeDestination(session, dir_ / "dst", dir_ / "src");
  EXPECT_TRUE(Exists("dst/sub/d.txt"));
}

// A source entry that cannot be looked at is unknown, not missing.
TEST_F(PurgeTest, SourceEntryThatCannotBeLookedAtKeepsItsCounterpart) {
  dir_.Write("src/sub/s.txt", "s");
  dir_.Write("dst/sub/extra.txt", "d");
  dir_.Write("dst/sub/extra/inner.txt", "d");
  for (const std::errc error : {std::errc::permission_denied, std::errc::io_error}) {
    dir_.Write("dst/gone.txt", "d");
    UnlookableFolder failing(dir_ / "src/sub", error);
    Session session(failing);
    session.options = session_.options;
    PurgeDestination(session, dir_ / "dst", dir_ / "src");
    EXPECT_FALSE(Exists("dst/gone.txt"));  // the purge ran
    EXPECT_TRUE(Exists("dst/sub/extra.txt")) << std::make_error_code(error).message();
    EXPECT_TRUE(Exists("dst/sub/extra/inner.txt")) << std::make_error_code(error).message();
  }
}

// A source that is the destination or lies inside it: nothing there is
// purged, whatever path names either.
TEST_F(PurgeTest, SourceInsideTheDestinationPurgesNothing) {
  dir_.Write("dst/src/file.txt", "s");
  dir_.Write("dst/deeper/src/file.txt", "s");
  dir_.Write("dst/other.txt", "d");
  PurgeDestination(session_, dir_ / "dst", dir_ / "dst/src");
  PurgeDestination(session_, dir_ / "dst", dir_ / "dst/deeper/src");
  PurgeDestination(session_, dir_ / "dst", dir_ / "dst");
  PurgeDestination(session_, dir_ / "dst/deeper", dir_ / "dst/./deeper/");
  EXPECT_TRUE(Exists("dst/src/file.txt"));
  EXPECT_TRUE(Exists("dst/deeper/src/file.txt"));
  EXPECT_TRUE(Exists("dst/other.txt"));
}

// The same, with source or destination named through a link: identities
// decide, not the path text (which once lost both trees).
TEST_F(PurgeTest, SourceInsideTheDestinationThroughLinks) {
  VX_POSIX_ONLY();
  dir_.Write("a/b/f", "1");
  dir_.Write("a/f", "1");
  ASSERT_TRUE(test::Symlink(dir_ / "a/b", dir_ / "linkb"));
  ASSERT_TRUE(test::Symlink(dir_ / "a", dir_ / "linka"));
  PurgeDestination(session_, dir_ / "a", dir_ / "linkb");
  PurgeDestination(session_, dir_ / "linka", dir_ / "a/b");
  EXPECT_EQ(dir_.Read("a/b/f"), "1");
  EXPECT_EQ(dir_.Read("a/f"), "1");
}

// Under -X the run itself empties the source: the purge deletes nothing.
TEST_F(PurgeTest, NothingIsPurgedUnderMove) {
  stdfs::create_directories(dir_ / "src");
  dir_.Write("dst/moved-yesterday.txt", "only copy");
  session_.options.DeleteSource = 1;
  Purge();
  EXPECT_TRUE(Exists("dst/moved-yesterday.txt"));
}

TEST_F(PurgeTest, LinkToAFolderOutsideIsRemovedNotFollowed) {
  dir_.Write("outside/precious.txt", "p");
  stdfs::create_directories(dir_ / "src");
  stdfs::create_directories(dir_ / "dst");
  std::error_code ec;
  stdfs::create_directory_symlink(dir_ / "outside", dir_ / "dst/link", ec);
  if (ec) GTEST_SKIP() << "folder links unavailable here: " << ec.message();

  Purge();
  EXPECT_TRUE(Exists("outside/precious.txt"));
  EXPECT_FALSE(stdfs::is_symlink(dir_ / "dst/link"));
}

}  // namespace
}  // namespace vx
