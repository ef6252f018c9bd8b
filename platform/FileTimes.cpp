// File times and day numbers: arithmetic alone, the same on every platform.
#include "platform/Platform.h"

namespace vx {

// Days from 30 December 1899 for a proleptic Gregorian date.
static int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468 + 25569;  // 25569: 1899-12-30 to 1970-01-01
}

// A day number from whole days and the milliseconds into that day. Before
// day 0 the fraction still counts forward in time, as in the day-number convention.
static double DayNumberOf(int64_t days, int64_t millisecondOfDay) {
  const double fraction = static_cast<double>(millisecondOfDay) / 86400000.0;
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

double EncodeDayNumber(const LocalDateTime& t) {
  const int64_t millisecond =
      ((int64_t{t.hour} * 60 + t.minute) * 60 + t.second) * 1000 + t.millisecond;
  return DayNumberOf(DaysFromCivil(t.year, t.month, t.day), millisecond);
}

int64_t FileTimeFromUnix(int64_t seconds, int64_t nanoseconds) {
  constexpr int64_t kTicksPerSecond = 10000000;
  constexpr int64_t kUnixEpochTicks = 116444736000000000LL;  // 1 January 1970 as a file time
  constexpr int64_t kEarliest = -kUnixEpochTicks / kTicksPerSecond;  // 1 January 1601
  constexpr int64_t kLatest = (INT64_MAX - kUnixEpochTicks) / kTicksPerSecond;
  if (seconds < kEarliest || seconds > kLatest || nanoseconds < 0 || nanoseconds >= 1000000000)
    return kNoFileTime;
  const int64_t whole = kUnixEpochTicks + seconds * kTicksPerSecond;
  const int64_t ticks = nanoseconds / 100;
  return whole > INT64_MAX - ticks ? kNoFileTime : whole + ticks;
}

bool FileTimeToDayNumber(int64_t fileTime, int biasMinutes, double& dayNumber) {
  constexpr int64_t kMillisecondsPerDay = 86400000;
  constexpr int64_t kDaysBefore1899 = 109205;  // 1 January 1601 to 30 December 1899
  if (fileTime < 0) return false;
  // Whole milliseconds before any division into days: a double count of
  // days cannot tell the last ticks of a day from the next midnight.
  const int64_t local = fileTime / 10000 - int64_t{biasMinutes} * 60000;
  int64_t days = local / kMillisecondsPerDay;
  int64_t millisecond = local % kMillisecondsPerDay;
  if (millisecond < 0) {
    millisecond += kMillisecondsPerDay;
    --days;
  }
  dayNumber = DayNumberOf(days - kDaysBefore1899, millisecond);
  return true;
}

}  // namespace vx
