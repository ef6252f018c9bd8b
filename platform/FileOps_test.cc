// The file operations of the native backend, on real temporary trees.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "platform/Platform.h"
#include "tests/unit/TempDir.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

namespace vx {
namespace {

namespace stdfs = std::filesystem;

std::vector<std::string> Names(const std::vector<DirEntry>& entries) {
  std::vector<std::string> names;
  for (const DirEntry& e : entries) names.push_back(e.name);
  return names;
}

void SetWriteTime(const std::string& path, int secondsAgo) {
  stdfs::last_write_time(path, stdfs::file_time_type::clock::now() - std::chrono::seconds(secondsAgo));
}

TEST(FileOps, FindFilesMasksAndEntryData) {
  test::TempDir dir;
  NativeFileSystem fs;
  dir.Write("b.txt", "12345");
  dir.Write("a.TXT", "");
  dir.Write("README", "x");
  dir.Write("sub/inner.txt", "y");

  std::vector<DirEntry> entries;
  ASSERT_TRUE(fs.FindFiles(dir / "*.*", false, entries));
  std::vector<std::string> names = Names(entries);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"README", "a.TXT", "b.txt", "sub"}));
  for (const DirEntry& e : entries) {
    if (e.name == "sub") {
      EXPECT_TRUE(e.attributes & attr::Directory);
    } else {
      EXPECT_FALSE(e.attributes & attr::Directory) << e.name;
    }
    if (e.name == "b.txt") {
      EXPECT_EQ(e.size, 5u);
    }
  }

  ASSERT_TRUE(fs.FindFiles(dir / "?.txt", false, entries));
  EXPECT_EQ(Names(entries).size(), kFileNamesCaseSensitive ? 1u : 2u);
  EXPECT_FALSE(fs.FindFiles(dir / "*.none", false, entries));
  EXPECT_TRUE(entries.empty());
  EXPECT_FALSE(fs.FindFiles(dir / "missing/*.*", false, entries));

  // A plain name finds just that entry; its time agrees with the time stamps.
  ASSERT_TRUE(fs.FindFiles(dir / "b.txt", false, entries));
  ASSERT_EQ(entries.size(), 1u);
  int64_t times[3] = {0, 0, 0};
  ASSERT_TRUE(fs.GetFileTimes(dir / "b.txt", times));
  EXPECT_EQ(times[2], entries[0].lastWrite);
  DirEntry one;
  ASSERT_TRUE(fs.FindFile(dir / "b.txt", one));
  EXPECT_EQ(one.size, 5u);
  EXPECT_FALSE(fs.FindFile(dir / "sub", one));  // a folder is not a file
  EXPECT_FALSE(fs.GetFileTimes(dir / "missing", times));
}

TEST(FileOps, CopyCarriesContentTimeAndReplaces) {
  test::TempDir dir;
  NativeFileSystem fs;
  dir.Write("src.bin", std::string("\0\x01payload\xff", 11));
  SetWriteTime(dir / "src.bin", 3600);
  ASSERT_TRUE(fs.CopyFile(dir / "src.bin", dir / "dst.bin"));
  EXPECT_EQ(dir.Read("dst.bin"), dir.Read("src.bin"));
  DirEntry s, d;
  ASSERT_TRUE(fs.FindFile(dir / "src.bin", s));
  ASSERT_TRUE(fs.FindFile(dir / "dst.bin", d));
  EXPECT_EQ(s.lastWrite, d.lastWrite);

  dir.Write("src.bin", "new");
  ASSERT_TRUE(fs.CopyFile(dir / "src.bin", dir / "dst.bin"));
  EXPECT_EQ(dir.Read("dst.bin"), "new");

  // No unfinished copy is left beside the target.
  std::vector<DirEntry> entries;
  ASSERT_TRUE(fs.FindFiles(dir / "*.*", true, entries));
  EXPECT_EQ(entries.size(), 2u);
}

TEST(FileOps, CopyRefusesItselfReadOnlyTargetsAndMissingSources) {
  test::TempDir dir;
  NativeFileSystem fs;
  dir.Write("a.txt", "source");
  dir.Write("b.txt", "old target");
  EXPECT_FALSE(fs.CopyFile(dir / "a.txt", dir / "a.txt"));
  EXPECT_EQ(dir.Read("a.txt"), "source");

  ASSERT_TRUE(fs.SetAttributes(dir / "b.txt", attr::ReadOnly));
  EXPECT_TRUE(fs.GetAttributes(dir / "b.txt") & attr::ReadOnly);
  EXPECT_FALSE(fs.CopyFile(dir / "a.txt", dir / "b.txt"));
  EXPECT_EQ(dir.Read("b.txt"), "old target");
  EXPECT_FALSE(fs.DeleteFile(dir / "b.txt"));  // read-only holds for deletion too
  ASSERT_TRUE(fs.SetAttributes(dir / "b.txt", attr::Normal));
  EXPECT_FALSE(fs.GetAttributes(dir / "b.txt") & attr::ReadOnly);
  EXPECT_TRUE(fs.CopyFile(dir / "a.txt", dir / "b.txt"));

  EXPECT_FALSE(fs.CopyFile(dir / "missing.txt", dir / "b.txt"));
  EXPECT_EQ(dir.Read("b.txt"), "source");
  EXPECT_FALSE(fs.CopyFile(dir / "a.txt", dir / "no/such/folder/x.txt"));
}

TEST(FileOps, ReadOnlySourceGivesReadOnlyCopy) {
  test::TempDir dir;
  NativeFileSystem fs;
  dir.Write("ro.txt", "r");
  ASSERT_TRUE(fs.SetAttributes(dir / "ro.txt", attr::ReadOnly));
  dir.Write("copy.txt", "old");
  ASSERT_TRUE(fs.CopyFile(dir / "ro.txt", dir / "copy.txt"));
  EXPECT_TRUE(fs.GetAttributes(dir / "copy.txt") & attr::ReadOnly);
  EXPECT_EQ(dir.Read("copy.txt"), "r");
}

TEST(FileOps, MoveDeleteAndIdentity) {
  test::TempDir dir;
  NativeFileSystem fs;
  dir.Write("a.txt", "a");
  dir.Write("b.txt", "b");
  EXPECT_FALSE(fs.MoveFile(dir / "a.txt", dir / "b.txt"));  // never over an existing file
  EXPECT_EQ(dir.Read("b.txt"), "b");
  EXPECT_TRUE(fs.SameVolume(dir / "a.txt", dir / "new/deeper/c.txt"));
  ASSERT_TRUE(fs.MoveFile(dir / "a.txt", dir / "c.txt"));
  EXPECT_FALSE(fs.FileExists(dir / "a.txt"));
  EXPECT_EQ(dir.Read("c.txt"), "a");

  EXPECT_TRUE(fs.SameFile(dir / "c.txt", dir.path() + kPathSeparator + "." + kPathSeparator + "c.txt"));
  EXPECT_FALSE(fs.SameFile(dir / "c.txt", dir / "b.txt"));
  EXPECT_FALSE(fs.SameFile(dir / "c.txt", dir / "missing"));

  EXPECT_TRUE(fs.DeleteFile(dir / "c.txt"));
  EXPECT_FALSE(fs.FileExists(dir / "c.txt"));
  EXPECT_FALSE(fs.DeleteFile(dir / "c.txt"));
  ASSERT_TRUE(fs.CreateDirectories(dir / "folder"));
  EXPECT_FALSE(fs.DeleteFile(dir / "folder"));
}

TEST(FileOps, HiddenEntriesOnlyOnRequest) {
  test::TempDir dir;
  NativeFileSystem fs;
  dir.Write("shown.txt", "");
  dir.Write("secret.txt", "");
  ASSERT_TRUE(fs.SetAttributes(dir / "secret.txt", attr::Hidden | attr::Archive));
  EXPECT_TRUE(fs.GetAttributes(dir / "secret.txt") & attr::Hidden);
  std::vector<DirEntry> entries;
  ASSERT_TRUE(fs.FindFiles(dir / "*.*", false, entries));
  EXPECT_EQ(Names(entries), std::vector<std::string>{"shown.txt"});
  ASSERT_TRUE(fs.FindFiles(dir / "*.*", true, entries));
  EXPECT_EQ(entries.size(), 2u);
  // A single-file look-up sees hidden files as well.
  DirEntry one;
  EXPECT_TRUE(fs.FindFile(dir / "secret.txt", one));
}

#if !defined(_WIN32)

std::string DosAttribute(const std::string& path) {
  char buffer[64];
  const ssize_t n = ::getxattr(path.c_str(), "user.DOSATTRIB", buffer, sizeof buffer);
  return n < 0 ? std::string("<none>") : std::string(buffer, static_cast<std::size_t>(n));
}

TEST(FileOpsPosix, DotNamesAreHiddenAndDosAttributeIsText) {
  test::TempDir dir;
  NativeFileSystem fs;
  dir.Write(".profile", "");
  dir.Write("plain", "");
  EXPECT_EQ(fs.GetAttributes(dir / ".profile"), attr::Hidden | attr::Archive);
  EXPECT_EQ(fs.GetAttributes(dir / "plain"), attr::Archive);
  std::vector<DirEntry> entries;
  ASSERT_TRUE(fs.FindFiles(dir / "*", false, entries));
  EXPECT_EQ(Names(entries), std::vector<std::string>{"plain"});

  ASSERT_TRUE(fs.SetAttributes(dir / "plain", attr::Normal));
  EXPECT_EQ(DosAttribute(dir / "plain"), "0x0");
  EXPECT_EQ(fs.GetAttributes(dir / "plain"), attr::Normal);
  ASSERT_TRUE(fs.SetAttributes(dir / "plain", attr::System | attr::Archive | attr::ReadOnly));
  EXPECT_EQ(DosAttribute(dir / "plain"), "0x24");
  EXPECT_EQ(fs.GetAttributes(dir / "plain"), attr::System | attr::Archive | attr::ReadOnly);
  struct stat st;
  ASSERT_EQ(::stat((dir / "plain").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);
  // Other forms of the attribute are read as absent.
  ::setxattr((dir / "plain").c_str(), "user.DOSATTRIB", "\x03\x00", 2, 0);
  EXPECT_EQ(fs.GetAttributes(dir / "plain"), attr::Archive | attr::ReadOnly);
}

TEST(FileOpsPosix, CopyKeepsModeDosAttributeAndNanoseconds) {
  test::TempDir dir;
  NativeFileSystem fs;
  dir.Write("s", "data");
  ASSERT_EQ(::chmod((dir / "s").c_str(), 0640), 0);
  ASSERT_TRUE(fs.SetAttributes(dir / "s", attr::Hidden));
  struct timespec times[2] = {{1000000000, 123456789}, {1100000000, 987654321}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "s").c_str(), times, 0), 0);
  ASSERT_TRUE(fs.CopyFile(dir / "s", dir / "t"));
  struct stat s, t;
  ASSERT_EQ(::stat((dir / "s").c_str(), &s), 0);
  ASSERT_EQ(::stat((dir / "t").c_str(), &t), 0);
  EXPECT_EQ(t.st_mode & 07777, 0640u);
  EXPECT_EQ(t.st_mtim.tv_sec, s.st_mtim.tv_sec);
  EXPECT_EQ(t.st_mtim.tv_nsec, s.st_mtim.tv_nsec);
  EXPECT_EQ(DosAttribute(dir / "t"), "0x2");
}

TEST(FileOpsPosix, LinksSpecialFilesAndHardLinks) {
  test::TempDir dir;
  NativeFileSystem fs;
  dir.Write("real/file.txt", "content");
  ASSERT_EQ(::symlink((dir / "real").c_str(), (dir / "linkdir").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "real/file.txt").c_str(), (dir / "linkfile").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "nowhere").c_str(), (dir / "dangling").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "loop").c_str(), (dir / "loop").c_str()), 0);
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0666), 0);
  ASSERT_EQ(::link((dir / "real/file.txt").c_str(), (dir / "hard.txt").c_str()), 0);

  std::vector<DirEntry> entries;
  ASSERT_TRUE(fs.FindFiles(dir / "*.*", true, entries));
  EXPECT_EQ(Names(entries), (std::vector<std::string>{"hard.txt", "linkdir", "linkfile", "real"}));
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[1].attributes & (attr::Directory | attr::ReparsePoint),
            attr::Directory | attr::ReparsePoint);  // linkdir
  EXPECT_EQ(entries[2].size, 7u);                   // linkfile: its target's size
  EXPECT_FALSE(entries[3].attributes & attr::ReparsePoint);  // real

  // Nothing reads from or writes to a FIFO, and nothing blocks on it.
  int64_t times[3];
  EXPECT_FALSE(fs.CopyFile(dir / "fifo", dir / "out"));
  EXPECT_FALSE(fs.FileExists(dir / "out"));
  EXPECT_FALSE(fs.GetFileTimes(dir / "fifo", times));
  EXPECT_FALSE(fs.FileExists(dir / "fifo"));
  EXPECT_FALSE(fs.DeleteFile(dir / "fifo"));
  DirEntry one;
  EXPECT_FALSE(fs.FindFile(dir / "fifo", one));

  // A hard link or a symbolic link is the same file: never copied onto itself.
  EXPECT_TRUE(fs.SameFile(dir / "hard.txt", dir / "linkfile"));
  EXPECT_FALSE(fs.CopyFile(dir / "real/file.txt", dir / "hard.txt"));
  EXPECT_FALSE(fs.CopyFile(dir / "real/file.txt", dir / "linkfile"));
  EXPECT_EQ(dir.Read("real/file.txt"), "content");

  // Deleting a link leaves what it points to.
  EXPECT_TRUE(fs.DeleteFile(dir / "linkfile"));
  EXPECT_EQ(dir.Read("real/file.txt"), "content");
  EXPECT_FALSE(fs.DeleteFile(dir / "linkdir"));
}

TEST(FileOpsPosix, ReadOnlyHoldsEvenForRoot) {
  test::TempDir dir;
  NativeFileSystem fs;
  dir.Write("t", "keep");
  ASSERT_EQ(::chmod((dir / "t").c_str(), 0444), 0);
  dir.Write("s", "new");
  EXPECT_FALSE(fs.CopyFile(dir / "s", dir / "t"));
  EXPECT_FALSE(fs.DeleteFile(dir / "t"));
  EXPECT_EQ(dir.Read("t"), "keep");
}

TEST(FileOpsPosix, StaleTemporaryOfAnInterruptedCopyIsCleared) {
  test::TempDir dir;
  NativeFileSystem fs;
  dir.Write("s", "whole");
  dir.Write("t", "old");
  dir.Write(".t.vxpart", "half");
  ASSERT_TRUE(fs.CopyFile(dir / "s", dir / "t"));
  EXPECT_EQ(dir.Read("t"), "whole");
  EXPECT_FALSE(stdfs::exists(dir / ".t.vxpart"));
}

TEST(FileOpsPosix, OtherFileSystemIsAnotherVolume) {
  if (!stdfs::is_directory("/dev/shm")) GTEST_SKIP() << "no tmpfs at /dev/shm";
  test::TempDir dir;
  NativeFileSystem fs;
  dir.Write("s", "x");
  const std::string other = "/dev/shm/veltrix-move-" + std::to_string(::getpid());
  EXPECT_FALSE(fs.SameVolume(dir / "s", other));
  EXPECT_FALSE(fs.MoveFile(dir / "s", other));
  EXPECT_TRUE(fs.FileExists(dir / "s"));
  ASSERT_TRUE(fs.CopyFile(dir / "s", other));
  EXPECT_EQ(::unlink(other.c_str()), 0);
}

#endif

}  // namespace
}  // namespace vx
