// Entry lists: ";"-separated texts whose entries may name list files, and the
// library-wide mask lists filled by the parser and read by the selection.
#include <algorithm>
#include <string>

#include "core/Error.h"
#include "core/EntryList.h"
#include "platform/Platform.h"

namespace vx {

namespace {

constexpr char kListPrefix[] = "file:";
constexpr std::size_t kListPrefixLength = sizeof kListPrefix - 1;

// Blanks and control characters (codes up to 32) at both ends go.
std::string Trim(const std::string& text) {
  auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  std::size_t first = 0, last = text.size();
  while (first < last && isBlank(text[first])) ++first;
  while (last > first && isBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool NamesListFile(const std::string& entry) {
  if (entry.size() < kListPrefixLength) return false;
  for (std::size_t i = 0; i < kListPrefixLength; ++i)
    if (LowerAscii(entry[i]) != kListPrefix[i]) return false;
  return true;
}

// Lines end at CR LF, a lone CR or a lone LF; a NUL ends the text; a final
// line end adds no empty line.
void AppendLines(const std::string& bytes, EntryList& target) {
  const std::size_t end = std::min(bytes.find('\0'), bytes.size());
  std::size_t start = 0;
  while (start < end) {
    std::size_t stop = start;
    while (stop < end && bytes[stop] != '\r' && bytes[stop] != '\n') ++stop;
    target.push_back(bytes.substr(start, stop - start));
    if (stop < end && bytes[stop] == '\r') {
      ++stop;
      if (stop < end && bytes[stop] == '\n') ++stop;
    } else if (stop < end) {
      ++stop;  // a lone LF
    }
    start = stop;
  }
}

void ReadListFile(FileSystem& fs, const std::string& name, EntryList& target) {
  ErrorOr<std::string> bytes = fs.ReadWholeFile(name);
  if (!bytes) {
    ErrorOr<std::string> full = fs.FullPath(name);
    VX_RAISE("EFOpen", Utf8ToAnsi("Impossible d'ouvrir le fichier \"") + (full ? *full : name) +
                           "\". " + bytes.error().message());
  }
  AppendLines(*bytes, target);
}

}  // namespace

void AddListEntry(FileSystem& fs, const std::string& entry, EntryList& target) {
  if (NamesListFile(entry))
    ReadListFile(fs, entry.substr(kListPrefixLength), target);
  else
    target.push_back(entry);
}

void SplitEntryList(FileSystem& fs, std::string text, char separator, EntryList& target) {
  if (!target.empty())
    VX_RAISE("EAssertion", Utf8ToAnsi("Liste d'entrée non vide ... (HolyCoreUnit, ligne 78)"));
  std::size_t start = 0;
  for (std::size_t at = text.find(separator); at != std::string::npos;
       at = text.find(separator, start)) {
    AddListEntry(fs, Trim(text.substr(start, at - start)), target);
    start = at + 1;
  }
  AddListEntry(fs, Trim(text.substr(start)), target);
}

// Function-local statics: built on first use while the library is loaded,
// destroyed when it is unloaded.
EntryList& ExclusionList() {
  static EntryList list;
  return list;
}

EntryList& InclusionList() {
  static EntryList list;
  return list;
}

ExtraOptions& ParsedExtraOptions() {
  static ExtraOptions options;
  return options;
}

}  // namespace vx
