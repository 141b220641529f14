#include "automation/Numeric.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <optional>
#include <system_error>

namespace vorlix {
namespace {

using u128 = unsigned __int128;

constexpr u128 kDecimalMax = (u128{1} << 96) - 1;
constexpr u128 kCurrencyMaxPositive = u128{INT64_MAX};
constexpr u128 kCurrencyMaxNegative = u128{INT64_MAX} + 1;
constexpr int kMaxDecimalScale = 28;
constexpr int kCurrencyPlaces = 4;

// Exponents beyond this only matter through overflow or underflow; capping them keeps the
// arithmetic on exponents within int64 whatever the text.
constexpr int64_t kExponentCap = 1'000'000'000;

u128 Pow10(int n) {
  u128 p = 1;
  for (int i = 0; i < n; ++i)
    p *= 10;
  return p;
}

u128 Magnitude(const Decimal& d) {
  return (u128{d.hi} << 64) | d.lo;
}

Decimal MakeDecimal(bool negative, u128 magnitude, int scale) {
  return Decimal{static_cast<uint8_t>(scale),
                 static_cast<uint8_t>(negative && magnitude ? 0x80 : 0),
                 static_cast<uint32_t>(magnitude >> 64), static_cast<uint64_t>(magnitude)};
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Number text taken apart: its value is negative ? -digits * 10^exponent : digits * 10^exponent.
struct ScannedNumber {
  bool negative = false;
  std::string digits;  // no leading zeros; empty for zero
  int64_t exponent = 0;
  std::string_view body;  // the text without spaces and without a leading '+', for from_chars
};

std::optional<ScannedNumber> ScanNumber(std::string_view text) {
  while (!text.empty() && IsSpace(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back()))
    text.remove_suffix(1);
  ScannedNumber n;
  size_t pos = 0;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    n.negative = text[pos] == '-';
    ++pos;
  }
  n.body = text.substr(text.empty() || text[0] != '+' ? 0 : 1);

  size_t mantissaDigits = 0;
  int64_t fractionDigits = 0;
  bool inFraction = false;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c == '.' && !inFraction) {
      inFraction = true;
    } else if (IsDigit(c)) {
      ++mantissaDigits;
      if (inFraction) ++fractionDigits;
      if (c != '0' || !n.digits.empty()) n.digits += c;
    } else {
      break;
    }
  }
  if (mantissaDigits == 0) return std::nullopt;

  int64_t exponent = 0;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    ++pos;
    bool negativeExponent = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
      negativeExponent = text[pos] == '-';
      ++pos;
    }
    if (pos == text.size() || !IsDigit(text[pos])) return std::nullopt;
    for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
      exponent = std::min(exponent * 10 + (text[pos] - '0'), kExponentCap);
    }
    if (negativeExponent) exponent = -exponent;
  }
  if (pos != text.size()) return std::nullopt;
  n.exponent = exponent - fractionDigits;
  return n;
}

// Sets *out to |n| * 10^places rounded half to even to an integer. False when that exceeds
// limit (limit must not exceed kDecimalMax, so that limit * 10 + 9 still fits).
bool RoundScaled(const ScannedNumber& n, int places, u128 limit, u128* out) {
  *out = 0;
  if (n.digits.empty()) return true;
  const int64_t shift = n.exponent + places;
  const int64_t size = static_cast<int64_t>(n.digits.size());
  const int64_t kept = shift >= 0 ? size : size + shift;  // digits left of the point
  u128 acc = 0;
  for (int64_t i = 0; i < kept; ++i) {
    acc = acc * 10 + static_cast<unsigned>(n.digits[i] - '0');
    if (acc > limit) return false;
  }
  // The leading digit is not 0, so acc is not 0 here and this loop ends by overflow early.
  for (int64_t i = 0; i < shift; ++i) {
    acc *= 10;
    if (acc > limit) return false;
  }
  if (shift < 0 && kept >= 0) {
    const char first = n.digits[kept];
    const bool restNonZero = n.digits.find_first_not_of('0', kept + 1) != std::string::npos;
    if (first > '5' || (first == '5' && (restNonZero || (acc & 1)))) ++acc;
    if (acc > limit) return false;
  }
  *out = acc;
  return true;
}

std::string U128ToText(u128 v) {
  std::string s;
  do {
    s += static_cast<char>('0' + static_cast<int>(v % 10));
    v /= 10;
  } while (v != 0);
  std::reverse(s.begin(), s.end());
  return s;
}

// digits with a point before the last `scale` of them; trailing zeros after the point dropped.
std::string PlaceDecimalPoint(std::string digits, int scale, bool negative) {
  if (scale > 0) {
    if (digits.size() <= static_cast<size_t>(scale))
      digits.insert(0, scale + 1 - digits.size(), '0');
    digits.insert(digits.size() - scale, 1, '.');
    digits.erase(digits.find_last_not_of('0') + 1);
    if (digits.back() == '.') digits.pop_back();
  }
  return negative && digits != "0" ? "-" + digits : digits;
}

template <typename Real>
std::string RealToText(Real value) {
  char buffer[64];
  const Real magnitude = std::fabs(value);
  const bool plain = magnitude == 0 || (magnitude >= Real(1e-7) && magnitude < Real(1e21));
  const auto result =
      !std::isfinite(value) ? std::to_chars(buffer, buffer + sizeof buffer, value)
      : plain ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed)
              : std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  return std::string(buffer, result.ptr);
}

template <typename Real>
HRESULT RealFromText(std::string_view text, Real* value) {
  const std::optional<ScannedNumber> n = ScanNumber(text);
  if (!n) return DISP_E_TYPEMISMATCH;
  Real v = 0;
  const auto [end, ec] = std::from_chars(n->body.data(), n->body.data() + n->body.size(), v);
  if (ec == std::errc::result_out_of_range) {
    // Out of range either way: below 1 in magnitude it is an underflow to zero.
    const int64_t order = static_cast<int64_t>(n->digits.size()) + n->exponent - 1;
    if (order >= 0) return DISP_E_OVERFLOW;
    v = n->negative ? -Real(0) : Real(0);
  } else if (ec != std::errc() || end != n->body.data() + n->body.size()) {
    return DISP_E_TYPEMISMATCH;
  }
  *value = v;
  return S_OK;
}

// Only for text this file produced, which always parses.
double ParseOwnText(const std::string& text) {
  double v = 0;
  std::from_chars(text.data(), text.data() + text.size(), v);
  return v;
}

}  // namespace

std::string CurrencyToText(int64_t cy) {
  const uint64_t magnitude = cy < 0 ? 0 - static_cast<uint64_t>(cy) : static_cast<uint64_t>(cy);
  return PlaceDecimalPoint(U128ToText(magnitude), kCurrencyPlaces, cy < 0);
}

HRESULT CurrencyFromText(std::string_view text, int64_t* cy) {
  const std::optional<ScannedNumber> n = ScanNumber(text);
  if (!n) return DISP_E_TYPEMISMATCH;
  u128 magnitude = 0;
  if (!RoundScaled(*n, kCurrencyPlaces, n->negative ? kCurrencyMaxNegative : kCurrencyMaxPositive,
                   &magnitude)) {
    return DISP_E_OVERFLOW;
  }
  const uint64_t m = static_cast<uint64_t>(magnitude);
  *cy = static_cast<int64_t>(n->negative ? 0 - m : m);
  return S_OK;
}

HRESULT CurrencyFromDouble(double value, int64_t* cy) {
  if (!std::isfinite(value)) return DISP_E_OVERFLOW;
  return CurrencyFromText(DoubleToText(value), cy);
}

double CurrencyToDouble(int64_t cy) {
  return ParseOwnText(CurrencyToText(cy));
}

HRESULT CurrencyFromDecimal(const Decimal& d, int64_t* cy) {
  const Decimal rounded = DecimalRound(d, kCurrencyPlaces);
  // At most 96 bits times 10^4: fits easily in 128.
  const u128 magnitude = Magnitude(rounded) * Pow10(kCurrencyPlaces - rounded.scale);
  const bool negative = rounded.sign != 0;
  if (magnitude > (negative ? kCurrencyMaxNegative : kCurrencyMaxPositive)) return DISP_E_OVERFLOW;
  const uint64_t m = static_cast<uint64_t>(magnitude);
  *cy = static_cast<int64_t>(negative ? 0 - m : m);
  return S_OK;
}

bool IsValidDecimal(const Decimal& d) {
  return d.scale <= kMaxDecimalScale && (d.sign == 0 || d.sign == 0x80);
}

std::string DecimalToText(const Decimal& d) {
  assert(IsValidDecimal(d));
  return PlaceDecimalPoint(U128ToText(Magnitude(d)), d.scale, d.sign != 0);
}

HRESULT DecimalFromText(std::string_view text, Decimal* d, int maxPlaces) {
  assert(maxPlaces >= 0 && maxPlaces <= kMaxDecimalScale);
  const std::optional<ScannedNumber> n = ScanNumber(text);
  if (!n) return DISP_E_TYPEMISMATCH;
  int scale = static_cast<int>(std::clamp<int64_t>(-n->exponent, 0, maxPlaces));
  u128 magnitude = 0;
  // Give up places until the magnitude fits 96 bits, rounding each time from the full text.
  while (!RoundScaled(*n, scale, kDecimalMax, &magnitude)) {
    if (scale == 0) return DISP_E_OVERFLOW;
    --scale;
  }
  *d = MakeDecimal(n->negative, magnitude, scale);
  return S_OK;
}

HRESULT DecimalFromDouble(double value, Decimal* d) {
  if (!std::isfinite(value)) return DISP_E_OVERFLOW;
  return DecimalFromText(DoubleToText(value), d);
}

double DecimalToDouble(const Decimal& d) {
  return ParseOwnText(DecimalToText(d));
}

Decimal DecimalRound(const Decimal& d, int places) {
  assert(IsValidDecimal(d) && places >= 0 && places <= kMaxDecimalScale);
  if (d.scale <= places) return d;
  const u128 divisor = Pow10(d.scale - places);
  const u128 magnitude = Magnitude(d);
  u128 q = magnitude / divisor;
  const u128 r = magnitude % divisor;
  const u128 half = divisor / 2;
  if (r > half || (r == half && (q & 1))) ++q;
  return MakeDecimal(d.sign != 0, q, places);
}

std::string DoubleToText(double value) {
  return RealToText(value);
}
std::string SingleToText(float value) {
  return RealToText(value);
}

HRESULT DoubleFromText(std::string_view text, double* value) {
  return RealFromText(text, value);
}
HRESULT SingleFromText(std::string_view text, float* value) {
  return RealFromText(text, value);
}

}  // namespace vorlix
