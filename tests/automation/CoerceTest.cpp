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

template <typename T>
IntegerType Range(VARTYPE vt) {
  return {vt, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()};
}

const IntegerType kIntegerTypes[] = {Range<int8_t>(VT_I1),    Range<uint8_t>(VT_UI1),
                                     Range<int16_t>(VT_I2),   Range<uint16_t>(VT_UI2),
                                     Range<int32_t>(VT_I4),   Range<int32_t>(VT_INT),
                                     Range<uint32_t>(VT_UI4), Range<uint32_t>(VT_UINT),
                                     Range<int64_t>(VT_I8),   Range<uint64_t>(VT_UI8)};

TEST(ChangeType, ExactValuesAndRealsOverflowJustPastEachIntegerBound) {
  for (const IntegerType& t : kIntegerTypes) {
    SCOPED_TRACE(VarTypeName(t.vt));
    // Every max is odd and every min even (or 0), so a half past either end decides by rounding
    // half to even: past max it overflows, past min it comes back to min.
    EXPECT_EQ(To(DecimalOf(t.max * 10 + 4, 1), t.vt), Integer(t.vt, t.max));
    EXPECT_EQ(Failure(DecimalOf(t.max * 10 + 5, 1), t.vt), DISP_E_OVERFLOW);
    EXPECT_EQ(To(DecimalOf(t.min * 10 - 5, 1), t.vt), Integer(t.vt, t.min));
    EXPECT_EQ(Failure(DecimalOf(t.min * 10 - 6, 1), t.vt), DISP_E_OVERFLOW);
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
  }
}

TEST(ChangeType, NumbersAndBooleansConvertBetweenEachOther) {
  // Reals round half to even, and narrow to single only up to its largest value.
  EXPECT_EQ(To(Variant::R8(2.5), VT_I4), Variant::I4(2));
  EXPECT_EQ(To(Variant::R8(3.5), VT_I4), Variant::I4(4));
  EXPECT_EQ(To(Variant::R8(FLT_MAX), VT_R4), Variant::Real(VT_R4, FLT_MAX));
  EXPECT_EQ(Failure(Variant::R8(std::nextafter(double{FLT_MAX}, DBL_MAX)), VT_R4), DISP_E_OVERFLOW);
  EXPECT_EQ(Failure(Variant::R8(-3.5e38), VT_R4), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::R8(1e-50), VT_R4), Variant::Real(VT_R4, 0));
  // Currency carries four places into decimal and rounds them away into integers.
  EXPECT_EQ(To(Variant::Currency(-123456), VT_DECIMAL), DecimalOf(-123456, 4));
  EXPECT_EQ(To(Variant::Currency(INT64_MAX), VT_I8), Variant::Signed(VT_I8, 922337203685478));
  EXPECT_EQ(Failure(Variant::Signed(VT_I8, 922337203685478), VT_CY), DISP_E_OVERFLOW);
  EXPECT_EQ(Failure(Variant::Unsigned(VT_UI8, UINT64_MAX), VT_CY), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::Signed(VT_I8, INT64_MIN), VT_DECIMAL), DecimalOf(INT64_MIN));
  EXPECT_EQ(To(Variant::R8(0.00015), VT_CY), Variant::Currency(2));
  EXPECT_EQ(To(Variant::R8(0.1), VT_DECIMAL), DecimalOf(1, 1));
  EXPECT_EQ(Failure(Variant::R8(1e29), VT_DECIMAL), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::Currency(123400), VT_R8), Variant::R8(12.34));
  EXPECT_EQ(To(Variant::I4(2), VT_DATE), Variant::Date(2));
  EXPECT_EQ(Failure(Variant::R8(kMaxOleDate), VT_DATE), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::Unsigned(VT_UI8, UINT64_MAX), VT_R4), Variant::Real(VT_R4, 1.8446744e19f));

  // Booleans: any non-zero number is true; true is -1 as a number and "True" as text.
  for (const Variant& v : {Variant::Unsigned(VT_UI8, UINT64_MAX), Variant::R8(-1e-300),
                           Variant::Currency(1), DecimalOf(1, 28), Variant::Date(-1)}) {
    EXPECT_EQ(To(v, VT_BOOL), Variant::Bool(true)) << VarTypeName(v.vt());
  }
  for (const Variant& v : {Variant::R8(-0.0), DecimalOf(0, 3)})
    EXPECT_EQ(To(v, VT_BOOL), Variant::Bool(false)) << VarTypeName(v.vt());
  EXPECT_EQ(To(Variant::Bool(true), VT_I4), Variant::I4(-1));
  EXPECT_EQ(To(Variant::Signed(VT_BOOL, 1), VT_I4), Variant::I4(1));
  EXPECT_EQ(To(Variant::Signed(VT_BOOL, 1), VT_BSTR), Text(u"True"));
  EXPECT_EQ(To(Variant::Bool(false), VT_BSTR), Text(u"False"));
  for (const char16_t* s : {u"TRUE", u"tRuE", u" 2.5 ", u"-1e300"})
    EXPECT_EQ(To(Text(s), VT_BOOL), Variant::Bool(true));
  for (const char16_t* s : {u"false", u"-0.0", u"0e5"})
    EXPECT_EQ(To(Text(s), VT_BOOL), Variant::Bool(false));
  for (const char16_t* s : {u"", u"yes", u"T", u"truee", u" true", u"0x1"})
    EXPECT_EQ(Failure(Text(s), VT_BOOL), DISP_E_TYPEMISMATCH);
}

TEST(ChangeType, TextConvertsExactlyAndEveryTextFormReadsBack) {
  // Through a double this would lose its last digit.
  EXPECT_EQ(To(Text(u"9007199254740993"), VT_I8), Variant::Signed(VT_I8, 9007199254740993));
  EXPECT_EQ(To(Text(u"9007199254740992.5"), VT_I8), Variant::Signed(VT_I8, 9007199254740992));
  EXPECT_EQ(To(Text(u"3.5"), VT_I4), Variant::I4(4));
  EXPECT_EQ(Failure(Text(u"1e400"), VT_I4), DISP_E_OVERFLOW);
  EXPECT_EQ(Failure(Text(u"12abc"), VT_I4), DISP_E_TYPEMISMATCH);
  const char16_t unpaired[] = {u'1', 0xD800, 0};
  EXPECT_EQ(Failure(Text(unpaired), VT_I4), DISP_E_TYPEMISMATCH);

  // Every type's text reads back as the same value; a single is spelled as a float.
  EXPECT_EQ(To(Variant::Real(VT_R4, 0.1), VT_BSTR), Text(u"0.1"));
  auto readsBack = [](const Variant& v) {
    const Variant text = To(v, VT_BSTR);
    EXPECT_EQ(To(text, v.vt()), v) << text.AsBstr().Utf8();
  };
  for (const Variant& v :
       {Variant::Signed(VT_I1, -128), Variant::Unsigned(VT_UI1, 255), Variant::I2(-32768),
        Variant::Unsigned(VT_UI2, 65535), Variant::I4(INT32_MIN), Variant::Signed(VT_INT, 7),
        Variant::Unsigned(VT_UI4, UINT32_MAX), Variant::Unsigned(VT_UINT, 7),
        Variant::Signed(VT_I8, INT64_MIN), Variant::Unsigned(VT_UI8, UINT64_MAX),
        Variant::Bool(true), Variant::Bool(false)})
    readsBack(v);
  for (const Variant& v :
       {Variant::Real(VT_R4, 0.3), Variant::R8(-0.1), Variant::Currency(INT64_MIN),
        Variant::Date(-1.25), Variant::Date(2958465 + 86'399'999 / 86'400'000.0)})
    readsBack(v);
  readsBack(Variant::Dec(Decimal{28, 0x80, 0xFFFFFFFF, UINT64_MAX}));
  // Dates are text only as date text, and only in the range.
  EXPECT_EQ(Failure(Text(u"36585"), VT_DATE), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Failure(Variant::Date(1e10), VT_BSTR), DISP_E_OVERFLOW);
}

TEST(ChangeType, EmptyIsZeroNullErrorAndArraysConvertOnlyToThemselves) {
  for (const Variant& zero :
       {Variant::I4(0), Variant::Unsigned(VT_UI8, 0), Variant::R8(0), Variant::Currency(0),
        Variant::Dec(Decimal{}), Variant::Date(0), Text(u""), Variant::Bool(false)}) {
    EXPECT_EQ(To(Variant(), zero.vt()), zero) << VarTypeName(zero.vt());
  }
  // Null, errors and arrays convert only to themselves or empty.
  const Variant opaque[] = {Variant::Null(),
                            Variant::Signed(VT_ERROR, static_cast<int32_t>(0x80020004u)),
                            Variant::Array(SafeArray::Vector(VT_I4, 0, {Variant::I4(1)})),
                            Variant::Array(SafeArray::Vector(VT_VARIANT, 1, {Text(u"x")}))};
  for (const Variant& v : opaque) {
    SCOPED_TRACE(VarTypeName(v.vt()));
    EXPECT_EQ(To(v, v.vt()), v);
    EXPECT_EQ(To(v, VT_EMPTY), Variant());
    for (VARTYPE vt : {VT_I4, VT_R8, VT_BSTR, VT_BOOL, VT_DATE, VT_CY, VT_DECIMAL, VT_NULL,
                       VT_ERROR, VARTYPE{VT_ARRAY | VT_I4}, VARTYPE{VT_ARRAY | VT_VARIANT}}) {
      if (vt != v.vt()) {
        EXPECT_EQ(Failure(v, vt), DISP_E_TYPEMISMATCH) << VarTypeName(vt);
      }
    }
  }
  for (const Variant& v : {Variant(), Variant::I4(1), Text(u"1")}) {
    for (VARTYPE vt : {VT_NULL, VT_ERROR, VARTYPE{VT_ARRAY | VT_I4}})
      EXPECT_EQ(Failure(v, vt), DISP_E_TYPEMISMATCH) << VarTypeName(vt);
  }
}

TEST(ChangeType, UnknownTypesAndInvalidDecimalsAreRefused) {
  for (VARTYPE vt :
       {VARTYPE{VT_VARIANT}, VARTYPE{VT_BYREF | VT_I4}, VARTYPE{9}, VARTYPE{15}, VARTYPE{99},
        VARTYPE{VT_ARRAY | VT_BYREF | VT_I4}, VARTYPE{VT_ARRAY | VT_NULL}}) {
    EXPECT_EQ(Failure(Variant::I4(1), vt), DISP_E_BADVARTYPE) << VarTypeName(vt);
  }
  EXPECT_EQ(Failure(Variant::Dec(Decimal{29, 0, 0, 1}), VT_I4), E_INVALIDARG);
  EXPECT_EQ(Failure(Variant::Dec(Decimal{29, 0, 0, 1}), VT_BSTR), E_INVALIDARG);
  EXPECT_EQ(Failure(Variant::Dec(Decimal{0, 1, 0, 1}), VT_R8), E_INVALIDARG);
}

}  // namespace
}  // namespace vorlix
