// The console program: banner, help page, console callbacks, exit code.
#pragma once

#include <cstdint>
#include <string>

#include "core/VeltrixApi.h"

namespace vx {

// The whole main sequence; returns the exit code.
int RunProgram();

// The argument text: the command line less the program's own name.
std::string ArgumentText(const std::string& commandLine);

extern "C" {
void VX_STDCALL ConsoleShowError(const char* text);
void VX_STDCALL ConsoleShowFile(const char* text);
int32_t VX_STDCALL ConsoleAskUser(int32_t question, const char* text);
void VX_STDCALL ConsoleShowTotal(int32_t count);
}

}  // namespace vx
