// The memory file system answers as the platform's backend does (the same
// cases run on both), and fails where a test asks it to.
#include "tests/unit/MemoryFileSystem.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/unit/PathFiles.h"
#include "tests/unit/TempDir.h"

namespace vx::test {
namespace {

// One file system and a folder of the test's own in it: on disk or in memory.
struct Medium {
  virtual ~Medium() = default;
  virtual FileSystem& fs() = 0;
  virtual std::string Path(const std::string& relative) = 0;
};

struct OnDisk : Medium {
  FileSystem& fs() override { return files; }
  std::string Path(const std::string& relative) override { return dir / relative; }
  TempDir dir;
  NativeFileSystem files;
};

struct InMemory : Medium {
  FileSystem& fs() override { return files; }
  std::string Path(const std::string& relative) override { return dir / relative; }
  MemoryFileSystem files;
  MemoryDir dir{files};
};

class BothFileSystems : public ::testing::TestWithParam<bool> {
 protected:
  BothFileSystems()
      : medium_(GetParam() ? std::unique_ptr<Medium>(new InMemory) : std::make_unique<OnDisk>()),
        fs(medium_->fs()), files(fs) {}
  std::string P(const std::string& relative) { return medium_->Path(relative); }
  void Write(const std::string& relative, const std::string& bytes) {
    const std::string path = P(relative);
    ASSERT_FALSE(fs.CreateDirectories(path.substr(0, FolderPartLength(path))));
    ASSERT_FALSE(fs.ReplaceFile(path, bytes));
  }
  std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
  }

  std::unique_ptr<Medium> medium_;
  FileSystem& fs;
  PathFiles files;
};

INSTANTIATE_TEST_SUITE_P(Media, BothFileSystems, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Memory" : "Native"; });

TEST_P(BothFileSystems, ListingsLooksAndHeldFolders) {
  Write("d/a.txt", "alpha");
  Write("d/b.log", "bb");
  ASSERT_FALSE(fs.CreateDirectories(P("d/sub")));
  EXPECT_EQ(Sorted(files.Names(P("d"), false)), (std::vector<std::string>{"a.txt", "b.log", "sub"}));
  EXPECT_EQ(files.Names(P("d"), false, "*.txt"), std::vector<std::string>{"a.txt"});
  EXPECT_EQ(files.Names(P("d"), false, "b.log"), std::vector<std::string>{"b.log"});
  ErrorOr<Listing> listing = files.List(P("d"), false);
  ASSERT_TRUE(listing);
  EXPECT_EQ(listing->Find("a.txt")->size, 5u);
  EXPECT_TRUE(listing->Find("sub")->IsFolder());

  ErrorOr<EntryInfo> a = files.Look(P("d/a.txt"));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->kind, EntryKind::File);
  EXPECT_EQ(a->size, 5u);
  EXPECT_TRUE(IsMissing(files.Look(P("d/none")).error()));
  EXPECT_TRUE(IsMissing(fs.LookPath(P("d/a.txt/x")).error()));

  Folder d = files.Open(P("d"));
  ErrorOr<Folder> sub = fs.OpenFolder(d, "sub");
  ASSERT_TRUE(sub);
  EXPECT_EQ(sub->Path(), d.PathOf("sub"));
  EXPECT_TRUE(IsMissing(fs.OpenFolder(d, "a.txt").error()));
  EXPECT_FALSE(fs.OpenFolder(d, ".."));
  ErrorOr<std::vector<FileId>> chain = fs.FolderAndParents(*sub);
  ASSERT_TRUE(chain);
  ASSERT_GE(chain->size(), 3u);
  EXPECT_EQ((*chain)[1], d.Id());
  EXPECT_EQ(fs.OpenRoot(P("d/./sub/"))->Id(), sub->Id());
  EXPECT_TRUE(fs.RemoveFolderPath(P("d")));  // not empty
}

TEST_P(BothFileSystems, CopyMoveAndDeleteRefuseWhatTheyMustNotTouch) {
  Write("s/a.txt", "alpha");
  Write("t/ro.txt", "kept");
  ASSERT_FALSE(files.SetAttributes(P("t/ro.txt"), attr::ReadOnly));
  ASSERT_FALSE(files.Copy(P("s/a.txt"), P("t/a.txt")));
  EXPECT_EQ(files.ReadAll(P("t/a.txt")), "alpha");
  EXPECT_EQ(files.Look(P("t/a.txt"))->lastWrite, files.Look(P("s/a.txt"))->lastWrite);
  EXPECT_TRUE(files.Copy(P("s/a.txt"), P("s/a.txt")));  // itself
  EXPECT_TRUE(files.Copy(P("s/a.txt"), P("t/ro.txt")));
  EXPECT_TRUE(files.Copy(P("s/a.txt"), P("s")));
  EXPECT_EQ(files.ReadAll(P("t/ro.txt")), "kept");
  EXPECT_TRUE(files.Move(P("s/a.txt"), P("t/a.txt")));  // never replacing
  EXPECT_FALSE(files.Move(P("s/a.txt"), P("t/b.txt")));
  EXPECT_TRUE(files.Delete(P("t/ro.txt")));
  EXPECT_FALSE(files.Delete(P("t/b.txt")));
  EXPECT_EQ(Sorted(files.Names(P("t"), true)), (std::vector<std::string>{"a.txt", "ro.txt"}));
  EXPECT_FALSE(files.RemoveFolder(P("s")));
}

TEST_P(BothFileSystems, WholeFilesReadsAndTimes) {
  const std::string log = P("log.txt");
  ASSERT_FALSE(fs.AppendToFile(log, "one\r\n"));
  ASSERT_FALSE(fs.AppendToFile(log, "two\r\n"));
  EXPECT_EQ(*fs.ReadWholeFile(log), "one\r\ntwo\r\n");
  ASSERT_FALSE(fs.ReplaceFile(log, "new"));
  EXPECT_TRUE(fs.ReplaceFile(P("none/log.txt"), "x"));
  EXPECT_TRUE(IsMissing(fs.ReadWholeFile(P("none.txt")).error()));
  EXPECT_EQ(*fs.FullPath(P("a/./b/../c")), P("a/c"));

  ErrorOr<std::unique_ptr<InputFile>> in = fs.OpenForRead(files.Open(P("")), "log.txt", Sharing::Read);
  ASSERT_TRUE(in);
  char buffer[8];
  ASSERT_FALSE((*in)->Seek(1));
  EXPECT_EQ(*(*in)->Read(buffer, sizeof buffer), 2u);
  EXPECT_EQ(*(*in)->Size(), 3);
  EXPECT_EQ(files.Times(log)->lastWrite, files.Look(log)->lastWrite);
}

// ---- The memory file system's own: links, devices, faults ------------------------------------

class MemoryFiles : public ::testing::Test {
 protected:
  MemoryFileSystem fs;
  MemoryDir dir{fs};
  PathFiles files{fs};
};

TEST_F(MemoryFiles, LinksSpecialEntriesDevicesAndHardLinks) {
  dir.Write("d/f.txt", "f");
  fs.Link(dir / "d/to_file", "f.txt");
  fs.Link(dir / "d/to_folder", dir.path());
  fs.Link(dir / "d/dangling", "none");
  fs.MakeSpecial(dir / "d/fifo");
  fs.Mount(dir / "d/other");
  fs.HardLink(dir / "d/again.txt", dir / "d/f.txt");
  EXPECT_EQ(files.Names(dir / "d", true),
            (std::vector<std::string>{"again.txt", "f.txt", "other", "to_file", "to_folder"}));
  EXPECT_TRUE(files.Look(dir / "d/to_file")->link);
  EXPECT_EQ(files.Look(dir / "d/dangling")->kind, EntryKind::DanglingLink);
  EXPECT_EQ(files.Look(dir / "d/fifo")->kind, EntryKind::Special);
  EXPECT_EQ(files.Look(dir / "d/again.txt")->id, files.Look(dir / "d/f.txt")->id);
  EXPECT_TRUE(files.Look(dir / "d/other")->attributes & attr::ReparsePoint);

  Folder d = files.Open(dir / "d");
  EXPECT_EQ(fs.OpenFolder(d, "to_folder").error(), std::errc::too_many_symbolic_link_levels);
  EXPECT_EQ(fs.OpenFolder(d, "other").error(), std::errc::cross_device_link);
  ErrorOr<Folder> other = fs.OpenRoot(dir / "d/other");
  ASSERT_TRUE(other);
  EXPECT_TRUE(MoveNeedsCopy(fs.MoveFile(d, "f.txt", *other, "f.txt")));
  EXPECT_TRUE(MoveNeedsCopy(fs.MoveFile(d, "to_file", d, "moved")));
  EXPECT_EQ(fs.DeleteFile(d, "to_folder"), std::errc::is_a_directory);
  EXPECT_FALSE(fs.RemoveLink(d, "to_folder"));
  EXPECT_EQ(fs.Read(dir / "d/to_file"), "f");
  EXPECT_EQ(fs.HeldFolders(), 2u);
}

// A held folder is the one acted in whatever its path comes to name, and
// is never removed while held.
TEST_F(MemoryFiles, HeldFoldersStayTheirOwn) {
  dir.Write("a/f.txt", "f");
  {
    Folder a = files.Open(dir / "a");
    fs.Rename(dir / "a", dir / "b");
    fs.Link(dir / "a", dir / "b");
    EXPECT_EQ(files.Look(dir / "a")->kind, EntryKind::Folder);
    EXPECT_EQ(fs.Look(a, "f.txt")->size, 1u);
    ASSERT_FALSE(fs.DeleteFile(a, "f.txt"));
    EXPECT_EQ(fs.RemoveFolderPath(dir / "b"), std::errc::permission_denied);
    EXPECT_EQ(fs.HeldFolders(), 1u);
  }
  EXPECT_FALSE(fs.RemoveFolderPath(dir / "b"));
  EXPECT_FALSE(fs.Exists(dir / "b"));
}

TEST_F(MemoryFiles, FaultsStrikeTheEntryTheyAreSetOn) {
  dir.Write("d/a.txt", "alpha");
  dir.Write("d/b.txt", "beta");
  dir.MakeFolder("t");
  Faults& folder = fs.FaultsOf(dir / "d");
  folder.list = Fail(std::errc::io_error, 1);
  folder.listAfter = 1;
  EXPECT_EQ(files.List(dir / "d", true).error(), std::errc::io_error);  // never a short listing
  EXPECT_TRUE(files.List(dir / "d", true));

  Faults& a = fs.FaultsOf(dir / "d/a.txt");
  a.look = Fail(std::errc::io_error, 2);
  EXPECT_EQ(files.Look(dir / "d/a.txt").error(), std::errc::io_error);
  EXPECT_EQ(fs.LookPath(dir / "d/a.txt").error(), std::errc::io_error);
  EXPECT_TRUE(files.Look(dir / "d/a.txt"));

  a.read = Fail(std::errc::io_error);
  a.readAt = 3;
  ErrorOr<std::unique_ptr<InputFile>> in = fs.OpenForRead(files.Open(dir / "d"), "a.txt", Sharing::Read);
  char buffer[8];
  EXPECT_EQ(*(*in)->Read(buffer, sizeof buffer), 3u);
  EXPECT_EQ((*in)->Read(buffer, sizeof buffer).error(), std::errc::io_error);
  EXPECT_EQ(files.Copy(dir / "d/a.txt", dir / "t/a.txt"), std::errc::io_error);

  fs.FaultsOf(dir / "t").write = Fail(std::errc::no_space_on_device);
  fs.FaultsOf(dir / "t").writeAt = 4;
  EXPECT_FALSE(files.Copy(dir / "d/b.txt", dir / "t/b.txt"));  // four bytes fit
  dir.Write("d/b.txt", "longer");
  EXPECT_EQ(files.Copy(dir / "d/b.txt", dir / "t/b.txt"), std::errc::no_space_on_device);
  EXPECT_EQ(fs.Names(dir / "t"), std::vector<std::string>{"b.txt"});
  EXPECT_EQ(dir.Read("t/b.txt"), "beta");

  Faults& b = fs.FaultsOf(dir / "d/b.txt");
  b.rename = Fail(std::errc::permission_denied);
  b.remove = Fail(std::errc::permission_denied, 1);
  b.attributes = Fail(std::errc::io_error);
  b.times = Fail(std::errc::io_error);
  b.open = Fail(std::errc::io_error, 1);
  EXPECT_TRUE(files.Move(dir / "d/b.txt", dir / "d/c.txt"));
  EXPECT_TRUE(files.AttributesOf(dir / "d/b.txt").error());
  EXPECT_EQ(fs.ReadWholeFile(dir / "d/b.txt").error(), std::errc::io_error);
  EXPECT_EQ(fs.Read(dir / "d/b.txt"), "longer");
  EXPECT_TRUE(files.Times(dir / "d/b.txt").error());
  EXPECT_TRUE(files.Delete(dir / "d/b.txt"));
  EXPECT_FALSE(files.Delete(dir / "d/b.txt"));
  EXPECT_EQ(fs.calls.deleteFile, 2);
}

}  // namespace
}  // namespace vx::test
