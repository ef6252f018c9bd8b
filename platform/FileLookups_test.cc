// Links, special files, modes, the DOS attribute and held folders: what only
// the Linux build has, and where a held folder must not be fooled.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/PosixFilesTest.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vx {
namespace {

namespace stdfs = std::filesystem;
using test::PathFiles;
using test::PosixFiles;

// An open file's position moves with its reads and seeks alone.
TEST(OpenFiles, PositionFollowsReadsAndSeeks) {
  test::TempDir dir;
  NativeFileSystem fs;
  dir.Write("data.bin", "0123456789");
  Folder folder = PathFiles(fs).Open(dir.path());
  auto opened = fs.OpenForRead(folder, "data.bin", Sharing::Read);
  ASSERT_TRUE(opened) << opened.error().message();
  InputFile& file = **opened;
  char buffer[16] = {};
  EXPECT_EQ(*file.Size(), 10);
  EXPECT_EQ(file.Position(), 0);
  ASSERT_EQ(*file.Read(buffer, 4), 4u);
  EXPECT_EQ(std::string(buffer, 4), "0123");
  EXPECT_EQ(file.Position(), 4);
  ASSERT_EQ(*file.Read(buffer, 16), 6u);
  EXPECT_EQ(std::string(buffer, 6), "456789");
  EXPECT_EQ(*file.Read(buffer, 16), 0u);
  EXPECT_EQ(file.Position(), 10);

  ASSERT_FALSE(file.Seek(7));
  ASSERT_EQ(*file.Read(buffer, 2), 2u);
  EXPECT_EQ(std::string(buffer, 2), "78");
  EXPECT_TRUE(file.Seek(-1));
  EXPECT_EQ(file.Position(), 9);
  ASSERT_FALSE(file.Seek(50));
  EXPECT_EQ(*file.Read(buffer, 4), 0u);
  EXPECT_TRUE(IsMissing(fs.OpenForRead(folder, "none", Sharing::Read).error()));
  EXPECT_FALSE(fs.OpenForRead(folder, ".", Sharing::Read));
}

TEST_F(PosixFiles, DotNamesAreHiddenAndDosAttributeIsText) {
  dir.Write(".profile", "");
  dir.Write("plain", "");
  EXPECT_EQ(files.Attributes(dir / ".profile"), attr::Hidden | attr::Archive);
  EXPECT_EQ(files.Attributes(dir / "plain"), attr::Archive);
  EXPECT_EQ(files.Names(dir.path(), false, "*"), std::vector<std::string>{"plain"});

  ASSERT_FALSE(files.SetAttributes(dir / "plain", attr::Normal));
  EXPECT_EQ(test::DosAttribute(dir / "plain"), "0x0");
  EXPECT_EQ(files.Attributes(dir / "plain"), attr::Normal);
  ASSERT_FALSE(files.SetAttributes(dir / "plain", attr::System | attr::Archive | attr::ReadOnly));
  EXPECT_EQ(test::DosAttribute(dir / "plain"), "0x24");
  EXPECT_EQ(files.Attributes(dir / "plain"), attr::System | attr::Archive | attr::ReadOnly);
  EXPECT_EQ(test::Mode(dir / "plain") & 0222, 0);
  // Other forms of the attribute are read as absent.
  ASSERT_TRUE(test::SetDosAttribute(dir / "plain", std::string("\x03\x00", 2)));
  EXPECT_EQ(files.Attributes(dir / "plain"), attr::Archive | attr::ReadOnly);
}

TEST_F(PosixFiles, CopyKeepsModeDosAttributeAndNanoseconds) {
  dir.Write("s", "data");
  ASSERT_TRUE(test::SetMode(dir / "s", 0640));
  ASSERT_FALSE(files.SetAttributes(dir / "s", attr::Hidden));
  ASSERT_EQ(test::Shell("touch -d '2004-05-06 07:08:09.123456789' '" + dir / "s" + "'"), 0);
  ASSERT_FALSE(files.Copy(dir / "s", dir / "t"));
  EXPECT_EQ(test::Mode(dir / "t"), 0640);
  EXPECT_EQ(stdfs::last_write_time(dir / "s"), stdfs::last_write_time(dir / "t"));
  EXPECT_EQ(test::DosAttribute(dir / "t"), "0x2");
}

// Attribute reads and writes act on a link itself: they are refused, and
// what it leads to keeps its mode and attribute.
TEST_F(PosixFiles, AttributesNeverGoThroughALink) {
  dir.Write("outside/real.txt", "r");
  ASSERT_TRUE(test::SetMode(dir / "outside/real.txt", 0444));
  ASSERT_TRUE(test::Symlink(dir / "outside/real.txt", dir / "link.txt"));
  ASSERT_TRUE(test::Symlink(dir / "outside", dir / "folderlink"));
  EXPECT_TRUE(files.SetAttributes(dir / "link.txt", attr::Normal));
  EXPECT_TRUE(files.SetAttributes(dir / "link.txt", attr::Hidden));
  EXPECT_TRUE(files.SetAttributes(dir / "folderlink", attr::Hidden));
  EXPECT_FALSE(files.AttributesOf(dir / "link.txt"));
  EXPECT_EQ(test::Mode(dir / "outside/real.txt"), 0444);
  EXPECT_EQ(test::DosAttribute(dir / "outside/real.txt"), "<none>");
  EXPECT_EQ(test::DosAttribute(dir / "outside"), "<none>");
}

TEST_F(PosixFiles, LinksSpecialFilesAndHardLinks) {
  dir.Write("real/file.txt", "content");
  ASSERT_TRUE(test::Symlink(dir / "real", dir / "linkdir"));
  ASSERT_TRUE(test::Symlink(dir / "real/file.txt", dir / "linkfile"));
  ASSERT_TRUE(test::Symlink(dir / "nowhere", dir / "dangling"));
  ASSERT_TRUE(test::Symlink(dir / "loop", dir / "loop"));
  ASSERT_TRUE(test::MakeFifo(dir / "fifo"));
  ASSERT_TRUE(test::HardLink(dir / "real/file.txt", dir / "hard.txt"));

  ErrorOr<Listing> listing = files.List(dir.path(), true, "*.*");
  ASSERT_TRUE(listing);
  EXPECT_EQ(files.Names(dir.path(), true),
            (std::vector<std::string>{"hard.txt", "linkdir", "linkfile", "real"}));
  const ListedEntry linkdir = *listing->Find("linkdir");
  EXPECT_EQ(linkdir.attributes & (attr::Directory | attr::ReparsePoint),
            attr::Directory | attr::ReparsePoint);
  EXPECT_TRUE(linkdir.link);
  const ListedEntry linkfile = *listing->Find("linkfile");
  EXPECT_EQ(linkfile.size, 7u);  // its target's size
  EXPECT_TRUE(linkfile.link);
  EXPECT_FALSE(listing->Find("real")->attributes & attr::ReparsePoint);

  // What each name stands for, without following it.
  EXPECT_EQ(files.Look(dir / "dangling")->kind, EntryKind::DanglingLink);
  EXPECT_EQ(files.Look(dir / "loop")->kind, EntryKind::DanglingLink);
  EXPECT_EQ(files.Look(dir / "fifo")->kind, EntryKind::Special);
  ErrorOr<EntryInfo> viaLink = files.Look(dir / "linkfile");
  ASSERT_TRUE(viaLink);
  EXPECT_EQ(viaLink->kind, EntryKind::File);
  EXPECT_TRUE(viaLink->link);
  EXPECT_EQ(viaLink->id, files.Look(dir / "hard.txt")->id);

  // Nothing reads from or writes to a FIFO, and nothing blocks on it.
  EXPECT_TRUE(files.Copy(dir / "fifo", dir / "out"));
  EXPECT_FALSE(files.IsFile(dir / "out"));
  EXPECT_FALSE(files.Times(dir / "fifo"));
  EXPECT_TRUE(files.Delete(dir / "fifo"));

  // A hard link or a link is the same file: never copied onto itself.
  EXPECT_TRUE(files.Copy(dir / "real/file.txt", dir / "hard.txt"));
  EXPECT_TRUE(files.Copy(dir / "real/file.txt", dir / "linkfile"));
  EXPECT_EQ(dir.Read("real/file.txt"), "content");

  // A link to a folder is never opened as one; only RemoveLink takes it.
  Folder top = files.Open(dir.path());
  ErrorOr<Folder> through = fs.OpenFolder(top, "linkdir");
  ASSERT_FALSE(through);
  EXPECT_FALSE(IsMissing(through.error()));
  EXPECT_FALSE(fs.CreateFolder(top, "linkdir", nullptr));
  EXPECT_TRUE(files.Delete(dir / "linkdir"));
  EXPECT_TRUE(files.RemoveFolder(dir / "linkdir"));
  EXPECT_FALSE(files.RemoveLink(dir / "linkdir"));
  EXPECT_TRUE(files.IsFile(dir / "real/file.txt"));
  // Deleting a link to a file leaves what it points to.
  EXPECT_FALSE(files.Delete(dir / "linkfile"));
  EXPECT_EQ(dir.Read("real/file.txt"), "content");
}

TEST_F(PosixFiles, ReadOnlyHoldsEvenForRoot) {
  dir.Write("t", "keep");
  ASSERT_TRUE(test::SetMode(dir / "t", 0444));
  dir.Write("s", "new");
  EXPECT_TRUE(files.Copy(dir / "s", dir / "t"));
  EXPECT_TRUE(files.Delete(dir / "t"));
  EXPECT_EQ(dir.Read("t"), "keep");
}

// The old copy took ".t.vxpart" as its own and deleted it: a user's file of
// any name beside the target now stays, and no temporary is left.
TEST_F(PosixFiles, FilesBesideTheTargetAreNeverTaken) {
  dir.Write("s", "whole");
  dir.Write("t", "old");
  dir.Write(".t.vxpart", "precious");
  dir.Write("t.vxpart", "precious too");
  ASSERT_FALSE(files.Copy(dir / "s", dir / "t"));
  ASSERT_FALSE(files.Copy(dir / "s", dir / "new"));
  EXPECT_EQ(dir.Read("t"), "whole");
  EXPECT_EQ(dir.Read(".t.vxpart"), "precious");
  EXPECT_EQ(dir.Read("t.vxpart"), "precious too");
  EXPECT_EQ(files.Names(dir.path(), true),
            (std::vector<std::string>{".t.vxpart", "new", "s", "t", "t.vxpart"}));
}

// A link to a file where the copy goes is replaced; what it leads to stays.
TEST_F(PosixFiles, ALinkInTheTargetsPlaceIsReplacedNotWrittenThrough) {
  dir.Write("src.txt", "new content");
  dir.Write("other.txt", "old");
  ASSERT_TRUE(test::SetMode(dir / "other.txt", 0444));
  ASSERT_TRUE(test::Symlink(dir / "gone", dir / "dangling"));
  ASSERT_TRUE(test::Symlink(dir / "other.txt", dir / "toother"));
  ASSERT_FALSE(files.Copy(dir / "src.txt", dir / "dangling"));
  EXPECT_EQ(dir.Read("dangling"), "new content");
  EXPECT_FALSE(stdfs::exists(dir / "gone"));
  ASSERT_FALSE(files.Copy(dir / "src.txt", dir / "toother"));
  EXPECT_EQ(dir.Read("toother"), "new content");
  EXPECT_FALSE(test::IsSymlink(dir / "toother"));
  EXPECT_EQ(dir.Read("other.txt"), "old");
  EXPECT_EQ(files.Names(dir.path(), true).size(), 4u);  // no temporary
}

// A folder created for a copy takes its source folder's bits: private
// stays private, setgid and sticky are kept, whatever the umask.
TEST_F(PosixFiles, CreatedFoldersTakeTheirSourceFoldersBits) {
  for (int mode : {0700, 02775, 01777, 0750}) {
    const std::string name = "m" + std::to_string(mode);
    ASSERT_FALSE(fs.CreateDirectories(dir / ("src/" + name)));
    ASSERT_TRUE(test::SetMode(dir / ("src/" + name), mode));
    Folder like = files.Open(dir / ("src/" + name));
    Folder parent = files.Open(dir.path());
    ASSERT_TRUE(fs.CreateFolder(parent, name, &like));
    EXPECT_EQ(test::Mode(dir / name), mode) << name;
    ASSERT_TRUE(fs.CreateRoot(dir / ("roots/" + name), &like));
    EXPECT_EQ(test::Mode(dir / ("roots/" + name)), mode) << name;
  }
  // An existing folder keeps its own bits.
  ASSERT_TRUE(test::SetMode(dir / "m448", 0755));
  Folder like = files.Open(dir / "src/m448");
  ASSERT_TRUE(fs.CreateFolder(files.Open(dir.path()), "m448", &like));
  EXPECT_EQ(test::Mode(dir / "m448"), 0755);
}

// A held folder stays the folder it was: swapped for a link to another
// folder by its path, nothing done through the held one reaches the other.
TEST_F(PosixFiles, AHeldFolderIsNotFooledByASwap) {
  dir.Write("tree/sub/f.txt", "inside");
  dir.Write("outside/f.txt", "outside");
  Folder tree = files.Open(dir / "tree");
  ErrorOr<Folder> sub = fs.OpenFolder(tree, "sub");
  ASSERT_TRUE(sub);
  stdfs::rename(dir / "tree/sub", dir / "moved");
  ASSERT_TRUE(test::Symlink(dir / "outside", dir / "tree/sub"));
  EXPECT_FALSE(fs.DeleteFile(*sub, "f.txt"));
  EXPECT_EQ(dir.Read("outside/f.txt"), "outside");
  EXPECT_FALSE(stdfs::exists(dir / "moved/f.txt"));
  // And the link is never entered anew.
  EXPECT_FALSE(fs.OpenFolder(tree, "sub"));
}

// Listed without their status, regular files are not looked at: Look tells
// their size and time, ListedAttributes their DOS bits, read on the entry
// itself and never through a link.
TEST_F(PosixFiles, UnlookedEntriesAreCompletedOnDemand) {
  dir.Write("plain.txt", "12345");
  dir.Write("secret.txt", "s");
  dir.Write(".dot", "d");
  dir.Write("sub/x", "");
  ASSERT_FALSE(files.SetAttributes(dir / "secret.txt", attr::Hidden));
  ASSERT_TRUE(test::Symlink(dir / "secret.txt", dir / "link.txt"));
  Folder folder = files.Open(dir.path());
  ListOptions options;
  options.includeHidden = true;
  options.withAttributes = false;
  options.withStatus = false;
  ErrorOr<Listing> listing = fs.List(folder, options);
  ASSERT_TRUE(listing);
  const ListedEntry plain = *listing->Find("plain.txt");
  EXPECT_FALSE(plain.statusRead);
  EXPECT_FALSE(plain.attributesRead);
  EXPECT_EQ(fs.Look(folder, "plain.txt")->size, 5u);
  EXPECT_TRUE(listing->Find("sub")->statusRead);
  const ListedEntry link = *listing->Find("link.txt");
  EXPECT_TRUE(link.statusRead);
  EXPECT_EQ(link.size, 1u);

  const ListedEntry secret = *listing->Find("secret.txt");
  EXPECT_FALSE(secret.attributes & attr::Hidden);
  EXPECT_EQ(*fs.ListedAttributes(folder, secret), attr::Hidden);
  EXPECT_EQ(*fs.ListedAttributes(folder, link) & attr::Hidden, 0u);
  EXPECT_EQ(*fs.ListedAttributes(folder, *listing->Find(".dot")), attr::Hidden | attr::Archive);
  ASSERT_TRUE(stdfs::remove(dir / "plain.txt"));
  EXPECT_TRUE(IsMissing(fs.ListedAttributes(folder, plain).error()));
  // Without -H a dot name is left out unread, a hidden file once read.
  EXPECT_EQ(files.Names(dir.path(), false), (std::vector<std::string>{"link.txt", "sub"}));
}

// A folder larger than one read of its records is listed whole and in
// order, with its buffers reserved at their size rather than doubled.
TEST_F(PosixFiles, ALargeFolderIsListedWholeWithoutSpareRoom) {
  constexpr std::size_t kCount = 6000;
  std::size_t nameBytes = 0;
  for (std::size_t i = 0; i < kCount; ++i) {
    const std::string name = "an-entry-with-a-longer-name-" + std::to_string(i);
    dir.Write(name, "");
    nameBytes += name.size() + 1;
  }
  ListOptions options;
  options.includeHidden = true;
  options.withAttributes = false;
  options.withStatus = false;
  ErrorOr<Listing> listing = fs.List(files.Open(dir.path()), options);
  ASSERT_TRUE(listing);
  ASSERT_EQ(listing->Count(), kCount);
  for (std::size_t i = 1; i < kCount; ++i) ASSERT_LT(listing->At(i - 1).name, listing->At(i).name);
  EXPECT_LE(listing->BytesUsed(), kCount * 16 + nameBytes);
}

// A copy has its final mode and DOS attribute before it takes its name:
// read-only dropped or kept, archive dropped on request, the listing's bits
// taken as given, and nothing written that no attribute already means.

}  // namespace
}  // namespace vx
