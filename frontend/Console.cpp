// Placeholder of the console program until the front end lands.
#include "frontend/Console.h"

#include "core/exports.h"

namespace vx {
int RunProgram() { return NeedHelp() ? 0 : 5; }
std::string ArgumentText(const std::string& commandLine) { return commandLine; }
extern "C" {
void VX_STDCALL ConsoleShowError(const char*) {}
void VX_STDCALL ConsoleShowFile(const char*) {}
int32_t VX_STDCALL ConsoleAskUser(int32_t, const char*) { return AnswerCancel; }
void VX_STDCALL ConsoleShowTotal(int32_t) {}
}
}  // namespace vx
