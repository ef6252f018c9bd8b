// Cutting the process command line into arguments, and the switch tests that
// the program (SILENT) and the library (help, SILENT) make on it.
#include <cstddef>

#include "core/CommandLine.h"
#include "platform/Platform.h"

namespace vx {

namespace {

// Codes 1 to 32 separate arguments: blank, tab, line breaks, other controls.
bool IsArgumentSeparator(char c) {
  const auto code = static_cast<unsigned char>(c);
  return code >= 1 && code <= 32;
}

// Skips separators and empty "" pairs where an argument would begin.
std::size_t SkipToArgument(const std::string& line, std::size_t i) {
  for (;;) {
    while (i < line.size() && IsArgumentSeparator(line[i])) ++i;
    if (line.compare(i, 2, "\"\"") != 0) return i;
    i += 2;
  }
}

// Reads one argument starting at i; quotes group and are dropped.
std::string ReadArgument(const std::string& line, std::size_t& i) {
  std::string argument;
  bool quoted = false;
  for (; i < line.size() && line[i] != '\0'; ++i) {
    const char c = line[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && IsArgumentSeparator(c)) {
      break;
    } else {
      argument += c;
    }
  }
  return argument;
}

}  // namespace

std::string UpperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::vector<std::string> CutArguments(const std::string& commandLine) {
  // The text ends at a NUL, as the system's command line does.
  const std::string line = commandLine.substr(0, commandLine.find('\0'));
  std::vector<std::string> arguments;
  std::size_t i = SkipToArgument(line, 0);
  while (i < line.size()) {
    arguments.push_back(ReadArgument(line, i));
    i = SkipToArgument(line, i);
  }
  return arguments;
}

bool CommandLineHasSwitch(const std::string& commandLine, const std::vector<std::string>& names) {
  const std::vector<std::string> arguments = CutArguments(commandLine);
  // The first argument is the program's own name, never a switch.
  for (std::size_t a = 1; a < arguments.size(); ++a) {
    const std::string& argument = arguments[a];
    if (argument.empty() || !IsSwitchChar(argument[0])) continue;
    const std::string rest = UpperAscii(argument.substr(1));
    for (const std::string& name : names)
      if (rest == UpperAscii(name)) return true;
  }
  return false;
}

}  // namespace vx
