// Win32 backend: the purge's notice.
#include <windows.h>

#include <cstdio>

#include "platform/Platform.h"

namespace vx {

std::error_code ShowNotice(const std::string& text) {
  // The names the program wrote before wait in the shared stdout buffer.
  std::fflush(stdout);
  if (::MessageBoxA(nullptr, text.c_str(), nullptr, MB_OK) == 0)
    return SystemError(static_cast<int>(::GetLastError()));
  return {};
}

}  // namespace vx
