#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

#include "automation/Coerce.h"
#include "automation/Date.h"
#include "automation/SafeArray.h"

namespace vorlix {
namespace {

using i128 = __int128;

// The conversion, which must succeed.
Variant To(const Variant& in, VARTYPE vt) {
  Variant out;
  EXPECT_EQ(ChangeType(in, vt, &out), S_OK) << VarTypeName(in.vt()) << " to " << VarTypeName(vt);
  return out;
}

// The failure of a conversion, checking that it left the output alone.
HRESULT Failure(const Variant& in, VARTYPE vt) {
  const Variant sentinel = Variant::Str(u"untouched");
  Variant out = sentinel;
  const HRESULT hr = ChangeType(in, vt, &out);
  EXPECT_EQ(out, sentinel) << VarTypeName(in.vt()) << " to " << VarTypeName(vt);
  return hr;
}

Variant Text(const char16_t* s) {
  return Variant::Str(Bstr(s));
}

Variant DecimalOf(i128 v, uint8_t scale = 0) {
  const unsigned __int128 m = v < 0 ? -static_cast<unsigned __int128>(v) : v;
  return Variant::Dec(Decimal{scale, static_cast<uint8_t>(v < 0 ? 0x80 : 0),
                              static_cast<uint32_t>(m >> 64), static_cast<uint64_t>(m)});
}

Variant Integer(VARTYPE vt, i128 v) {
  Payload p = Payload::kNone;
  ScalarPayload(vt, &p);
  return p == Payload::kSigned ? Variant::Signed(vt, static_cast<int64_t>(v))
                               : Variant::Unsigned(vt, static_cast<uint64_t>(v));
}

struct IntegerType {
  VARTYPE vt;
  i128 min;
  i128 max;
};

const IntegerType kIntegerTypes[] = {
    {VT_I1, -128, 127},
    {VT_UI1, 0, 255},
    {VT_I2, -32768, 32767},
    {VT_UI2, 0, 65535},
    {VT_I4, INT32_MIN, INT32_MAX},
    {VT_INT, INT32_MIN, INT32_MAX},
    {VT_UI4, 0, UINT32_MAX},
    {VT_UINT, 0, UINT32_MAX},
    {VT_I8, INT64_MIN, INT64_MAX},
    {VT_UI8, 0, UINT64_MAX},
};

// Every max is odd and every min even (or 0), so a half past either end decides by rounding
// half to even: past max it overflows, past min it comes back to min.
TEST(ChangeType, ExactValuesOverflowJustPastEachIntegerBound) {
  for (const IntegerType& t : kIntegerTypes) {
    SCOPED_TRACE(VarTypeName(t.vt));
    EXPECT_EQ(To(DecimalOf(t.min), t.vt), Integer(t.vt, t.min));
    EXPECT_EQ(To(DecimalOf(t.max), t.vt), Integer(t.vt, t.max));
    EXPECT_EQ(Failure(DecimalOf(t.min - 1), t.vt), DISP_E_OVERFLOW);
    EXPECT_EQ(Failure(DecimalOf(t.max + 1), t.vt), DISP_E_OVERFLOW);
    EXPECT_EQ(To(DecimalOf(t.max * 10 + 4, 1), t.vt), Integer(t.vt, t.max));
    EXPECT_EQ(Failure(DecimalOf(t.max * 10 + 5, 1), t.vt), DISP_E_OVERFLOW);
    EXPECT_EQ(To(DecimalOf(t.min * 10 - 5, 1), t.vt), Integer(t.vt, t.min));
    EXPECT_EQ(Failure(DecimalOf(t.min * 10 - 6, 1), t.vt), DISP_E_OVERFLOW);
  }
}

TEST(ChangeType, RealsOverflowJustPastEachIntegerBound) {
  for (const IntegerType& t : kIntegerTypes) {
    SCOPED_TRACE(VarTypeName(t.vt));
    // For the 64-bit types max + 0.5 is the power of two above max, and the double below it is
    // the largest that fits; for the others it is max + 0.5 itself.
    const double pastMax = static_cast<double>(t.max) + 0.5;
    const double belowPastMax = std::nextafter(pastMax, 0.0);
    EXPECT_EQ(To(Variant::R8(belowPastMax), t.vt),
              Integer(t.vt, static_cast<i128>(std::nearbyint(belowPastMax))));
    EXPECT_EQ(Failure(Variant::R8(pastMax), t.vt), DISP_E_OVERFLOW);
    const double pastMin = static_cast<double>(t.min) - 0.5;
    EXPECT_EQ(To(Variant::R8(pastMin), t.vt), Integer(t.vt, t.min));
    EXPECT_EQ(Failure(Variant::R8(std::nextafter(pastMin, -DBL_MAX)), t.vt), DISP_E_OVERFLOW);
    EXPECT_EQ(Failure(Variant::R8(std::nan("")), t.vt), DISP_E_OVERFLOW);
    EXPECT_EQ(Failure(Variant::R8(-std::numeric_limits<double>::infinity()), t.vt),
              DISP_E_OVERFLOW);
  }
}

TEST(ChangeType, RealsAndScaledValuesRoundHalfToEven) {
  const struct {
    double x;
    int32_t rounded;
  } cases[] = {{0.5, 0},   {1.5, 2},   {2.5, 2}, {3.5, 4}, {-0.5, 0},
               {-2.5, -2}, {-3.5, -4}, {2.4, 2}, {2.6, 3}};
  for (const auto& c : cases) {
    const Variant expected = Variant::I4(c.rounded);
    EXPECT_EQ(To(Variant::R8(c.x), VT_I4), expected) << c.x;
    EXPECT_EQ(To(Variant::Real(VT_R4, c.x), VT_I4), expected) << c.x;
    EXPECT_EQ(To(Variant::Date(c.x), VT_I4), expected) << c.x;
    EXPECT_EQ(To(Variant::Currency(std::llround(c.x * 10000)), VT_I4), expected) << c.x;
    EXPECT_EQ(To(DecimalOf(std::llround(c.x * 10), 1), VT_I4), expected) << c.x;
  }
  // An unsigned target accepts what rounds to 0 from below.
  EXPECT_EQ(To(Variant::R8(-0.5), VT_UI1), Variant::Unsigned(VT_UI1, 0));
  EXPECT_EQ(Failure(Variant::R8(-0.51), VT_UI1), DISP_E_OVERFLOW);
}

TEST(ChangeType, NarrowingToSingleOverflowsPastFloatMax) {
  EXPECT_EQ(To(Variant::R8(FLT_MAX), VT_R4), Variant::Real(VT_R4, FLT_MAX));
  EXPECT_EQ(To(Variant::R8(-FLT_MAX), VT_R4), Variant::Real(VT_R4, -FLT_MAX));
  EXPECT_EQ(Failure(Variant::R8(std::nextafter(double{FLT_MAX}, DBL_MAX)), VT_R4), DISP_E_OVERFLOW);
  EXPECT_EQ(Failure(Variant::R8(-3.5e38), VT_R4), DISP_E_OVERFLOW);
  EXPECT_EQ(Failure(Variant::R8(std::numeric_limits<double>::infinity()), VT_R4), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::R8(1e-50), VT_R4), Variant::Real(VT_R4, 0));
  EXPECT_EQ(To(Variant::R8(0.1), VT_R4), Variant::Real(VT_R4, 0.1f));
}

TEST(ChangeType, ExactTypesConvertBetweenEachOther) {
  // Currency carries four places into decimal and rounds them away into integers.
  EXPECT_EQ(To(Variant::Currency(-123456), VT_DECIMAL), DecimalOf(-123456, 4));
  EXPECT_EQ(To(Variant::Currency(INT64_MAX), VT_I8), Variant::Signed(VT_I8, 922337203685478));
  EXPECT_EQ(To(Variant::Signed(VT_I8, 922337203685477), VT_CY),
            Variant::Currency(9223372036854770000));
  EXPECT_EQ(Failure(Variant::Signed(VT_I8, 922337203685478), VT_CY), DISP_E_OVERFLOW);
  EXPECT_EQ(Failure(Variant::Unsigned(VT_UI8, UINT64_MAX), VT_CY), DISP_E_OVERFLOW);
  EXPECT_EQ(To(DecimalOf(15, 5), VT_CY), Variant::Currency(2));
  EXPECT_EQ(To(Variant::Unsigned(VT_UI8, UINT64_MAX), VT_DECIMAL), DecimalOf(UINT64_MAX));
  EXPECT_EQ(To(Variant::Signed(VT_I8, INT64_MIN), VT_DECIMAL), DecimalOf(INT64_MIN));
  EXPECT_EQ(To(Variant::Unsigned(VT_UI4, UINT32_MAX), VT_I8), Variant::Signed(VT_I8, UINT32_MAX));
  EXPECT_EQ(Failure(Variant::Signed(VT_I8, -1), VT_UI8), DISP_E_OVERFLOW);
  EXPECT_EQ(Failure(Variant::Unsigned(VT_UI8, UINT64_MAX), VT_I8), DISP_E_OVERFLOW);
}

TEST(ChangeType, RealsAndExactTypes) {
  EXPECT_EQ(To(Variant::R8(0.00015), VT_CY), Variant::Currency(2));
  EXPECT_EQ(To(Variant::R8(0.1), VT_DECIMAL), DecimalOf(1, 1));
  EXPECT_EQ(Failure(Variant::R8(1e29), VT_DECIMAL), DISP_E_OVERFLOW);
  EXPECT_EQ(Failure(Variant::R8(1e300), VT_CY), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::Currency(123400), VT_R8), Variant::R8(12.34));
  EXPECT_EQ(To(DecimalOf(1, 1), VT_R8), Variant::R8(0.1));
  EXPECT_EQ(To(Variant::Signed(VT_I8, INT64_MAX), VT_R8), Variant::R8(9223372036854775807.0));
  EXPECT_EQ(To(Variant::Unsigned(VT_UI8, UINT64_MAX), VT_R4), Variant::Real(VT_R4, 1.8446744e19f));
}

TEST(ChangeType, AnyNonZeroNumberIsTrue) {
  const Variant nonZero[] = {
      Variant::I4(5),       Variant::Signed(VT_I1, -1), Variant::Unsigned(VT_UI8, UINT64_MAX),
      Variant::R8(0.1),     Variant::R8(-1e-300),       Variant::Real(VT_R4, 0.5),
      Variant::Currency(1), DecimalOf(1, 28),           Variant::Date(-1)};
  for (const Variant& v : nonZero)
    EXPECT_EQ(To(v, VT_BOOL), Variant::Bool(true)) << VarTypeName(v.vt());
  const Variant zero[] = {Variant(),       Variant::I4(0),  Variant::R8(-0.0), Variant::Currency(0),
                          DecimalOf(0, 3), Variant::Date(0)};
  for (const Variant& v : zero)
    EXPECT_EQ(To(v, VT_BOOL), Variant::Bool(false)) << VarTypeName(v.vt());
}

TEST(ChangeType, BooleanConvertsAsItsStoredValue) {
  const Variant t = Variant::Bool(true);
  EXPECT_EQ(To(t, VT_I4), Variant::I4(-1));
  EXPECT_EQ(To(t, VT_I1), Variant::Signed(VT_I1, -1));
  EXPECT_EQ(To(t, VT_R8), Variant::R8(-1));
  EXPECT_EQ(To(t, VT_CY), Variant::Currency(-10000));
  EXPECT_EQ(To(t, VT_DECIMAL), DecimalOf(-1));
  EXPECT_EQ(Failure(t, VT_UI1), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::Signed(VT_BOOL, 1), VT_I4), Variant::I4(1));
  EXPECT_EQ(To(Variant::Bool(false), VT_UI1), Variant::Unsigned(VT_UI1, 0));
}

TEST(ChangeType, BooleanText) {
  EXPECT_EQ(To(Variant::Bool(true), VT_BSTR), Text(u"True"));
  EXPECT_EQ(To(Variant::Signed(VT_BOOL, 1), VT_BSTR), Text(u"True"));
  EXPECT_EQ(To(Variant::Bool(false), VT_BSTR), Text(u"False"));
  for (const char16_t* s : {u"True", u"TRUE", u"tRuE", u"1", u" 2.5 ", u"-1e300"}) {
    EXPECT_EQ(To(Text(s), VT_BOOL), Variant::Bool(true));
  }
  for (const char16_t* s : {u"False", u"false", u"0", u"-0.0", u"0e5"}) {
    EXPECT_EQ(To(Text(s), VT_BOOL), Variant::Bool(false));
  }
  for (const char16_t* s : {u"", u"yes", u"T", u"truee", u" true", u"0x1"}) {
    EXPECT_EQ(Failure(Text(s), VT_BOOL), DISP_E_TYPEMISMATCH);
  }
}

TEST(ChangeType, TextToIntegersIsExact) {
  EXPECT_EQ(To(Text(u"18446744073709551615"), VT_UI8), Variant::Unsigned(VT_UI8, UINT64_MAX));
  EXPECT_EQ(To(Text(u"-9223372036854775808"), VT_I8), Variant::Signed(VT_I8, INT64_MIN));
  // Through a double this would lose its last digit.
  EXPECT_EQ(To(Text(u"9007199254740993"), VT_I8), Variant::Signed(VT_I8, 9007199254740993));
  EXPECT_EQ(To(Text(u"9007199254740992.5"), VT_I8), Variant::Signed(VT_I8, 9007199254740992));
  EXPECT_EQ(To(Text(u"2.5"), VT_I4), Variant::I4(2));
  EXPECT_EQ(To(Text(u"3.5"), VT_I4), Variant::I4(4));
  EXPECT_EQ(To(Text(u" -1e3 "), VT_I2), Variant::I2(-1000));
  EXPECT_EQ(Failure(Text(u"18446744073709551616"), VT_UI8), DISP_E_OVERFLOW);
  EXPECT_EQ(Failure(Text(u"9223372036854775808"), VT_I8), DISP_E_OVERFLOW);
  EXPECT_EQ(Failure(Text(u"128"), VT_I1), DISP_E_OVERFLOW);
  EXPECT_EQ(Failure(Text(u"1e400"), VT_I4), DISP_E_OVERFLOW);
  EXPECT_EQ(Failure(Text(u"12abc"), VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Failure(Text(u""), VT_I4), DISP_E_TYPEMISMATCH);
  const char16_t unpaired[] = {u'1', 0xD800, 0};
  EXPECT_EQ(Failure(Text(unpaired), VT_I4), DISP_E_TYPEMISMATCH);
}

TEST(ChangeType, TextToOtherNumbers) {
  EXPECT_EQ(To(Text(u"1.5"), VT_R8), Variant::R8(1.5));
  EXPECT_EQ(To(Text(u"3.4028235e38"), VT_R4), Variant::Real(VT_R4, FLT_MAX));
  EXPECT_EQ(Failure(Text(u"1e400"), VT_R8), DISP_E_OVERFLOW);
  EXPECT_EQ(Failure(Text(u"1e39"), VT_R4), DISP_E_OVERFLOW);
  EXPECT_EQ(Failure(Text(u"inf"), VT_R8), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(To(Text(u"-12.34"), VT_CY), Variant::Currency(-123400));
  EXPECT_EQ(To(Text(u"0.00015"), VT_CY), Variant::Currency(2));
  EXPECT_EQ(Failure(Text(u"922337203685477.5808"), VT_CY), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Text(u"-1.50"), VT_DECIMAL), Variant::Dec(Decimal{2, 0x80, 0, 150}));
  EXPECT_EQ(Failure(Text(u"1,5"), VT_DECIMAL), DISP_E_TYPEMISMATCH);
}

TEST(ChangeType, NumbersToText) {
  EXPECT_EQ(To(Variant::Signed(VT_I1, -128), VT_BSTR), Text(u"-128"));
  EXPECT_EQ(To(Variant::Signed(VT_I8, INT64_MIN), VT_BSTR), Text(u"-9223372036854775808"));
  EXPECT_EQ(To(Variant::Unsigned(VT_UI8, UINT64_MAX), VT_BSTR), Text(u"18446744073709551615"));
  EXPECT_EQ(To(Variant::R8(0.1), VT_BSTR), Text(u"0.1"));
  EXPECT_EQ(To(Variant::Real(VT_R4, 0.1), VT_BSTR), Text(u"0.1"));
  EXPECT_EQ(To(Variant::R8(1e21), VT_BSTR), Text(u"1e+21"));
  EXPECT_EQ(To(Variant::Currency(-123400), VT_BSTR), Text(u"-12.34"));
  EXPECT_EQ(To(DecimalOf(-150, 2), VT_BSTR), Text(u"-1.5"));
}

TEST(ChangeType, EveryTextFormReadsBackAsTheSameValue) {
  const Variant values[] = {
      Variant::Signed(VT_I1, -128),
      Variant::Unsigned(VT_UI1, 255),
      Variant::I2(-32768),
      Variant::Unsigned(VT_UI2, 65535),
      Variant::I4(INT32_MIN),
      Variant::Signed(VT_INT, 7),
      Variant::Unsigned(VT_UI4, UINT32_MAX),
      Variant::Unsigned(VT_UINT, 7),
      Variant::Signed(VT_I8, INT64_MIN),
      Variant::Unsigned(VT_UI8, UINT64_MAX),
      Variant::Real(VT_R4, 0.3),
      Variant::Real(VT_R4, FLT_MAX),
      Variant::R8(-0.1),
      Variant::R8(DBL_MAX),
      Variant::R8(5e-324),
      Variant::Currency(INT64_MIN),
      Variant::Currency(-5),
      Variant::Dec(Decimal{28, 0x80, 0xFFFFFFFF, UINT64_MAX}),
      Variant::Date(36585.5),
      Variant::Date(-1.25),
      Variant::Date(2958465 + 86'399'999 / 86'400'000.0),
      Variant::Bool(true),
      Variant::Bool(false),
  };
  for (const Variant& v : values) {
    const Variant text = To(v, VT_BSTR);
    EXPECT_EQ(To(text, v.vt()), v) << text.AsBstr().Utf8();
  }
}

TEST(ChangeType, DatesAreTheirDoubleAndTheirText) {
  EXPECT_EQ(To(Variant::Date(36585.5), VT_BSTR), Text(u"2000-02-29 12:00:00"));
  EXPECT_EQ(To(Variant::Date(-1.25), VT_BSTR), Text(u"1899-12-29 06:00:00"));
  EXPECT_EQ(To(Text(u"2000-02-29 12:00"), VT_DATE), Variant::Date(36585.5));
  EXPECT_EQ(Failure(Text(u"1900-02-29"), VT_DATE), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Failure(Text(u"36585"), VT_DATE), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Failure(Variant::Date(1e10), VT_BSTR), DISP_E_OVERFLOW);

  EXPECT_EQ(To(Variant::Date(-1.25), VT_R8), Variant::R8(-1.25));
  EXPECT_EQ(To(Variant::I4(2), VT_DATE), Variant::Date(2));
  EXPECT_EQ(To(Variant::Currency(25000), VT_DATE), Variant::Date(2.5));
  // The first day's times lie below kMinOleDate and are valid.
  EXPECT_EQ(To(Variant::R8(-657434.5), VT_DATE), Variant::Date(-657434.5));
  EXPECT_EQ(Failure(Variant::R8(-657435), VT_DATE), DISP_E_OVERFLOW);
  EXPECT_EQ(Failure(Variant::R8(kMaxOleDate), VT_DATE), DISP_E_OVERFLOW);
  EXPECT_EQ(Failure(Variant::R8(std::nan("")), VT_DATE), DISP_E_OVERFLOW);
  EXPECT_EQ(Failure(Variant::Unsigned(VT_UI8, UINT64_MAX), VT_DATE), DISP_E_OVERFLOW);
}

TEST(ChangeType, EmptyIsZeroOfEveryValueType) {
  const Variant empty;
  EXPECT_EQ(To(empty, VT_I4), Variant::I4(0));
  EXPECT_EQ(To(empty, VT_UI8), Variant::Unsigned(VT_UI8, 0));
  EXPECT_EQ(To(empty, VT_R8), Variant::R8(0));
  EXPECT_EQ(To(empty, VT_CY), Variant::Currency(0));
  EXPECT_EQ(To(empty, VT_DECIMAL), Variant::Dec(Decimal{}));
  EXPECT_EQ(To(empty, VT_DATE), Variant::Date(0));
  EXPECT_EQ(To(empty, VT_BSTR), Text(u""));
  EXPECT_EQ(To(empty, VT_BOOL), Variant::Bool(false));
  EXPECT_EQ(Failure(empty, VT_NULL), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Failure(empty, VT_ERROR), DISP_E_TYPEMISMATCH);
}

TEST(ChangeType, NullErrorAndArraysOnlyToThemselvesOrEmpty) {
  const Variant opaque[] = {
      Variant::Null(),
      Variant::Signed(VT_ERROR, static_cast<int32_t>(0x80020004u)),
      Variant::Array(SafeArray::Vector(VT_I4, 0, {Variant::I4(1)})),
      Variant::Array(SafeArray::Vector(VT_VARIANT, 1, {Text(u"x")})),
  };
  const VARTYPE targets[] = {
      VT_I4, VT_UI1,     VT_R8,   VT_BSTR,  VT_BOOL,          VT_DATE,
      VT_CY, VT_DECIMAL, VT_NULL, VT_ERROR, VT_ARRAY | VT_I4, VT_ARRAY | VT_VARIANT};
  for (const Variant& v : opaque) {
    SCOPED_TRACE(VarTypeName(v.vt()));
    EXPECT_EQ(To(v, v.vt()), v);
    EXPECT_EQ(To(v, VT_EMPTY), Variant());
    for (VARTYPE vt : targets) {
      if (vt != v.vt()) {
        EXPECT_EQ(Failure(v, vt), DISP_E_TYPEMISMATCH) << VarTypeName(vt);
      }
    }
  }
  for (VARTYPE vt : {VT_NULL, VT_ERROR, VARTYPE{VT_ARRAY | VT_I4}}) {
    EXPECT_EQ(Failure(Variant::I4(1), vt), DISP_E_TYPEMISMATCH) << VarTypeName(vt);
    EXPECT_EQ(Failure(Text(u"1"), vt), DISP_E_TYPEMISMATCH) << VarTypeName(vt);
  }
}

TEST(ChangeType, SameTypeIsACopyAndAnythingBecomesEmpty) {
  for (const Variant& v :
       {Text(u"x"), Variant::R8(std::nan("")), Variant::Date(1e10), Variant::I4(-3)}) {
    EXPECT_EQ(To(v, v.vt()), v);
    EXPECT_EQ(To(v, VT_EMPTY), Variant());
  }
}

TEST(ChangeType, UnknownTypesAreRefused) {
  for (VARTYPE vt :
       {VARTYPE{VT_VARIANT}, VARTYPE{VT_BYREF | VT_I4}, VARTYPE{9}, VARTYPE{15}, VARTYPE{99},
        VARTYPE{VT_ARRAY | VT_BYREF | VT_I4}, VARTYPE{VT_ARRAY | VT_NULL}}) {
    EXPECT_EQ(Failure(Variant::I4(1), vt), DISP_E_BADVARTYPE) << VarTypeName(vt);
  }
}

TEST(ChangeType, InvalidDecimalIsRefused) {
  const Variant bad = Variant::Dec(Decimal{29, 0, 0, 1});
  EXPECT_EQ(Failure(bad, VT_I4), E_INVALIDARG);
  EXPECT_EQ(Failure(bad, VT_BSTR), E_INVALIDARG);
  EXPECT_EQ(Failure(Variant::Dec(Decimal{0, 1, 0, 1}), VT_R8), E_INVALIDARG);
}

}  // namespace
}  // namespace vorlix
