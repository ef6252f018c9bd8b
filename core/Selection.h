// The file selection: whether one file found by the tree copy is copied.
#pragma once

#include <cstdint>
#include <string>

#include "core/Session.h"

namespace vx {

// -1, 0 or 1 as a is below, equal to or above b. Sizes are compared whole.
int CompareInts(int64_t a, int64_t b);
// 0 when the two day numbers lie less than a millisecond apart.
int CompareTimes(double a, double b);
// 0 when the two day numbers fall on the same day.
int CompareDays(double a, double b);
// The three time stamps of a file as local day numbers (base bias only);
// false when the file cannot be opened.
bool GetFileTimes(FileSystem& fs, const std::string& path, double& creation, double& access,
                  double& lastWrite);
// true to copy. May log " = " lines, ask AskCreateFile, clear PromptCreate
// and set the status to cancelled. Raises what WildcardMatch and WriteLog raise.
bool SelectFile(Session& session, const std::string& sourcePath, const std::string& destPath);

}  // namespace vx
