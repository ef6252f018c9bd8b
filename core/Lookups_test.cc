// Look-ups that could not be made are never taken for "not there": a target
// that cannot be looked at, a source date that cannot be read, a
// destination folder the purge cannot list. On a file system in memory.
#include <gtest/gtest.h>

#include <functional>

#include "core/HolyCoreUnit.h"
#include "tests/unit/MemoryFileSystem.h"
#include "tests/unit/Recorder.h"

namespace vx {
namespace {

using test::Fail;
using test::Recorder;

class LookupsTest : public ::testing::Test {
 protected:
  LookupsTest() : session_(fs_) {
    session_.options = test::MakeOptions(dir_ / "src", dir_ / "dst");
    session_.callbacks = Recorder::All();
    dir_.Write("dst/a.txt", "old");
    dir_.Write("src/a.txt", "new");  // written later: newer
  }
  int32_t Copy() { return CopyTree(session_, dir_ / "src", dir_ / "dst"); }
  CopyRec& o() { return session_.options; }

  test::MemoryFileSystem fs_;
  test::MemoryDir dir_{fs_};
  Session session_;
};

// Under -U, -P, the two-way rule and the identical-file test, a target that
// cannot be looked at (even once, as on a flaky network) is a failed copy
// that leaves it alone; FORCE alone asks nothing of it.
TEST_F(LookupsTest, AnUnknownTargetIsAFailedCopyThatLeavesItAlone) {
  const std::vector<std::pair<const char*, std::function<void(CopyRec&)>>> cases = {
      {"-U", [](CopyRec& r) { r.ExistingOnly = 1; }},
      {"-P", [](CopyRec& r) { r.PromptCreate = 1; }},
      {"-BISYNCHRONIZE", [](CopyRec& r) { r.SyncMode = 2; }},
      {"identical-file test", [](CopyRec&) {}},
  };
  for (const auto& [what, set] : cases) {
    SCOPED_TRACE(what);
    session_.status = -1;
    Recorder::Current() = Recorder();
    o() = test::MakeOptions(dir_ / "src", dir_ / "dst");
    set(o());
    fs_.FaultsOf(dir_ / "dst/a.txt").look = Fail(std::errc::io_error, 1);
    EXPECT_EQ(0, Copy());
    EXPECT_EQ(ResultCopyFailed, session_.status);
    EXPECT_EQ("old", dir_.Read("dst/a.txt"));
    EXPECT_TRUE(Recorder::Current().questions.empty());
    ASSERT_EQ(1u, Recorder::Current().errors.size());
    EXPECT_NE(std::string::npos, Recorder::Current().errors[0].find("a.txt"));
  }
  session_.status = -1;
  o().Force = 1;
  fs_.FaultsOf(dir_ / "dst/a.txt").look = Fail(std::errc::io_error, 1);
  EXPECT_EQ(1, Copy());
  EXPECT_EQ("new", dir_.Read("dst/a.txt"));
}

TEST_F(LookupsTest, AnUnreadableSourceDateIsAFailedCopy) {
  o().NoDateFilter = 0;
  o().FilterDate = 0;  // every file is after it
  o().DateAfter = 1;
  fs_.FaultsOf(dir_ / "src/a.txt").times = Fail(std::errc::io_error);
  EXPECT_EQ(0, Copy());
  EXPECT_EQ(ResultCopyFailed, session_.status);
  EXPECT_EQ("old", dir_.Read("dst/a.txt"));
}

// A destination folder the purge cannot list keeps what it holds, and the
// cut-short purge is an error: logged and counted.
TEST_F(LookupsTest, APurgeCutShortByADestinationListingIsAnError) {
  dir_.Write("dst/gone/x.txt", "x");
  dir_.Write("dst/stale.txt", "s");
  fs_.FaultsOf(dir_ / "dst/gone").list = Fail(std::errc::io_error);
  fs_.FaultsOf(dir_ / "dst/gone").listAfter = 1;
  PurgeDestination(session_, dir_ / "dst", dir_ / "src");
  EXPECT_EQ("x", dir_.Read("dst/gone/x.txt"));
  EXPECT_FALSE(dir_.Exists("dst/stale.txt"));
  EXPECT_EQ(1, session_.errors);
  ASSERT_EQ(1u, Recorder::Current().errors.size());
  EXPECT_NE(std::string::npos, Recorder::Current().errors[0].find("gone"));
}

}  // namespace
}  // namespace vx
