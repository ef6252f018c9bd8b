// The file operations of the native backend, on real temporary trees.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/Platform.h"
#include "tests/unit/PathFiles.h"
#include "platform/TestSystemTools.h"
#include "tests/unit/TempDir.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace vx {
namespace {

namespace stdfs = std::filesystem;
using test::PathFiles;

void SetWriteTime(const std::string& path, int secondsAgo) {
  stdfs::last_write_time(path, stdfs::file_time_type::clock::now() - std::chrono::seconds(secondsAgo));
}

class FileOps : public ::testing::Test {
 protected:
  test::TempDir dir;
  NativeFileSystem fs;
  PathFiles files{fs};
};

TEST_F(FileOps, ListingMasksAndEntryData) {
  dir.Write("b.txt", "12345");
  dir.Write("a.TXT", "");
  dir.Write("README", "x");
  dir.Write("sub/inner.txt", "y");

  ErrorOr<Listing> listing = files.List(dir.path(), false, "*.*");
  ASSERT_TRUE(listing);
  std::vector<std::string> names = files.Names(dir.path(), false);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"README", "a.TXT", "b.txt", "sub"}));
  for (std::size_t i = 0; i < listing->Count(); ++i) {
    const ListedEntry e = listing->At(i);
    EXPECT_EQ(e.IsFolder(), e.name == "sub") << e.name;
    if (e.name == "b.txt") {
      EXPECT_EQ(e.size, 5u);
    }
  }
  ASSERT_TRUE(listing->Find("b.txt"));
  EXPECT_EQ(listing->Find("b.txt")->size, 5u);
  EXPECT_FALSE(listing->Find("c.txt"));

  EXPECT_EQ(files.Names(dir.path(), false, "?.txt").size(), kFileNamesCaseSensitive ? 1u : 2u);
  ASSERT_TRUE(files.List(dir.path(), false, "*.none"));
  EXPECT_EQ(files.List(dir.path(), false, "*.none")->Count(), 0u);
  // A folder that is not there is an error, not an empty listing.
  ErrorOr<Listing> missing = files.List(dir / "missing", false);
  ASSERT_FALSE(missing);
  EXPECT_TRUE(IsMissing(missing.error()));

  // A plain name lists just that entry; its time agrees with the time stamps.
  ErrorOr<Listing> one = files.List(dir.path(), false, "b.txt");
  ASSERT_TRUE(one);
  ASSERT_EQ(one->Count(), 1u);
  ErrorOr<FileTimes> times = files.Times(dir / "b.txt");
  ASSERT_TRUE(times);
  EXPECT_EQ(times->lastWrite, one->At(0).lastWrite);
  EXPECT_FALSE(files.Times(dir / "missing"));
  ErrorOr<EntryInfo> look = files.Look(dir / "b.txt");
  ASSERT_TRUE(look);
  EXPECT_EQ(look->kind, EntryKind::File);
  EXPECT_EQ(look->size, 5u);
  EXPECT_EQ(files.Look(dir / "sub")->kind, EntryKind::Folder);
  EXPECT_TRUE(IsMissing(files.Look(dir / "missing").error()));
}

TEST_F(FileOps, CopyCarriesContentTimeAndReplacesLeavingNoTemporary) {
  dir.Write("src.bin", std::string("\0\x01payload\xff", 11));
  SetWriteTime(dir / "src.bin", 3600);
  ASSERT_FALSE(files.Copy(dir / "src.bin", dir / "dst.bin"));
  EXPECT_EQ(dir.Read("dst.bin"), dir.Read("src.bin"));
  EXPECT_EQ(files.Look(dir / "src.bin")->lastWrite, files.Look(dir / "dst.bin")->lastWrite);

  dir.Write("src.bin", "new");
  ASSERT_FALSE(files.Copy(dir / "src.bin", dir / "dst.bin"));
  EXPECT_EQ(dir.Read("dst.bin"), "new");
  EXPECT_EQ(files.Names(dir.path(), true), (std::vector<std::string>{"dst.bin", "src.bin"}));
}

// A sparse source: its holes read as zeros in the copy, its size (a
// trailing hole too) is kept, and on Linux its holes stay holes.
TEST_F(FileOps, CopyKeepsHolesAndSize) {
  const std::string source = dir / "sparse.bin";
  {
    std::ofstream out(source, std::ios::binary);
    out.seekp(8 << 20);
    out << std::string(1 << 20, 'a');
    out.seekp(40 << 20);
    out << std::string(1 << 20, 'b');
  }
  stdfs::resize_file(source, 64 << 20);
  ASSERT_FALSE(files.Copy(source, dir / "copy.bin"));
  ASSERT_EQ(stdfs::file_size(dir / "copy.bin"), uint64_t{64} << 20);
  EXPECT_TRUE(dir.Read("copy.bin") == dir.Read("sparse.bin"));
#if !defined(_WIN32)
  struct stat in, copy;
  ASSERT_EQ(::stat(source.c_str(), &in), 0);
  ASSERT_EQ(::stat((dir / "copy.bin").c_str(), &copy), 0);
  // Allocated within 1% and 1 MiB of the source's (512-byte blocks).
  EXPECT_LE(copy.st_blocks, in.st_blocks + in.st_blocks / 100 + 2048);
#endif
}

TEST_F(FileOps, CopyRefusesItselfReadOnlyTargetsFoldersAndMissingSources) {
  dir.Write("a.txt", "source");
  dir.Write("b.txt", "old target");
  dir.Write("folder/x", "");
  EXPECT_TRUE(files.Copy(dir / "a.txt", dir / "a.txt"));
  EXPECT_EQ(dir.Read("a.txt"), "source");
  EXPECT_TRUE(files.Copy(dir / "a.txt", dir / "folder"));

  ASSERT_FALSE(files.SetAttributes(dir / "b.txt", attr::ReadOnly));
  EXPECT_TRUE(files.Attributes(dir / "b.txt") & attr::ReadOnly);
  EXPECT_TRUE(files.Copy(dir / "a.txt", dir / "b.txt"));
  EXPECT_EQ(dir.Read("b.txt"), "old target");
  EXPECT_TRUE(files.Delete(dir / "b.txt"));  // read-only holds for deletion too
  ASSERT_FALSE(files.SetAttributes(dir / "b.txt", attr::Normal));
  EXPECT_FALSE(files.Attributes(dir / "b.txt") & attr::ReadOnly);
  EXPECT_FALSE(files.Copy(dir / "a.txt", dir / "b.txt"));

  const std::error_code missing = files.Copy(dir / "missing.txt", dir / "b.txt");
  EXPECT_TRUE(IsMissing(missing)) << missing.message();
  EXPECT_EQ(dir.Read("b.txt"), "source");
  EXPECT_TRUE(files.Copy(dir / "a.txt", dir / "no/such/folder/x.txt"));
  EXPECT_EQ(files.Names(dir.path(), true), (std::vector<std::string>{"a.txt", "b.txt", "folder"}));
}

TEST_F(FileOps, ReadOnlySourceGivesReadOnlyCopy) {
  dir.Write("ro.txt", "r");
  ASSERT_FALSE(files.SetAttributes(dir / "ro.txt", attr::ReadOnly));
  dir.Write("copy.txt", "old");
  ASSERT_FALSE(files.Copy(dir / "ro.txt", dir / "copy.txt"));
  EXPECT_TRUE(files.Attributes(dir / "copy.txt") & attr::ReadOnly);
  EXPECT_EQ(dir.Read("copy.txt"), "r");
}

TEST_F(FileOps, MoveNeverReplacesDeleteAndRemove) {
  dir.Write("a.txt", "a");
  dir.Write("b.txt", "b");
  EXPECT_TRUE(files.Move(dir / "a.txt", dir / "b.txt"));  // never over an existing file
  EXPECT_EQ(dir.Read("b.txt"), "b");
  ASSERT_FALSE(files.Move(dir / "a.txt", dir / "c.txt"));
  EXPECT_FALSE(files.IsFile(dir / "a.txt"));
  EXPECT_EQ(dir.Read("c.txt"), "a");

  EXPECT_FALSE(files.Delete(dir / "c.txt"));
  EXPECT_TRUE(IsMissing(files.Look(dir / "c.txt").error()));
  EXPECT_TRUE(IsMissing(files.Delete(dir / "c.txt")));
  ASSERT_FALSE(fs.CreateDirectories(dir / "folder/inner"));
  EXPECT_TRUE(files.Delete(dir / "folder"));
  EXPECT_TRUE(files.RemoveFolder(dir / "folder"));  // not empty
  EXPECT_FALSE(files.RemoveFolder(dir / "folder/inner"));
  EXPECT_FALSE(files.RemoveFolder(dir / "folder"));
  EXPECT_TRUE(files.RemoveLink(dir / "b.txt"));  // not a link
  EXPECT_EQ(dir.Read("b.txt"), "b");
}

// A held file takes more names: a free one, one taken by another file (as a
// copy would replace it), its own; never a folder's, nor a read-only file's
// unless asked. No temporary name stays behind.
TEST_F(FileOps, HeldFilesTakeMoreNamesAsCopiesReplaceTargets) {
  dir.Write("first", "linked");
  dir.Write("other", "other");
  dir.Write("locked", "ro");
  ASSERT_FALSE(files.SetAttributes(dir / "locked", attr::ReadOnly));
  ASSERT_FALSE(fs.CreateDirectories(dir / "folder"));
  ErrorOr<Folder> root = fs.OpenRoot(dir.path());
  ASSERT_TRUE(root);
  ErrorOr<std::unique_ptr<HeldFile>> held = fs.HoldFile(*root, "first");
  ASSERT_TRUE(held);
  EXPECT_FALSE(fs.LinkFile(**held, *root, "second", false));
  EXPECT_FALSE(fs.LinkFile(**held, *root, "other", false));
  EXPECT_FALSE(fs.LinkFile(**held, *root, "first", false));
  EXPECT_TRUE(fs.LinkFile(**held, *root, "folder", true));
  EXPECT_TRUE(fs.LinkFile(**held, *root, "locked", false));
  EXPECT_EQ(dir.Read("locked"), "ro");
  EXPECT_FALSE(fs.LinkFile(**held, *root, "locked", true));
  for (const char* name : {"second", "other", "locked"}) {
    EXPECT_EQ(dir.Read(name), "linked") << name;
    EXPECT_EQ(files.Look(dir / name)->id, (*held)->Id()) << name;
  }
  EXPECT_EQ(files.Look(dir / "first")->links, 4u);
  EXPECT_TRUE(fs.HoldFile(*root, "folder").error());
  held->reset();
  EXPECT_EQ(files.Names(dir.path(), true), (std::vector<std::string>{"first", "folder", "locked", "other", "second"}));
}

TEST_F(FileOps, HiddenEntriesOnlyOnRequestAndAttributesOnTheEntry) {
  dir.Write("shown.txt", "");
  dir.Write("secret.txt", "");
  ASSERT_FALSE(files.SetAttributes(dir / "secret.txt", attr::Hidden | attr::Archive));
  EXPECT_TRUE(files.Attributes(dir / "secret.txt") & attr::Hidden);
  EXPECT_EQ(files.Names(dir.path(), false), std::vector<std::string>{"shown.txt"});
  ErrorOr<Listing> all = files.List(dir.path(), true);
  ASSERT_TRUE(all);
  ASSERT_EQ(all->Count(), 2u);
  EXPECT_TRUE(all->Find("secret.txt")->attributes & attr::Hidden);
  // A single-name look sees hidden files as well.
  EXPECT_TRUE(files.IsFile(dir / "secret.txt"));
}

TEST_F(FileOps, HeldFoldersAndIdentities) {
  dir.Write("a/b/f.txt", "f");
  Folder a = files.Open(dir / "a");
  ErrorOr<Folder> b = fs.OpenFolder(a, "b");
  ASSERT_TRUE(b);
  EXPECT_EQ(b->Path(), a.PathOf("b"));
  ErrorOr<Folder> again = fs.OpenRoot(dir / "a/./b");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->Id(), b->Id());
  EXPECT_NE(a.Id(), b->Id());
  EXPECT_TRUE(IsMissing(fs.OpenFolder(a, "none").error()));
  // A file where a folder is expected: no folder there, and none made.
  ErrorOr<Folder> file = fs.OpenFolder(*b, "f.txt");
  ASSERT_FALSE(file);
  EXPECT_FALSE(fs.CreateFolder(*b, "f.txt", nullptr));
  EXPECT_EQ(dir.Read("a/b/f.txt"), "f");
  // Names are single components.
  EXPECT_FALSE(fs.OpenFolder(a, ".."));
  EXPECT_FALSE(fs.OpenFolder(a, "b/.."));
  EXPECT_FALSE(fs.Look(a, ""));

  ErrorOr<std::vector<FileId>> chain = fs.FolderAndParents(*b);
  ASSERT_TRUE(chain);
  ASSERT_GE(chain->size(), 3u);
  EXPECT_EQ((*chain)[0], b->Id());
  EXPECT_EQ((*chain)[1], a.Id());
  EXPECT_EQ((*chain)[2], files.Open(dir.path()).Id());

  ErrorOr<Folder> made = fs.CreateFolder(*b, "new", &*b);
  ASSERT_TRUE(made);
  ErrorOr<Folder> same = fs.CreateFolder(*b, "new", nullptr);
  ASSERT_TRUE(same);
  EXPECT_EQ(same->Id(), made->Id());
  // Closed, a held folder can go.
  made->Close();
  same->Close();
  EXPECT_FALSE(fs.RemoveFolder(*b, "new"));

  ErrorOr<Folder> root = fs.CreateRoot(dir / "x/y/z", &a);
  ASSERT_TRUE(root);
  EXPECT_EQ(root->Id(), files.Open(dir / "x/y/z").Id());
  EXPECT_TRUE(fs.CreateRoot(dir / "a/b/f.txt", nullptr).error());
}

// The primitive behind every copy and the log's trim: unique, exclusive,
// committed by name, removed when not committed.
TEST_F(FileOps, TemporaryFilesAreUniqueExclusiveAndCleanedUp) {
  std::vector<std::string> names;
  for (int i = 0; i < 200; ++i) names.push_back(NewTemporaryName());
  for (const std::string& name : names) {
    EXPECT_TRUE(IsTemporaryName(name)) << name;
    EXPECT_EQ(name.size(), 20u);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::unique(names.begin(), names.end()), names.end());
  EXPECT_FALSE(IsTemporaryName(".report.txt.vxpart"));
  EXPECT_FALSE(IsTemporaryName(".vx~ABCDEFGHIJKL.tmp"));

  dir.Write("taken.txt", "user's");
  Folder folder = files.Open(dir.path());
  {
    ErrorOr<TemporaryFile> file = TemporaryFile::Create(folder);
    ASSERT_TRUE(file);
    ASSERT_FALSE(file->Write("abc", 3));
    EXPECT_TRUE(file->Commit("taken.txt", false));  // never replacing
    ASSERT_FALSE(file->Commit("fresh.txt", false));
  }
  EXPECT_EQ(dir.Read("fresh.txt"), "abc");
  EXPECT_EQ(dir.Read("taken.txt"), "user's");
  {
    ErrorOr<TemporaryFile> file = TemporaryFile::Create(folder);
    ASSERT_TRUE(file);
    ASSERT_FALSE(file->Write("xyz", 3));
    ASSERT_FALSE(file->Commit("taken.txt", true));
  }
  EXPECT_EQ(dir.Read("taken.txt"), "xyz");
  {
    ErrorOr<TemporaryFile> file = TemporaryFile::Create(folder);
    ASSERT_TRUE(file);
    ASSERT_FALSE(file->Write("lost", 4));
  }  // not committed: nothing of it stays
  EXPECT_EQ(files.Names(dir.path(), true), (std::vector<std::string>{"fresh.txt", "taken.txt"}));
}

std::string ReadAll(InputFile& file) {
  std::string bytes(64, '\0');
  ErrorOr<std::size_t> n = file.Read(&bytes[0], bytes.size());
  return n ? bytes.substr(0, *n) : "(error)";
}

// A prepared copy reads its source and copy through its own descriptors, and
// a move's source goes only while it is still the file copied: a file saved
// anew under its name, or appended to, stays. Windows lets no one replace or
// write an open source or copy: there the copy is read and the source goes.
TEST_F(FileOps, APreparedCopyReadsWhatItCopiedAndDeletesOnlyThat) {
  dir.Write("src/a", "one");
  dir.Write("src/b", "two");
  Folder src = files.Open(dir / "src");
  stdfs::create_directories(dir / "dst");
  Folder dst = files.Open(dir / "dst");
  ErrorOr<std::unique_ptr<PreparedCopy>> a = fs.PrepareCopy(src, "a", dst, "a", CopyRequest());
  ASSERT_TRUE(a);
  ASSERT_FALSE((*a)->Commit());
  if (kPathSeparator == '\\') {
    EXPECT_EQ(ReadAll(**(*a)->ReadCopy()), "one");
    const std::error_code error = fs.DeleteSource(src, "a", &(*a)->Source());
    EXPECT_FALSE(error) << error.message();
    a->reset();
    EXPECT_FALSE(stdfs::exists(dir / "src/a"));
    return;
  }
  dir.Write("dst/other", "not the copy");
  stdfs::rename(dir / "dst/other", dir / "dst/a");
  dir.Write("src/new", "V2");
  stdfs::rename(dir / "src/new", dir / "src/a");
  EXPECT_EQ(ReadAll(**(*a)->ReadCopy()), "one");
  EXPECT_EQ(ReadAll(**(*a)->ReadSource()), "one");
  EXPECT_TRUE(IsSourceChanged(fs.DeleteSource(src, "a", &(*a)->Source())));
  EXPECT_EQ(dir.Read("src/a"), "V2");

  ErrorOr<std::unique_ptr<PreparedCopy>> b = fs.PrepareCopy(src, "b", dst, "b", CopyRequest());
  ASSERT_TRUE(b);
  ASSERT_FALSE((*b)->Commit());
  { std::ofstream(dir / "src/b", std::ios::app) << "+tail"; }
  EXPECT_FALSE(*(*b)->SourceUnchanged());
  EXPECT_TRUE(IsSourceChanged(fs.DeleteSource(src, "b", &(*b)->Source())));
  EXPECT_EQ(dir.Read("src/b"), "two+tail");
}

TEST_F(FileOps, ReplaceFileSwapsTheWholeFile) {
  const std::string log = dir / "log.txt";
  ASSERT_FALSE(fs.AppendToFile(log, "old\r\n"));
  ASSERT_FALSE(fs.ReplaceFile(log, "new\r\n"));
  EXPECT_EQ(files.ReadAll(log), "new\r\n");
  // Where the replacement cannot be made, the old file stays whole.
  EXPECT_TRUE(fs.ReplaceFile(dir / "none/log.txt", "x"));
  EXPECT_TRUE(fs.ReplaceFile(dir.path(), "x"));
  EXPECT_EQ(files.Names(dir.path(), true), std::vector<std::string>{"log.txt"});
}

// Appends and trims from two runs take turns: a line appended while a trim
// replaces the log lands in the new log, never in the file it replaces.
TEST_F(FileOps, LinesAppendedDuringTrimsAreKept) {
  const std::string log = dir / "shared.log";
  ASSERT_FALSE(fs.AppendToFile(log, "start\r\n"));
  constexpr int kLines = 120;
  std::atomic<bool> done{false};
  std::thread trims([&] {
    NativeFileSystem other;
    while (!done) {
      (void)other.RewriteFile(log, [](const std::string& bytes) { return bytes; });
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  for (int i = 0; i < kLines; ++i) ASSERT_FALSE(fs.AppendToFile(log, "line " + std::to_string(i) + "\r\n"));
  done = true;
  trims.join();
  const std::string kept = files.ReadAll(log);
  int missing = 0;
  for (int i = 0; i < kLines; ++i)
    if (kept.find("line " + std::to_string(i) + "\r\n") == std::string::npos) ++missing;
  EXPECT_EQ(missing, 0);
  EXPECT_EQ(files.Names(dir.path(), true), std::vector<std::string>{"shared.log"});
}

// A folder of 200,000 names stays well below 16 MiB: names share one arena.
TEST(Listings, NamesShareOneArenaAndAreFoundByName) {
  Listing listing;
  ListedEntry data;
  for (int i = 199999; i >= 0; --i) {
    data.size = static_cast<uint64_t>(i);
    listing.Add("file-" + std::to_string(i) + ".dat", "", data);
  }
  listing.SortByName();
  EXPECT_EQ(listing.Count(), 200000u);
  EXPECT_LT(listing.BytesUsed(), 16u * 1024 * 1024);
  EXPECT_EQ(listing.At(0).name, "file-0.dat");
  ASSERT_TRUE(listing.Find("file-123456.dat"));
  EXPECT_EQ(listing.Find("file-123456.dat")->size, 123456u);
  EXPECT_FALSE(listing.Find("file-200000.dat"));
  listing.Add("short", "SHORT~1", data);
  EXPECT_EQ(listing.Find("short")->shortName, "SHORT~1");
  EXPECT_EQ(listing.Find("short")->ShortOrName(), "SHORT~1");
}

// A walk through two listings in name order finds what Find finds, whatever
// the names missing on either side; an entry listed without its status
// costs no status room.
TEST(Listings, FindNextWalksInNameOrder) {
  Listing listing;
  ListedEntry data;
  data.statusRead = false;
  for (const char* name : {"d", "b", "f", "a"}) listing.Add(name, "", data);
  const std::size_t unlooked = listing.BytesUsed();
  data.statusRead = true;
  data.size = 7;
  listing.Add("c", "", data);
  EXPECT_GT(listing.BytesUsed(), unlooked);
  listing.SortByName();
  EXPECT_FALSE(listing.Find("a")->statusRead);
  EXPECT_EQ(listing.Find("c")->size, 7u);
  std::size_t cursor = 0;
  std::string found;
  for (const char* name : {"0", "a", "bb", "c", "e", "f", "g"}) {
    const std::optional<ListedEntry> entry = listing.FindNext(name, cursor);
    EXPECT_EQ(entry.has_value(), listing.Find(name).has_value()) << name;
    if (entry) found += std::string(entry->name);
  }
  EXPECT_EQ(found, "acf");
}

}  // namespace
}  // namespace vx
