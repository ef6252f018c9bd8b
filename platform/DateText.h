// Reading a date text by a regional short date format, shared by both
// backends: they only differ in where the format comes from.
#pragma once

#include <string>

namespace vx {

struct DateFormat {
  std::string order = "DMY";  // the order of day, month and year
  char dateSeparator = '/';
  char timeSeparator = ':';
};

// Order and separator of a format written with letter codes, as Windows
// gives it ("dd/MM/yyyy") or as strftime takes it ("%d/%m/%Y"). Keeps the
// defaults for what it cannot read.
DateFormat DateFormatFromPattern(const std::string& pattern);

// Reads "date[ time]" into a day number. The date has three numbers in the
// format's order (or two, day and month, in the current year); a year of one
// or two digits lies within 50 years of currentYear. The time is H:M[:S].
// Surrounding blanks are allowed, anything else fails, as do impossible dates.
bool ParseDateText(const std::string& text, const DateFormat& format, int currentYear,
                   double& dayNumber);

}  // namespace vx
