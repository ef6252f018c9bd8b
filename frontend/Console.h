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

 private:
  int terminal_ = -1;  // -1 until asked
};

ConsoleStreams& Console();
void SetConsole(ConsoleStreams* streams);  // nullptr restores the process's own

// ---- Console callbacks (Console.cpp) -------------------------------------------

extern "C" {
void VX_STDCALL ConsoleShowError(const char* text);
void VX_STDCALL ConsoleShowFile(const char* text);
int32_t VX_STDCALL ConsoleAskUser(int32_t question, const char* text);
void VX_STDCALL ConsoleShowTotal(int32_t count);
}

// ---- Main sequence (Program.cpp) -----------------------------------------------

// The library's entry points as the program calls them; the real ones are
// the imports, tests pass their own. TryFillCopyRec only tells why a command
// line was refused: the program parses and runs through the first five, whose
// raised failures its report describes.
struct CoreEntryPoints {
  ProcessCmdLineProc processCmdLine;
  FillCopyRecProc fillCopyRec;
  NeedHelpProc needHelp;
  GetCopyrightProc getCopyright;
  GetTitleProc getTitle;
  TryFillCopyRecProc tryFillCopyRec;
};

// The whole main sequence on the given process command line; returns the
// exit code. Unexpected failures pass through.
int RunProgram(const CoreEntryPoints& core, const std::string& commandLine);

// The argument text: the command line less the program's own name.
std::string ArgumentText(const std::string& commandLine);

// The help page as printed, from the resource's ANSI text: every line ended
// by CR LF, cut at a NUL, converted to the console's code page.
std::string HelpPageText(const std::string& resource);

// Reads the help resource from the library file and writes the page and its
// two closing lines. Raises when the resource cannot be found.
void PrintHelpPage();

// ---- Failure report (FailureReport.cpp) ----------------------------------------

// The French report of an unexpected failure, in the ANSI code page.
std::string FailureReport(const std::string& kind, const std::string& module,
                          std::uintptr_t offset, const std::string& message);

// Runs body; an unexpected failure flushes standard output, writes its report
// to standard error and gives exit code 1.
int RunReportingFailures(int (*body)());

}  // namespace vx
