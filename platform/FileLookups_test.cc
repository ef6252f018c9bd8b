// Single-file look-ups and copies that take the short routes: links, dot
// names, and copies between two file systems one after another.
#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "tests/unit/TempDir.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#endif

namespace vx {
namespace {

TEST(FileLookups, FileSearchAndExistenceAgree) {
  test::TempDir dir;
  NativeFileSystem fs;
  dir.Write("sub/.dot.txt", "12345678");
  dir.Write("plain.txt", "abc");
  DirEntry one;
  for (const char* name : {"sub/.dot.txt", "plain.txt", "sub", "missing.txt", "sub/"}) {
    EXPECT_EQ(fs.FindFile(dir / name, one), fs.FileExists(dir / name)) << name;
  }
  ASSERT_TRUE(fs.FindFile(dir / "sub/.dot.txt", one));
  EXPECT_EQ(one.name, ".dot.txt");
  EXPECT_EQ(one.size, 8u);
  EXPECT_FALSE(one.attributes & attr::Directory);
}

// An open file's position moves with its reads and seeks alone.
TEST(FileLookups, OpenFilePositionFollowsReadsAndSeeks) {
  test::TempDir dir;
  NativeFileSystem fs;
  dir.Write("data.bin", "0123456789");
  std::string error;
  const auto file = fs.OpenForRead(dir / "data.bin", Sharing::Read, error);
  ASSERT_TRUE(file) << error;
  char buffer[16] = {};
  EXPECT_EQ(file->Size(), 10);
  EXPECT_EQ(file->Position(), 0);
  ASSERT_EQ(file->Read(buffer, 4), 4);
  EXPECT_EQ(std::string(buffer, 4), "0123");
  EXPECT_EQ(file->Position(), 4);
  ASSERT_EQ(file->Read(buffer, 16), 6);
  EXPECT_EQ(std::string(buffer, 6), "456789");
  EXPECT_EQ(file->Read(buffer, 16), 0);
  EXPECT_EQ(file->Position(), 10);

  ASSERT_TRUE(file->Seek(7));
  ASSERT_EQ(file->Read(buffer, 2), 2);
  EXPECT_EQ(std::string(buffer, 2), "78");
  EXPECT_FALSE(file->Seek(-1));
  EXPECT_EQ(file->Position(), 9);
  ASSERT_TRUE(file->Seek(50));
  EXPECT_EQ(file->Read(buffer, 4), 0);

#if !defined(_WIN32)
  // What the file gains later is read too (Windows refuses the writer here).
  dir.Write("data.bin", "0123456789abc");
  EXPECT_EQ(file->Size(), 13);
  ASSERT_TRUE(file->Seek(10));
  ASSERT_EQ(file->Read(buffer, 16), 3);
  EXPECT_EQ(std::string(buffer, 3), "abc");
#endif
}

#if !defined(_WIN32)

TEST(FileLookupsPosix, ALinkIsSearchedAsWhatItPointsTo) {
  test::TempDir dir;
  NativeFileSystem fs;
  dir.Write("real.bin", "0123456789");
  ASSERT_EQ(::symlink((dir / "real.bin").c_str(), (dir / "link.bin").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "gone").c_str(), (dir / "dangling").c_str()), 0);
  DirEntry real, link;
  ASSERT_TRUE(fs.FindFile(dir / "real.bin", real));
  ASSERT_TRUE(fs.FindFile(dir / "link.bin", link));
  EXPECT_EQ(link.name, "link.bin");
  EXPECT_EQ(link.size, real.size);
  EXPECT_EQ(link.lastWrite, real.lastWrite);
  EXPECT_FALSE(fs.FindFile(dir / "dangling", link));
  EXPECT_FALSE(fs.FileExists(dir / "dangling"));

  // The single-name form of the enumeration follows the link the same way.
  std::vector<DirEntry> entries;
  ASSERT_TRUE(fs.FindFiles(dir / "link.bin", false, entries));
  EXPECT_EQ(entries[0].size, 10u);
  EXPECT_FALSE(fs.FindFiles(dir / "dangling", true, entries));
}

// The target is looked at only once the copy is ready: what may not be
// replaced still is not, and nothing is left beside it.
TEST(FileLookupsPosix, ACopyReadyForAnUnfitTargetLeavesNothing) {
  test::TempDir dir;
  NativeFileSystem fs;
  dir.Write("src.txt", "new content");
  dir.Write("folder/inside.txt", "x");
  dir.Write("other.txt", "old");
  ASSERT_EQ(::symlink((dir / "gone").c_str(), (dir / "dangling").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "other.txt").c_str(), (dir / "toother").c_str()), 0);
  EXPECT_FALSE(fs.CopyFile(dir / "src.txt", dir / "folder"));
  // A dangling link is replaced by the copy; what it named is never made.
  EXPECT_TRUE(fs.CopyFile(dir / "src.txt", dir / "dangling"));
  EXPECT_EQ(dir.Read("dangling"), "new content");
  EXPECT_FALSE(fs.FileExists(dir / "gone"));

  // A link to a file is replaced by the copy; the file it named stays.
  ASSERT_TRUE(fs.CopyFile(dir / "src.txt", dir / "toother"));
  EXPECT_EQ(dir.Read("toother"), "new content");
  EXPECT_EQ(dir.Read("other.txt"), "old");
  struct stat st;
  ASSERT_EQ(::lstat((dir / "toother").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));

  std::vector<DirEntry> entries;
  ASSERT_TRUE(fs.FindFiles(dir / "*.*", true, entries));
  EXPECT_EQ(entries.size(), 5u);  // src.txt, folder, other.txt, toother, dangling: no temporary
}

// A second folder on another file system, when the machine has one in memory.
std::string OtherFileSystemFolder() {
  char pattern[] = "/dev/shm/veltrix-test.XXXXXX";
  struct stat shm;
  if (::stat("/dev/shm", &shm) != 0 || !S_ISDIR(shm.st_mode)) return {};
  const char* made = ::mkdtemp(pattern);
  return made ? std::string(made) : std::string();
}

TEST(FileLookupsPosix, CopiesAcrossFileSystemsOneAfterAnother) {
  test::TempDir dir;
  NativeFileSystem fs;
  const std::string other = OtherFileSystemFolder();
  struct stat here, there;
  if (other.empty() || ::stat(dir.path().c_str(), &here) != 0 ||
      ::stat(other.c_str(), &there) != 0 || here.st_dev == there.st_dev) {
    if (!other.empty()) std::filesystem::remove_all(other);
    GTEST_SKIP() << "no second file system at hand";
  }
  // Back and forth, so that each direction follows a copy in the other one.
  for (int i = 0; i < 3; ++i) {
    const std::string name = "f" + std::to_string(i);
    const std::string bytes(1000 + 4096 * i, static_cast<char>('a' + i));
    dir.Write(name, bytes);
    ASSERT_EQ(::chmod((dir / name).c_str(), 0604), 0);
    ASSERT_TRUE(fs.CopyFile(dir / name, other + "/" + name));
    ASSERT_TRUE(fs.CopyFile(other + "/" + name, dir / (name + ".back")));
    EXPECT_EQ(dir.Read(name + ".back"), bytes);
    struct stat st;
    ASSERT_EQ(::stat((dir / (name + ".back")).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0604u);
  }
  std::filesystem::remove_all(other);
}

#endif

}  // namespace
}  // namespace vx
