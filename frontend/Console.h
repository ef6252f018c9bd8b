// The console program: main sequence, banner, help page, console callbacks,
// failure report and exit code.
#pragma once

#include <cstdint>
#include <string>

#include "veltrix/VeltrixCore.h"

namespace vx {

// ---- Console streams (Console.cpp) ---------------------------------------------

// Where the console texts go and where answers come from. The default is the
// process's standard output and input; tests install a scripted one.
class ConsoleStreams {
 public:
  virtual ~ConsoleStreams() = default;
  virtual void Write(const std::string& bytes);
  virtual void Flush();
  // Writes to standard error, after flushing what Write holds.
  virtual void WriteError(const std::string& bytes);
  // One line without its line end; false at the end of input.
  virtual bool ReadLine(std::string& line);
  // Whether the texts go to a terminal, which shows control characters in
  // names as "?" (a file or a pipe gets them unchanged). Asked of the system
  // once: standard output stays what it is for the whole run.
  virtual bool IsTerminal();
  // The status line of a long run (standard error on a terminal only): drawn
  // over the last one, erased before any other text of either stream.
  virtual void ShowStatus(const std::string& text);
  virtual void EraseStatus();

 private:
  int terminal_ = -1;  // -1 until asked
  bool statusShown_ = false;
};

ConsoleStreams& Console();
void SetConsole(ConsoleStreams* streams);  // nullptr restores the process's own

// A text whose lines end in CR LF (the library's notice) with the console's
// line ends; a lone CR or LF stays as it is.
std::string WithConsoleLineEnds(const std::string& text);

// ---- Console callbacks (Console.cpp) -------------------------------------------

extern "C" {
void VX_STDCALL ConsoleShowError(const char* text);
void VX_STDCALL ConsoleShowFile(const char* text);
int32_t VX_STDCALL ConsoleAskUser(int32_t question, const char* text);
void VX_STDCALL ConsoleShowTotal(int32_t count);
// Reasons and notices on standard error, the purge's listing on standard output.
void VX_STDCALL ConsoleShowReport(int32_t kind, const char* text, void* context);
// The status line; context is a ProgressLine.
void VX_STDCALL ConsoleShowProgress(const char* path, int64_t done, int64_t total, int32_t phase,
                                    void* context);
}

// What the status line shows: files and bytes done, the rate, and for a
// large file its name and percent ("vérification MD5" under -V). Redrawn at
// most ten times a second.
class ProgressLine {
 public:
  using Clock = int64_t;  // milliseconds
  explicit ProgressLine(Clock start) : start_(start), lastDraw_(start) {}
  // The text for one progress call at now, or "" when nothing is to be drawn yet.
  std::string Update(const std::string& path, int64_t done, int64_t total, int32_t phase,
                     Clock now, int columns);
  static Clock Now();

 private:
  Clock start_, lastDraw_;
  std::string path_;
  int64_t files_ = 0;        // files copied
  bool counted_ = false;     // this one among them
  int64_t bytesBefore_ = 0;  // copied by the files before this one
  int64_t done_ = 0;         // copied of this one
  int64_t digestedBefore_ = 0, digested_ = 0;  // the same read for -V
};

// ---- Main sequence (Program.cpp) -----------------------------------------------

// The library's entry points as the program calls them; the real ones are
// the imports, tests pass their own. TryFillCopyRec only tells why a command
// line was refused: the program parses through FillCopyRec, and runs the
// session through TryProcessCmdLine asking for its failures raised, so that
// its report describes them as those of ProcessCmdLine.
struct CoreEntryPoints {
  ProcessCmdLineProc processCmdLine;
  FillCopyRecProc fillCopyRec;
  NeedHelpProc needHelp;
  GetCopyrightProc getCopyright;
  GetTitleProc getTitle;
  TryFillCopyRecProc tryFillCopyRec;
  // With it the session also reports reasons, notices and progress; its
  // failures are raised as processCmdLine raises them.
  TryProcessCmdLineProc tryProcessCmdLine = nullptr;
};

// The whole main sequence on the given process command line; returns the
// exit code. --version prints the name and version alone. Unexpected
// failures pass through.
int RunProgram(const CoreEntryPoints& core, const std::string& commandLine);

// The argument text: the command line less the program's own name.
std::string ArgumentText(const std::string& commandLine);

// The help page as printed, from the resource's ANSI text: every line ended
// as the console ends lines, cut at a NUL, converted to the console's code page.
std::string HelpPageText(const std::string& resource);

// Reads the help resource from the library file and writes the page and its
// two closing lines. Raises when the resource cannot be found.
void PrintHelpPage();

// ---- Failure report (FailureReport.cpp) ----------------------------------------

// The French report of an unexpected failure, in the ANSI code page, its
// lines ended as the console ends them.
std::string FailureReport(const std::string& kind, const std::string& module,
                          std::uintptr_t offset, const std::string& message);

// Runs body; an unexpected failure flushes standard output, writes its report
// to standard error and gives exit code 1.
int RunReportingFailures(int (*body)());

}  // namespace vx
