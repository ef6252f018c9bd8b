// The options record shared byte for byte by the program and the engine. Its
// layout, with the checks on it, is the public header's.
#pragma once

#include <cstddef>

#include "veltrix/VeltrixCore.h"

namespace vx {

using CopyRec = ::CopyRec;

constexpr std::size_t kTextFieldSize = VX_TEXT_FIELD_SIZE;  // 2048 characters and a NUL
constexpr std::size_t kMaxTextLength = kTextFieldSize - 1;

}  // namespace vx
