#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "platform/DateText.h"
#include "platform/Platform.h"
#include "tests/unit/ScopedEnv.h"

namespace vx {
namespace {

#if !defined(_WIN32)
// The French forms stand in for the C locale; other locales give their own.
TEST(RegionalDates, LinuxFollowsLcTime) {
  {
    test::ScopedEnv all("LC_ALL", "C");
    const ErrorOr<double> day = ParseShortDate("23/10/2003");
    ASSERT_TRUE(day);
    EXPECT_EQ(*day, 37917.0);
    EXPECT_EQ(*FormatShortDate({2003, 10, 3, 4, 5, 6}), "03/10/2003");
    EXPECT_EQ(*FormatLongTime({2003, 10, 3, 4, 5, 6}), "04:05:06");
  }
  {
    test::ScopedEnv all("LC_ALL", "fr_FR.UTF-8");
    const ErrorOr<double> day = ParseShortDate("23/10/2003");
    ASSERT_TRUE(day);
    EXPECT_EQ(*day, 37917.0);
  }
  {
    test::ScopedEnv all("LC_ALL", "");
    test::ScopedEnv time("LC_TIME", "POSIX");
    EXPECT_FALSE(ParseShortDate("10/23/2003"));  // day 10, month 23
  }
}

// TZ changes how the whole process reads local time: put it back exactly,
// unset when it was unset.
class Zone {
 public:
  explicit Zone(const char* name) {
    const char* old = std::getenv("TZ");
    had_ = old != nullptr;
    if (had_) old_ = old;
    ::setenv("TZ", name, 1);
    ::tzset();
  }
  ~Zone() {
    if (had_) ::setenv("TZ", old_.c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
  }

 private:
  bool had_ = false;
  std::string old_;
};

TEST(PackedLocalTime, PacksTheLocalCalendarTime) {
  Zone zone("UTC");
  // 23 October 2003 14:05:09 UTC.
  const int64_t fileTime = 116444736000000000LL + 1066917909LL * 10000000LL;
  const int32_t packed = *FileTimeToPackedLocal(fileTime);
  EXPECT_EQ(static_cast<uint32_t>(packed) >> 16, (23u << 9) | (10u << 5) | 23u);
  EXPECT_EQ(packed & 0xFFFF, (14 << 11) | (5 << 5) | (9 / 2));
  EXPECT_EQ(*TimeZoneBiasMinutes(), 0);
  EXPECT_FALSE(FileTimeToPackedLocal(116444736000000000LL));  // 1970: before the packed range
}

// Every time is made local with the one offset in force now, as on Windows:
// the two 02:30 of the autumn's repeated hour in Paris stay an hour apart,
// and a winter and a summer noon UTC read the same local hour.
TEST(PackedLocalTime, OneOffsetForEveryTime) {
  Zone zone("Europe/Paris");
  const int32_t summerHalfPast = *FileTimeToPackedLocal(*FileTimeFromUnix(1698539400, 0));  // 29/10/2023 00:30 UTC
  const int32_t winterHalfPast = *FileTimeToPackedLocal(*FileTimeFromUnix(1698543000, 0));  // 01:30 UTC
  EXPECT_NE(summerHalfPast, winterHalfPast);
  EXPECT_EQ(winterHalfPast - summerHalfPast, 1 << 11);  // the same date, one hour on
  const int32_t january = *FileTimeToPackedLocal(*FileTimeFromUnix(1673784000, 0));  // 15/01/2023 12:00 UTC
  const int32_t july = *FileTimeToPackedLocal(*FileTimeFromUnix(1689422400, 0));     // 15/07/2023 12:00 UTC
  EXPECT_EQ(january & 0xFFFF, july & 0xFFFF);
  EXPECT_TRUE((january & 0xFFFF) >> 11 == 13 || (january & 0xFFFF) >> 11 == 14);
}
#endif

// Wine runs as a French system and the Linux tests pin the C locale, so
// both targets read dd/mm/yyyy here.
class FrenchDates : public ::testing::Test {
 protected:
  test::ScopedEnv locale_{"LC_ALL", "C"};
};

TEST_F(FrenchDates, ReadsDatesAndTimes) {
  ErrorOr<double> day = ParseShortDate("1/2/2003");
  ASSERT_TRUE(day);
  EXPECT_EQ(*day, EncodeDayNumber({2003, 2, 1}));
  ASSERT_TRUE(day = ParseShortDate("29/02/2004 12:00"));
  EXPECT_DOUBLE_EQ(*day, EncodeDayNumber({2004, 2, 29}) + 0.5);
  ASSERT_TRUE(day = ParseShortDate("23/10/03"));  // two-digit year: the current century window
  EXPECT_EQ(*day, 37917.0);
  ASSERT_TRUE(day = ParseShortDate("23/10/2003 14:05:09"));
  EXPECT_DOUBLE_EQ(*day, EncodeDayNumber({2003, 10, 23, 14, 5, 9}));
}

TEST_F(FrenchDates, RefusesWhatIsNotADate) {
  for (const char* text : {"", "MMY", "31/02/2003", "29/02/2003", "23/13/2003", "0/10/2003",
                           "1/2/2003+", "23/10/2003-=", "23", "23/10/2003 25:00", "23-10-2003",
                           "23/10/2003 12", "1/2/2003/4"})
    EXPECT_EQ(ParseShortDate(text).error(), std::errc::invalid_argument) << text;
}

TEST(DateFormats, OrderAndSeparatorFromPatterns) {
  const DateFormat iso = DateFormatFromPattern("yyyy-MM-dd");
  EXPECT_EQ(iso.order, "YMD");
  EXPECT_EQ(iso.dateSeparator, '-');
  const DateFormat us = DateFormatFromPattern("%m/%d/%Y");
  EXPECT_EQ(us.order, "MDY");
  const DateFormat german = DateFormatFromPattern("%d.%m.%Y");
  EXPECT_EQ(german.order, "DMY");
  EXPECT_EQ(german.dateSeparator, '.');
  double day = 0;
  ASSERT_TRUE(ParseDateText("2003-10-23", iso, 2026, day));
  EXPECT_EQ(day, 37917.0);
  ASSERT_TRUE(ParseDateText("10/23/2003", us, 2026, day));
  EXPECT_EQ(day, 37917.0);
  ASSERT_TRUE(ParseDateText("23.10", german, 2026, day));  // no year: the current one
  EXPECT_EQ(day, EncodeDayNumber({2026, 10, 23}));
  ASSERT_TRUE(ParseDateText("1.1.80", german, 2026, day));
  EXPECT_EQ(day, EncodeDayNumber({1980, 1, 1}));
}

TEST(EnvironmentExpansion, DefinedNamesOnly) {
  test::ScopedEnv var("VX_ESSAI", "valeur");
  EXPECT_EQ(*ExpandEnvironment("a%VX_ESSAI%b;%VX_ESSAI%"), "avaleurb;valeur");
  EXPECT_EQ(*ExpandEnvironment("%VX_NON_DEFINIE_31%\\x"), "%VX_NON_DEFINIE_31%\\x");
  EXPECT_EQ(*ExpandEnvironment("100% sûr"), "100% sûr");
  EXPECT_EQ(*ExpandEnvironment("%VX_NON_DEFINIE_31%VX_ESSAI%"), "%VX_NON_DEFINIE_31%VX_ESSAI%");
}

TEST(EnvironmentExpansion, ResultMustFitTheBuffer) {
  EXPECT_EQ(ExpandEnvironment(std::string(1023, 'a'))->size(), 1023u);
  EXPECT_EQ(ExpandEnvironment(std::string(1024, 'a')).error(), std::errc::value_too_large);
  test::ScopedEnv var("VX_LONGUE", std::string(600, 'v'));
  EXPECT_FALSE(ExpandEnvironment("%VX_LONGUE%%VX_LONGUE%"));
}

TEST(LocalTime, NowIsACalendarTime) {
  const LocalDateTime now = LocalNow();
  EXPECT_GE(now.year, 2024);
  EXPECT_TRUE(now.month >= 1 && now.month <= 12 && now.day >= 1 && now.day <= 31);
  test::ScopedEnv locale("LC_ALL", "C");
  const ErrorOr<double> day = ParseShortDate(*FormatShortDate(now));  // the two formats agree
  ASSERT_TRUE(day);
  EXPECT_EQ(*day, EncodeDayNumber({now.year, now.month, now.day}));
}

}  // namespace
}  // namespace vx
