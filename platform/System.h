// Paths, the console, time and locale.
// Part of the platform interface (platform/Platform.h), whose one error
// convention it follows.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Process.h"  // the command line, Utf8ToAnsi
#include "platform/Results.h"

namespace vx {

// ---- Paths and command line -------------------------------------------------

#if defined(_WIN32)
constexpr char kPathSeparator = '\\';
constexpr bool kFileNamesCaseSensitive = false;
constexpr bool kSlashIntroducesSwitch = true;
#else
constexpr char kPathSeparator = '/';
constexpr bool kFileNamesCaseSensitive = true;
constexpr bool kSlashIntroducesSwitch = false;
#endif

// "/" is also a separator on Windows.
bool IsPathSeparator(char c);
// Characters that introduce a switch: "-" everywhere, "/" on Windows too.
// Inline: the program's SILENT test uses it without the platform layer.
constexpr bool IsSwitchChar(char c) { return c == '-' || (kSlashIntroducesSwitch && c == '/'); }
// Length of the folder part of a path: up to and including its last separator
// (or, on Windows, a drive colon). 0 when the path has no folder part.
std::size_t FolderPartLength(const std::string& path);
// The path without its trailing separators, as a held root keeps its path
// text; a root keeps its own ("/"; on Windows "\" and "C:\" too).
std::string WithoutTrailingSeparators(std::string path);

// Expands %NAME% references; undefined ones stay as typed. Fails
// (errc::value_too_large) when the result does not fit the system's
// 1024-character buffer.
ErrorOr<std::string> ExpandEnvironment(const std::string& text);

// ---- Console ----------------------------------------------------------------

// The purge's notice for a folder that cannot be removed. Standard output is
// flushed first (the program writes through the C runtime's stdout, which
// both modules share), so the notice follows the names shown before it; waits
// for the user where that cannot block a batch run. The error of a notice
// that could not be shown.
std::error_code ShowNotice(const std::string& text);
// The system's words for an error, in the library's encoding: on Linux in the
// language of the user's LC_MESSAGES where the system has it (the process's
// locale is not changed), on Windows the system's own (French on a French
// system). Without a final period or line end.
std::string ReasonText(std::error_code error);

// ---- Time and locale --------------------------------------------------------

struct LocalDateTime {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, millisecond = 0;
};

LocalDateTime LocalNow();
// The user's short date and long time formats: "23/10/2003", "14:05:09".
ErrorOr<std::string> FormatShortDate(const LocalDateTime& t);
ErrorOr<std::string> FormatLongTime(const LocalDateTime& t);
// Converts a date text (optionally followed by a time) by the user's short
// date format into a day number; errc::invalid_argument when it does not convert.
ErrorOr<double> ParseShortDate(const std::string& text);
// Base bias of the time zone in minutes (UTC = local standard time + bias).
ErrorOr<int> TimeZoneBiasMinutes();

// Day numbers: days since 30 December 1899, the fraction the time of day.
double EncodeDayNumber(const LocalDateTime& t);
// File time stamps are 100-ns ticks since 1 January 1601, UTC. A negative
// one is a time that does not convert, as Windows refuses those too: the
// file system's entries carry kNoFileTime for a time they cannot tell.
constexpr int64_t kNoFileTime = -1;
// A Unix time (seconds and nanoseconds since 1970) as a file time;
// errc::value_too_large when it lies before 1601 or beyond what 64 bits of
// ticks hold.
ErrorOr<int64_t> FileTimeFromUnix(int64_t seconds, int64_t nanoseconds);
// The day number of a file time shifted by a bias in minutes (UTC = local +
// bias), to the millisecond below: the last tick of a day stays on that day
// and midnight starts the next. errc::value_too_large for a negative time.
ErrorOr<double> FileTimeToDayNumber(int64_t fileTime, int biasMinutes);
// A file time turned into local time with the offset in force now (daylight
// saving included when it is in force now), for every time alike, then
// packed into DOS date (high 16 bits) and time. errc::value_too_large
// outside 1980 to 2107.
ErrorOr<int32_t> FileTimeToPackedLocal(int64_t fileTime);

}  // namespace vx
