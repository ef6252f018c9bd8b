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
