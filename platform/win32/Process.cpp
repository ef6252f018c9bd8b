// Win32 backend: the process command line. Compiled into the library and
// into the program.
#include <windows.h>

#include "platform/Process.h"

namespace vx {

std::string ProcessCommandLine() {
  const char* line = ::GetCommandLineA();
  return line ? line : "";
}

}  // namespace vx
