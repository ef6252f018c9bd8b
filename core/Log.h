// The session log: stamped and unstamped lines, the trim.
#pragma once

#include <cstdint>
#include <string>

#include "core/CopyRec.h"
#include "platform/Platform.h"

namespace vx {

// The local date, then the time unless it is 00:00:00, in the user's formats.
std::string DateTimeText();
std::string DateTimeText(const LocalDateTime& moment);
// A name as it goes into a log line: CR and LF become "?", so that one
// entry stays one line; every other byte is kept.
std::string LogName(const std::string& name);
// Whether options name a log file.
bool LogNamed(const CopyRec& options);
// Appends one line to the log named in options (nothing without a name),
// stamped with the date and time or as given. Raises EEntreeSortie when the
// log cannot be written.
void WriteLog(FileSystem& fs, const CopyRec& options, const std::string& text, bool stamped);
// Keeps the newest LogLines lines of the log (none below 0, nothing without
// a name): the kept lines replace the log atomically, and a failed trim
// leaves the old log whole. Raises EEntreeSortie when the log cannot be
// read or replaced.
void TrimLog(FileSystem& fs, const CopyRec& options);

}  // namespace vx
