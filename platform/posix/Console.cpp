// POSIX backend: the purge's notice.
#include <unistd.h>

#include <cstdio>

#include "platform/Platform.h"

namespace vx {

void ShowNotice(const std::string& text) {
  // The names the program wrote before wait in the shared stdout buffer.
  std::fflush(stdout);
  const std::string line = text + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  // Only a person at a terminal can acknowledge; a batch run never waits.
  if (::isatty(STDIN_FILENO) && ::isatty(STDERR_FILENO)) {
    int c;
    do c = std::getchar();
    while (c != EOF && c != '\n');
  }
}

}  // namespace vx
