// Held folders on the Win32 backend: folders that refuse to be renamed,
// identities and parent chains, Wine's links that its own calls would
// follow. Run under Wine.
#include <gtest/gtest.h>

#if defined(_WIN32)

#include <atomic>
#include <thread>

#include "platform/Platform.h"
#include "tests/unit/TempDir.h"
#include "platform/WindowsTestTools.h"
#include "platform/win32/ListingSteps.h"

namespace vx {
namespace {

using namespace test;  // NOLINT: the shared Windows test tools

TEST(WindowsFolders, HeldFolderRefusesRenameReplacementAndRemoval) {
  test::TempDir dir;
  NativeFileSystem fs;
  dir.Write("tree/sub/file.txt", "x");
  dir.Write("evil/planted.txt", "y");
  ErrorOr<Folder> tree = fs.OpenRoot(dir / "tree");
  ASSERT_TRUE(tree) << tree.error().message();
  ErrorOr<Folder> sub = fs.OpenFolder(*tree, "sub");
  ASSERT_TRUE(sub) << sub.error().message();
  EXPECT_EQ(sub->Path(), dir / "tree/sub");

  // Neither renamed away nor replaced by another folder while held.
  EXPECT_FALSE(::MoveFileExW(Long(dir / "tree/sub").c_str(), Long(dir / "moved").c_str(), 0));
  EXPECT_FALSE(::MoveFileExW(Long(dir / "tree").c_str(), Long(dir / "moved").c_str(), 0));
  ASSERT_TRUE(::MoveFileExW(Long(dir / "tree/sub/file.txt").c_str(), Long(dir / "file.txt").c_str(), 0));
  EXPECT_FALSE(::RemoveDirectoryW(Long(dir / "tree/sub").c_str()));
  EXPECT_FALSE(::MoveFileExW(Long(dir / "evil").c_str(), Long(dir / "tree/sub").c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(ReadWide(Long(dir / "evil/planted.txt")), "y");

  // The engine closes a folder before removing it; one still held stays, cleanly.
  const std::error_code held = fs.RemoveFolder(*tree, "sub");
  EXPECT_TRUE(held);
  EXPECT_FALSE(IsMissing(held));
  EXPECT_TRUE(Exists(Long(dir / "tree/sub")));
  sub->Close();
  EXPECT_FALSE(fs.RemoveFolder(*tree, "sub"));
  EXPECT_FALSE(Exists(Long(dir / "tree/sub")));
  EXPECT_TRUE(IsMissing(fs.RemoveFolder(*tree, "sub")));
  tree->Close();
  EXPECT_TRUE(::MoveFileExW(Long(dir / "tree").c_str(), Long(dir / "moved").c_str(), 0));
}

TEST(WindowsFolders, IdentitiesAndTheChainOfParents) {
  test::TempDir dir;
  NativeFileSystem fs;
  dir.Write("un dossier au nom long/inner/f.txt", "x");
  ErrorOr<Folder> top = fs.OpenRoot(dir.path());
  ErrorOr<Folder> byLong = fs.OpenRoot(dir / "un dossier au nom long");
  ErrorOr<std::string> shortPath = fs.ShortPath(dir / "un dossier au nom long");
  ASSERT_TRUE(top && byLong && shortPath);
  ErrorOr<Folder> byShort = fs.OpenRoot(*shortPath);
  ASSERT_TRUE(byShort) << *shortPath;
  EXPECT_EQ(byShort->Id(), byLong->Id());
  EXPECT_NE(byLong->Id(), top->Id());

  ErrorOr<Folder> inner = fs.OpenFolder(*byLong, "inner");
  ASSERT_TRUE(inner);
  ErrorOr<std::vector<FileId>> chain = fs.FolderAndParents(*inner);
  ASSERT_TRUE(chain) << chain.error().message();
  ASSERT_GE(chain->size(), 3u);
  EXPECT_EQ((*chain)[0], inner->Id());
  EXPECT_EQ((*chain)[1], byLong->Id());
  EXPECT_EQ((*chain)[2], top->Id());
  ErrorOr<Folder> root = fs.OpenRoot(dir.path().substr(0, 3));  // "C:\"
  ASSERT_TRUE(root);
  EXPECT_EQ(chain->back(), root->Id());

  // A file where a folder is expected is "no folder there"; a missing one is missing.
  EXPECT_EQ(fs.OpenRoot(dir / "un dossier au nom long/inner/f.txt").error(), SystemError(ERROR_DIRECTORY));
  EXPECT_TRUE(IsMissing(fs.OpenFolder(*inner, "f.txt").error()));
  EXPECT_TRUE(IsMissing(fs.OpenRoot(dir / "absent").error()));
}

// Cases that need Wine and its Unix programs; the links go before the folder.
class WindowsLinks : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!links.available()) GTEST_SKIP() << "not Wine: no Unix programs to start";
  }
  test::TempDir dir;
  UnixLinks links;
  NativeFileSystem fs;
};

TEST_F(WindowsLinks, WineLinksAreNeverActedThrough) {
  dir.Write("outside/precious.txt", "precious");
  dir.Write("outside/other.txt", "other");
  dir.Write("tree/plain.txt", "plain");
  dir.Write("dst/keep.txt", "keep");
  ASSERT_TRUE(links.Make(dir / "outside", dir / "tree/dirlink"));
  ASSERT_TRUE(links.Make(dir / "outside/precious.txt", dir / "tree/filelink"));
  ASSERT_TRUE(links.Make(dir / "outside/other.txt", dir / "dst/target.txt"));
  ErrorOr<Folder> tree = fs.OpenRoot(dir / "tree");
  ErrorOr<Folder> dst = fs.OpenRoot(dir / "dst");
  ASSERT_TRUE(tree && dst);

  ErrorOr<Listing> listing = fs.List(*tree, ListOptions());
  ASSERT_TRUE(listing);
  std::optional<ListedEntry> dirlink = listing->Find("dirlink");
  ASSERT_TRUE(dirlink);
  EXPECT_TRUE(dirlink->IsFolder());
  EXPECT_TRUE(dirlink->attributes & attr::ReparsePoint);

  // A folder link is never entered, nor taken for a folder to create.
  const std::error_code refused = fs.OpenFolder(*tree, "dirlink").error();
  EXPECT_TRUE(refused);
  EXPECT_FALSE(IsMissing(refused));
  EXPECT_FALSE(fs.CreateFolder(*tree, "dirlink", nullptr));
  ErrorOr<EntryInfo> look = fs.Look(*tree, "dirlink");
  ASSERT_TRUE(look);
  EXPECT_TRUE(look->link);
  EXPECT_TRUE(look->attributes & attr::ReparsePoint);

  // Wine would delete, write or remove what the link leads to: each is refused.
  EXPECT_TRUE(fs.DeleteFile(*tree, "filelink"));
  EXPECT_TRUE(fs.SetAttributes(*tree, "filelink", attr::ReadOnly | attr::Hidden));
  EXPECT_FALSE(fs.GetAttributes(*tree, "filelink"));
  EXPECT_TRUE(fs.RemoveLink(*tree, "dirlink"));
  EXPECT_TRUE(fs.RemoveFolder(*tree, "dirlink"));
  EXPECT_TRUE(MoveNeedsCopy(fs.MoveFile(*tree, "filelink", *dst, "moved.txt")));
  EXPECT_EQ(ReadWide(Long(dir / "outside/precious.txt")), "precious");
  EXPECT_EQ(ReadWide(Long(dir / "outside/other.txt")), "other");
  EXPECT_EQ(::GetFileAttributesW(Long(dir / "outside/precious.txt").c_str()) &
                (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
            0u);
  ErrorOr<EntryInfo> file = fs.Look(*tree, "filelink");
  ASSERT_TRUE(file);
  EXPECT_TRUE(file->link);
  EXPECT_EQ(file->kind, EntryKind::File);

  // A link to a file is copied as the file's content; a link in the
  // target's place is replaced, never written through.
  EXPECT_FALSE(fs.CopyFile(*tree, "filelink", *dst, "copy.txt"));
  EXPECT_EQ(ReadWide(Long(dir / "dst/copy.txt")), "precious");
  EXPECT_FALSE(fs.CopyFile(*tree, "plain.txt", *dst, "target.txt"));
  EXPECT_EQ(ReadWide(Long(dir / "dst/target.txt")), "plain");
  EXPECT_EQ(ReadWide(Long(dir / "outside/other.txt")), "other");
  EXPECT_FALSE(HoldsTemporaryFile(fs, *dst));
}

TEST_F(WindowsLinks, AHeldFolderSwappedByALinuxUserIsStillTheOneActedIn) {
  dir.Write("src/a.txt", "copied");
  dir.Write("held/inside.txt", "inside");
  dir.Write("outside/outside.txt", "outside");
  dir.Write("outside/inside.txt", "bait");
  ErrorOr<Folder> src = fs.OpenRoot(dir / "src");
  ErrorOr<Folder> held = fs.OpenRoot(dir / "held");
  ASSERT_TRUE(src && held);
  ASSERT_FALSE(fs.List(*held, ListOptions())->Find("outside.txt"));  // its path noted while held
  // Wine's sharing rules bind Wine's programs only: a Linux program renames
  // the held folder and puts a link in its place.
  ASSERT_TRUE(links.SwapForLink(dir / "held", dir / "aside", dir / "outside"));

  // Listed and written through the held handle: the folder aside. (Wine then
  // has no path for a file made there, so the rename that would name the
  // copy fails and the temporary file stays: the copy fails, it never lands
  // outside.) Deleting what the stale path now leads to is refused.
  ErrorOr<Listing> listing = fs.List(*held, ListOptions());
  ASSERT_TRUE(listing);
  EXPECT_EQ(Names(*listing), (std::vector<std::string>{"inside.txt"}));
  if (!fs.CopyFile(*src, "a.txt", *held, "a.txt")) {
    EXPECT_EQ(ReadWide(Long(dir / "aside/a.txt")), "copied");
  }
  (void)fs.CreateFolder(*held, "sub", nullptr);
  EXPECT_TRUE(fs.DeleteFile(*held, "outside.txt"));
  EXPECT_TRUE(fs.DeleteFile(*held, "inside.txt"));
  EXPECT_TRUE(fs.SetAttributes(*held, "inside.txt", attr::Hidden));
  ErrorOr<Folder> outside = fs.OpenRoot(dir / "outside");
  ASSERT_TRUE(outside);
  ErrorOr<Listing> untouched = fs.List(*outside, ListOptions());
  ASSERT_TRUE(untouched);
  EXPECT_EQ(Names(*untouched), (std::vector<std::string>{"inside.txt", "outside.txt"}));
  EXPECT_EQ(ReadWide(Long(dir / "outside/outside.txt")), "outside");
  EXPECT_EQ(ReadWide(Long(dir / "outside/inside.txt")), "bait");
}

}  // namespace
}  // namespace vx

#endif  // _WIN32
