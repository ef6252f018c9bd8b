// The session log: stamped and unstamped lines, the error count, the trim.
#pragma once

#include <cstdint>
#include <string>

#include "core/CopyRec.h"
#include "platform/Platform.h"

namespace vx {

// Library-wide count of stamped error lines, reset by each session.
extern int32_t ErrorCount;

// The local date, then the time unless it is 00:00:00, in the user's formats.
std::string DateTimeText();
std::string DateTimeText(const LocalDateTime& moment);
// A name as it goes into a log line: CR and LF become "?", so that one
// entry stays one line; every other byte is kept.
std::string LogName(const std::string& name);
// Whether options name a log file.
bool LogNamed(const CopyRec& options);
// Appends one line to the log named in options (nothing without a name);
// counts it in ErrorCount when stamped and countsAsError, log or not.
// Raises EEntreeSortie when the log cannot be written.
void WriteLog(FileSystem& fs, const CopyRec& options, const std::string& text, bool stamped,
              bool countsAsError);
// Keeps the newest LogLines lines of the log (none below 0, nothing without
// a name): the kept lines replace the log atomically, and a failed trim
// leaves the old log whole. Raises EEntreeSortie when the log cannot be
// read or replaced.
void TrimLog(FileSystem& fs, const CopyRec& options);

}  // namespace vx
