// POSIX backend: Linux speaks UTF-8 everywhere, the literals included.
// Compiled into the library and into the program.
#include "platform/Process.h"

namespace vx {

std::string Utf8ToAnsi(const std::string& utf8) { return utf8; }

}  // namespace vx
