// Hostile command lines: whatever the text, FillCopyRec returns or raises a
// VeltrixError, never writes outside the record and leaves every text field
// terminated inside its 2049 bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "core/Error.h"
#include "core/HolyCoreUnit.h"
#include "tests/unit/ListFilesDouble.h"

namespace vx {
namespace {

struct GuardedRecord {
  unsigned char before[64];
  CopyRec rec;
  unsigned char after[64];
};

class HostileCommandLine : public ::testing::Test {
 protected:
  ~HostileCommandLine() override {
    parsed_.exclusions.clear();
    parsed_.inclusions.clear();
  }

  void Survives(const std::string& line) {
    parsed_.exclusions.clear();
    parsed_.inclusions.clear();
    GuardedRecord g;
    std::memset(&g, 0x5A, sizeof g);
    std::memset(&g.rec, 0, sizeof g.rec);
    try {
      FillCopyRecFrom(files_, parsed_, g.rec, line.c_str());
    } catch (const VeltrixError&) {
      // A refused value is an expected outcome here; anything else fails the test.
    }
    for (unsigned char byte : g.before) ASSERT_EQ(byte, 0x5A) << Shown(line);
    for (unsigned char byte : g.after) ASSERT_EQ(byte, 0x5A) << Shown(line);
    for (const char* field : {g.rec.Source, g.rec.Destination, g.rec.LogFile, g.rec.ExcludeMasks,
                              g.rec.IncludeMasks})
      ASSERT_NE(std::memchr(field, 0, kTextFieldSize), nullptr) << Shown(line);
  }

  static std::string Shown(const std::string& line) {
    return "line of " + std::to_string(line.size()) + " bytes: " + line.substr(0, 80);
  }

  test::ListFilesDouble files_;  // "file:" entries never reach the disk
  ParsedState parsed_;
};

TEST_F(HostileCommandLine, ThousandsOfItems) {
  std::string switches = "src dst", positionals = "src dst";
  for (int i = 0; i < 5000; ++i) {
    switches += " -S -EXCLUDE:a;b -LOG:x;1;2 -D:+1 -SIZE:=3 -" + std::to_string(i);
    positionals += " p" + std::to_string(i);
  }
  Survives(switches);
  Survives(positionals);
  Survives(std::string(20000, ' ') + "src" + std::string(20000, '\n'));
}

TEST_F(HostileCommandLine, HugeItems) {
  const std::string huge(100000, 'h');
  for (const std::string& line :
       {huge, "src " + huge, "src dst -LOG:" + huge, "src dst -LOG:f;" + huge,
        "src dst -EXCLUDE:" + huge, "src dst -INCLUDE:" + std::string(100000, ';'),
        "src dst -D:" + huge, "src dst -D:+" + std::string(100000, '9'),
        "src dst -SIZE:+" + std::string(100000, '7'), "src dst -" + huge,
        "\"" + huge + "\"\"" + huge, std::string(50000, '%') + "PATH" + std::string(50000, '%')})
    Survives(line);
}

TEST_F(HostileCommandLine, UnbalancedQuotes) {
  for (const char* line : {"\"", "'", "\"\"\"", "src \"dst -S", "src 'dst -S", "'\"'\"'",
                           "\"src\"\"", "src dst -LOG:\"a b", "src dst \"-LOG:'", "\"-\" \"-\"",
                           "src -EXCLUDE:\"file:x"})
    Survives(line);
}

TEST_F(HostileCommandLine, EveryByteValue) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  Survives(all);
  Survives("src " + all);
  Survives("src dst -" + all);
  Survives("src dst -LOG:" + all);
  Survives("src dst -EXCLUDE:" + all);
  // A fixed seed: the same lines on every run, mixing switch fragments with raw bytes.
  std::mt19937 random(20031023);
  const char* pieces[] = {" ", "-", "/", "\"", "'", "\r", "\n", "\t", ";", "%", "D:", "SIZE:",
                          "LOG:", "EXCLUDE:", "INCLUDE:", "file:", "+", "=", "nul", "23/10/2003"};
  for (int line = 0; line < 300; ++line) {
    std::string text;
    const int length = static_cast<int>(random() % 60);
    for (int i = 0; i < length; ++i) {
      if (random() % 2)
        text += pieces[random() % (sizeof pieces / sizeof *pieces)];
      else
        text += static_cast<char>(1 + random() % 255);
    }
    Survives(text);
  }
}

}  // namespace
}  // namespace vx
