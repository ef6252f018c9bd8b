// Win32 backend: environment, local time, regional formats.
#include <windows.h>
#undef CopyFile
#undef MoveFile
#undef DeleteFile
#undef RemoveDirectory

#include "platform/DateText.h"

#include "platform/Platform.h"

namespace vx {

namespace {

constexpr DWORD kExpansionBuffer = 1024;  // characters, terminator included

std::string LocaleText(LCTYPE type) {
  char buffer[128] = {0};
  const int n = ::GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer, sizeof buffer);
  return n > 0 ? std::string(buffer) : std::string();
}

SYSTEMTIME ToSystemTime(const LocalDateTime& t) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(t.year);
  st.wMonth = static_cast<WORD>(t.month);
  st.wDay = static_cast<WORD>(t.day);
  st.wHour = static_cast<WORD>(t.hour);
  st.wMinute = static_cast<WORD>(t.minute);
  st.wSecond = static_cast<WORD>(t.second);
  st.wMilliseconds = static_cast<WORD>(t.millisecond);
  return st;
}

}  // namespace

std::optional<std::string> ExpandEnvironment(const std::string& text) {
  // The system takes at most 32,767 characters (one UNICODE_STRING); past
  // that Wine's ExpandEnvironmentStringsA crashes instead of failing.
  if (text.size() >= 32767) return std::nullopt;
  char buffer[kExpansionBuffer];
  const DWORD needed = ::ExpandEnvironmentStringsA(text.c_str(), buffer, kExpansionBuffer);
  if (needed == 0 || needed > kExpansionBuffer) return std::nullopt;
  return std::string(buffer);
}

LocalDateTime LocalNow() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  LocalDateTime t;
  t.year = st.wYear;
  t.month = st.wMonth;
  t.day = st.wDay;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  t.millisecond = st.wMilliseconds;
  return t;
}

std::string FormatShortDate(const LocalDateTime& t) {
  const SYSTEMTIME st = ToSystemTime(t);
  char buffer[128];
  const int n = ::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, sizeof buffer);
  return n > 0 ? std::string(buffer) : std::string();
}

std::string FormatLongTime(const LocalDateTime& t) {
  const SYSTEMTIME st = ToSystemTime(t);
  char buffer[128];
  const int n = ::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, buffer, sizeof buffer);
  return n > 0 ? std::string(buffer) : std::string();
}

bool ParseShortDate(const std::string& text, double& dayNumber) {
  DateFormat format = DateFormatFromPattern(LocaleText(LOCALE_SSHORTDATE));
  const std::string timeSeparator = LocaleText(LOCALE_STIME);
  if (!timeSeparator.empty()) format.timeSeparator = timeSeparator[0];
  return ParseDateText(text, format, LocalNow().year, dayNumber);
}

int TimeZoneBiasMinutes() {
  TIME_ZONE_INFORMATION info;
  ::GetTimeZoneInformation(&info);
  return static_cast<int>(info.Bias);
}

int32_t FileTimeToPackedLocal(int64_t fileTime) {
  if (fileTime < 0) return -1;
  // FileTimeToLocalFileTime applies the offset in force now to every time.
  FILETIME utc, local;
  utc.dwLowDateTime = static_cast<DWORD>(fileTime & 0xFFFFFFFF);
  utc.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(fileTime) >> 32);
  WORD date = 0, time = 0;
  if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToDosDateTime(&local, &date, &time))
    return -1;
  return static_cast<int32_t>(static_cast<uint32_t>(date) << 16 | time);
}

}  // namespace vx
