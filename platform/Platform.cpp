// The platform layer: what both backends share, then the backend itself.
#include "platform/Platform.h"

namespace vx {

namespace {
FileSystem* installedFiles = nullptr;
}  // namespace

FileSystem& Files() {
  static NativeFileSystem native;
  return installedFiles ? *installedFiles : native;
}

void SetFiles(FileSystem* fs) { installedFiles = fs; }

// Days from 30 December 1899 for a proleptic Gregorian date.
static int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468 + 25569;  // 25569: 1899-12-30 to 1970-01-01
}

double EncodeDayNumber(const LocalDateTime& t) {
  const double days = static_cast<double>(DaysFromCivil(t.year, t.month, t.day));
  const double fraction =
      (t.hour * 3600000.0 + t.minute * 60000.0 + t.second * 1000.0 + t.millisecond) / 86400000.0;
  // Before day 0 the fraction still counts forward in time, as in the day-number convention.
  return days >= 0 ? days + fraction : days - fraction;
}

double FileTimeToDayNumber(int64_t fileTime) {
  // 109205 days lie between 1 January 1601 and 30 December 1899.
  constexpr double kTicksPerDay = 864000000000.0;
  return static_cast<double>(fileTime) / kTicksPerDay - 109205.0;
}

}  // namespace vx

#if defined(_WIN32)
#include "platform/Windows/FileIO.inc"
#include "platform/Windows/FileOps.inc"
#include "platform/Windows/Links.inc"
#include "platform/Windows/Locale.inc"
#include "platform/Windows/Process.inc"
#else
#include "platform/Unix/FileIO.inc"
#include "platform/Unix/FileOps.inc"
#include "platform/Unix/Links.inc"
#include "platform/Unix/Locale.inc"
#include "platform/Unix/Process.inc"
#endif
