// The console program's own backend: see platform/Host.h. What it shares
// with the library (the command line, the code pages) is the library's
// own source, compiled into the program too; posix/Host.cpp and
// win32/Host.cpp hold the rest.
#include "platform/Host.h"

#include "platform/Process.h"

namespace vx::host {

// The build names the file: the soname on Linux, the DLL on Windows.
const char* CoreModuleFileName() { return VX_CORE_MODULE_FILE; }

std::string ProcessCommandLine() { return vx::ProcessCommandLine(); }

std::string Utf8ToAnsi(const std::string& utf8) { return vx::Utf8ToAnsi(utf8); }

}  // namespace vx::host
