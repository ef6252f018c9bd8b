// Entry lists: ";"-separated texts whose entries may name list files, and the
// library-wide mask lists filled by the parser and read by the selection.
#include <algorithm>
#include <string>

#include "core/Error.h"
#include "core/EntryList.h"
#include "core/Text.h"
#include "platform/Platform.h"

namespace vx {

namespace {

constexpr char kListPrefix[] = "file:";
constexpr std::size_t kListPrefixLength = sizeof kListPrefix - 1;

void ReadListFile(FileSystem& fs, const std::string& name, EntryList& target) {
  ErrorOr<std::string> bytes = fs.ReadWholeFile(name);
  if (!bytes) {
    ErrorOr<std::string> full = fs.FullPath(name);
    VX_RAISE("EFOpen", Utf8ToAnsi("Impossible d'ouvrir le fichier \"") + (full ? *full : name) +
                           "\". " + bytes.error().message());
  }
  // A NUL ends the text.
  const std::string_view text(bytes->data(), std::min(bytes->find('\0'), bytes->size()));
  for (std::string_view line : SplitLines(text)) target.emplace_back(line);
}

}  // namespace

bool NamesListFile(const std::string& entry) {
  if (entry.size() < kListPrefixLength) return false;
  for (std::size_t i = 0; i < kListPrefixLength; ++i) {
    const char c = entry[i] >= 'A' && entry[i] <= 'Z' ? static_cast<char>(entry[i] - 'A' + 'a') : entry[i];
    if (c != kListPrefix[i]) return false;
  }
  return true;
}

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
    AddListEntry(fs, TrimBlanks(text.substr(start, at - start)), target);
    start = at + 1;
  }
  AddListEntry(fs, TrimBlanks(text.substr(start)), target);
}

}  // namespace vx
