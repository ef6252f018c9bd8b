// The file selection: whether one file found by the tree copy is copied.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/Session.h"

namespace vx {

// -1, 0 or 1 as a is below, equal to or above b. Sizes are compared whole.
int CompareInts(int64_t a, int64_t b);
// 0 when the two day numbers lie less than a millisecond apart.
int CompareTimes(double a, double b);
// 0 when the two day numbers fall on the same day.
int CompareDays(double a, double b);
// The three time stamps of the file name in folder as local day numbers
// (base bias only); false when the file cannot be opened.
bool GetFileTimes(FileSystem& fs, const Folder& folder, std::string_view name, double& creation,
                  double& access, double& lastWrite);

// The destination entry of one file, looked up at most once and only when a
// test asks for it. nullptr when there is none (or it cannot be looked at).
class TargetLookup {
 public:
  virtual ~TargetLookup() = default;
  virtual const EntryInfo* Find() = 0;
};

// One file as the tree copy found it.
struct FileToSelect {
  const std::string& sourcePath;  // the texts of the log, the masks and the question
  const std::string& destPath;    // "NUL" for the null destination
  const ListedEntry& source;      // its listing entry: attributes, size, time
  const Folder& sourceFolder;     // where it lies, for its time stamps and identity
  TargetLookup& target;
};

// true to copy. May log " = " lines, ask AskCreateFile, clear PromptCreate
// and set the status to cancelled. Raises what WildcardMatch and WriteLog raise.
bool SelectFile(Session& session, const FileToSelect& file);

}  // namespace vx
