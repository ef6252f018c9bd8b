// Small text helpers the engine's modules share: record fields, paths, quotes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/CopyRec.h"
#include "platform/Platform.h"

namespace vx {

// The text of a fixed field of the record, up to its NUL (at most 2048 characters).
inline std::string FieldText(const char* field) {
  std::size_t length = 0;
  while (length < kMaxTextLength && field[length] != '\0') ++length;
  return std::string(field, length);
}

// A path with its trailing separator (without: WithoutTrailingSeparators).
inline std::string WithSeparator(const std::string& path) {
  return !path.empty() && IsPathSeparator(path.back()) ? path : path + kPathSeparator;
}
inline std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Blanks and control characters (codes up to 32) at both ends go.
inline std::string TrimBlanks(const std::string& text) {
  auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  std::size_t first = 0, last = text.size();
  while (first < last && isBlank(text[first])) ++first;
  while (last > first && isBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

// The lines of a text: each ends at CR LF, a lone CR or a lone LF; a last
// line without an end still counts, a final line end adds no empty line.
inline std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0, i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c != '\r' && c != '\n') {
      ++i;
      continue;
    }
    lines.push_back(text.substr(start, i - start));
    i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
    start = i;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

}  // namespace vx
