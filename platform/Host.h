// What the console program needs of the system, and nothing more: the
// console, its own command line, the library's help resource and the place
// of a failure. Compiled into the program alone; the library keeps the
// platform layer (platform/Platform.h) to itself, so a process holds one of
// each, and both write through the one stdout of the C runtime they share.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vx::host {

// Prepares standard output before anything is written: gathered in 64 KiB
// blocks when it is a file or a pipe, at once on a terminal; bytes written as
// they are (CR LF stays CR LF); a closed pipe is a failed write, not a signal.
void SetUpConsole();

// The process command line as the system gives it (program name included).
std::string ProcessCommandLine();

// The program's literals are UTF-8 in the sources: these give the console's
// (OEM) and the library's (ANSI) code page; identity on Linux.
std::string Utf8ToOem(const std::string& utf8);
std::string Utf8ToAnsi(const std::string& utf8);
std::string AnsiToOem(const std::string& ansi);

void SetConsoleTitleText(const std::string& title);  // ANSI text
// How the console ends a line: CR LF on Windows, LF on Linux, where a CR
// would stay in every name a script reads. The log keeps CR LF on both.
const char* ConsoleLineEnd();
// Standard output through the C runtime's stream. Both raise EEntreeSortie
// when the bytes cannot be written.
void WriteStdout(const std::string& bytes);
void FlushStdout();
// Whether standard output is a terminal (names then show control characters as "?").
bool StdoutIsTerminal();
// Standard error, unbuffered; failures are ignored (nothing is left to tell).
void WriteStderr(const std::string& bytes);
// The status line of a long run, on standard error when it is a terminal
// (a console on Windows); never on a file or a pipe.
bool StderrIsTerminal();
// Whether console texts are UTF-8 (Linux) rather than a single-byte code page.
bool ConsoleIsUtf8();
// Its width in columns (80 when it cannot be told).
int StderrColumns();
// Draws the status line (console code page, no line end) over the last one.
void DrawStatusLine(const std::string& text);
// Erases it, leaving the cursor at the start of the empty line.
void EraseStatusLine();
// Reads one line without its line end, after flushing standard output so
// that the question is seen. false at the end of input.
bool ReadStdinLine(std::string& line);

// The library's file name as the loader knows it: "VeltrixCore.dll", or the
// soname "libVeltrixCore.so.1".
const char* CoreModuleFileName();
// Loads a module by file name (one already loaded is taken as it is), reads
// the resource of the given type and name and unloads it. nullopt when the
// module or the resource is missing. The text is in the console's encoding
// family: ANSI on Windows, UTF-8 on Linux.
std::optional<std::string> ReadModuleResource(const std::string& moduleFile,
                                              const std::string& type, const std::string& name);
// File name (without folder) of the module holding a code address, and the
// address's offset from that module's load address.
bool DescribeCodeAddress(const void* address, std::string& moduleName, std::uintptr_t& offset);

}  // namespace vx::host
