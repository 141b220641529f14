#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>

#include "automation/Numeric.h"

namespace vorlix {
namespace {

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

TEST(Numeric, EveryParserRefusesWhatIsNotANumberAndLeavesItsOutputAlone) {
  for (const char* text : {"", " ", "1,5", "1.2.3", "+-1", "1e+", "e5", ".", "-", "0x10", "inf",
                           "nan", "1 2", "$1", "1.5x", "1e5.5"}) {
    int64_t cy = 7;
    Decimal d{1, 0, 0, 1};
    double x = 7;  // the single reader is the same template as the double one
    EXPECT_EQ(CurrencyFromText(text, &cy), DISP_E_TYPEMISMATCH) << text;
    EXPECT_EQ(DecimalFromText(text, &d), DISP_E_TYPEMISMATCH) << text;
    EXPECT_EQ(DoubleFromText(text, &x), DISP_E_TYPEMISMATCH) << text;
    EXPECT_TRUE(cy == 7 && d == (Decimal{1, 0, 0, 1}) && x == 7) << text;
  }
}

TEST(Currency, TextBothWaysAndEveryNumberFormRoundedHalfToEven) {
  auto both = [](int64_t cy, const char* text) {
    EXPECT_EQ(CurrencyToText(cy), text);
    EXPECT_EQ(Cy(text), cy) << text;
  };
  both(0, "0");
  both(1234500, "123.45");
  both(5, "0.0005");
  both(-5, "-0.0005");
  both(INT64_MAX, "922337203685477.5807");
  both(INT64_MIN, "-922337203685477.5808");

  EXPECT_EQ(Cy(" \t+1.5 "), 15000);
  EXPECT_EQ(Cy(".5"), 5000);
  EXPECT_EQ(Cy("1.5E-3"), 15);
  EXPECT_EQ(Cy("0e999999999999"), 0);
  EXPECT_EQ(Cy("1e-99999999999999"), 0);
  EXPECT_EQ(Cy("000000000000000000000000000001"), 10000);
  EXPECT_EQ(Cy("0.00015"), 2);
  EXPECT_EQ(Cy("-0.00025"), -2);
  EXPECT_EQ(Cy("0.000050000000000000000000000000001"), 1);  // above half, however slightly
  EXPECT_EQ(Cy("922337203685477.58074"), INT64_MAX);
  int64_t cy = 7;
  for (const char* text : {"922337203685477.5808", "922337203685477.58075", "-922337203685477.5809",
                           "1e15", "1e999999999999"}) {
    EXPECT_EQ(CurrencyFromText(text, &cy), DISP_E_OVERFLOW) << text;
  }
  EXPECT_EQ(cy, 7) << "a failure leaves the output alone";
}

TEST(Decimal, TextBothWays) {
  EXPECT_EQ(DecimalToText({3, 0x80, 0, 0}), "0");
  EXPECT_EQ(DecimalToText({2, 0x80, 0, 150}), "-1.5");
  EXPECT_EQ(DecimalToText({2, 0, 0, 100}), "1");
  EXPECT_EQ(DecimalToText({28, 0, 0, 1}), "0.0000000000000000000000000001");
  EXPECT_EQ(DecimalToText({28, 0x80, 0xFFFFFFFF, UINT64_MAX}), "-7.9228162514264337593543950335");

  // From text the scale of the text stays, rounded half to even beyond what fits.
  EXPECT_EQ(Dec("1.50"), (Decimal{2, 0, 0, 150}));
  EXPECT_EQ(Dec("-0.0"), (Decimal{1, 0, 0, 0}));
  EXPECT_EQ(Dec("1e28"), (Decimal{0, 0, 542101086, 4477988020393345024u}));
  EXPECT_EQ(Dec("79228162514264337593543950335"), (Decimal{0, 0, 0xFFFFFFFF, UINT64_MAX}));
  EXPECT_EQ(DecimalToText(Dec("0.00000000000000000000000000015")),
            "0.0000000000000000000000000002");
  EXPECT_EQ(Dec("1e-30"), (Decimal{28, 0, 0, 0}));
  // 2^96 at 28 places does not fit; one place fewer does, rounded.
  EXPECT_EQ(DecimalToText(Dec("7.9228162514264337593543950336")), "7.922816251426433759354395034");
  EXPECT_EQ(Dec("2.5", 0), (Decimal{0, 0, 0, 2}));
  EXPECT_EQ(Dec("-3.5", 0), (Decimal{0, 0x80, 0, 4}));
  // Rounding to 28 places first would make this an exact half and give 2.
  EXPECT_EQ(Dec("2.500000000000000000000000000001", 0), (Decimal{0, 0, 0, 3}));

  Decimal d{1, 0, 0, 1};
  EXPECT_EQ(DecimalFromText("79228162514264337593543950336", &d), DISP_E_OVERFLOW);
  EXPECT_EQ(DecimalFromText("79228162514264337593543950335.5", &d), DISP_E_OVERFLOW);
  EXPECT_EQ(d, (Decimal{1, 0, 0, 1}));
}

TEST(Numeric, CurrencyAndDecimalFromDoublesBetweenEachOtherAndBack) {
  // 0.00015 as a double, which is 1.4999999999999998 when multiplied by 10000, is in the coercion
  // tests.
  int64_t cy = 0;
  ASSERT_EQ(CurrencyFromDouble(922337203685477.5, &cy), S_OK);
  EXPECT_EQ(cy, 9223372036854775000);
  EXPECT_EQ(CurrencyFromDouble(922337203685477.625, &cy), DISP_E_OVERFLOW);
  EXPECT_EQ(CurrencyFromDouble(std::nan(""), &cy), DISP_E_OVERFLOW);

  auto fromDecimal = [&](const Decimal& d) {
    EXPECT_EQ(CurrencyFromDecimal(d, &cy), S_OK) << DecimalToText(d);
    return cy;
  };
  EXPECT_EQ(fromDecimal({5, 0, 0, 15}), 2);
  EXPECT_EQ(fromDecimal({5, 0x80, 0, 15}), -2);
  EXPECT_EQ(fromDecimal({0, 0, 0, 7}), 70000);
  EXPECT_EQ(fromDecimal({28, 0, 0, 1}), 0);
  EXPECT_EQ(fromDecimal({4, 0x80, 0, 9223372036854775808u}), INT64_MIN);
  EXPECT_EQ(CurrencyFromDecimal({4, 0, 0, 9223372036854775808u}, &cy), DISP_E_OVERFLOW);
  EXPECT_EQ(CurrencyFromDecimal({0, 0x80, 1, 0}, &cy), DISP_E_OVERFLOW);

  Decimal d;
  ASSERT_EQ(DecimalFromDouble(1.5e-8, &d), S_OK);
  EXPECT_EQ(d, (Decimal{9, 0, 0, 15}));
  EXPECT_EQ(DecimalFromDouble(std::nan(""), &d), DISP_E_OVERFLOW);

  EXPECT_EQ(DecimalRound({3, 0, 0, 2500}, 0), (Decimal{0, 0, 0, 2}));
  EXPECT_EQ(DecimalRound({3, 0, 0, 3500}, 0), (Decimal{0, 0, 0, 4}));
  EXPECT_EQ(DecimalRound({3, 0x80, 0, 2501}, 0), (Decimal{0, 0x80, 0, 3}));
  EXPECT_EQ(DecimalRound({1, 0x80, 0, 4}, 0), (Decimal{0, 0, 0, 0})) << "no negative zero";
  EXPECT_EQ(DecimalRound({1, 0, 0, 15}, 4), (Decimal{1, 0, 0, 15})) << "fewer places stay";
  EXPECT_EQ(DecimalRound({28, 0, 0xFFFFFFFF, UINT64_MAX}, 0), (Decimal{0, 0, 0, 8}));

  // Back to double: the nearest.
  EXPECT_EQ(CurrencyToDouble(INT64_MIN), -922337203685477.5808);
  EXPECT_EQ(DecimalToDouble({1, 0, 0, 1}), 0.1);
  EXPECT_EQ(DecimalToDouble({28, 0, 0xFFFFFFFF, UINT64_MAX}), 7.9228162514264337593543950335);
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

TEST(DoubleText, PlainInTheMiddleExponentOutsideUnderflowToSignedZero) {
  EXPECT_EQ(DoubleToText(1e20), "100000000000000000000");
  EXPECT_EQ(DoubleToText(1e21), "1e+21");
  EXPECT_EQ(DoubleToText(1e-7), "0.0000001");
  EXPECT_EQ(DoubleToText(1.5e-8), "1.5e-08");
  EXPECT_EQ(DoubleToText(-0.0), "-0");
  double d = 0;
  ASSERT_EQ(DoubleFromText(" +1.5\t", &d), S_OK);
  EXPECT_EQ(d, 1.5);
  ASSERT_EQ(DoubleFromText("1e-400", &d), S_OK);
  EXPECT_TRUE(SameBits(d, 0.0));
  ASSERT_EQ(DoubleFromText("-1e-400", &d), S_OK);
  EXPECT_TRUE(SameBits(d, -0.0));
  d = 7;
  EXPECT_EQ(DoubleFromText("1e400", &d), DISP_E_OVERFLOW);
  EXPECT_EQ(d, 7);

  float f = 0;
  EXPECT_EQ(SingleFromText("3.5e38", &f), DISP_E_OVERFLOW);
  ASSERT_EQ(SingleFromText("-1e-50", &f), S_OK);
  EXPECT_TRUE(f == 0 && std::signbit(f));
}

}  // namespace
}  // namespace vorlix
