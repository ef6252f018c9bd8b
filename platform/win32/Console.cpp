// Win32 backend: the purge's notice.
#include <windows.h>

#include <cstdio>

#include "platform/Platform.h"

namespace vx {

void ShowNotice(const std::string& text) {
  // The names the program wrote before wait in the shared stdout buffer.
  std::fflush(stdout);
  ::MessageBoxA(nullptr, text.c_str(), nullptr, MB_OK);
}

}  // namespace vx
