// Entry lists: ";"-separated texts whose entries may name list files, and
// what a parse leaves beside the record: the mask lists and the options
// that have no field in it.
#pragma once

#include <string>
#include <vector>

#include "core/ExtraOptions.h"
#include "platform/Platform.h"

namespace vx {

using EntryList = std::vector<std::string>;

// Cuts text at separator into trimmed entries (empty ones kept), reading the
// lines of "file:" list files in their place. Raises EFOpen when a list file
// cannot be read, EAssertion when target is not empty. List files are read from fs.
void SplitEntryList(FileSystem& fs, std::string text, char separator, EntryList& target);
// Whether an entry (trimmed) names a list file: "file:" in any letter case.
bool NamesListFile(const std::string& entry);
// Appends one entry, or the lines of the list file it names. Raises EFOpen.
void AddListEntry(FileSystem& fs, const std::string& entry, EntryList& target);

// What accepted parses leave for the sessions after them: the record has no
// room for it. The library keeps one, alive from load to unload; its mask
// lists are filled once and never emptied, as hosts have always found them.
struct ParsedState {
  EntryList exclusions;
  EntryList inclusions;
  ExtraOptions extras;  // the whole-word switches of the last accepted parse
};

}  // namespace vx
