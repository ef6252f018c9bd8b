// Files prepared ahead of the walk, on the file system in memory: each job
// runs as it is posted, as far ahead as the window lets it, and the walk
// must still show, log and leave exactly what it does one file at a time.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <regex>

#include "core/HolyCoreUnit.h"
#include "tests/unit/MemoryFileSystem.h"
#include "tests/unit/Recorder.h"

namespace vx {
namespace {

using test::Fail;

class AtOnce : public Executor {
 public:
  void Post(std::function<void()> job) override { job(); }
};

struct Outcome {
  int32_t count, status, errors;
  std::vector<std::string> files, shown;
  std::string log, tree;
  bool operator==(const Outcome& o) const {
    return count == o.count && status == o.status && errors == o.errors && files == o.files &&
           shown == o.shown && log == o.log && tree == o.tree;
  }
};

void PrintTo(const Outcome& o, std::ostream* out) {
  *out << o.count << " files, status " << o.status << ", " << o.errors << " errors\n"
       << o.tree << o.log;
}

// Every file below path and its content, in name order.
std::string Tree(test::MemoryFileSystem& fs, const std::string& path) {
  std::string text;
  for (const std::string& name : fs.Names(path)) {
    const std::string child = path + kPathSeparator + name;
    text += fs.IsFolder(child) ? name + "/\n" + Tree(fs, child) : name + "=" + fs.Read(child) + "\n";
  }
  return text;
}

using Arrange = std::function<void(test::MemoryFileSystem&, test::MemoryDir&, Session&)>;

Outcome RunOnce(const Arrange& setup, bool ahead, int* prepared) {
  test::MemoryFileSystem fs;
  test::MemoryDir dir{fs};
  Session session(fs);
  session.options = test::MakeOptions(dir / "src", dir / "dst");
  session.callbacks = test::Recorder::All();
  std::strncpy(session.options.LogFile, (dir / "log.txt").c_str(), kMaxTextLength);
  session.options.LogMode = 2;
  AtOnce atOnce;
  if (ahead) {
    session.pool = &atOnce;
    session.poolThreads = 2;
    session.aheadGate.decided = session.aheadGate.open = true;
  }
  for (char c = 'a'; c <= 'h'; ++c) dir.Write(std::string("src/") + c + ".txt", std::string(3, c));
  setup(fs, dir, session);
  Outcome o{};
  o.count = CopyTree(session, dir / "src", dir / "dst");
  o.status = session.status;
  o.errors = session.errors;
  o.files = test::Recorder::Current().files;
  o.shown = test::Recorder::Current().errors;
  // Time stamps masked.
  o.log = std::regex_replace(dir.Exists("log.txt") ? dir.Read("log.txt") : "", std::regex("[0-9]"), "#");
  for (const char* top : {"src", "dst"}) o.tree += dir.Exists(top) ? Tree(fs, dir / top) + "--\n" : "none\n";
  *prepared = fs.calls.copy;
  return o;
}

TEST(CopyAhead, SaysAndLeavesWhatOneFileAtATimeDoes) {
  const std::vector<std::pair<const char*, Arrange>> cases = {
      {"a failed copy stops: nothing prepared after it is named",
       [](auto& fs, auto& dir, auto&) {
         dir.Write("dst/c.txt", "locked");
         fs.SetMode(dir / "dst/c.txt", 0444);
       }},
      {"-C goes on past failures",
       [](auto& fs, auto& dir, auto& s) {
         fs.FaultsOf(dir / "src/b.txt").open = Fail(std::errc::io_error);
         fs.FaultsOf(dir / "src/f.txt").open = Fail(std::errc::io_error);
         s.options.IgnoreErrors = 1;
       }},
      {"-V with corrupted copies stops at the first",
       [](auto& fs, auto& dir, auto& s) {
         dir.MakeFolder("dst");
         fs.FaultsOf(dir / "dst").corruptCopies = true;
         s.options.Verify = 1;
       }},
      {"-V -C logs every difference",
       [](auto& fs, auto& dir, auto& s) {
         dir.MakeFolder("dst");
         fs.FaultsOf(dir / "dst").corruptCopies = true;
         s.options.Verify = 1;
         s.options.IgnoreErrors = 1;
       }},
      {"subfolders made as the walk comes to them",
       [](auto&, auto& dir, auto& s) {
         for (const char* name : {"sub/x.txt", "sub/y.txt", "sub/deeper/z.txt", "zz/w.txt"})
           dir.Write(std::string("src/") + name, name);
         s.options.CopySubdirs = 1;
       }},
      {"-X renames, or copies over an older file then deletes",
       [](auto&, auto& dir, auto& s) {
         dir.Write("dst/d.txt", "old");
         dir.Write("dst/e.txt", "eee");
         s.options.DeleteSource = 1;
       }},
      {"-U and a second run skip what is there",
       [](auto&, auto& dir, auto& s) {
         dir.Write("dst/b.txt", "old");
         dir.Write("dst/g.txt", "old");
         s.options.ExistingOnly = 1;
       }},
      {"-HARDLINKS links later names to the first copy",
       [](auto& fs, auto& dir, auto& s) {
         fs.HardLink(dir / "src/i.txt", dir / "src/a.txt");
         s.extras.hardLinks = true;
       }},
  };
  for (const auto& [name, setup] : cases) {
    SCOPED_TRACE(name);
    int serialPrepared = 0, aheadPrepared = 0;
    const Outcome serial = RunOnce(setup, false, &serialPrepared);
    const Outcome ahead = RunOnce(setup, true, &aheadPrepared);
    EXPECT_EQ(serial, ahead);
    if (serial.status == ResultCopyFailed || serial.status == ResultDigestDiffers) {
      // Files after the stop were prepared, and dropped unnamed.
      EXPECT_GT(aheadPrepared, serialPrepared);
      EXPECT_EQ(serial.tree.find("dst/h.txt"), std::string::npos);
    }
  }
}

// The default opens only where most of the first files were slow: one slow
// first file (it makes the destination folder) keeps a fast disk serial.
TEST(CopyAhead, DefaultOpensWhereMostFirstFilesAreSlow) {
  const auto gate = [](int64_t first, int64_t then, int slowOnes) {
    Session::AheadGate g;
    g.Time(first);
    for (int i = 1; i < 16 && !g.decided; ++i) g.Time(i <= slowOnes ? 2'000'000 : then);
    return g.decided && g.open;
  };
  EXPECT_FALSE(gate(5'000'000, 30'000, 0));  // tmpfs
  EXPECT_TRUE(gate(20'000'000, 15'000'000, 0));  // every call waits
  EXPECT_FALSE(gate(30'000, 30'000, 7));
  EXPECT_TRUE(gate(30'000, 30'000, 9));
}

}  // namespace
}  // namespace vx
