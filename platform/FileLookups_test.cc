// Links, special files, modes, the DOS attribute and other file systems:
// what only the Linux build has, and where a held folder must not be fooled.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Platform.h"
#include "tests/unit/PathFiles.h"
#include "platform/TestSystemTools.h"
#include "tests/unit/TempDir.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>
#endif

namespace vx {
namespace {

namespace stdfs = std::filesystem;
using test::PathFiles;

#if !defined(_WIN32)
// Counts the opens of one file: what a device would feel (a tape rewinds on
// open, a watchdog arms), seen on a FIFO that any user can make.
class OpenWatch {
 public:
  explicit OpenWatch(const std::string& path) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    watching_ = fd_ >= 0 && ::inotify_add_watch(fd_, path.c_str(), IN_OPEN) >= 0;
  }
  ~OpenWatch() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool watching() const { return watching_; }
  int Opens() {
    alignas(struct inotify_event) char buffer[4096];
    int opens = 0;
    for (ssize_t n; (n = ::read(fd_, buffer, sizeof buffer)) > 0;) {
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + at);
        if (event->mask & IN_OPEN) ++opens;
        at += static_cast<ssize_t>(sizeof *event + event->len);
      }
    }
    return opens;
  }

 private:
  int fd_;
  bool watching_ = false;
};
#endif

class PosixFiles : public ::testing::Test {
 protected:
  void SetUp() override { VX_POSIX_ONLY(); }
  test::TempDir dir;
  NativeFileSystem fs;
  PathFiles files{fs};
};

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
TEST_F(PosixFiles, CopiesGetTheAttributesAskedFor) {
  dir.Write("ro", "r");
  dir.Write("plain", "p");
  dir.Write("hidden", "h");
  dir.Write(".dot", "d");
  ASSERT_TRUE(test::SetMode(dir / "ro", 0444));
  ASSERT_FALSE(files.SetAttributes(dir / "hidden", attr::Hidden));
  CopyAttributes writable, noArchive, listed;
  writable.drop = attr::ReadOnly;
  noArchive.drop = attr::Archive;
  listed.listed = attr::System | attr::Archive;

  ASSERT_FALSE(files.Copy(dir / "ro", dir / "ro.kept"));
  EXPECT_EQ(test::Mode(dir / "ro.kept"), 0444);
  ASSERT_FALSE(files.Copy(dir / "ro", dir / "ro.writable", writable));
  EXPECT_EQ(test::Mode(dir / "ro.writable"), 0644);
  ASSERT_FALSE(files.Copy(dir / "plain", dir / "plain.1"));
  EXPECT_EQ(test::DosAttribute(dir / "plain.1"), "<none>");
  EXPECT_EQ(files.Attributes(dir / "plain.1"), attr::Archive);
  ASSERT_FALSE(files.Copy(dir / "plain", dir / "plain.2", noArchive));
  EXPECT_EQ(test::DosAttribute(dir / "plain.2"), "0x0");
  ASSERT_FALSE(files.Copy(dir / "plain", dir / "plain.3", listed));
  EXPECT_EQ(test::DosAttribute(dir / "plain.3"), "0x24");
  ASSERT_FALSE(files.Copy(dir / "hidden", dir / "hidden.1", noArchive));
  EXPECT_EQ(test::DosAttribute(dir / "hidden.1"), "0x2");
  // Hidden by its dot, a copy under another name stays hidden.
  ASSERT_FALSE(files.Copy(dir / ".dot", dir / "dot"));
  EXPECT_EQ(files.Attributes(dir / "dot"), attr::Hidden | attr::Archive);
}

// Made with its final mode, a copy has it set again where the umask or a
// default ACL of its folder would have narrowed it: the source's bits hold.
TEST_F(PosixFiles, CopiesKeepTheirModeWhateverTheUmaskOrDefaultAcl) {
  dir.Write("s", "x");
  ASSERT_TRUE(test::SetMode(dir / "s", 0644));  // which a umask of 022 leaves whole
  const int was = test::SetUmask(022);
  ASSERT_FALSE(files.Copy(dir / "s", dir / "t1"));
  // The umask changed between two runs of one process.
  test::SetUmask(077);
  const std::error_code narrowed = files.Copy(dir / "s", dir / "t2");
  test::SetUmask(022);
  ASSERT_FALSE(narrowed);
  EXPECT_EQ(test::Mode(dir / "t1"), 0644);
  EXPECT_EQ(test::Mode(dir / "t2"), 0644);
  ASSERT_FALSE(fs.CreateDirectories(dir / "acl"));
  const bool acl = test::SetDefaultAcl(dir / "acl", 7, 0, 0);
  if (acl) {
    ASSERT_FALSE(files.Copy(dir / "s", dir / "acl/t"));
    EXPECT_EQ(test::Mode(dir / "acl/t"), 0644);
  }
  test::SetUmask(was);
  if (!acl) GTEST_SKIP() << "no ACLs on this file system";
}

// A file that measures empty may still hold bytes (those of /proc do): its
// copy reads it to its end.
TEST_F(PosixFiles, AFileMeasuredEmptyIsReadToItsEnd) {
  ErrorOr<Folder> proc = fs.OpenRoot("/proc/self");
  if (!proc) GTEST_SKIP() << "no /proc";
  ASSERT_FALSE(fs.CopyFile(*proc, "status", files.Open(dir.path()), "status", {}));
  EXPECT_NE(dir.Read("status").find("Umask:"), std::string::npos);
}

// A second folder on another file system, when the machine has one in memory.
std::string OtherFileSystemFolder(const std::string& here) {
  std::error_code ec;
  if (!stdfs::is_directory("/dev/shm", ec)) return {};
  const std::string other = "/dev/shm/veltrix-test-" + stdfs::path(here).filename().string();
  stdfs::create_directories(other, ec);
  NativeFileSystem fs;
  auto a = fs.OpenRoot(here);
  auto b = fs.OpenRoot(other);
  if (ec || !a || !b || a->Id().device == b->Id().device) {
    stdfs::remove_all(other, ec);
    return {};
  }
  return other;
}

TEST_F(PosixFiles, AcrossFileSystemsAMoveAsksForACopy) {
  const std::string other = OtherFileSystemFolder(dir.path());
  if (other.empty()) GTEST_SKIP() << "no second file system at hand";
  dir.Write("s", "x");
  const std::error_code moved = files.Move(dir / "s", other + "/s");
  EXPECT_TRUE(MoveNeedsCopy(moved)) << moved.message();
  EXPECT_TRUE(files.IsFile(dir / "s"));
  // Back and forth, so that each direction follows a copy in the other one.
  for (int i = 0; i < 3; ++i) {
    const std::string name = "f" + std::to_string(i);
    const std::string bytes(1000 + 4096 * i, static_cast<char>('a' + i));
    dir.Write(name, bytes);
    ASSERT_TRUE(test::SetMode(dir / name, 0604));
    ASSERT_FALSE(files.Copy(dir / name, other + "/" + name));
    ASSERT_FALSE(files.Copy(other + "/" + name, dir / (name + ".back")));
    EXPECT_EQ(dir.Read(name + ".back"), bytes);
    EXPECT_EQ(test::Mode(dir / (name + ".back")), 0604);
  }
  std::error_code ec;
  stdfs::remove_all(other, ec);
}

// A link is never renamed by a move: the caller copies what it leads to.
TEST_F(PosixFiles, ALinkIsNeverMoved) {
  dir.Write("data/real.txt", "real");
  ASSERT_TRUE(test::Symlink("../data/real.txt", dir / "link.txt"));
  EXPECT_TRUE(MoveNeedsCopy(files.Move(dir / "link.txt", dir / "data/moved.txt")));
  EXPECT_TRUE(test::IsSymlink(dir / "link.txt"));
  EXPECT_FALSE(stdfs::exists(dir / "data/moved.txt"));
}

// A link is followed by the copy, the digest and the dates, but what it
// leads to is opened only when it is a regular file: a source swapped for a
// link to a device after its listing must not open that device.
TEST_F(PosixFiles, WhatALinkLeadsToIsOpenedOnlyWhenItIsAFile) {
#if !defined(_WIN32)
  ASSERT_TRUE(test::MakeFifo(dir / "fifo"));
  ASSERT_TRUE(test::Symlink(dir / "fifo", dir / "tofifo"));
  dir.Write("file.txt", "content");
  ASSERT_TRUE(test::Symlink(dir / "file.txt", dir / "tofile"));
  OpenWatch fifo(dir / "fifo");
  ASSERT_TRUE(fifo.watching());

  EXPECT_TRUE(files.Copy(dir / "tofifo", dir / "out"));
  EXPECT_FALSE(files.Times(dir / "tofifo"));
  Folder top = files.Open(dir.path());
  EXPECT_FALSE(fs.OpenForRead(top, "tofifo", Sharing::Read));
  EXPECT_EQ(fifo.Opens(), 0);
  EXPECT_FALSE(stdfs::exists(dir / "out"));

  // The watch does see an open.
  const int reader = ::open((dir / "fifo").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  ::close(reader);
  EXPECT_EQ(fifo.Opens(), 1);

  // A link to a file is read through as before.
  EXPECT_FALSE(files.Copy(dir / "tofile", dir / "copy.txt"));
  EXPECT_EQ(dir.Read("copy.txt"), "content");
  EXPECT_TRUE(files.Times(dir / "tofile"));
  EXPECT_TRUE(fs.OpenForRead(top, "tofile", Sharing::Read));
#endif
}

}  // namespace
}  // namespace vx
