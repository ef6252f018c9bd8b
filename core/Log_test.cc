#include <gtest/gtest.h>

#include <cstring>
#include <regex>

#include "core/Error.h"
#include "core/HolyCoreUnit.h"
#include "tests/unit/MemoryFileSystem.h"
#include "tests/unit/PathFiles.h"

namespace vx {
namespace {

CopyRec LogOptions(const std::string& path, int32_t lines = -1) {
  CopyRec options{};
  std::strncpy(options.LogFile, path.c_str(), kMaxTextLength);
  options.LogLines = lines;
  return options;
}

class LogTest : public ::testing::Test {
 protected:
  test::MemoryFileSystem fs;
  test::MemoryDir dir{fs};
};

TEST_F(LogTest, OnlyStampedErrorLinesCountEvenWithoutALogFile) {
  Session session(fs);
  session.options = LogOptions("");
  session.Log("a", true, true);
  session.Log("b", true, false);
  session.Log("c", false, true);
  session.Log("d", false, false);
  session.Log("e", true, true);
  EXPECT_EQ(session.errors, 2);

  session.options = LogOptions(dir / "log.txt");
  session.Log("f", true, true);
  session.Log("g", false, true);
  EXPECT_EQ(session.errors, 3);
}

TEST_F(LogTest, UnstampedLinesAreWrittenAsGivenWithCrLfInNewFolders) {
  const CopyRec options = LogOptions(dir / "un/deux/copie.log");
  WriteLog(fs, options, "\r\n[ouverture]\r\n", false);
  WriteLog(fs, options, "", false);
  WriteLog(fs, options, "\"A\" -> \"B\".", false);
  EXPECT_EQ(dir.Read("un/deux/copie.log"), "\r\n[ouverture]\r\n\r\n\r\n\"A\" -> \"B\".\r\n");

  // A second session appends to the same file.
  WriteLog(fs, options, "suite", false);
  EXPECT_EQ(dir.Read("un/deux/copie.log"), "\r\n[ouverture]\r\n\r\n\r\n\"A\" -> \"B\".\r\nsuite\r\n");
}

TEST_F(LogTest, StampedLinesCarryTheLocalDateAndTime) {
  if (!FormatShortDate(LocalNow()) || FormatShortDate(LocalNow())->empty()) GTEST_SKIP() << "no regional date format yet";
  const CopyRec options = LogOptions(dir / "log.txt");
  const std::string before = DateTimeText();
  WriteLog(fs, options, "MD5(a) <> MD5(b)", true);
  const std::string after = DateTimeText();
  const std::string written = dir.Read("log.txt");
  // The clock may tick during the write: either stamp will do.
  EXPECT_TRUE(written == "  " + before + " : MD5(a) <> MD5(b)\r\n" ||
              written == "  " + after + " : MD5(a) <> MD5(b)\r\n")
      << written;
  EXPECT_TRUE(std::regex_match(written, std::regex(R"(  \S+( \S+)? : MD5\(a\) <> MD5\(b\)\r\n)")))
      << written;
}

TEST_F(LogTest, DateTimeTextLeavesOutMidnight) {
  const LocalDateTime midnight{2003, 10, 23, 0, 0, 0};
  const LocalDateTime afternoon{2003, 10, 23, 14, 5, 9};
  const LocalDateTime oneSecond{2003, 10, 23, 0, 0, 1};
  EXPECT_EQ(DateTimeText(midnight), *FormatShortDate(midnight));
  EXPECT_EQ(DateTimeText(afternoon), *FormatShortDate(afternoon) + " " + *FormatLongTime(afternoon));
  EXPECT_EQ(DateTimeText(oneSecond), *FormatShortDate(oneSecond) + " " + *FormatLongTime(oneSecond));
}

TEST_F(LogTest, ALogThatCannotBeWrittenRaisesWithTheSystemText) {
  dir.Write("fichier", "x");  // a file where the log's folder should be
  const std::string path = dir / "fichier/log.txt";
  try {
    WriteLog(fs, LogOptions(path), "ligne", false);
    FAIL() << "no failure raised";
  } catch (const VeltrixError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("\"" + path + "\". "), std::string::npos) << message;
    EXPECT_NE(message.back(), ' ') << "the system's text is missing";
  }
  EXPECT_EQ(dir.Read("fichier"), "x");
}

TEST_F(LogTest, TrimKeepsTheNewestLinesWhateverTheirEnds) {
  dir.Write("log.txt", "un\r\ndeux\rtrois\nquatre\r\n\r\ncinq\n\nsix");
  TrimLog(fs, LogOptions(dir / "log.txt", 5));
  EXPECT_EQ(dir.Read("log.txt"), "quatre\r\n\r\ncinq\r\n\r\nsix\r\n");

  TrimLog(fs, LogOptions(dir / "log.txt", 100));
  EXPECT_EQ(dir.Read("log.txt"), "quatre\r\n\r\ncinq\r\n\r\nsix\r\n");

  TrimLog(fs, LogOptions(dir / "log.txt", 0));
  EXPECT_EQ(dir.Read("log.txt"), "");
}

TEST_F(LogTest, ASessionOfTwoLinesTrimmedToThree) {
  const CopyRec options = LogOptions(dir / "log.txt", 3);
  WriteLog(fs, options, "\r\n[Début]\r\n", false);
  WriteLog(fs, options, "\r\n[Fin]\r\n", false);
  EXPECT_EQ(dir.Read("log.txt"), "\r\n[Début]\r\n\r\n\r\n[Fin]\r\n\r\n");
  TrimLog(fs, options);
  EXPECT_EQ(dir.Read("log.txt"), "\r\n[Fin]\r\n\r\n");
}

TEST_F(LogTest, NoLimitAndNoNameLeaveEverythingAlone) {
  const std::string original = "a\nb\rc\r\n";
  dir.Write("log.txt", original);
  for (int32_t lines : {-1, -2, -1000}) {
    TrimLog(fs, LogOptions(dir / "log.txt", lines));
    EXPECT_EQ(dir.Read("log.txt"), original) << lines;
  }
  EXPECT_NO_THROW(TrimLog(fs, LogOptions("", 3)));
}

TEST_F(LogTest, AFailedTrimKeepsTheOldLogWhole) {
  std::string lines;
  for (int i = 0; i < 2000; ++i) lines += "ligne " + std::to_string(i) + "\r\n";
  dir.Write("log.txt", lines);
  fs.FaultsOf(dir.path()).write = test::Fail(std::errc::no_space_on_device, 1);
  EXPECT_THROW(TrimLog(fs, LogOptions(dir / "log.txt", 10)), VeltrixError);
  EXPECT_EQ(dir.Read("log.txt"), lines);
  // And the real trim leaves nothing beside the log.
  TrimLog(fs, LogOptions(dir / "log.txt", 2));
  EXPECT_EQ(dir.Read("log.txt"), "ligne 1998\r\nligne 1999\r\n");
  EXPECT_EQ(test::PathFiles(fs).Names(dir.path(), true), std::vector<std::string>{"log.txt"});
}

// A name with CR or LF stays on its one line, so the trim counts one line.
TEST_F(LogTest, LineBreaksInNamesBecomeQuestionMarks) {
  EXPECT_EQ(LogName("a\rb\nc\r\nd\x1b[2Je"), "a?b?c??d\x1b[2Je");
  const CopyRec options = LogOptions(dir / "log.txt", 1);
  WriteLog(fs, options, Quoted(LogName("deux\nlignes.txt")) + " -> " + Quoted(LogName("x\ry")) + ".",
           false);
  EXPECT_EQ(dir.Read("log.txt"), "\"deux?lignes.txt\" -> \"x?y\".\r\n");
  TrimLog(fs, options);
  EXPECT_EQ(dir.Read("log.txt"), "\"deux?lignes.txt\" -> \"x?y\".\r\n");
}

TEST_F(LogTest, TrimOfAMissingLogRaises) {
  EXPECT_THROW(TrimLog(fs, LogOptions(dir / "absent.log", 3)), VeltrixError);
}

}  // namespace
}  // namespace vx
