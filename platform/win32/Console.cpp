// Win32 backend: the purge's notice and the warnings of a run's start.
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

void ShowWarning(const std::string& text) {
  std::fflush(stdout);
  const std::string line = text + "\n";
  (void)std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace vx
