#include <gtest/gtest.h>

#include <cmath>
#include <limits>

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

TEST(OleDate, KnownDatesConvertBothWays) {
  const struct {
    double ole;
    DateTime dt;
  } cases[] = {
      {0, At(1899, 12, 30)},         {2, At(1900, 1, 1)},      {60, At(1900, 2, 28)},
      {61, At(1900, 3, 1)},  // no 29 February in 1900
      {36526, At(2000, 1, 1)},       {36585, At(2000, 2, 29)}, {45351, At(2024, 2, 29)},
      {2.75, At(1900, 1, 1, 18)},    {-1, At(1899, 12, 29)},   {-1.25, At(1899, 12, 29, 6)},
      {-1.75, At(1899, 12, 29, 18)}, {-657434, At(100, 1, 1)}, {-657434.5, At(100, 1, 1, 12)},
      {2958465, At(9999, 12, 31)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OleDateToDateTime(c.ole), c.dt) << c.ole;
    EXPECT_EQ(DateTimeToOleDate(c.dt), c.ole) << FormatDateTime(c.dt);
  }
}

TEST(OleDate, NegativeDateTimeCountsForwardFromTruncatedDay) {
  // -0.5 is the same moment as 0.5; the positive form is the one produced.
  EXPECT_EQ(OleDateToDateTime(-0.5), At(1899, 12, 30, 12));
  EXPECT_EQ(OleDateToDateTime(0.5), At(1899, 12, 30, 12));
  EXPECT_EQ(DateTimeToOleDate(At(1899, 12, 30, 12)), 0.5);
  // Flooring instead of truncating would give 1899-12-28.
  EXPECT_EQ(OleDateToDateTime(-2.25), At(1899, 12, 28, 6));
  EXPECT_EQ(DateTimeToOleDate(At(1899, 12, 28, 6)), -2.25);
}

TEST(OleDate, RoundsToTheMillisecond) {
  EXPECT_EQ(OleDateToDateTime(DayPlusMs(2, 1234.4)), At(1900, 1, 1, 0, 0, 1, 234));
  EXPECT_EQ(OleDateToDateTime(DayPlusMs(2, 1234.6)), At(1900, 1, 1, 0, 0, 1, 235));
  EXPECT_EQ(OleDateToDateTime(-1 - 1234.6 / kMsPerDay), At(1899, 12, 29, 0, 0, 1, 235));
}

TEST(OleDate, TimeRoundingUpToMidnightCarriesIntoNextDay) {
  const double almostMidnight = 86'399'999.6;
  const struct {
    double day;
    DateTime next;
  } cases[] = {
      {2, At(1900, 1, 2)},      {32, At(1900, 2, 1)},  // month end
      {36525, At(2000, 1, 1)},                         // year end
      {36584, At(2000, 2, 29)},                        // into a leap day
      {60, At(1900, 3, 1)},                            // past a century's missing leap day
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OleDateToDateTime(DayPlusMs(c.day, almostMidnight)), c.next) << c.day;
  }
  // On a negative day the fraction still runs forward, so the carry goes to the later day.
  EXPECT_EQ(OleDateToDateTime(-1 - almostMidnight / kMsPerDay), At(1899, 12, 30));
  EXPECT_EQ(OleDateToDateTime(-almostMidnight / kMsPerDay), At(1899, 12, 31));
  // A milliseconds value just under the carry stays on its day.
  EXPECT_EQ(OleDateToDateTime(DayPlusMs(2, 86'399'999.4)), At(1900, 1, 1, 23, 59, 59, 999));
}

TEST(OleDate, RangeEnds) {
  EXPECT_EQ(OleDateToDateTime(kMinOleDate), At(100, 1, 1));
  // The first day's times lie below kMinOleDate.
  EXPECT_EQ(OleDateToDateTime(kMinOleDate - 1 + 1.0 / kMsPerDay), At(100, 1, 1, 23, 59, 59, 999));
  EXPECT_EQ(OleDateToDateTime(-657434.999), At(100, 1, 1, 23, 58, 33, 600));
  EXPECT_EQ(OleDateToDateTime(kMinOleDate - 1), std::nullopt);
  EXPECT_EQ(OleDateToDateTime(DayPlusMs(2958465, 86'399'999)), At(9999, 12, 31, 23, 59, 59, 999));
  // Rounds up to 10000-01-01.
  EXPECT_EQ(OleDateToDateTime(DayPlusMs(2958465, 86'399'999.6)), std::nullopt);
  EXPECT_EQ(OleDateToDateTime(kMaxOleDate), std::nullopt);
  EXPECT_EQ(OleDateToDateTime(std::nan("")), std::nullopt);
  EXPECT_EQ(OleDateToDateTime(std::numeric_limits<double>::infinity()), std::nullopt);
  EXPECT_EQ(OleDateToDateTime(-std::numeric_limits<double>::infinity()), std::nullopt);
  EXPECT_EQ(OleDateToDateTime(1e300), std::nullopt);

  EXPECT_EQ(DateTimeToOleDate(At(9999, 12, 31, 23, 59, 59, 999)), DayPlusMs(2958465, 86'399'999));
  EXPECT_EQ(DateTimeToOleDate(At(99, 12, 31)), std::nullopt);
  EXPECT_EQ(DateTimeToOleDate(At(10000, 1, 1)), std::nullopt);
}

TEST(OleDate, RefusesFieldsOutOfRange) {
  EXPECT_EQ(DateTimeToOleDate(At(1900, 2, 29)), std::nullopt);
  EXPECT_EQ(DateTimeToOleDate(At(2100, 2, 29)), std::nullopt);
  EXPECT_NE(DateTimeToOleDate(At(2000, 2, 29)), std::nullopt);
  EXPECT_NE(DateTimeToOleDate(At(2004, 2, 29)), std::nullopt);
  const DateTime bad[] = {
      At(2001, 0, 1),
      At(2001, 13, 1),
      At(2001, 1, 0),
      At(2001, 4, 31),
      At(2001, 1, 32),
      At(2001, 1, 1, 24),
      At(2001, 1, 1, -1),
      At(2001, 1, 1, 0, 60),
      At(2001, 1, 1, 0, 0, 60),
      At(2001, 1, 1, 0, 0, 0, 1000),
      At(2001, 1, 1, 0, 0, 0, -1),
  };
  for (const DateTime& dt : bad)
    EXPECT_EQ(DateTimeToOleDate(dt), std::nullopt) << FormatDateTime(dt);
}

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// The calendar day after dt, worked out the plain way.
DateTime NextDay(DateTime dt) {
  const int lengths[] = {31, IsLeap(dt.year) ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (++dt.day > lengths[dt.month - 1]) {
    dt.day = 1;
    if (++dt.month > 12) {
      dt.month = 1;
      ++dt.year;
    }
  }
  return dt;
}

TEST(OleDate, EveryDayOfTheRangeFollowsTheOneBefore) {
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

TEST(DateText, FormatsFixedWidthWithMillisecondsOnlyWhenPresent) {
  EXPECT_EQ(FormatDateTime(At(2000, 2, 29, 13, 4, 5)), "2000-02-29 13:04:05");
  EXPECT_EQ(FormatDateTime(At(2000, 2, 29, 13, 4, 5, 7)), "2000-02-29 13:04:05.007");
  EXPECT_EQ(FormatDateTime(At(100, 1, 1)), "0100-01-01 00:00:00");
}

TEST(DateText, ParsesEachAcceptedForm) {
  EXPECT_EQ(ParseDateTime("2000-02-29"), At(2000, 2, 29));
  EXPECT_EQ(ParseDateTime("2000-02-29 13:04"), At(2000, 2, 29, 13, 4));
  EXPECT_EQ(ParseDateTime("2000-02-29T13:04:05"), At(2000, 2, 29, 13, 4, 5));
  EXPECT_EQ(ParseDateTime("2000-02-29 13:04:05.5"), At(2000, 2, 29, 13, 4, 5, 500));
  EXPECT_EQ(ParseDateTime("2000-02-29 13:04:05.07"), At(2000, 2, 29, 13, 4, 5, 70));
  EXPECT_EQ(ParseDateTime("2000-02-29 13:04:05.007"), At(2000, 2, 29, 13, 4, 5, 7));
  EXPECT_EQ(ParseDateTime("0100-01-01"), At(100, 1, 1));
  EXPECT_EQ(ParseDateTime("9999-12-31 23:59:59.999"), At(9999, 12, 31, 23, 59, 59, 999));
}

TEST(DateText, RefusesOtherText) {
  const char* bad[] = {
      "",
      "2000-2-29",
      "2000-02-9",
      "200-02-29",
      "20000-02-29",
      "2000/02/29",
      " 2000-02-29",
      "2000-02-29 ",
      "2000-02-29x",
      "+2000-02-29",
      "1900-02-29",
      "0099-12-31",
      "2000-02-29 13",
      "2000-02-29 1:04",
      "2000-02-29 13:04:5",
      "2000-02-29 13:04.5",
      "2000-02-29 13:04:05.",
      "2000-02-29 13:04:05.1234",
      "2000-02-29 24:00",
      "2000-02-29 23:60",
      "2000-02-29 23:59:60",
      "2000-02-29  13:04",
      "2000-02-29t13:04",
  };
  for (const char* text : bad)
    EXPECT_EQ(ParseDateTime(text), std::nullopt) << text;
}

TEST(DateText, FormatAndParseRoundTrip) {
  const DateTime samples[] = {At(100, 1, 1), At(1899, 12, 29, 6), At(2000, 2, 29, 23, 59, 59, 999),
                              At(9999, 12, 31, 23, 59, 59, 999), At(1970, 1, 1, 0, 0, 0, 10)};
  for (const DateTime& dt : samples)
    EXPECT_EQ(ParseDateTime(FormatDateTime(dt)), dt);
}

}  // namespace
}  // namespace vorlix
