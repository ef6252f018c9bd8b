// Small text helpers the engine's modules share: record fields, paths, quotes.
#pragma once

#include <string>

#include "core/CopyRec.h"
#include "platform/Platform.h"

namespace vx {

// The text of a fixed field of the record, up to its NUL (at most 2048 characters).
inline std::string FieldText(const char* field) {
  std::size_t length = 0;
  while (length < kMaxTextLength && field[length] != '\0') ++length;
  return std::string(field, length);
}

// Paths with and without their trailing separator ("/" alone stays).
inline std::string WithSeparator(const std::string& path) {
  return !path.empty() && IsPathSeparator(path.back()) ? path : path + kPathSeparator;
}
inline std::string WithoutSeparator(std::string path) {
  while (path.size() > 1 && IsPathSeparator(path.back())) path.pop_back();
  return path;
}
inline std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace vx
