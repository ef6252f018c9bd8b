// The console program's own backend: see platform/Host.h.
#include "platform/Host.h"

#if defined(_WIN32)
#include "platform/Windows/Host.inc"
#else
#include "platform/Unix/Host.inc"
#endif

namespace vx::host {

// The build names the file: the soname on Linux, the DLL on Windows.
const char* CoreModuleFileName() { return VX_CORE_MODULE_FILE; }

}  // namespace vx::host
