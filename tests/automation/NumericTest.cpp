#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "automation/Numeric.h"

namespace vorlix {
namespace {

// Number text that no numeric parser here may accept.
const char* const kNotNumbers[] = {
    "",     " ",     "abc", "1,5",  "1.2.3", "--1",      "+-1", "1e", "1e+", "e5",   ".",     "-",
    "0x10", "0x1p3", "inf", "-inf", "nan",   "infinity", "1 2", "1d", "$1",  "1.5x", "1e5.5",
};

int64_t Cy(std::string_view text) {
  int64_t cy = 0;
  EXPECT_EQ(CurrencyFromText(text, &cy), S_OK) << text;
  return cy;
}

Decimal Dec(std::string_view text, int maxPlaces = 28) {
  Decimal d;
  EXPECT_EQ(DecimalFromText(text, &d, maxPlaces), S_OK) << text;
  return d;
}

bool SameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(Currency, ToText) {
  EXPECT_EQ(CurrencyToText(0), "0");
  EXPECT_EQ(CurrencyToText(10000), "1");
  EXPECT_EQ(CurrencyToText(1234500), "123.45");
  EXPECT_EQ(CurrencyToText(-123400), "-12.34");
  EXPECT_EQ(CurrencyToText(5), "0.0005");
  EXPECT_EQ(CurrencyToText(-5), "-0.0005");
  EXPECT_EQ(CurrencyToText(INT64_MAX), "922337203685477.5807");
  EXPECT_EQ(CurrencyToText(INT64_MIN), "-922337203685477.5808");
}

TEST(Currency, FromTextAcceptsTheNumberForms) {
  EXPECT_EQ(Cy("12.34"), 123400);
  EXPECT_EQ(Cy("-12.34"), -123400);
  EXPECT_EQ(Cy(" \t1.5 "), 15000);
  EXPECT_EQ(Cy("+3"), 30000);
  EXPECT_EQ(Cy(".5"), 5000);
  EXPECT_EQ(Cy("5."), 50000);
  EXPECT_EQ(Cy("1e2"), 1000000);
  EXPECT_EQ(Cy("1.5E-3"), 15);
  EXPECT_EQ(Cy("0e999999999999"), 0);
  EXPECT_EQ(Cy("1e-99999999999999"), 0);
  EXPECT_EQ(Cy("000000000000000000000000000001"), 10000);
}

TEST(Currency, FromTextRoundsHalfToEven) {
  EXPECT_EQ(Cy("0.00005"), 0);
  EXPECT_EQ(Cy("0.00015"), 2);
  EXPECT_EQ(Cy("0.00025"), 2);
  EXPECT_EQ(Cy("0.00035"), 4);
  EXPECT_EQ(Cy("-0.00015"), -2);
  EXPECT_EQ(Cy("-0.00025"), -2);
  EXPECT_EQ(Cy("0.000050000000000000000000000000001"), 1);  // above half, however slightly
  EXPECT_EQ(Cy("0.000049999"), 0);
  EXPECT_EQ(Cy("0.00009"), 1);
  EXPECT_EQ(Cy("-0.00004"), 0);
}

TEST(Currency, FromTextOverflowsPastEitherEnd) {
  int64_t cy = 7;
  EXPECT_EQ(Cy("922337203685477.5807"), INT64_MAX);
  EXPECT_EQ(Cy("922337203685477.58074"), INT64_MAX);
  EXPECT_EQ(Cy("-922337203685477.5808"), INT64_MIN);
  EXPECT_EQ(CurrencyFromText("922337203685477.5808", &cy), DISP_E_OVERFLOW);
  EXPECT_EQ(CurrencyFromText("922337203685477.58075", &cy), DISP_E_OVERFLOW);  // rounds up
  EXPECT_EQ(CurrencyFromText("-922337203685477.5809", &cy), DISP_E_OVERFLOW);
  EXPECT_EQ(CurrencyFromText("1e15", &cy), DISP_E_OVERFLOW);
  EXPECT_EQ(CurrencyFromText("1e999999999999", &cy), DISP_E_OVERFLOW);
  EXPECT_EQ(cy, 7) << "a failure leaves the output alone";
}

TEST(Currency, FromTextRefusesOtherText) {
  for (const char* text : kNotNumbers) {
    int64_t cy = 0;
    EXPECT_EQ(CurrencyFromText(text, &cy), DISP_E_TYPEMISMATCH) << text;
  }
}

TEST(Currency, TextRoundTrips) {
  for (int64_t cy : {int64_t{0}, int64_t{1}, int64_t{-1}, int64_t{10000}, int64_t{-123456789},
                     INT64_MAX, INT64_MIN, INT64_MAX / 3}) {
    EXPECT_EQ(Cy(CurrencyToText(cy)), cy) << cy;
  }
}

TEST(Currency, FromDoubleUsesTheDecimalTheDoubleSpells) {
  int64_t cy = 0;
  // 0.00015 * 10000 is 1.4999999999999998 in doubles; the amount meant is 0.00015.
  ASSERT_EQ(CurrencyFromDouble(0.00015, &cy), S_OK);
  EXPECT_EQ(cy, 2);
  ASSERT_EQ(CurrencyFromDouble(0.00005, &cy), S_OK);
  EXPECT_EQ(cy, 0);
  ASSERT_EQ(CurrencyFromDouble(-2.5, &cy), S_OK);
  EXPECT_EQ(cy, -25000);
  ASSERT_EQ(CurrencyFromDouble(922337203685477.5, &cy), S_OK);
  EXPECT_EQ(cy, 9223372036854775000);
  EXPECT_EQ(CurrencyFromDouble(922337203685477.625, &cy), DISP_E_OVERFLOW);
  EXPECT_EQ(CurrencyFromDouble(-922337203685477.625, &cy), DISP_E_OVERFLOW);
  EXPECT_EQ(CurrencyFromDouble(std::nan(""), &cy), DISP_E_OVERFLOW);
  EXPECT_EQ(CurrencyFromDouble(std::numeric_limits<double>::infinity(), &cy), DISP_E_OVERFLOW);
  EXPECT_EQ(CurrencyFromDouble(1e300, &cy), DISP_E_OVERFLOW);
}

TEST(Currency, ToDoubleIsTheNearest) {
  EXPECT_EQ(CurrencyToDouble(123400), 12.34);
  EXPECT_EQ(CurrencyToDouble(-1), -0.0001);
  EXPECT_EQ(CurrencyToDouble(INT64_MAX), 922337203685477.5807);
  EXPECT_EQ(CurrencyToDouble(INT64_MIN), -922337203685477.5808);
}

TEST(Currency, FromDecimalRoundsHalfToEvenAndChecksRange) {
  const struct {
    Decimal d;
    int64_t cy;
  } cases[] = {
      {{5, 0, 0, 15}, 2},    {{5, 0, 0, 25}, 2},
      {{5, 0, 0, 35}, 4},    {{5, 0x80, 0, 15}, -2},
      {{0, 0, 0, 7}, 70000}, {{4, 0x80, 0, 9223372036854775808u}, INT64_MIN},
      {{28, 0, 0, 1}, 0},
  };
  for (const auto& c : cases) {
    int64_t cy = 0;
    EXPECT_EQ(CurrencyFromDecimal(c.d, &cy), S_OK) << DecimalToText(c.d);
    EXPECT_EQ(cy, c.cy) << DecimalToText(c.d);
  }
  int64_t cy = 0;
  EXPECT_EQ(CurrencyFromDecimal({4, 0, 0, 9223372036854775808u}, &cy), DISP_E_OVERFLOW);
  EXPECT_EQ(CurrencyFromDecimal({0, 0x80, 1, 0}, &cy), DISP_E_OVERFLOW);
}

TEST(Decimal, Validity) {
  EXPECT_TRUE(IsValidDecimal({28, 0x80, 0, 1}));
  EXPECT_FALSE(IsValidDecimal({29, 0, 0, 1}));
  EXPECT_FALSE(IsValidDecimal({0, 1, 0, 1}));
}

TEST(Decimal, ToText) {
  EXPECT_EQ(DecimalToText({}), "0");
  EXPECT_EQ(DecimalToText({3, 0x80, 0, 0}), "0");
  EXPECT_EQ(DecimalToText({2, 0x80, 0, 150}), "-1.5");
  EXPECT_EQ(DecimalToText({2, 0, 0, 100}), "1");
  EXPECT_EQ(DecimalToText({28, 0, 0, 1}), "0.0000000000000000000000000001");
  EXPECT_EQ(DecimalToText({0, 0, 0xFFFFFFFF, UINT64_MAX}), "79228162514264337593543950335");
  EXPECT_EQ(DecimalToText({28, 0x80, 0xFFFFFFFF, UINT64_MAX}), "-7.9228162514264337593543950335");
  EXPECT_EQ(DecimalToText({0, 0, 123, 456789}), "2268949521066275305557");
}

TEST(Decimal, FromTextKeepsTheScaleOfTheText) {
  EXPECT_EQ(Dec("-1.5"), (Decimal{1, 0x80, 0, 15}));
  EXPECT_EQ(Dec("1.50"), (Decimal{2, 0, 0, 150}));
  EXPECT_EQ(Dec("-0.0"), (Decimal{1, 0, 0, 0}));
  EXPECT_EQ(Dec("1e-3"), (Decimal{3, 0, 0, 1}));
  EXPECT_EQ(Dec("1e28"), (Decimal{0, 0, 542101086, 4477988020393345024u}));
  EXPECT_EQ(Dec("79228162514264337593543950335"), (Decimal{0, 0, 0xFFFFFFFF, UINT64_MAX}));
}

TEST(Decimal, FromTextRoundsHalfToEvenBeyondWhatFits) {
  EXPECT_EQ(DecimalToText(Dec("0.00000000000000000000000000005")), "0");
  EXPECT_EQ(DecimalToText(Dec("0.00000000000000000000000000015")),
            "0.0000000000000000000000000002");
  EXPECT_EQ(Dec("1e-30"), (Decimal{28, 0, 0, 0}));
  // 2^96 at 28 places does not fit; one place fewer does, rounded.
  EXPECT_EQ(DecimalToText(Dec("7.9228162514264337593543950336")), "7.922816251426433759354395034");
  EXPECT_EQ(Dec("2.5", 0), (Decimal{0, 0, 0, 2}));
  EXPECT_EQ(Dec("3.5", 0), (Decimal{0, 0, 0, 4}));
  EXPECT_EQ(Dec("-2.5", 0), (Decimal{0, 0x80, 0, 2}));
  // Rounding to 28 places first would make this an exact half and give 2.
  EXPECT_EQ(Dec("2.500000000000000000000000000001", 0), (Decimal{0, 0, 0, 3}));
}

TEST(Decimal, FromTextFailures) {
  Decimal d{1, 0, 0, 1};
  EXPECT_EQ(DecimalFromText("79228162514264337593543950336", &d), DISP_E_OVERFLOW);
  EXPECT_EQ(DecimalFromText("-1e29", &d), DISP_E_OVERFLOW);
  EXPECT_EQ(DecimalFromText("79228162514264337593543950335.5", &d), DISP_E_OVERFLOW);
  for (const char* text : kNotNumbers) {
    EXPECT_EQ(DecimalFromText(text, &d), DISP_E_TYPEMISMATCH) << text;
  }
  EXPECT_EQ(d, (Decimal{1, 0, 0, 1}));
}

TEST(Decimal, TextRoundTrips) {
  const Decimal values[] = {
      {0, 0, 0, 1},
      {28, 0x80, 0xFFFFFFFF, UINT64_MAX},
      {10, 0, 123, 456789},
      {5, 0x80, 0xFFFFFFFF, 12345678901234567891u},
  };
  for (const Decimal& d : values)
    EXPECT_EQ(Dec(DecimalToText(d)), d) << DecimalToText(d);
}

TEST(Decimal, FromDouble) {
  Decimal d;
  ASSERT_EQ(DecimalFromDouble(0.1, &d), S_OK);
  EXPECT_EQ(d, (Decimal{1, 0, 0, 1}));
  ASSERT_EQ(DecimalFromDouble(-2.5, &d), S_OK);
  EXPECT_EQ(d, (Decimal{1, 0x80, 0, 25}));
  ASSERT_EQ(DecimalFromDouble(1.5e-8, &d), S_OK);
  EXPECT_EQ(d, (Decimal{9, 0, 0, 15}));
  ASSERT_EQ(DecimalFromDouble(1e-30, &d), S_OK);
  EXPECT_EQ(DecimalToText(d), "0");
  ASSERT_EQ(DecimalFromDouble(1e28, &d), S_OK);
  EXPECT_EQ(DecimalToText(d), "10000000000000000000000000000");
  EXPECT_EQ(DecimalFromDouble(1e29, &d), DISP_E_OVERFLOW);
  EXPECT_EQ(DecimalFromDouble(std::nan(""), &d), DISP_E_OVERFLOW);
  EXPECT_EQ(DecimalFromDouble(-std::numeric_limits<double>::infinity(), &d), DISP_E_OVERFLOW);
}

TEST(Decimal, ToDoubleIsTheNearest) {
  EXPECT_EQ(DecimalToDouble({1, 0, 0, 1}), 0.1);
  EXPECT_EQ(DecimalToDouble({28, 0, 0, 1}), 1e-28);
  EXPECT_EQ(DecimalToDouble({0, 0x80, 0xFFFFFFFF, UINT64_MAX}), -79228162514264337593543950335.0);
  EXPECT_EQ(DecimalToDouble({28, 0, 0xFFFFFFFF, UINT64_MAX}), 7.9228162514264337593543950335);
}

TEST(Decimal, RoundHalfToEven) {
  EXPECT_EQ(DecimalRound({3, 0, 0, 2500}, 0), (Decimal{0, 0, 0, 2}));
  EXPECT_EQ(DecimalRound({3, 0, 0, 3500}, 0), (Decimal{0, 0, 0, 4}));
  EXPECT_EQ(DecimalRound({3, 0x80, 0, 2501}, 0), (Decimal{0, 0x80, 0, 3}));
  EXPECT_EQ(DecimalRound({3, 0, 0, 1249}, 1), (Decimal{1, 0, 0, 12}));
  EXPECT_EQ(DecimalRound({1, 0x80, 0, 4}, 0), (Decimal{0, 0, 0, 0})) << "no negative zero";
  EXPECT_EQ(DecimalRound({1, 0, 0, 15}, 4), (Decimal{1, 0, 0, 15})) << "fewer places stay";
  EXPECT_EQ(DecimalRound({28, 0, 0xFFFFFFFF, UINT64_MAX}, 0), (Decimal{0, 0, 0, 8}));
}

TEST(DoubleText, PlainInTheMiddleExponentOutside) {
  EXPECT_EQ(DoubleToText(0.1), "0.1");
  EXPECT_EQ(DoubleToText(-2.5), "-2.5");
  EXPECT_EQ(DoubleToText(100000), "100000");
  EXPECT_EQ(DoubleToText(1e20), "100000000000000000000");
  EXPECT_EQ(DoubleToText(1e21), "1e+21");
  EXPECT_EQ(DoubleToText(1e-7), "0.0000001");
  EXPECT_EQ(DoubleToText(1.5e-8), "1.5e-08");
  EXPECT_EQ(DoubleToText(0.0), "0");
  EXPECT_EQ(DoubleToText(-0.0), "-0");
  EXPECT_EQ(DoubleToText(1e300), "1e+300");
  EXPECT_EQ(DoubleToText(std::numeric_limits<double>::infinity()), "inf");
  EXPECT_EQ(SingleToText(0.1f), "0.1");
  EXPECT_EQ(SingleToText(FLT_MAX), "3.4028235e+38");
}

TEST(DoubleText, EveryFiniteDoubleAndFloatRoundTrips) {
  std::mt19937_64 random(20240229);
  int tried = 0;
  while (tried < 20000) {
    const uint64_t bits = random();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    float f;
    const uint32_t fbits = static_cast<uint32_t>(bits);
    std::memcpy(&f, &fbits, sizeof f);
    if (!std::isfinite(d) || !std::isfinite(f)) continue;
    ++tried;
    double back = 0;
    ASSERT_EQ(DoubleFromText(DoubleToText(d), &back), S_OK) << DoubleToText(d);
    ASSERT_TRUE(SameBits(back, d)) << DoubleToText(d);
    float fback = 0;
    ASSERT_EQ(SingleFromText(SingleToText(f), &fback), S_OK) << SingleToText(f);
    ASSERT_EQ(std::memcmp(&fback, &f, sizeof f), 0) << SingleToText(f);
  }
  for (double d : {DBL_MAX, -DBL_MAX, DBL_MIN, DBL_TRUE_MIN, -0.0, 1e21, 1e-7}) {
    double back = 0;
    ASSERT_EQ(DoubleFromText(DoubleToText(d), &back), S_OK) << DoubleToText(d);
    EXPECT_TRUE(SameBits(back, d)) << DoubleToText(d);
  }
}

TEST(DoubleText, FromText) {
  double d = 0;
  ASSERT_EQ(DoubleFromText(" 1.5\t", &d), S_OK);
  EXPECT_EQ(d, 1.5);
  ASSERT_EQ(DoubleFromText("+2", &d), S_OK);
  EXPECT_EQ(d, 2);
  ASSERT_EQ(DoubleFromText("-.5", &d), S_OK);
  EXPECT_EQ(d, -0.5);
  ASSERT_EQ(DoubleFromText("1E3", &d), S_OK);
  EXPECT_EQ(d, 1000);
  // Underflow is zero of the sign, not an overflow.
  ASSERT_EQ(DoubleFromText("1e-400", &d), S_OK);
  EXPECT_TRUE(SameBits(d, 0.0));
  ASSERT_EQ(DoubleFromText("-1e-400", &d), S_OK);
  EXPECT_TRUE(SameBits(d, -0.0));
  d = 7;
  EXPECT_EQ(DoubleFromText("1e400", &d), DISP_E_OVERFLOW);
  EXPECT_EQ(DoubleFromText("-1e400", &d), DISP_E_OVERFLOW);
  for (const char* text : kNotNumbers)
    EXPECT_EQ(DoubleFromText(text, &d), DISP_E_TYPEMISMATCH) << text;
  EXPECT_EQ(d, 7);

  float f = 0;
  ASSERT_EQ(SingleFromText("3.4028235e38", &f), S_OK);
  EXPECT_EQ(f, FLT_MAX);
  EXPECT_EQ(SingleFromText("3.5e38", &f), DISP_E_OVERFLOW);
  ASSERT_EQ(SingleFromText("-1e-50", &f), S_OK);
  EXPECT_TRUE(f == 0 && std::signbit(f));
  EXPECT_EQ(SingleFromText("nan", &f), DISP_E_TYPEMISMATCH);
}

}  // namespace
}  // namespace vorlix
