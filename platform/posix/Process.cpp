// POSIX backend: the process command line rebuilt from /proc/self/cmdline,
// so that the cut rule of the command line gives back exactly the arguments
// the shell passed. Compiled into the library and into the program.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/Process.h"

namespace vx {

namespace {

// Whether an argument must be written in double quotes to be cut back whole.
bool NeedsQuotes(const std::string& argument) {
  if (argument.empty()) return true;
  for (char c : argument) {
    const auto code = static_cast<unsigned char>(c);
    if ((code >= 1 && code <= 32) || c == '"' || c == '\'') return true;
  }
  return false;
}

std::string QuoteArgument(const std::string& argument) {
  if (!NeedsQuotes(argument)) return argument;
  std::string quoted = "\"";
  for (char c : argument) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

// The program name is only ever cut off, so its own double quotes are
// dropped: a quote inside it would end the name early.
std::string QuoteProgramName(std::string name) {
  name.erase(std::remove(name.begin(), name.end(), '"'), name.end());
  return NeedsQuotes(name) ? "\"" + name + "\"" : name;
}

}  // namespace

std::string ProcessCommandLine() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string line;
  std::size_t start = 0;
  for (std::size_t index = 0; start < raw.size(); ++index) {
    std::size_t end = raw.find('\0', start);
    if (end == std::string::npos) end = raw.size();
    const std::string argument = raw.substr(start, end - start);
    if (index > 0) line += ' ';
    line += index == 0 ? QuoteProgramName(argument) : QuoteArgument(argument);
    start = end + 1;
  }
  return line;
}

}  // namespace vx
