// POSIX backend: environment, local time, regional formats.
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <langinfo.h>
#include <locale.h>
#include <sys/time.h>

#include "platform/DateText.h"
#include "platform/Platform.h"

namespace vx {

namespace {

constexpr std::size_t kExpansionBuffer = 1024;  // characters, terminator included

// The name LC_TIME resolves to, by the usual precedence of the variables.
std::string TimeLocaleName() {
  for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return value;
  }
  return "C";
}

bool IsNeutralLocale(const std::string& name) {
  return name == "C" || name == "POSIX" || name.compare(0, 2, "C.") == 0;
}

// The user's LC_TIME formats, read through a private locale object so the
// process's global locale is never changed. Empty in C and POSIX (and when
// the locale is not installed): the French forms apply there.
std::string TimeLocaleFormat(nl_item item) {
  const std::string name = TimeLocaleName();
  if (IsNeutralLocale(name)) return std::string();
  const locale_t locale = ::newlocale(LC_TIME_MASK, name.c_str(), static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return std::string();
  const std::string format = ::nl_langinfo_l(item, locale);
  ::freelocale(locale);
  return format;
}

std::string FormatByLocale(nl_item item, const LocalDateTime& t, const char* fallback) {
  std::string format = TimeLocaleFormat(item);
  if (format.empty()) format = fallback;
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  char buffer[128];
  // The text only has to follow the format, not the locale's month names.
  const std::size_t n = std::strftime(buffer, sizeof buffer, format.c_str(), &tm);
  return std::string(buffer, n);
}

LocalDateTime FromTm(const std::tm& tm) {
  LocalDateTime t;
  t.year = tm.tm_year + 1900;
  t.month = tm.tm_mon + 1;
  t.day = tm.tm_mday;
  t.hour = tm.tm_hour;
  t.minute = tm.tm_min;
  t.second = tm.tm_sec;
  return t;
}

}  // namespace

// %NAME% of a defined variable becomes its value; anything else is copied
// as typed, a lone "%" included.
std::optional<std::string> ExpandEnvironment(const std::string& text) {
  std::string result;
  std::size_t at = 0;
  while (at < text.size() && result.size() < kExpansionBuffer) {
    const std::size_t open = text.find('%', at);
    const std::size_t close = open == std::string::npos ? open : text.find('%', open + 1);
    if (close == std::string::npos) {
      result.append(text, at, std::string::npos);
      break;
    }
    result.append(text, at, open - at);
    const std::string name = text.substr(open + 1, close - open - 1);
    const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
    result += value ? std::string(value) : text.substr(open, close - open + 1);
    at = close + 1;
  }
  if (result.size() >= kExpansionBuffer) return std::nullopt;
  return result;
}

LocalDateTime LocalNow() {
  timeval now{};
  ::gettimeofday(&now, nullptr);
  std::tm tm{};
  const std::time_t seconds = now.tv_sec;
  ::localtime_r(&seconds, &tm);
  LocalDateTime t = FromTm(tm);
  t.millisecond = static_cast<int>(now.tv_usec / 1000);
  return t;
}

std::string FormatShortDate(const LocalDateTime& t) { return FormatByLocale(D_FMT, t, "%d/%m/%Y"); }

std::string FormatLongTime(const LocalDateTime& t) { return FormatByLocale(T_FMT, t, "%H:%M:%S"); }

bool ParseShortDate(const std::string& text, double& dayNumber) {
  const std::string pattern = TimeLocaleFormat(D_FMT);
  const DateFormat format = pattern.empty() ? DateFormat() : DateFormatFromPattern(pattern);
  return ParseDateText(text, format, LocalNow().year, dayNumber);
}

int TimeZoneBiasMinutes() {
  ::tzset();
  return static_cast<int>(::timezone / 60);
}

int32_t FileTimeToPackedLocal(int64_t fileTime) {
  constexpr int64_t kSecondsBefore1970 = 11644473600LL;  // from 1 January 1601
  if (fileTime < 0) return -1;
  // One offset for every time, the one in force now, as Windows turns file
  // times into local ones: each time's own offset would fold the autumn's
  // repeated hour onto the hour before it, and a changed file would pass
  // for an identical one.
  // Asked of the time-zone rules once a second (and again when TZ
  // changes), not once per file.
  thread_local std::time_t askedAt = -1;
  thread_local std::string askedZone;
  thread_local long offset = 0;
  const std::time_t now = std::time(nullptr);
  const char* zone = std::getenv("TZ");
  const std::string_view zoneText = zone ? zone : "\x01";  // unset differs from empty
  std::tm tm{};
  if (now != askedAt || zoneText != askedZone) {
    if (::localtime_r(&now, &tm) == nullptr) return -1;
    askedAt = now;
    askedZone = zoneText;
    offset = tm.tm_gmtoff;
  }
  const std::time_t local =
      static_cast<std::time_t>(fileTime / 10000000 - kSecondsBefore1970 + offset);
  if (::gmtime_r(&local, &tm) == nullptr) return -1;
  const int year = tm.tm_year + 1900;
  if (year < 1980 || year > 2107) return -1;  // outside what the packed form can hold
  const uint32_t date = static_cast<uint32_t>((year - 1980) << 9 | (tm.tm_mon + 1) << 5 | tm.tm_mday);
  const uint32_t time = static_cast<uint32_t>(tm.tm_hour << 11 | tm.tm_min << 5 | tm.tm_sec / 2);
  return static_cast<int32_t>(date << 16 | time);
}

}  // namespace vx
