#include "automation/Date.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace vorlix {
namespace {

constexpr int64_t kMsPerDay = 86'400'000;

// Days from 1970-01-01 to a proleptic Gregorian date, for any year (the usual era-of-400-years
// reckoning, with years starting in March so the leap day comes last).
constexpr int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yearOfEra = y - era * 400;
  const int64_t dayOfYear = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

// The inverse of DaysFromCivil.
void CivilFromDays(int64_t z, DateTime* dt) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t dayOfEra = z - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t mp = (5 * dayOfYear + 2) / 153;
  dt->day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  dt->month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  dt->year = static_cast<int>(yearOfEra + era * 400 + (dt->month <= 2));
}

constexpr int64_t kOleEpoch = DaysFromCivil(1899, 12, 30);

bool IsLeapYear(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

bool IsValid(const DateTime& dt) {
  return dt.year >= 100 && dt.year <= 9999 && dt.month >= 1 && dt.month <= 12 && dt.day >= 1 &&
         dt.day <= DaysInMonth(dt.year, dt.month) && dt.hour >= 0 && dt.hour <= 23 &&
         dt.minute >= 0 && dt.minute <= 59 && dt.second >= 0 && dt.second <= 59 &&
         dt.millisecond >= 0 && dt.millisecond <= 999;
}

// Reads fixed-width fields and separators from the front of a text.
class FieldReader {
 public:
  explicit FieldReader(std::string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ == text_.size(); }

  // Consumes c when it comes next.
  bool Take(char c) {
    if (AtEnd() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }

  // Reads between minDigits and maxDigits decimal digits (as many as there are) into *value;
  // *count receives how many.
  bool Digits(int minDigits, int maxDigits, int* value, int* count) {
    *value = 0;
    *count = 0;
    while (*count < maxDigits && !AtEnd() && text_[pos_] >= '0' && text_[pos_] <= '9') {
      *value = *value * 10 + (text_[pos_++] - '0');
      ++*count;
    }
    return *count >= minDigits;
  }

  bool Number(int width, int* value) {
    int count = 0;
    return Digits(width, width, value, &count);
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

std::optional<DateTime> OleDateToDateTime(double date) {
  // Also refuses NaN and infinities, and keeps the day within int64.
  if (!(date > kMinOleDate - 1 && date < kMaxOleDate)) return std::nullopt;
  const double whole = std::trunc(date);
  int64_t day = static_cast<int64_t>(whole);
  // The fraction counts forward from the day whatever the sign of the date; the subtraction is
  // exact, so only the scaling to milliseconds rounds.
  int64_t ms = std::llround(std::fabs(date - whole) * kMsPerDay);
  if (ms == kMsPerDay) {
    ++day;
    ms = 0;
  }
  if (day >= static_cast<int64_t>(kMaxOleDate)) return std::nullopt;
  DateTime dt;
  CivilFromDays(day + kOleEpoch, &dt);
  dt.hour = static_cast<int>(ms / 3'600'000);
  dt.minute = static_cast<int>(ms / 60'000 % 60);
  dt.second = static_cast<int>(ms / 1000 % 60);
  dt.millisecond = static_cast<int>(ms % 1000);
  return dt;
}

std::optional<double> DateTimeToOleDate(const DateTime& dt) {
  if (!IsValid(dt)) return std::nullopt;
  const int64_t day = DaysFromCivil(dt.year, dt.month, dt.day) - kOleEpoch;
  const int64_t ms = ((int64_t{dt.hour} * 60 + dt.minute) * 60 + dt.second) * 1000 + dt.millisecond;
  const double time = static_cast<double>(ms) / kMsPerDay;
  return day >= 0 ? static_cast<double>(day) + time : static_cast<double>(day) - time;
}

std::string FormatDateTime(const DateTime& dt) {
  // Room for every int field at full width, so nothing is ever cut off.
  char buffer[96];
  int n = std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", dt.year, dt.month,
                        dt.day, dt.hour, dt.minute, dt.second);
  if (dt.millisecond != 0) {
    n += std::snprintf(buffer + n, sizeof buffer - n, ".%03d", dt.millisecond);
  }
  return std::string(buffer, n);
}

std::optional<DateTime> ParseDateTime(std::string_view text) {
  FieldReader r(text);
  DateTime dt;
  if (!r.Number(4, &dt.year) || !r.Take('-') || !r.Number(2, &dt.month) || !r.Take('-') ||
      !r.Number(2, &dt.day)) {
    return std::nullopt;
  }
  if (!r.AtEnd()) {
    if (!(r.Take(' ') || r.Take('T')) || !r.Number(2, &dt.hour) || !r.Take(':') ||
        !r.Number(2, &dt.minute)) {
      return std::nullopt;
    }
    if (r.Take(':')) {
      if (!r.Number(2, &dt.second)) return std::nullopt;
      if (r.Take('.')) {
        int digits = 0;
        if (!r.Digits(1, 3, &dt.millisecond, &digits)) return std::nullopt;
        for (; digits < 3; ++digits)
          dt.millisecond *= 10;
      }
    }
  }
  if (!r.AtEnd() || !IsValid(dt)) return std::nullopt;
  return dt;
}

}  // namespace vorlix
