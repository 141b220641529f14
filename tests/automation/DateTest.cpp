#include <gtest/gtest.h>

#include <cmath>

#include "automation/Date.h"

namespace vorlix {
namespace {

constexpr double kMsPerDay = 86'400'000.0;

DateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return DateTime{y, mo, d, h, mi, s, ms};
}

// The date a number of milliseconds after the start of a (non-negative) day.
double DayPlusMs(double day, double ms) {
  return day + ms / kMsPerDay;
}

// Every day with a time is checked one by one below; these pin the rounding.
TEST(OleDate, FractionsRoundToTheMillisecondAndTheRangeAndFieldsAreBounded) {
  // -0.5 is the same moment as 0.5, which is the form produced.
  EXPECT_EQ(OleDateToDateTime(-0.5), At(1899, 12, 30, 12));

  // Rounding to the millisecond; a time that rounds up to midnight moves to the next day.
  EXPECT_EQ(OleDateToDateTime(DayPlusMs(2, 1234.6)), At(1900, 1, 1, 0, 0, 1, 235));
  const double almostMidnight = 86'399'999.6;
  EXPECT_EQ(OleDateToDateTime(DayPlusMs(2, 86'399'999.4)), At(1900, 1, 1, 23, 59, 59, 999));
  EXPECT_EQ(OleDateToDateTime(DayPlusMs(2, almostMidnight)), At(1900, 1, 2));
  // On a negative day the fraction still runs forward, so the carry goes to the later day.
  EXPECT_EQ(OleDateToDateTime(-1 - almostMidnight / kMsPerDay), At(1899, 12, 30));
  EXPECT_EQ(OleDateToDateTime(-almostMidnight / kMsPerDay), At(1899, 12, 31));

  // The first day's times lie below kMinOleDate.
  EXPECT_EQ(OleDateToDateTime(kMinOleDate - 1 + 1.0 / kMsPerDay), At(100, 1, 1, 23, 59, 59, 999));
  EXPECT_EQ(OleDateToDateTime(kMinOleDate - 1), std::nullopt);
  EXPECT_EQ(OleDateToDateTime(DayPlusMs(2958465, 86'399'999)), At(9999, 12, 31, 23, 59, 59, 999));
  // Rounds up to 10000-01-01.
  EXPECT_EQ(OleDateToDateTime(DayPlusMs(2958465, 86'399'999.6)), std::nullopt);
  EXPECT_EQ(OleDateToDateTime(kMaxOleDate), std::nullopt);
  EXPECT_EQ(OleDateToDateTime(std::nan("")), std::nullopt);

  for (const DateTime& dt :
       {At(99, 12, 31), At(10000, 1, 1), At(1900, 2, 29), At(2100, 2, 29), At(2001, 0, 1),
        At(2001, 13, 1), At(2001, 1, 0), At(2001, 4, 31), At(2001, 1, 32), At(2001, 1, 1, 24),
        At(2001, 1, 1, -1), At(2001, 1, 1, 0, 60), At(2001, 1, 1, 0, 0, 60),
        At(2001, 1, 1, 0, 0, 0, 1000), At(2001, 1, 1, 0, 0, 0, -1)})
    EXPECT_EQ(DateTimeToOleDate(dt), std::nullopt) << FormatDateTime(dt);
}

// The calendar day after dt, worked out the plain way.
DateTime NextDay(DateTime dt) {
  const bool leap = (dt.year % 4 == 0 && dt.year % 100 != 0) || dt.year % 400 == 0;
  const int lengths[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (++dt.day > lengths[dt.month - 1]) {
    dt.day = 1;
    if (++dt.month > 12) {
      dt.month = 1;
      ++dt.year;
    }
  }
  return dt;
}

// On a negative day the fraction counts forward from the day: -1.25 is 1899-12-29 06:00, not
// 18:00, and flooring would give the 28th.
TEST(OleDate, EveryDayOfTheRangeFollowsTheOneBefore) {
  EXPECT_EQ(DateTimeToOleDate(At(1899, 12, 29, 6)), -1.25);
  DateTime expected = At(100, 1, 1);
  for (int day = -657434; day <= 2958465; ++day) {
    // A time that differs from day to day exercises the fraction on both sides of 0.
    const int ms =
        static_cast<int>((static_cast<int64_t>(day) * 7919 % 86'400'000 + 86'400'000) % 86'400'000);
    DateTime withTime = expected;
    withTime.hour = ms / 3'600'000;
    withTime.minute = ms / 60'000 % 60;
    withTime.second = ms / 1000 % 60;
    withTime.millisecond = ms % 1000;
    const std::optional<double> ole = DateTimeToOleDate(withTime);
    ASSERT_TRUE(ole) << FormatDateTime(withTime);
    ASSERT_EQ(std::trunc(*ole), day) << FormatDateTime(withTime);
    ASSERT_EQ(OleDateToDateTime(*ole), withTime) << *ole;
    expected = NextDay(expected);
  }
  EXPECT_EQ(expected, At(10000, 1, 1));
}

TEST(DateText, FormatsParsesEachFormAndRefusesOtherText) {
  EXPECT_EQ(FormatDateTime(At(2000, 2, 29, 13, 4, 5)), "2000-02-29 13:04:05");
  EXPECT_EQ(FormatDateTime(At(100, 1, 1, 0, 0, 0, 7)), "0100-01-01 00:00:00.007");
  EXPECT_EQ(ParseDateTime("2000-02-29"), At(2000, 2, 29));
  EXPECT_EQ(ParseDateTime("2000-02-29 13:04"), At(2000, 2, 29, 13, 4));
  EXPECT_EQ(ParseDateTime("2000-02-29T13:04:05"), At(2000, 2, 29, 13, 4, 5));
  EXPECT_EQ(ParseDateTime("2000-02-29 13:04:05.5"), At(2000, 2, 29, 13, 4, 5, 500));
  for (const DateTime& dt : {At(100, 1, 1, 0, 0, 0, 7), At(9999, 12, 31, 23, 59, 59, 999)})
    EXPECT_EQ(ParseDateTime(FormatDateTime(dt)), dt);
  for (const char* text :
       {"", "2000-2-29", "20000-02-29", "2000/02/29", " 2000-02-29", "2000-02-29x", "+2000-02-29",
        "1900-02-29", "0099-12-31", "2000-02-29 13", "2000-02-29 1:04", "2000-02-29 13:04.5",
        "2000-02-29 13:04:05.", "2000-02-29 13:04:05.1234", "2000-02-29 24:00",
        "2000-02-29 23:59:60", "2000-02-29  13:04", "2000-02-29t13:04"})
    EXPECT_EQ(ParseDateTime(text), std::nullopt) << text;
}

}  // namespace
}  // namespace vorlix
