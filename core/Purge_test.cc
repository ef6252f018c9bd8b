// The mirror's purge, on a file system in memory.
#include <gtest/gtest.h>

#include <cstring>

#include "core/HolyCoreUnit.h"
#include "tests/unit/MemoryFileSystem.h"
#include "tests/unit/PathFiles.h"
#include "tests/unit/Recorder.h"

namespace vx {
namespace {

using test::Fail;

class PurgeTest : public ::testing::Test {
 protected:
  PurgeTest() : session_(fs_) { session_.options = test::MakeOptions("", ""); }

  void Purge() { PurgeDestination(session_, dir_ / "dst", dir_ / "src"); }
  bool Exists(const std::string& relative) const { return dir_.Exists(relative); }

  test::MemoryFileSystem fs_;
  test::MemoryDir dir_{fs_};
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
  dir_.MakeFolder("dst/empty");
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

// Under -L the purge deletes nothing and names each deletion it would make;
// under log mode 3 it logs each deletion, and each failed one with its reason.
TEST_F(PurgeTest, DeletionsAreNamedOrLogged) {
  dir_.Write("src/keep.txt", "s");
  dir_.Write("dst/keep.txt", "d");
  dir_.Write("dst/extra.txt", "d");
  dir_.Write("dst/gone/file.txt", "d");
  dir_.Write("dst/stuck/locked.txt", "d");
  session_.callbacks = test::Recorder::All();
  std::vector<std::pair<int32_t, std::string>>& reports = test::Recorder::Current().reports;
  const auto named = [&](const std::string& prefix, const std::string& relative) {
    return std::make_pair(ReportPurgeListed, Utf8ToAnsi(prefix) + "\"" + dir_ / relative + "\"");
  };

  session_.options.ListOnly = 1;
  Purge();
  EXPECT_EQ(reports, (std::vector<std::pair<int32_t, std::string>>{
                         named("À supprimer : ", "dst/extra.txt"),
                         named("À supprimer : ", "dst/gone/file.txt"),
                         named("Dossier à supprimer : ", "dst/gone"),
                         named("À supprimer : ", "dst/stuck/locked.txt"),
                         named("Dossier à supprimer : ", "dst/stuck")}));
  EXPECT_TRUE(Exists("dst/extra.txt") && Exists("dst/gone/file.txt"));

  reports.clear();
  session_.options.ListOnly = 0;
  session_.options.LogMode = 3;
  const std::string log = dir_ / "log.txt";
  std::strncpy(session_.options.LogFile, log.c_str(), kMaxTextLength);
  const std::error_code refused = std::make_error_code(std::errc::permission_denied);
  fs_.FaultsOf(dir_ / "dst/stuck/locked.txt").remove = Fail(std::errc::permission_denied);
  session_.errors = 0;
  Purge();
  EXPECT_FALSE(Exists("dst/gone"));
  EXPECT_TRUE(Exists("dst/stuck/locked.txt"));
  const std::string written = dir_.Read("log.txt");
  for (const std::string& line :
       {"Supprimé : \"" + dir_ / "dst/extra.txt" + "\".", "Supprimé : \"" + dir_ / "dst/gone/file.txt" + "\".",
        "Dossier supprimé : \"" + dir_ / "dst/gone" + "\".",
        "Impossible de supprimer le fichier \"" + dir_ / "dst/stuck/locked.txt" + "\". " +
            ReasonLine(refused)})
    EXPECT_NE(written.find(Utf8ToAnsi(line) + "\r\n"), std::string::npos) << line;
  EXPECT_EQ(written.find("Dossier supprimé : \"" + dir_ / "dst/stuck"), std::string::npos);
  EXPECT_EQ(session_.errors, 0);
  ASSERT_GE(reports.size(), 2u);
  EXPECT_EQ(reports[0], std::make_pair(ReportFailure, "Impossible de supprimer le fichier \"" +
                                                          dir_ / "dst/stuck/locked.txt" + "\"."));
  EXPECT_EQ(reports[1], std::make_pair(ReportReason, ReasonLine(refused)));
}

// Two runs into one destination: the mirror of one must not take the file
// the other is still writing, which the other then fails to put in place.
TEST_F(PurgeTest, AnotherRunsTemporaryFileStays) {
  dir_.MakeFolder("src");
  const std::string temporary = NewTemporaryName();
  dir_.Write("dst/" + temporary, "half a copy");
  dir_.Write("dst/sub/" + temporary, "half a copy");
  session_.options.CopyHidden = 1;

  Purge();
  EXPECT_EQ(dir_.Read("dst/" + temporary), "half a copy");
  EXPECT_EQ(dir_.Read("dst/sub/" + temporary), "half a copy");
}

TEST_F(PurgeTest, HiddenAndReadOnlyEntriesStayWithTheirFolder) {
  dir_.MakeFolder("src");
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
  fs_.FaultsOf(dir_ / "src").list = Fail(std::errc::io_error);
  Purge();

  EXPECT_TRUE(Exists("dst/a.txt"));
  EXPECT_TRUE(Exists("dst/sub/b.txt"));
}

TEST_F(PurgeTest, UnreadableSubfolderOfTheSourceKeepsItsCounterpart) {
  dir_.Write("src/sub/s.txt", "s");
  dir_.Write("dst/sub/d.txt", "d");
  fs_.FaultsOf(dir_ / "src/sub").list = Fail(std::errc::io_error);
  Purge();
  EXPECT_TRUE(Exists("dst/sub/d.txt"));
}

// A source entry that cannot be looked at is unknown, not missing.
TEST_F(PurgeTest, SourceEntryThatCannotBeLookedAtKeepsItsCounterpart) {
  dir_.Write("src/sub/s.txt", "s");
  dir_.Write("dst/sub/extra.txt", "d");
  dir_.Write("dst/sub/extra/inner.txt", "d");
  for (const std::errc error : {std::errc::permission_denied, std::errc::io_error}) {
    dir_.Write("dst/gone.txt", "d");
    // A folder that can be listed but not searched, or a failing disk.
    fs_.FaultsOf(dir_ / "src/sub").lookIn = Fail(error);
    Purge();
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
  dir_.Write("a/b/f", "1");
  dir_.Write("a/f", "1");
  fs_.Link(dir_ / "linkb", dir_ / "a/b");
  fs_.Link(dir_ / "linka", dir_ / "a");
  PurgeDestination(session_, dir_ / "a", dir_ / "linkb");
  PurgeDestination(session_, dir_ / "linka", dir_ / "a/b");
  EXPECT_EQ(dir_.Read("a/b/f"), "1");
  EXPECT_EQ(dir_.Read("a/f"), "1");
}

// Under -X the run itself empties the source: the purge deletes nothing.
TEST_F(PurgeTest, NothingIsPurgedUnderMove) {
  dir_.MakeFolder("src");
  dir_.Write("dst/moved-yesterday.txt", "only copy");
  session_.options.DeleteSource = 1;
  Purge();
  EXPECT_TRUE(Exists("dst/moved-yesterday.txt"));
}

TEST_F(PurgeTest, LinkToAFolderOutsideIsRemovedNotFollowed) {
  dir_.Write("outside/precious.txt", "p");
  dir_.MakeFolder("src");
  fs_.Link(dir_ / "dst/link", dir_ / "outside");

  Purge();
  EXPECT_TRUE(Exists("outside/precious.txt"));
  EXPECT_FALSE(fs_.IsLink(dir_ / "dst/link"));
}

}  // namespace
}  // namespace vx
