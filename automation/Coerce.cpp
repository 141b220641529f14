#include "automation/Coerce.h"

#include <cfloat>
#include <cmath>
#include <optional>
#include <string>

#include "automation/Date.h"
#include "automation/Numeric.h"

namespace vorlix {
namespace {

using i128 = __int128;

struct IntegerRange {
  VARTYPE vt;
  i128 min;
  i128 max;
};

constexpr IntegerRange kIntegerRanges[] = {
    {VT_I1, INT8_MIN, INT8_MAX}, {VT_UI1, 0, UINT8_MAX},        {VT_I2, INT16_MIN, INT16_MAX},
    {VT_UI2, 0, UINT16_MAX},     {VT_I4, INT32_MIN, INT32_MAX}, {VT_INT, INT32_MIN, INT32_MAX},
    {VT_UI4, 0, UINT32_MAX},     {VT_UINT, 0, UINT32_MAX},      {VT_I8, INT64_MIN, INT64_MAX},
    {VT_UI8, 0, UINT64_MAX},
};

const IntegerRange* FindIntegerRange(VARTYPE vt) {
  for (const IntegerRange& r : kIntegerRanges) {
    if (r.vt == vt) return &r;
  }
  return nullptr;
}

// A number between types: a double for the real types (R4, R8, DATE), otherwise exact as a
// Decimal, which holds every integer, currency and Boolean value.
struct Number {
  bool isReal = false;
  double real = 0;
  Decimal exact;
};

Number Real(double v) {
  return Number{true, v, {}};
}
Number Exact(const Decimal& d) {
  return Number{false, 0, d};
}
Number Exact(bool negative, uint64_t magnitude, uint8_t scale) {
  return Exact(Decimal{scale, static_cast<uint8_t>(negative ? 0x80 : 0), 0, magnitude});
}

bool IsZero(const Number& n) {
  return n.isReal ? n.real == 0 : n.exact.hi == 0 && n.exact.lo == 0;
}

// Types that only a copy or VT_EMPTY leads out of or into.
bool IsOpaque(VARTYPE vt) {
  return (vt & VT_ARRAY) || vt == VT_NULL || vt == VT_ERROR;
}

bool IsKnownType(VARTYPE vt) {
  Payload p;
  return (vt & VT_ARRAY) ? IsArrayElementType(vt & ~VT_ARRAY) : ScalarPayload(vt, &p);
}

HRESULT ToNumber(const Variant& in, Number* n) {
  Payload p = Payload::kNone;
  ScalarPayload(in.vt(), &p);
  switch (p) {
    case Payload::kSigned: {
      const int64_t v = in.AsSigned();
      const uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
      *n = Exact(v < 0, magnitude, in.vt() == VT_CY ? 4 : 0);
      return S_OK;
    }
    case Payload::kUnsigned:
      *n = Exact(false, in.AsUnsigned(), 0);
      return S_OK;
    case Payload::kReal:
      *n = Real(in.AsReal());
      return S_OK;
    case Payload::kDecimal:
      if (!IsValidDecimal(in.AsDecimal())) return E_INVALIDARG;
      *n = Exact(in.AsDecimal());
      return S_OK;
    case Payload::kNone:  // VT_EMPTY: the others without a value were refused before
      *n = Exact(Decimal{});
      return S_OK;
    case Payload::kString:
      break;
  }
  return DISP_E_TYPEMISMATCH;
}

HRESULT ToInteger(const Number& n, const IntegerRange& range, Variant* out) {
  i128 v = 0;
  if (n.isReal) {
    // nearbyint rounds half to even in the default rounding mode. The bounds convert to
    // double exactly: min is 0 or minus a power of two, max + 1 a power of two.
    const double r = std::nearbyint(n.real);
    if (!(r >= static_cast<double>(range.min) && r < static_cast<double>(range.max + 1))) {
      return DISP_E_OVERFLOW;
    }
    v = static_cast<i128>(r);
  } else {
    const Decimal d = DecimalRound(n.exact, 0);
    const i128 magnitude = (i128{d.hi} << 64) | d.lo;
    v = d.sign ? -magnitude : magnitude;
    if (v < range.min || v > range.max) return DISP_E_OVERFLOW;
  }
  *out = range.min < 0 ? Variant::Signed(range.vt, static_cast<int64_t>(v))
                       : Variant::Unsigned(range.vt, static_cast<uint64_t>(v));
  return S_OK;
}

HRESULT FromNumber(const Number& n, VARTYPE vt, Variant* out) {
  if (const IntegerRange* range = FindIntegerRange(vt)) return ToInteger(n, *range, out);
  switch (vt) {
    case VT_BOOL:
      *out = Variant::Bool(!IsZero(n));
      return S_OK;
    case VT_R4:
    case VT_R8:
    case VT_DATE: {
      const double x = n.isReal ? n.real : DecimalToDouble(n.exact);
      if (vt == VT_R4 && std::fabs(x) > FLT_MAX) return DISP_E_OVERFLOW;
      if (vt == VT_DATE && !OleDateToDateTime(x)) return DISP_E_OVERFLOW;
      *out = Variant::Real(vt, x);
      return S_OK;
    }
    case VT_CY: {
      int64_t cy = 0;
      const HRESULT hr =
          n.isReal ? CurrencyFromDouble(n.real, &cy) : CurrencyFromDecimal(n.exact, &cy);
      if (SUCCEEDED(hr)) *out = Variant::Currency(cy);
      return hr;
    }
    case VT_DECIMAL: {
      Decimal d = n.exact;
      const HRESULT hr = n.isReal ? DecimalFromDouble(n.real, &d) : S_OK;
      if (SUCCEEDED(hr)) *out = Variant::Dec(d);
      return hr;
    }
  }
  return DISP_E_TYPEMISMATCH;
}

bool EqualsIgnoringCase(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c =
        text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
    if (c != lower[i]) return false;
  }
  return true;
}

HRESULT FromText(const Bstr& s, VARTYPE vt, Variant* out) {
  const std::optional<std::string> text = s.ToUtf8();
  if (!text) return DISP_E_TYPEMISMATCH;
  HRESULT hr = S_OK;
  switch (vt) {
    case VT_R4: {
      float f = 0;
      hr = SingleFromText(*text, &f);
      if (SUCCEEDED(hr)) *out = Variant::Real(VT_R4, f);
      return hr;
    }
    case VT_DATE: {
      const std::optional<DateTime> dt = ParseDateTime(*text);
      const std::optional<double> date = dt ? DateTimeToOleDate(*dt) : std::nullopt;
      if (!date) return DISP_E_TYPEMISMATCH;
      *out = Variant::Date(*date);
      return S_OK;
    }
    case VT_CY: {
      int64_t cy = 0;
      hr = CurrencyFromText(*text, &cy);
      if (SUCCEEDED(hr)) *out = Variant::Currency(cy);
      return hr;
    }
    case VT_BOOL:
      if (EqualsIgnoringCase(*text, "true") || EqualsIgnoringCase(*text, "false")) {
        *out = Variant::Bool(EqualsIgnoringCase(*text, "true"));
        return S_OK;
      }
      [[fallthrough]];
    case VT_R8: {
      double x = 0;
      hr = DoubleFromText(*text, &x);
      return SUCCEEDED(hr) ? FromNumber(Real(x), vt, out) : hr;
    }
    default: {
      // Integers read as whole numbers straight from the text, so rounding happens once.
      Decimal d;
      hr = DecimalFromText(*text, &d, vt == VT_DECIMAL ? 28 : 0);
      return SUCCEEDED(hr) ? FromNumber(Exact(d), vt, out) : hr;
    }
  }
}

HRESULT ToText(const Variant& in, Variant* out) {
  std::string text;
  switch (in.vt()) {
    case VT_EMPTY:
      break;
    case VT_BOOL:
      text = in.AsBool() ? "True" : "False";
      break;
    case VT_CY:
      text = CurrencyToText(in.AsSigned());
      break;
    case VT_R4:
      text = SingleToText(static_cast<float>(in.AsReal()));
      break;
    case VT_R8:
      text = DoubleToText(in.AsReal());
      break;
    case VT_DATE: {
      const std::optional<DateTime> dt = OleDateToDateTime(in.AsReal());
      if (!dt) return DISP_E_OVERFLOW;
      text = FormatDateTime(*dt);
      break;
    }
    case VT_DECIMAL:
      if (!IsValidDecimal(in.AsDecimal())) return E_INVALIDARG;
      text = DecimalToText(in.AsDecimal());
      break;
    default: {
      Payload p = Payload::kNone;
      ScalarPayload(in.vt(), &p);
      text =
          p == Payload::kSigned ? std::to_string(in.AsSigned()) : std::to_string(in.AsUnsigned());
      break;
    }
  }
  // Number and date texts are ASCII, which is always valid UTF-8.
  *out = Variant::Str(Bstr::FromUtf8(text).value());
  return S_OK;
}

}  // namespace

HRESULT ChangeType(const Variant& in, VARTYPE vt, Variant* out) {
  if (!IsKnownType(vt) || !IsKnownType(in.vt())) return DISP_E_BADVARTYPE;
  if (in.vt() == vt) {
    *out = in;
    return S_OK;
  }
  if (vt == VT_EMPTY) {
    *out = Variant();
    return S_OK;
  }
  if (IsOpaque(in.vt()) || IsOpaque(vt)) return DISP_E_TYPEMISMATCH;
  if (vt == VT_BSTR) return ToText(in, out);
  if (in.vt() == VT_BSTR) return FromText(in.AsBstr(), vt, out);
  Number n;
  const HRESULT hr = ToNumber(in, &n);
  return SUCCEEDED(hr) ? FromNumber(n, vt, out) : hr;
}

}  // namespace vorlix
