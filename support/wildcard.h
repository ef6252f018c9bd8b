// Matching of names against masks with * and ?.
#pragma once

#include <cstddef>
#include <string>

namespace vx {

// Whether mask covers text from startPosition (counted from 1) to its end.
// Raises "Search string cannot be blank" for an empty mask.
bool WildcardMatch(const std::string& mask, const std::string& text, std::size_t startPosition = 1);

}  // namespace vx
