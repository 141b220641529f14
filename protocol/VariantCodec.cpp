#include "protocol/VariantCodec.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "automation/Numeric.h"
#include "automation/SafeArray.h"
#include "automation/Utf.h"
#include "protocol/BusIn.h"
#include "protocol/BusOut.h"
#include "protocol/WireMessage.h"

namespace vorlix {
namespace {

// An array whose elements take at least this many bytes makes its writer room for all it may
// take at once (WireWriter::ReserveLimit).
constexpr size_t kManyBytes = size_t{64} << 10;

// The payload's signature for a scalar VARTYPE; nullptr for one this system does not carry.
// A VT_BSTR element of a VT_ARRAY|VT_BSTR is always "s"; a lone VT_BSTR may be "aq" instead.
const char* ScalarSignature(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_UI1:
      return "y";
    case VT_I2:
    case VT_BOOL:
    case VT_I1:
      return "n";
    case VT_I4:
    case VT_INT:
    case VT_ERROR:
      return "i";
    case VT_R4:
    case VT_R8:
    case VT_DATE:
      return "d";
    case VT_CY:
    case VT_I8:
      return "x";
    case VT_BSTR:
      return "s";
    case VT_DECIMAL:
      return "(yyut)";
    case VT_UI2:
      return "q";
    case VT_UI4:
    case VT_UINT:
      return "u";
    case VT_UI8:
      return "t";
  }
  return nullptr;
}

const char* ElementSignature(VARTYPE elementType) {
  return elementType == VT_VARIANT ? "(qv)" : ScalarSignature(elementType);
}

HRESULT FromErrno(int r) {
  return r == -ENOMEM || r == -ENOBUFS ? E_OUTOFMEMORY : E_FAIL;
}

// The length of text's UTF-8 form when it can travel as a D-Bus string, which is UTF-8 without
// U+0000; nullopt when it cannot, and a lone VT_BSTR then goes as UTF-16 code units.
std::optional<size_t> StringLength(const Bstr& text) {
  if (text.view().find(u'\0') != std::u16string_view::npos) return std::nullopt;
  return Utf8Length(text.view());
}

// Appends text, which has a UTF-8 form of length bytes, converted straight into the message: no
// copy, and none of the UTF-8 check sd-bus makes of a string handed to it, which the conversion
// already guarantees.
template <typename Out>
int AppendString(Out& out, const Bstr& text, size_t length) {
  char* space = nullptr;
  const int r = out.StringSpace(length, &space);
  if (r >= 0) WriteUtf8(text.view(), space);
  return r;
}

template <typename Out>
int AppendTextTo(Out& out, const Bstr& text) {
  const std::optional<size_t> length = StringLength(text);
  return length ? AppendString(out, text, *length) : -EDOM;
}

template <typename Out>
HRESULT AppendVariantTo(Out& out, const Variant& value);

// A number's payload: its wire type (ScalarSignature) and its bytes, at the start of *bits.
char NumberPayload(VARTYPE vt, const Variant& v, std::array<unsigned char, 8>* bits) {
  const auto put = [&](auto x) { std::memcpy(bits->data(), &x, sizeof x); };
  const char type = ScalarSignature(vt)[0];
  switch (type) {
    case 'n':
      put(static_cast<int16_t>(v.AsSigned()));
      return type;
    case 'i':
      put(static_cast<int32_t>(v.AsSigned()));
      return type;
    case 'x':
      put(v.AsSigned());
      return type;
    case 'd':
      put(v.AsReal());
      return type;
    case 'y':
      put(static_cast<uint8_t>(v.AsUnsigned()));
      return type;
    case 'q':
      put(static_cast<uint16_t>(v.AsUnsigned()));
      return type;
    case 'u':
      put(static_cast<uint32_t>(v.AsUnsigned()));
      return type;
  }
  put(v.AsUnsigned());
  return 't';
}

// Appends the bare value of a scalar (or, for VT_VARIANT elements, a whole "(qv)"). Out is
// BusOut or WireWriter: the same calls build an sd-bus message or bytes of our own.
template <typename Out>
int AppendPayload(Out& out, VARTYPE vt, const Variant& v) {
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL: {
      const uint8_t zero = 0;
      return out.Basic('y', &zero);
    }
    case VT_BSTR:
      return AppendTextTo(out, v.AsBstr());
    case VT_DECIMAL: {
      const Decimal& d = v.AsDecimal();
      int r = out.Open('r', "yyut");
      if (r >= 0) r = out.Basic('y', &d.scale);
      if (r >= 0) r = out.Basic('y', &d.sign);
      if (r >= 0) r = out.Basic('u', &d.hi);
      if (r >= 0) r = out.Basic('t', &d.lo);
      if (r >= 0) r = out.Close();
      return r;
    }
    case VT_VARIANT: {
      const HRESULT hr = AppendVariantTo(out, v);
      return hr == S_OK ? 0 : hr == E_INVALIDARG ? -EDOM : hr == E_OUTOFMEMORY ? -ENOMEM : -EIO;
    }
  }
  std::array<unsigned char, 8> bits;
  const char type = NumberPayload(vt, v, &bits);
  return out.Basic(type, bits.data());
}

template <typename Out>
int AppendArrayStruct(Out& out, const SafeArray& array) {
  const std::string element = ElementSignature(array.ElementType());
  int r = out.Open('r', ("a(ii)a" + element).c_str());
  if (r >= 0) r = out.Open('a', "(ii)");
  for (const ArrayBound& b : array.Bounds()) {
    const int32_t count = static_cast<int32_t>(b.count);
    if (r >= 0) r = out.Open('r', "ii");
    if (r >= 0) r = out.Basic('i', &b.lower);
    if (r >= 0) r = out.Basic('i', &count);
    if (r >= 0) r = out.Close();
  }
  if (r >= 0) r = out.Close();
  if (array.ElementType() == VT_UI1) {
    const std::vector<uint8_t>& bytes = array.Bytes();
    if (r >= 0) r = out.Array('y', bytes.data(), bytes.size());
  } else {
    if constexpr (std::is_same_v<Out, WireWriter>) {
      if (array.Count() * kLeastVariantBytes >= kManyBytes) out.ReserveLimit();
    }
    if (r >= 0) r = out.Open('a', element.c_str());
    if (r >= 0) {
      array.ForEach([&](const Variant& e) {
        r = AppendPayload(out, array.ElementType(), e);
        return r >= 0;
      });
    }
    if (r >= 0) r = out.Close();
  }
  if (r >= 0) r = out.Close();
  return r;
}

template <typename Out>
int AppendArray(Out& out, const SafeArray& array) {
  const std::string element = ElementSignature(array.ElementType());
  int r = out.Open('v', ("(a(ii)a" + element + ")").c_str());
  if (r >= 0) r = AppendArrayStruct(out, array);
  if (r >= 0) r = out.Close();
  return r;
}

template <typename Out>
int AppendValue(Out& out, const Variant& value) {
  const VARTYPE vt = value.vt();
  if (value.IsArray()) return AppendArray(out, value.AsArray());
  if (vt == VT_BSTR) {
    const Bstr& text = value.AsBstr();
    const std::optional<size_t> length = StringLength(text);
    int r = out.Open('v', length ? "s" : "aq");
    if (r >= 0) {
      r = length ? AppendString(out, text, *length)
                 : out.Array('q', text.str().data(), text.size() * 2);
    }
    if (r >= 0) r = out.Close();
    return r;
  }
  int r = out.Open('v', ScalarSignature(vt));
  if (r >= 0) r = AppendPayload(out, vt, value);
  if (r >= 0) r = out.Close();
  return r;
}

HRESULT FromAppend(int r) {
  if (r == -EDOM) return E_INVALIDARG;
  return r < 0 ? FromErrno(r) : S_OK;
}

// A scalar VARIANT written whole by WireWriter's own calls (most of a big reply is these); false
// for any other, which takes the general way.
bool AppendScalarVariant(WireWriter& out, const Variant& value, int* r) {
  const VARTYPE vt = value.vt();
  if (value.IsArray() || vt == VT_DECIMAL || vt == VT_VARIANT || !ScalarSignature(vt)) {
    return false;
  }
  if (vt == VT_BSTR) {
    const std::optional<size_t> length = StringLength(value.AsBstr());
    if (!length) return false;  // as UTF-16 code units
    char* space = nullptr;
    *r = out.TextVariant(vt, *length, &space);
    if (*r >= 0) WriteUtf8(value.AsBstr().view(), space);
    return true;
  }
  std::array<unsigned char, 8> bits{};  // VT_EMPTY and VT_NULL: the byte 0
  const char type = vt == VT_EMPTY || vt == VT_NULL ? 'y' : NumberPayload(vt, value, &bits);
  *r = out.ScalarVariant(vt, type, bits.data());
  return true;
}

template <typename Out>
HRESULT AppendVariantTo(Out& out, const Variant& value) {
  if constexpr (std::is_same_v<Out, WireWriter>) {
    if (int r; AppendScalarVariant(out, value, &r)) return FromAppend(r);
  }
  const VARTYPE vt = value.vt();
  int r = out.Open('r', "qv");
  if (r >= 0) r = out.Basic('q', &vt);
  if (r >= 0) r = AppendValue(out, value);
  if (r >= 0) r = out.Close();
  return FromAppend(r);
}

// Reading, from an sd-bus message (BusIn) or bytes of our own (WireReader) alike. Every failure
// of the reader means the message is not what it claims to be.

HRESULT Check(int r) {
  return r < 0 ? E_INVALIDARG : S_OK;
}

// Enters the variant at m's position when its signature is exactly expected.
template <typename In>
HRESULT EnterVariant(In& m, const char* expected) {
  const char* contents = nullptr;
  if (m.Peek(nullptr, &contents) <= 0 || !contents) return E_INVALIDARG;
  if (std::string_view(contents) != expected) return E_INVALIDARG;
  return Check(m.Enter('v', expected));
}

template <typename In>
HRESULT ReadText(In& m, Variant* out) {
  const char* text = nullptr;
  if (m.Basic('s', &text) <= 0) return E_INVALIDARG;
  std::optional<Bstr> bstr = Bstr::FromUtf8(text);
  if (!bstr) return E_INVALIDARG;
  *out = Variant::Str(std::move(*bstr));
  return S_OK;
}

template <typename In, typename T>
HRESULT ReadBasic(In& m, char type, T* x) {
  return m.Basic(type, x) > 0 ? S_OK : E_INVALIDARG;
}

template <typename In>
HRESULT ReadVariantFrom(In& m, Variant* value);

// Reads the bare value of a scalar of type vt (or a whole "(qv)" for VT_VARIANT).
template <typename In>
HRESULT ReadPayload(In& m, VARTYPE vt, Variant* out) {
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL: {
      uint8_t zero = 1;
      if (ReadBasic(m, 'y', &zero) != S_OK || zero != 0) return E_INVALIDARG;
      *out = vt == VT_NULL ? Variant::Null() : Variant();
      return S_OK;
    }
    case VT_BSTR:
      return ReadText(m, out);
    case VT_DECIMAL: {
      Decimal d;
      if (m.Enter('r', "yyut") <= 0 || m.Basic('y', &d.scale) <= 0 || m.Basic('y', &d.sign) <= 0 ||
          m.Basic('u', &d.hi) <= 0 || m.Basic('t', &d.lo) <= 0 || m.Exit() < 0) {
        return E_INVALIDARG;
      }
      if (!IsValidDecimal(d)) return E_INVALIDARG;
      *out = Variant::Dec(d);
      return S_OK;
    }
    case VT_VARIANT:
      return ReadVariantFrom(m, out);
  }
  const char type = ScalarSignature(vt)[0];
  switch (type) {
    case 'n': {
      int16_t x = 0;
      if (ReadBasic(m, type, &x) != S_OK) return E_INVALIDARG;
      if (vt == VT_I1 && (x < INT8_MIN || x > INT8_MAX)) return E_INVALIDARG;
      *out = Variant::Signed(vt, x);
      return S_OK;
    }
    case 'i': {
      int32_t x = 0;
      if (ReadBasic(m, type, &x) != S_OK) return E_INVALIDARG;
      *out = Variant::Signed(vt, x);
      return S_OK;
    }
    case 'x': {
      int64_t x = 0;
      if (ReadBasic(m, type, &x) != S_OK) return E_INVALIDARG;
      *out = Variant::Signed(vt, x);
      return S_OK;
    }
    case 'd': {
      double x = 0;
      if (ReadBasic(m, type, &x) != S_OK) return E_INVALIDARG;
      if (vt == VT_R4 && std::isfinite(x) && std::fabs(x) > FLT_MAX) return E_INVALIDARG;
      *out = Variant::Real(vt, x);
      return S_OK;
    }
    case 'y': {
      uint8_t x = 0;
      if (ReadBasic(m, type, &x) != S_OK) return E_INVALIDARG;
      *out = Variant::Unsigned(vt, x);
      return S_OK;
    }
    case 'q': {
      uint16_t x = 0;
      if (ReadBasic(m, type, &x) != S_OK) return E_INVALIDARG;
      *out = Variant::Unsigned(vt, x);
      return S_OK;
    }
    case 'u': {
      uint32_t x = 0;
      if (ReadBasic(m, type, &x) != S_OK) return E_INVALIDARG;
      *out = Variant::Unsigned(vt, x);
      return S_OK;
    }
    default: {
      uint64_t x = 0;
      if (ReadBasic(m, 't', &x) != S_OK) return E_INVALIDARG;
      *out = Variant::Unsigned(vt, x);
      return S_OK;
    }
  }
}

template <typename In>
HRESULT ReadBounds(In& m, std::vector<ArrayBound>* bounds) {
  if (m.Enter('a', "(ii)") <= 0) return E_INVALIDARG;
  int32_t lower = 0, count = 0;
  int r;
  while ((r = m.Enter('r', "ii")) > 0) {
    if (m.Basic('i', &lower) <= 0 || m.Basic('i', &count) <= 0 || m.Exit() < 0) return E_INVALIDARG;
    if (count < 0) return E_INVALIDARG;
    bounds->push_back({lower, static_cast<uint32_t>(count)});
  }
  if (r < 0 || bounds->empty()) return E_INVALIDARG;
  return Check(m.Exit());
}

// *out from make(), which builds a SafeArray: the array checks its bounds against the elements
// actually read, so whatever it refuses came malformed.
template <typename Make>
HRESULT MakeArray(Make make, Variant* out) {
  try {
    *out = Variant::Array(make());
    return S_OK;
  } catch (const std::invalid_argument&) {
    return E_INVALIDARG;
  }
}

// The "ay" of a byte array in one piece, kept as bytes.
template <typename In>
HRESULT ReadBytes(In& m, std::vector<ArrayBound> bounds, Variant* out) {
  const void* data = nullptr;
  size_t size = 0;
  if (m.Array('y', &data, &size) < 0) return E_INVALIDARG;
  const auto* bytes = static_cast<const uint8_t*>(data);
  return MakeArray(
      [&] { return SafeArray(std::move(bounds), std::vector<uint8_t>(bytes, bytes + size)); }, out);
}

// The elements of any other array, one by one.
template <typename In>
HRESULT ReadElements(In& m, VARTYPE elementType, std::vector<ArrayBound> bounds, Variant* out) {
  if (m.Enter('a', ElementSignature(elementType)) <= 0) {
    return E_INVALIDARG;
  }
  // Elements are counted as they are read, so no size from the message is trusted; room for
  // the count the bounds give is made at once, up to a fixed amount, which spares the moves of
  // a growing vector without letting a peer's claim reserve more.
  constexpr size_t kMostReserved = (size_t{32} << 20) / sizeof(Variant);
  size_t claimed = 1;
  for (const ArrayBound& b : bounds)
    claimed = std::min(kMostReserved, claimed * std::min<size_t>(b.count, kMostReserved));
  std::vector<Variant> elements;
  elements.reserve(claimed);
  int more;
  while ((more = m.AtEnd()) == 0) {
    // Read into its place: a Variant read aside and moved in cost a move and a clearing each.
    if (const HRESULT hr = ReadPayload(m, elementType, &elements.emplace_back()); hr != S_OK) {
      return hr;
    }
  }
  if (more < 0 || m.Exit() < 0) return E_INVALIDARG;
  return MakeArray([&] { return SafeArray(elementType, std::move(bounds), std::move(elements)); },
                   out);
}

// An array's payload, the struct "(a(ii)aE)" (AppendArrayStruct).
template <typename In>
HRESULT ReadArrayStruct(In& m, VARTYPE elementType, Variant* out) {
  if (m.Enter('r', ("a(ii)a" + std::string(ElementSignature(elementType))).c_str()) <= 0) {
    return E_INVALIDARG;
  }
  std::vector<ArrayBound> bounds;
  HRESULT hr = ReadBounds(m, &bounds);
  if (hr != S_OK) return hr;
  Variant array;
  hr = elementType == VT_UI1 ? ReadBytes(m, std::move(bounds), &array)
                             : ReadElements(m, elementType, std::move(bounds), &array);
  if (hr != S_OK) return hr;
  if (m.Exit() < 0) return E_INVALIDARG;
  *out = std::move(array);
  return S_OK;
}

template <typename In>
HRESULT ReadArray(In& m, VARTYPE elementType, Variant* out) {
  HRESULT hr =
      EnterVariant(m, ("(a(ii)a" + std::string(ElementSignature(elementType)) + ")").c_str());
  if (hr == S_OK) hr = ReadArrayStruct(m, elementType, out);
  if (hr == S_OK && m.Exit() < 0) hr = E_INVALIDARG;
  return hr;
}

// A packed array (AppendVariantPacked): its payload's bytes, read by our own reader. A packed
// array holds no other packed one, which bounds how deep reading goes.
// One for every reader type: a packed array read through sd-bus is decoded by our own reader.
thread_local bool readingPacked = false;

template <typename In>
HRESULT ReadPackedArray(In& m, VARTYPE elementType, Variant* out) {
  bool& inside = readingPacked;
  const void* data = nullptr;
  size_t size = 0;
  if (inside || m.Enter('v', "ay") <= 0 || m.Array('y', &data, &size) < 0 || m.Exit() < 0) {
    return E_INVALIDARG;
  }
  // Read where it lies: its values are aligned from its first byte, as a body's are from the
  // body's start, and the reader counts alignment from there (a copy cost a big result's size).
  const std::string_view bytes(static_cast<const char*>(data), size);
  const std::string signature = "(a(ii)a" + std::string(ElementSignature(elementType)) + ")";
  WireReader packed(bytes, signature);
  inside = true;
  Variant array;
  HRESULT hr = ReadArrayStruct(packed, elementType, &array);
  inside = false;
  // Nothing may follow the payload.
  if (hr == S_OK && packed.Position() != bytes.size()) hr = E_INVALIDARG;
  if (hr == S_OK) *out = std::move(array);
  return hr;
}

template <typename In>
HRESULT ReadCodeUnits(In& m, Variant* out) {
  const void* data = nullptr;
  size_t size = 0;
  if (m.Array('q', &data, &size) < 0) return E_INVALIDARG;
  // Copied bytewise: a reader aligns offsets within its bytes, not addresses in memory.
  std::u16string units(size / 2, u'\0');
  std::memcpy(units.data(), data, units.size() * 2);
  *out = Variant::Str(Bstr(std::move(units)));
  return S_OK;
}

template <typename In>
HRESULT ReadValue(In& m, VARTYPE vt, Variant* out) {
  if (vt & VT_ARRAY) {
    const VARTYPE elementType = vt & ~VT_ARRAY;
    if (!IsArrayElementType(elementType)) return DISP_E_BADVARTYPE;
    const char* contents = nullptr;
    if (m.Peek(nullptr, &contents) <= 0 || !contents) return E_INVALIDARG;
    return std::string_view(contents) == "ay" ? ReadPackedArray(m, elementType, out)
                                              : ReadArray(m, elementType, out);
  }
  const char* signature = ScalarSignature(vt);
  if (!signature) return DISP_E_BADVARTYPE;
  const char* contents = nullptr;
  if (m.Peek(nullptr, &contents) <= 0 || !contents) return E_INVALIDARG;
  const bool codeUnits = vt == VT_BSTR && std::string_view(contents) == "aq";
  // EnterVariant's check, on what was peeked already: peeking is a good part of a scalar's cost.
  const char* expected = codeUnits ? "aq" : signature;
  if (std::string_view(contents) != expected) return E_INVALIDARG;
  HRESULT hr = Check(m.Enter('v', expected));
  if (hr == S_OK) hr = codeUnits ? ReadCodeUnits(m, out) : ReadPayload(m, vt, out);
  if (hr == S_OK) hr = Check(m.Exit());
  return hr;
}

template <typename In>
HRESULT ReadVariantFrom(In& m, Variant* value) {
  if constexpr (std::is_same_v<In, WireReader>) {
    // Our own reader takes a scalar's "(qv)" in one step; its payload is read and checked as
    // any other's.
    VARTYPE vt = VT_EMPTY;
    char type = 0;
    if (const int r = m.EnterScalarVariant(&vt, &type); r != 0) {
      if (r < 0) return E_INVALIDARG;
      // The answers the three calls' way gives for a VARIANT that is not this one's.
      if (vt & VT_ARRAY) {
        return IsArrayElementType(vt & ~VT_ARRAY) ? E_INVALIDARG : DISP_E_BADVARTYPE;
      }
      const char* expected = ScalarSignature(vt);
      if (!expected) return DISP_E_BADVARTYPE;
      if (expected[1] != '\0' || type != expected[0]) return E_INVALIDARG;
      HRESULT hr = ReadPayload(m, vt, value);
      for (int level = 0; level < 2 && hr == S_OK; ++level) {
        if (m.Exit() < 0) hr = E_INVALIDARG;
      }
      return hr;
    }
  }
  if (m.Enter('r', "qv") <= 0) return E_INVALIDARG;
  VARTYPE vt = VT_EMPTY;
  HRESULT hr = ReadBasic(m, 'q', &vt);
  if (hr == S_OK) hr = ReadValue(m, vt, value);
  if (hr == S_OK) hr = Check(m.Exit());
  return hr;
}

// An array as the bytes of its own marshalling (limit bounds them), anything else as always.
template <typename Out>
HRESULT AppendVariantPackedTo(Out& out, const Variant& value, size_t limit) {
  if (!value.IsArray()) return AppendVariantTo(out, value);
  const VARTYPE vt = value.vt();
  int r = out.Open('r', "qv");
  if (r >= 0) r = out.Basic('q', &vt);
  if (r >= 0) r = out.Open('v', "ay");
  if constexpr (std::is_same_v<Out, WireWriter>) {
    // Our own writer writes it in place: a big result is not held twice.
    if (r >= 0) r = out.Embedded([&] { return AppendArrayStruct(out, value.AsArray()); });
  } else {
    WireWriter payload(limit);
    if (r >= 0) r = AppendArrayStruct(payload, value.AsArray());
    if (r >= 0) r = out.Array('y', payload.Bytes().data(), payload.Bytes().size());
  }
  if (r >= 0) r = out.Close();
  if (r >= 0) r = out.Close();
  return FromAppend(r);
}

// What append answers, E_OUTOFMEMORY when memory runs out on the way: the elements of a made
// array take theirs as they are written, and a message that cannot grow is what the caller is
// told of in any case.
template <typename Append>
HRESULT Guarded(Append append) {
  try {
    return append();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace

HRESULT AppendVariant(sd_bus_message* m, const Variant& value) {
  BusOut out{m};
  return Guarded([&] { return AppendVariantTo(out, value); });
}

HRESULT AppendVariant(WireWriter& out, const Variant& value) {
  return Guarded([&] { return AppendVariantTo(out, value); });
}

HRESULT AppendVariantPacked(WireWriter& out, const Variant& value) {
  return Guarded([&] { return AppendVariantPackedTo(out, value, out.Limit()); });
}

HRESULT AppendVariantPacked(sd_bus_message* m, const Variant& value) {
  BusOut out{m};
  return Guarded([&] { return AppendVariantPackedTo(out, value, kLargestMessage); });
}

int AppendText(sd_bus_message* m, const Bstr& text) {
  BusOut out{m};
  return AppendTextTo(out, text);
}

int AppendText(WireWriter& out, const Bstr& text) {
  return AppendTextTo(out, text);
}

HRESULT ReadVariant(sd_bus_message* m, Variant* value) {
  BusIn in{m};
  return ReadVariantFrom(in, value);
}

HRESULT ReadVariant(WireReader& in, Variant* value) {
  return ReadVariantFrom(in, value);
}

}  // namespace vorlix
