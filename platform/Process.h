// What the library and the program both take from the process, compiled
// into each of them from one source per system: the command line, and the
// conversion of the sources' UTF-8 literals to the ANSI code page.
#pragma once

#include <string>

namespace vx {

// The process command line as the system gives it (program name included).
std::string ProcessCommandLine();

// The engine's own literals are written in UTF-8 in the sources; this turns
// them into the ANSI code page of the library's texts and log (identity on
// Linux).
std::string Utf8ToAnsi(const std::string& utf8);

}  // namespace vx
