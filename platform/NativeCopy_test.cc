// The engine's tree copy through the Linux backend on a real tree, against
// what cp -a makes of it: the engine's own tests run in memory.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "core/HolyCoreUnit.h"
#include "platform/TestSystemTools.h"
#include "tests/unit/PathFiles.h"
#include "tests/unit/Recorder.h"
#include "tests/unit/TempDir.h"

namespace vx {
namespace {

namespace stdfs = std::filesystem;

TEST(NativeTreeCopy, SameAsCpArchiveAndSecondRunCopiesNothing) {
  VX_POSIX_ONLY();
  test::TempDir dir;
  NativeFileSystem fs;
  Session session(fs);
  session.options = test::MakeOptions(dir / "src", dir / "dst");
  session.callbacks = test::Recorder::All();
  dir.Write("src/a.txt", "alpha");
  dir.Write("src/b.txt", "beta");
  dir.Write("src/sub/c.txt", "gamma");
  stdfs::create_directories(dir / "src/empty");
  dir.Write("src/sub/deeper/d.bin", std::string(200000, '\x5a'));
  dir.Write("src/ro.txt", "read-only");
  ASSERT_FALSE(test::PathFiles(fs).SetAttributes(dir / "src/ro.txt", attr::ReadOnly | attr::Archive));
  ASSERT_EQ(test::Shell("touch -d '2001-02-03 04:05:06.789' '" + dir / "src/sub/c.txt" + "'"), 0);
  ASSERT_EQ(test::Shell("cp -a '" + dir / "src" + "' '" + dir / "ref" + "'"), 0);
  ASSERT_EQ(test::Shell("rmdir '" + dir / "ref/empty" + "'"), 0);  // -S leaves empty folders out
  session.options.CopySubdirs = 1;
  session.options.KeepAttributes = 1;
  EXPECT_EQ(CopyTree(session, dir / "src", dir / "dst"), 5);
  EXPECT_EQ(test::Shell("diff -r '" + dir / "ref" + "' '" + dir / "dst" + "'"), 0);
  for (const char* file : {"a.txt", "b.txt", "ro.txt", "sub/c.txt", "sub/deeper/d.bin"}) {
    EXPECT_EQ(stdfs::last_write_time(dir / ("ref/" + std::string(file))),
              stdfs::last_write_time(dir / ("dst/" + std::string(file))))
        << file;
  }
  test::Recorder::Current().files.clear();
  EXPECT_EQ(CopyTree(session, dir / "src", dir / "dst"), 0);
  EXPECT_TRUE(test::Recorder::Current().files.empty());
  EXPECT_EQ(session.status, -1);
  EXPECT_EQ(session.errors, 0);
}

}  // namespace
}  // namespace vx
