#include "platform/DateText.h"

#include <cctype>
#include <vector>

#include "platform/Platform.h"

namespace vx {

namespace {

// A cursor over the text with the few reads the date syntax needs.
struct Scanner {
  const std::string& text;
  std::size_t at = 0;

  void SkipBlanks() {
    while (at < text.size() && text[at] == ' ') ++at;
  }
  bool Take(char c) {
    if (at < text.size() && text[at] == c) {
      ++at;
      return true;
    }
    return false;
  }
  // Up to 9 digits, so the value always fits; digits counts what was read.
  bool Number(int& value, int& digits) {
    value = 0;
    digits = 0;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
      if (++digits > 9) return false;
      value = value * 10 + (text[at++] - '0');
    }
    return digits > 0;
  }
  bool AtEnd() const { return at == text.size(); }
};

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

int WindowYear(int year, int currentYear) {
  const int base = currentYear - 50;
  year += base / 100 * 100;
  return year < base ? year + 100 : year;
}

bool ScanDate(Scanner& in, const DateFormat& format, int currentYear, LocalDateTime& t) {
  int values[3] = {0, 0, 0}, digits[3] = {0, 0, 0}, count = 0;
  do {
    if (!in.Number(values[count], digits[count])) return false;
    ++count;
  } while (count < 3 && in.Take(format.dateSeparator));
  if (count < 2) return false;
  std::string order = format.order;
  if (count == 2) {
    order.erase(order.find('Y'), 1);
    values[2] = currentYear;
    digits[2] = 4;
    order += 'Y';
  }
  for (int i = 0; i < 3; ++i) {
    if (order[i] == 'D') t.day = values[i];
    if (order[i] == 'M') t.month = values[i];
    if (order[i] == 'Y') t.year = digits[i] <= 2 ? WindowYear(values[i], currentYear) : values[i];
  }
  return t.year >= 1 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
         t.day <= DaysInMonth(t.year, t.month);
}

bool ScanTime(Scanner& in, char separator, LocalDateTime& t) {
  int digits = 0;
  if (!in.Number(t.hour, digits) || !in.Take(separator) || !in.Number(t.minute, digits))
    return false;
  if (in.Take(separator) && !in.Number(t.second, digits)) return false;
  return t.hour < 24 && t.minute < 60 && t.second < 60;
}

}  // namespace

DateFormat DateFormatFromPattern(const std::string& pattern) {
  DateFormat format;
  std::string order;
  char separator = 0;
  for (char c : pattern) {
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const char field = lower == 'd' || lower == 'e' ? 'D' : lower == 'm' ? 'M' : lower == 'y' ? 'Y' : 0;
    if (field && order.find(field) == std::string::npos) order += field;
    else if (!field && !separator && c != '%' && !std::isalpha(static_cast<unsigned char>(c)) &&
             !order.empty())
      separator = c;
  }
  if (pattern == "%D") order = "MDY", separator = '/';
  if (pattern == "%F") order = "YMD", separator = '-';
  if (order.size() == 3) format.order = order;
  if (separator) format.dateSeparator = separator;
  return format;
}

bool ParseDateText(const std::string& text, const DateFormat& format, int currentYear,
                   double& dayNumber) {
  Scanner in{text};
  LocalDateTime t;
  in.SkipBlanks();
  if (!ScanDate(in, format, currentYear, t)) return false;
  in.SkipBlanks();
  if (!in.AtEnd() && !ScanTime(in, format.timeSeparator, t)) return false;
  in.SkipBlanks();
  if (!in.AtEnd()) return false;
  dayNumber = EncodeDayNumber(t);
  return true;
}

}  // namespace vx
