// WildcardMatch against a plain dynamic-programming matcher. The input is the
// mask, a NUL, then the text. Where a star is directly followed by "?" the
// matcher may reject what the usual rules accept, never the other way round.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/Error.h"
#include "fuzz/FuzzFiles.h"
#include "support/wildcard.h"

namespace {

using vx::fuzz::Check;

// The usual rules: * any run, ? one character, anchored at both ends.
bool UsualMatch(const std::string& mask, const std::string& text) {
  // row[j]: whether the mask so far covers the first j characters of text.
  std::vector<char> row(text.size() + 1, 0), next(text.size() + 1);
  row[0] = 1;
  for (char m : mask) {
    if (m == '*') {
      next[0] = row[0];
      for (std::size_t j = 1; j <= text.size(); ++j) next[j] = row[j] || next[j - 1];
    } else {
      next[0] = 0;
      for (std::size_t j = 1; j <= text.size(); ++j)
        next[j] = row[j - 1] && (m == '?' || m == text[j - 1]);
    }
    row.swap(next);
  }
  return row[text.size()];
}

// What WildcardMatch must answer: "*" takes anything, an empty text nothing
// else, and the rest follows the usual rules from the start position on.
bool Expected(const std::string& mask, const std::string& text, std::size_t start) {
  if (mask == "*") return true;
  if (text.empty()) return false;
  return UsualMatch(mask, text.substr(start - 1));
}

void Compare(const std::string& mask, const std::string& text, std::size_t start) {
  const bool got = vx::WildcardMatch(mask, text, start);
  const bool expected = Expected(mask, text, start);
  if (mask.find("*?") == std::string::npos)
    Check(got == expected, "differs from the usual rules");
  else
    Check(!got || expected, "accepts a text the usual rules reject");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  const void* nul = std::memchr(bytes, 0, size);
  const std::size_t maskLength = nul ? static_cast<const char*>(nul) - bytes : size;
  const std::string mask(bytes, maskLength);
  const std::string text = nul ? std::string(bytes + maskLength + 1, size - maskLength - 1) : "";

  if (mask.empty()) {
    try {
      vx::WildcardMatch(mask, text);
    } catch (const vx::VeltrixError& error) {
      Check(std::string(error.what()) == "Search string cannot be blank", "wrong blank-mask text");
      return 0;
    }
    vx::fuzz::Fail("an empty mask was accepted");
  }

  // The selection's start, the second character, and just past the end.
  Compare(mask, text, 1);
  if (text.size() >= 2) Compare(mask, text, 2);
  Compare(mask, text, text.size() + 1);
  return 0;
}
