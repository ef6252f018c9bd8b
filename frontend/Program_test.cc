#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <regex>

#include "core/Error.h"
#include "frontend/Console.h"
#include "frontend/ScriptedConsole.h"
#include "platform/Host.h"

namespace vx {
namespace {

TEST(ArgumentText, ProgramNameIsCutOff) {
  EXPECT_EQ(ArgumentText("\"C:\\Program Files\\Veltrix.exe\" C:\\Src D:\\Dst -S"),
            "C:\\Src D:\\Dst -S");
  EXPECT_EQ(ArgumentText("Veltrix  C:\\Src"), " C:\\Src");
  // Quotes, references and case are the parser's business.
  EXPECT_EQ(ArgumentText("Veltrix \"%TEMP%\\a b\" -s"), "\"%TEMP%\\a b\" -s");
}

TEST(ArgumentText, NameAloneLeavesNothing) {
  EXPECT_EQ(ArgumentText("Veltrix"), "");
  EXPECT_EQ(ArgumentText("\"C:\\Veltrix.exe\""), "");
  EXPECT_EQ(ArgumentText("\"C:\\Veltrix.exe"), "");
  EXPECT_EQ(ArgumentText(""), "");
}

// CR LF on Windows, LF on Linux: the e2e tests check which.
const std::string kEol = host::ConsoleLineEnd();

TEST(HelpPageText, EveryLineEndsWithTheConsoleLineEnd) {
  EXPECT_EQ(HelpPageText("a\r\nb\rc\nd"), "a" + kEol + "b" + kEol + "c" + kEol + "d" + kEol);
  EXPECT_EQ(HelpPageText("a\r\n\r\nb\r\n"), "a" + kEol + kEol + "b" + kEol);
  EXPECT_EQ(HelpPageText("a\tb\n\n"), "a\tb" + kEol + kEol);
  EXPECT_EQ(HelpPageText(std::string("a\r\nb\0c\r\nd", 10)), "a" + kEol + "b");
}

TEST(HelpPageText, TheLibraryResourceHasItsFullLayout) {
  const std::optional<std::string> resource =
      host::ReadModuleResource(host::CoreModuleFileName(), "TEXT", "CMDINFO");
  ASSERT_TRUE(resource.has_value());
  const std::string page = HelpPageText(*resource);
  std::size_t lines = 0;
  for (std::size_t i = page.find(kEol); i != std::string::npos; i = page.find(kEol, i + kEol.size()))
    ++lines;
  EXPECT_EQ(lines, 175u);
  EXPECT_EQ(page.rfind(host::AnsiToOem(host::Utf8ToAnsi("Paramètres de la ligne de commande :")) + kEol, 0), 0u);
  EXPECT_NE(page.find(kEol + "\t[SIZE:[+ | -][=]octets]"), std::string::npos);  // tabs kept
  const std::string last = "2048 octets qui ne commencent pas par\"a\" ou \"b\" du r";
  EXPECT_NE(page.find(last), std::string::npos);
  EXPECT_EQ(page.substr(page.size() - kEol.size()), kEol);
}

TEST(HelpPageText, MissingResourceIsNotFound) {
  EXPECT_FALSE(host::ReadModuleResource(host::CoreModuleFileName(), "TEXT", "ABSENT").has_value());
  EXPECT_FALSE(host::ReadModuleResource("NoSuchVeltrixModule.dll", "TEXT", "CMDINFO").has_value());
}

// ---- Main sequence with a scripted library -------------------------------------

struct FakeCore {
  static inline bool help = false;
  static inline bool accept = true;
  static inline int32_t result = 0;
  static inline std::string arguments;
  static inline int fillCalls = 0, processCalls = 0;
  static inline bool callbacksAsExpected = false;
  static inline bool recordIsTheFilledOne = false;

  static void Reset() {
    help = false;
    accept = true;
    result = 0;
    arguments.clear();
    fillCalls = processCalls = 0;
    callbacksAsExpected = recordIsTheFilledOne = false;
  }
  static bool VX_STDCALL NeedHelp() { return help; }
  static const char* VX_STDCALL Title() { return "Titre"; }
  static const char* VX_STDCALL Copyright() { return "Ligne 1\r\nLigne 2"; }
  static bool VX_STDCALL Fill(CopyRec* record, const char* text) {
    ++fillCalls;
    arguments = text;
    record->Source[0] = 'S';
    record->Verify = 1;
    return accept;
  }
  static int32_t VX_STDCALL Process(CopyRec record, ShowErrorProc showError,
                                    SignalStateProc signalState, ShowFileProc showFile,
                                    AskUserProc askUser, ShowTotalProc showTotal) {
    ++processCalls;
    recordIsTheFilledOne = record.Source[0] == 'S' && record.Verify == 1 && record.Force == 0;
    callbacksAsExpected = showError == ConsoleShowError && signalState == nullptr &&
                          showFile == ConsoleShowFile && askUser == ConsoleAskUser &&
                          showTotal == ConsoleShowTotal;
    showTotal(2);
    return result;
  }
  static int32_t VX_STDCALL TryFill(const char* text, CopyRec*, char* message, int32_t size) {
    if (accept || text != arguments) return -1;  // only a refused text is asked again
    std::snprintf(message, size, "Option inconnue : \"%s\".", text + 4);
    return 0;
  }
  static CoreEntryPoints EntryPoints() {
    return {Process, Fill, NeedHelp, Copyright, Title, TryFill};
  }
};

class MainSequence : public test::WithScriptedConsole {
 protected:
  void SetUp() override {
    WithScriptedConsole::SetUp();
    FakeCore::Reset();
  }
  int Run(const std::string& commandLine) {
    return RunProgram(FakeCore::EntryPoints(), commandLine);
  }
  // The library's notice comes with CR LF: the console ends its lines its own way.
  const std::string banner = "Titre" + kEol + "Ligne 1" + kEol + "Ligne 2" + kEol + kEol;
  const std::string total = kEol + "2" + host::Utf8ToOem(" fichier(s) copié(s).") + kEol;
};

TEST_F(MainSequence, SessionResultIsTheExitCode) {
  FakeCore::result = 3;
  EXPECT_EQ(Run("Veltrix C:\\Src  D:\\Dst -V"), 3);
  EXPECT_EQ(FakeCore::arguments, "C:\\Src  D:\\Dst -V");
  EXPECT_TRUE(FakeCore::recordIsTheFilledOne);
  EXPECT_TRUE(FakeCore::callbacksAsExpected);
  // Banner, then only what the session wrote: the program adds nothing.
  EXPECT_EQ(console.out, banner + total);
}

TEST_F(MainSequence, RefusedCommandLineEndsWithFiveAndNoSession) {
  FakeCore::accept = false;
  EXPECT_EQ(Run("Veltrix src -Z\xE9\x1B[2J"), 5);
  EXPECT_EQ(FakeCore::processCalls, 0);
  EXPECT_EQ(console.out, banner);
  // The library's reason (ANSI, control characters shown as "?"), then the
  // program's hint, on standard error only.
  EXPECT_EQ(console.err, host::AnsiToOem("Option inconnue : \"-Z\xE9?[2J\".") + kEol +
                             host::Utf8ToOem("Ligne de commande refusée : Veltrix -? affiche l'aide.") +
                             kEol);
  console.err.clear();
  EXPECT_EQ(Run("Veltrix src -Z -silent"), 5);
  EXPECT_EQ(console.err, "");
}

TEST_F(MainSequence, SilentSwitchDropsTheBanner) {
  EXPECT_EQ(Run("Veltrix src -SILENT"), 0);
  EXPECT_EQ(console.out, total);
  EXPECT_EQ(FakeCore::arguments, "src -SILENT");  // the parser sees SILENT too

  console.out.clear();
  Run("Veltrix src --silent SILENT -silentx");
  EXPECT_EQ(console.out.rfind(banner, 0), 0u);
}

TEST_F(MainSequence, VersionPrintsOneLineAndParsesNothing) {
  EXPECT_EQ(Run("Veltrix src --VERSION -SILENT"), 0);
  EXPECT_EQ(FakeCore::fillCalls, 0);
  EXPECT_TRUE(std::regex_match(console.out, std::regex("Veltrix [0-9]+\\.[0-9]+\\.[0-9]+" + kEol)))
      << console.out;
  // A help switch beside it keeps the page it always gave.
  console.out.clear();
  FakeCore::help = true;
  EXPECT_EQ(Run("Veltrix --version -?"), 0);
  EXPECT_EQ(console.out.rfind(banner + host::AnsiToOem(host::Utf8ToAnsi("Paramètres")), 0), 0u);
}

TEST_F(MainSequence, HelpPrintsThePageAndParsesNothing) {
  FakeCore::help = true;
  EXPECT_EQ(Run("Veltrix -silent -help src"), 0);
  EXPECT_EQ(FakeCore::fillCalls, 0);
  const std::string closing =
      kEol + host::Utf8ToOem("Si vous n'avez pas pu lire le début de cette page d'aide, exécutez :") +
      kEol + "Veltrix --help | more" + kEol;
  ASSERT_GT(console.out.size(), closing.size());
  EXPECT_EQ(console.out.substr(console.out.size() - closing.size()), closing);
  EXPECT_EQ(console.out.rfind(host::AnsiToOem(host::Utf8ToAnsi("Paramètres")), 0), 0u);  // no banner
  // The page keeps its own last line end, then one empty line.
  const std::string pageEnd = "." + kEol;
  EXPECT_EQ(console.out.substr(console.out.size() - closing.size() - pageEnd.size(), pageEnd.size()), pageEnd);
}

// ---- Failure report -----------------------------------------------------------

TEST(FailureReport, KindModuleOffsetAndMessage) {
  EXPECT_EQ(FailureReport("EResNotFound", "Veltrix.exe", 0x1A2B,
                          host::Utf8ToAnsi("Ressource CMDINFO non trouvée")),
            "Exception EResNotFound dans le module Veltrix.exe dans 00001A2B." + kEol +
                host::Utf8ToAnsi("Ressource CMDINFO non trouvée") + "." + kEol + kEol);
  // A message that already ends with a full stop, or none at all, gets no stop.
  const std::string head = "Exception E dans le module m dans 00000000." + kEol;
  EXPECT_EQ(FailureReport("E", "m", 0, "Fin."), head + "Fin." + kEol + kEol);
  EXPECT_EQ(FailureReport("E", "m", 0, ""), head + kEol + kEol);
}

TEST(FailureReport, UnexpectedFailuresEndWithExitCodeOne) {
  EXPECT_EQ(RunReportingFailures([] { return 3; }), 3);
  EXPECT_EQ(RunReportingFailures([]() -> int { VX_RAISE("EConversion", "x"); }), 1);
  EXPECT_EQ(RunReportingFailures([]() -> int { throw std::runtime_error("y"); }), 1);
  EXPECT_EQ(RunReportingFailures([]() -> int { throw 42; }), 1);
}

TEST(FailureReport, LocatesTheRaisingModule) {
  std::string module;
  std::uintptr_t offset = 0;
  ASSERT_TRUE(host::DescribeCodeAddress(reinterpret_cast<const void*>(&FailureReport), module, offset));
  EXPECT_NE(module.find("veltrix_tests"), std::string::npos);
  EXPECT_EQ(module.find_first_of("/\\"), std::string::npos);
  EXPECT_GT(offset, 0u);
  EXPECT_FALSE(host::DescribeCodeAddress(nullptr, module, offset));
}

}  // namespace
}  // namespace vx
