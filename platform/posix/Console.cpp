// POSIX backend: the purge's notice and the warnings of a run's start.
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/Platform.h"

namespace vx {

std::error_code ShowNotice(const std::string& text) {
  // The names the program wrote before wait in the shared stdout buffer.
  std::fflush(stdout);
  const std::string line = text + "\n";
  if (std::fwrite(line.data(), 1, line.size(), stderr) != line.size()) return SystemError(errno);
  // Only a person at a terminal can acknowledge; a batch run never waits.
  if (::isatty(STDIN_FILENO) && ::isatty(STDERR_FILENO)) {
    int c;
    do c = std::getchar();
    while (c != EOF && c != '\n');
  }
  return {};
}

void ShowWarning(const std::string& text) {
  std::fflush(stdout);
  const std::string line = text + "\n";
  (void)std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace vx
