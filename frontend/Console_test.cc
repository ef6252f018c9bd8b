#include <gtest/gtest.h>

#include "frontend/Console.h"
#include "frontend/ScriptedConsole.h"
#include "platform/Host.h"

namespace vx {
namespace {

class ConsoleCallbacks : public test::WithScriptedConsole {};

// CR LF on Windows, LF on Linux: the e2e tests check which.
const std::string kEol = host::ConsoleLineEnd();
const std::string kQuestion = kEol + host::Utf8ToOem("Ce fichier à copier n'existe pas :") + kEol +
                              "C:\\Cible\\a.txt" + kEol +
                              host::Utf8ToOem("Souhaitez-vous le créer ?") + kEol +
                              "Oui, Non, Tous, Annuler [ONTA]";

int32_t AskCreate() { return ConsoleAskUser(AskCreateFile, "C:\\Cible\\a.txt"); }

// Reasons and notices go to standard error, the purge's listing to output.
TEST_F(ConsoleCallbacks, ReportsGoToTheirStreams) {
  ConsoleShowReport(ReportReason, "Raison : Acc\xE8s refus\xE9\x1b[2J", nullptr);
  ConsoleShowReport(ReportPurgeListed, "\xC0 supprimer : \"x\"", nullptr);
  EXPECT_EQ(console.err, host::AnsiToOem("Raison : Acc\xE8s refus\xE9?[2J") + kEol);
  EXPECT_EQ(console.out, "\xC0 supprimer : \"x\"" + kEol);
}

// The status line: files and bytes done and the rate; a large file's name
// and percent, at once when each of its phases begins, the rest at most
// every 100 ms; cut to the terminal's width.
TEST(ProgressLine, ShowsFilesBytesRateAndLargeFiles) {
  const int64_t mib = int64_t{1} << 20;
  ProgressLine line(0);
  const std::string name = "/src/gros.bin";
  EXPECT_EQ(line.Update(name, 0, 100 * mib, ProgressCopy, 10, 80),
            host::Utf8ToOem("0 fichier(s) copié(s), 0 o, 0 o/s : ") + name + " 0 %");
  EXPECT_EQ(line.Update(name, 50 * mib, 100 * mib, ProgressCopy, 50, 80), "");
  EXPECT_EQ(line.Update(name, 100 * mib, 100 * mib, ProgressCopy, 1000, 80),
            host::Utf8ToOem("1 fichier(s) copié(s), 100,0 Mo, 100,0 Mo/s : ") + name + " 100 %");
  const std::string verify = line.Update(name, 0, 100 * mib, ProgressVerify, 1010, 120);
  EXPECT_NE(verify.find(host::Utf8ToOem(", vérification MD5 : ") + name + " 0 %"), std::string::npos)
      << verify;
  EXPECT_EQ(line.Update("/src/petit.txt", 0, 10, ProgressCopy, 1020, 80), "");
  EXPECT_EQ(line.Update("/src/petit.txt", 10, 10, ProgressCopy, 2000, 80),
            host::Utf8ToOem("2 fichier(s) copié(s), 100,0 Mo, 50,0 Mo/s"));
  const std::string longName = "/" + std::string(200, 'n') + ".bin";
  const std::string cut = line.Update(longName, 0, 100 * mib, ProgressCopy, 3000, 60);
  EXPECT_EQ(cut.size(), 59u + (host::ConsoleIsUtf8() ? 1u : 0u)) << cut;  // the é of copié
  EXPECT_NE(cut.find("...nnn.bin 0 %"), std::string::npos) << cut;
  const std::string narrow = line.Update(longName, 1, 100 * mib, ProgressCopy, 4000, 20);
  EXPECT_EQ(narrow.substr(0, 9), "2 fichier") << narrow;
  EXPECT_LE(narrow.size(), 21u);  // 20 columns, the é of copié in two bytes on Linux
}

TEST_F(ConsoleCallbacks, MessagesAndFileNamesAreWrittenAsReceived) {
  ConsoleShowError("Erreur lors de la copie de \"C:\\\xE9t\xE9.txt\".");
  ConsoleShowFile("C:\\a.txt -> D:\\a.txt");
  EXPECT_EQ(console.out,
            "Erreur lors de la copie de \"C:\\\xE9t\xE9.txt\"." + kEol + "C:\\a.txt -> D:\\a.txt" + kEol);
}

// A name cannot drive a terminal: its control characters show as "?"
// there; a file or a pipe gets every byte as it is.
TEST_F(ConsoleCallbacks, ControlCharactersInNamesShowAsQuestionMarksOnATerminal) {
  const char* name = "a\x1b]0;titre\x07" "b\nc\rd\x7f" "\xE9.txt";
  ConsoleShowFile(name);
  EXPECT_EQ(console.out, name + kEol);
  console.out.clear();
  console.terminal = true;
  ConsoleShowFile(name);
  ConsoleShowError("Erreur lors de la copie de \"x\x1b[2J\".");
  ConsoleAskUser(AskCreateFile, "C:\\\x1b[31m.txt");
  EXPECT_NE(console.out.find("a?]0;titre?b?c?d?\xE9.txt" + kEol), std::string::npos) << console.out;
  EXPECT_NE(console.out.find("Erreur lors de la copie de \"x?[2J\"." + kEol), std::string::npos);
  EXPECT_NE(console.out.find("C:\\?[31m.txt" + kEol), std::string::npos);
  EXPECT_EQ(console.out.find('\x1b'), std::string::npos);
}

TEST_F(ConsoleCallbacks, TotalIsPrecededByAnEmptyLineOnlyWhenFilesWereCopied) {
  ConsoleShowFile("x");
  ConsoleShowTotal(0);
  EXPECT_EQ(console.out, "x" + kEol + "0" + host::Utf8ToOem(" fichier(s) copié(s).") + kEol);
  console.out.clear();
  ConsoleShowTotal(12);
  EXPECT_EQ(console.out, kEol + "12" + host::Utf8ToOem(" fichier(s) copié(s).") + kEol);
}

// Only a CR LF pair is a line end to convert: a lone CR or LF may be a
// name's own byte.
TEST(ConsoleLineEnds, OnlyCrLfPairsAreConverted) {
  EXPECT_EQ(WithConsoleLineEnds("a\r\nb\rc\nd\r\n"), "a" + kEol + "b\rc\nd" + kEol);
  EXPECT_EQ(WithConsoleLineEnds("\r\r\n\n"), "\r" + kEol + "\n");
}

TEST_F(ConsoleCallbacks, StartCopyWaitsForOneLineAndAlwaysGoesOn) {
  console.Script({"n", "second"});
  EXPECT_EQ(ConsoleAskUser(AskStartCopy, nullptr), AnswerYes);
  EXPECT_EQ(console.out, host::Utf8ToOem("Appuyez sur <Entrée> pour lancer la copie."));
  EXPECT_EQ(console.flushesBeforeRead, 1);
  EXPECT_EQ(console.Remaining(), 1u);  // only one line consumed
  console.Script({});
  EXPECT_EQ(ConsoleAskUser(AskStartCopy, nullptr), AnswerYes);  // end of input
}

TEST_F(ConsoleCallbacks, CreateFileAnswersByFirstLetter) {
  const std::vector<std::pair<std::string, int32_t>> cases = {
      {"oui", AnswerYes}, {"Oui", AnswerYes}, {"o", AnswerYes},     {"non merci", AnswerNo},
      {"N", AnswerNo},    {"tous", AnswerAll}, {"T", AnswerAll},    {"annuler", AnswerCancel},
      {"A", AnswerCancel}};
  for (const auto& [reply, answer] : cases) {
    console.Script({reply});
    console.out.clear();
    EXPECT_EQ(AskCreate(), answer) << reply;
    EXPECT_EQ(console.out, kQuestion) << reply;
  }
}

TEST_F(ConsoleCallbacks, CreateFileAsksAgainUntilTheReplyIsKnown) {
  console.Script({"", " o", "x", "1", "T"});
  EXPECT_EQ(AskCreate(), AnswerAll);
  EXPECT_EQ(console.out, kQuestion + kQuestion + kQuestion + kQuestion + kQuestion);
  EXPECT_EQ(console.flushesBeforeRead, 5);
}

TEST_F(ConsoleCallbacks, CreateFileCancelsAtTheEndOfInput) {
  console.Script({"x"});
  EXPECT_EQ(AskCreate(), AnswerCancel);
  EXPECT_EQ(console.out, kQuestion + kQuestion);
}

TEST_F(ConsoleCallbacks, OtherQuestionsCancelSilently) {
  console.Script({"o"});
  EXPECT_EQ(ConsoleAskUser(AskDeleteFailed, "C:\\Cible\\a.txt"), AnswerCancel);
  EXPECT_EQ(ConsoleAskUser(999, nullptr), AnswerCancel);
  EXPECT_EQ(console.out, "");
  EXPECT_EQ(console.Remaining(), 1u);
}

}  // namespace
}  // namespace vx
