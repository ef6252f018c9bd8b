// Copies and moves on the Linux build: attributes given before the name,
// modes whatever the umask, other file systems, links never moved, and what
// a link leads to opened only when it is a file.
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
#if !defined(_WIN32)
using test::OpenWatch;
#endif
using test::PathFiles;
using test::PosixFiles;
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
