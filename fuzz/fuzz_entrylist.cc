// SplitEntryList and list-file reading. The input is the list text, a NUL,
// then the bytes of the list file "liste.txt". Each ";"-separated piece must
// give its trimmed self, or the lines of the list file it names.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/Error.h"
#include "core/HolyCoreUnit.h"
#include "fuzz/FuzzFiles.h"

namespace {

using vx::fuzz::Check;

vx::fuzz::TableFiles& Lists() {
  static auto* files = new vx::fuzz::TableFiles;
  return *files;
}

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

std::vector<std::string> Pieces(const std::string& text) {
  std::vector<std::string> pieces(1);
  for (char c : text) {
    if (c == ';') pieces.emplace_back();
    else pieces.back() += c;
  }
  return pieces;
}

std::string Trimmed(const std::string& piece) {
  std::size_t first = 0, last = piece.size();
  while (first < last && IsBlank(piece[first])) ++first;
  while (last > first && IsBlank(piece[last - 1])) --last;
  return piece.substr(first, last - first);
}

// Lines of a list file, the other way round: every line end becomes LF first.
std::vector<std::string> Lines(std::string bytes) {
  bytes = bytes.substr(0, bytes.find('\0'));
  std::string unified;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    unified += bytes[i] == '\r' ? '\n' : bytes[i];
  }
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < unified.size()) {
    const std::size_t end = unified.find('\n', start);
    lines.push_back(unified.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

bool NamesList(const std::string& entry) {
  return entry.size() >= 5 && vx::UpperAscii(entry.substr(0, 5)) == "FILE:";
}

// The entries one piece must give; false when it names a file that is missing.
bool ExpectedFor(const std::string& piece, std::vector<std::string>& expected) {
  const std::string entry = Trimmed(piece);
  if (!NamesList(entry)) {
    expected.push_back(entry);
    return true;
  }
  const auto found = Lists().files.find(entry.substr(5));
  if (found == Lists().files.end()) return false;
  for (const std::string& line : Lines(found->second)) expected.push_back(line);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  const void* nul = std::memchr(bytes, 0, size);
  const std::size_t textLength = nul ? static_cast<const char*>(nul) - bytes : size;
  const std::string text(bytes, textLength);
  Lists().files["liste.txt"] =
      nul ? std::string(bytes + textLength + 1, size - textLength - 1) : std::string();
  Lists().files["vide.txt"] = "";

  std::vector<std::string> expected;
  bool opens = true;
  for (const std::string& piece : Pieces(text))
    if (!(opens = ExpectedFor(piece, expected))) break;

  vx::EntryList got;
  try {
    vx::SplitEntryList(Lists(), text, ';', got);
    Check(opens, "a missing list file did not raise");
  } catch (const vx::VeltrixError& error) {
    Check(!opens, "raised although every list file exists");
    Check(std::strstr(error.what(), "Impossible d'ouvrir le fichier") != nullptr,
          "wrong failure text for a missing list file");
  }
  // Entries added before a failure stay.
  Check(got == expected, "entries differ from the pieces and list-file lines");

  // A list that already holds entries is refused and left as it is.
  const vx::EntryList before = got;
  got.emplace_back("deja");
  try {
    vx::SplitEntryList(Lists(), text, ';', got);
    vx::fuzz::Fail("a non-empty target was accepted");
  } catch (const vx::VeltrixError&) {
  }
  Check(got.size() == before.size() + 1, "a refused split changed its target");
  return 0;
}
