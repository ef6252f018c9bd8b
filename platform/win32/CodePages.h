// Conversion between code pages through UTF-16, for the library and the program.
#pragma once

#include <windows.h>

#include <string>

namespace vx::win {

std::string ConvertCodePage(const std::string& text, UINT from, UINT to);

}  // namespace vx::win
