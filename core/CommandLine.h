// Cutting a command line into arguments, and the switch tests made on it.
// Linked into both the program and the engine. Raises nothing.
#pragma once

#include <string>
#include <vector>

namespace vx {

// Upper-cases the letters a to z only; accented letters stay.
std::string UpperAscii(std::string text);
// The arguments of a command line by the program's rule: blanks and control
// characters separate, double quotes group and are dropped, a NUL ends it.
std::vector<std::string> CutArguments(const std::string& commandLine);
// Whether the arguments after the program's own name hold a switch whose
// rest equals one of names in any letter case.
bool CommandLineHasSwitch(const std::string& commandLine, const std::vector<std::string>& names);

}  // namespace vx
