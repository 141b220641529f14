// Automation dates: a double counting days from 1899-12-30 00:00. The integer part is the day;
// the fraction is the time of day, counted forward from that day even when the day is
// negative (-1.25 is 1899-12-29 06:00). Calendar dates are proleptic Gregorian.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vorlix {

struct DateTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;

  friend bool operator==(const DateTime&, const DateTime&) = default;
};

// The range Automation allows: 0100-01-01 00:00:00 (kMinOleDate) to 9999-12-31 23:59:59.999
// (below kMaxOleDate). Times on the first day count forward from it, so their doubles lie between
// kMinOleDate - 1 and kMinOleDate: 0100-01-01 12:00 is -657434.5.
inline constexpr double kMinOleDate = -657434.0;
inline constexpr double kMaxOleDate = 2958466.0;  // exclusive

// The calendar date-time of an Automation date, rounded to the millisecond (a time that rounds
// up to midnight moves to the next day). nullopt for NaN, infinity or a date-time outside the
// range, so this is also the test whether a double is a valid date.
std::optional<DateTime> OleDateToDateTime(double date);

// The Automation date of a calendar date-time, or nullopt when a field is out of its range
// (month 1-12, day within the month, hour 0-23, ...) or the date lies outside the range.
std::optional<double> DateTimeToOleDate(const DateTime& dt);

// "YYYY-MM-DD HH:MM:SS", with ".fff" appended only when the milliseconds are not 0.
std::string FormatDateTime(const DateTime& dt);

// Parses "YYYY-MM-DD", optionally followed by " HH:MM", ":SS" and a fraction of up to three
// digits (also accepts 'T' between date and time). nullopt for any other text or invalid field.
std::optional<DateTime> ParseDateTime(std::string_view text);

}  // namespace vorlix
