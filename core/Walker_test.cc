// The tree walker, on a file system in memory: its events, what it never
// enters, folders it cannot list, cutting short, removal, and depth.
#include "core/Walker.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/unit/MemoryFileSystem.h"

namespace vx {
namespace {

using test::Fail;

class WalkerTest : public ::testing::Test {
 protected:
  WalkerTest() {
    dir_.Write("src/a.txt", "a");
    dir_.Write("src/sub/b.txt", "b");
    dir_.Write("src/sub/deep/c.txt", "c");
    dir_.Write("outside/o.txt", "o");
    fs_.Link(dir_ / "src/link", dir_ / "outside");
    dir_.Write("src/part/x.txt", "x");
    dir_.Write("src/part/y.txt", "y");
    fs_.FaultsOf(dir_ / "src/part").list = Fail(std::errc::io_error);
    fs_.FaultsOf(dir_ / "src/part").listAfter = 1;
    dir_.MakeFolder("src/shut");
    fs_.FaultsOf(dir_ / "src/shut").open = Fail(std::errc::permission_denied);
  }

  // The events of a walk of src as one text: +enter -leave (~ when not
  // complete) f:file l:link !unlistable (with what failed), each with its
  // path below src. act may act on each event.
  std::string Walk(const std::function<void(TreeWalker&)>& act = {}) {
    ErrorOr<Folder> root = fs_.OpenRoot(dir_ / "src");
    EXPECT_TRUE(root);
    const std::string base = WithSep(dir_ / "src");
    TreeWalker walker(fs_, *root, base, WalkOptions());
    std::string events;
    while (walker.Next()) {
      const std::string path = walker.Path().substr(base.size());
      switch (walker.Event()) {
        case WalkEvent::EnterFolder: events += "+" + path; break;
        case WalkEvent::File: events += "f:" + path; break;
        case WalkEvent::Link: events += "l:" + path; break;
        case WalkEvent::Unlistable:
          events += "!" + path + (walker.ListingFailed() ? "(list)" : "(open)");
          EXPECT_TRUE(walker.Error());
          break;
        case WalkEvent::LeaveFolder: events += (walker.Complete() ? "-" : "~") + path; break;
      }
      events += " ";
      if (act) act(walker);
    }
    return events;
  }
  static std::string WithSep(std::string path) { return path + kPathSeparator; }
  std::string S(std::string text) {  // "/" written in expectations, the platform's separator used
    for (char& c : text)
      if (c == '/') c = kPathSeparator;
    return text;
  }

  test::MemoryFileSystem fs_;
  test::MemoryDir dir_{fs_};
};

TEST_F(WalkerTest, EventsInOrderWithLinksMetAndFailuresReported) {
  EXPECT_EQ(S("+ f:a.txt l:link +part/ !part/(list) ~part/ !shut/(open) +sub/ f:sub/b.txt "
              "+sub/deep/ f:sub/deep/c.txt -sub/deep/ -sub/ ~ "),
            Walk());  // the root holds folders it could not list: not complete
  EXPECT_EQ(0u, fs_.HeldFolders());
  EXPECT_EQ("o", dir_.Read("outside/o.txt"));
}

TEST_F(WalkerTest, SkipCutAndRemovalOfFoldersListedWhole) {
  // Skipped: never listed. Cut: every held folder is left, none complete.
  EXPECT_EQ(S("+ f:a.txt l:link +part/ !part/(list) ~part/ !shut/(open) +sub/ ~sub/ ~ "),
            Walk([](TreeWalker& w) {
              if (w.Event() == WalkEvent::EnterFolder && w.Depth() == 1) {
                if (w.Path().find("sub") != std::string::npos) w.Cut();
              }
            }));
  const std::string skipped = Walk([](TreeWalker& w) {
    if (w.Event() == WalkEvent::EnterFolder && w.Depth() > 0) w.Skip();
  });
  EXPECT_EQ(S("+ f:a.txt l:link +part/ !shut/(open) +sub/ ~ "), skipped);

  // Only a folder listed whole and empty goes; the root never does here.
  dir_.MakeFolder("src/empty");
  std::vector<std::string> removed;
  Walk([&](TreeWalker& w) {
    if (w.Event() != WalkEvent::LeaveFolder) return;
    if (!w.RemoveFolder()) removed.push_back(w.Path());
  });
  EXPECT_EQ(std::vector<std::string>{WithSep(dir_ / "src/empty")}, removed);
  EXPECT_TRUE(dir_.Exists("src/part"));
  EXPECT_TRUE(dir_.Exists("src"));
}

TEST_F(WalkerTest, LookAnswersPresentAbsentOrUnknown) {
  std::string answers;
  Walk([&](TreeWalker& w) {
    if (w.Event() != WalkEvent::File) return;
    if (w.Path().find("b.txt") != std::string::npos)
      fs_.FaultsOf(dir_ / "src/sub/b.txt").look = Fail(std::errc::io_error);
    if (w.Path().find("c.txt") != std::string::npos) fs_.Remove(dir_ / "src/sub/deep/c.txt");
    const Lookup& found = w.Look();
    answers += found.Present() ? "P" : found.Absent() ? "A" : "U";
  });
  EXPECT_EQ("PUA", answers);
}

// Deeper than a recursive walk's thread stack allowed.
TEST_F(WalkerTest, DeepTreesKeepTheirStackOnTheHeap) {
  constexpr std::size_t kLevels = 12000;
  {
    ErrorOr<Folder> at = fs_.OpenRoot(dir_ / "src");
    ASSERT_TRUE(at);
    Folder last = std::move(*at);
    for (std::size_t i = 0; i < kLevels; ++i) {
      ErrorOr<Folder> made = fs_.CreateFolder(last, "d", nullptr);
      ASSERT_TRUE(made);
      last = std::move(*made);
    }
  }
  ErrorOr<Folder> root = fs_.OpenRoot(dir_ / "src");
  ASSERT_TRUE(root);
  TreeWalker walker(fs_, *root, WithSep(dir_ / "src"), WalkOptions());
  std::size_t deepest = 0, left = 0;
  while (walker.Next()) {
    deepest = std::max(deepest, walker.Depth());
    if (walker.Event() != WalkEvent::LeaveFolder) continue;
    ++left;
    // The chain goes from the bottom up, each folder closed first.
    if (walker.Entry().name == "d") {
      EXPECT_FALSE(walker.RemoveFolder());
    }
  }
  EXPECT_EQ(kLevels, deepest);
  EXPECT_EQ(kLevels + 4, left);  // the chain, src, sub, sub/deep, part
  EXPECT_EQ(1u, fs_.HeldFolders());  // the root, the caller's
  EXPECT_FALSE(dir_.Exists("src/d"));
}

}  // namespace
}  // namespace vx
