// Variant: a VARTYPE and its value, with value semantics. Copying copies strings and arrays
// deeply; moving steals them and leaves VT_EMPTY behind. The value shares its room with the
// others a VARTYPE may have: a result reads millions of Variants, so their size is most of what
// such a read costs in memory and in moves.
#pragma once

#include <cstdint>

#include "automation/Bstr.h"
#include "automation/VarType.h"

namespace vorlix {

class SafeArray;

// VT_DECIMAL's value: a 96-bit magnitude, a power-of-ten scale (0..28) and a sign byte (0 or
// 0x80), as Automation lays it out.
struct Decimal {
  uint8_t scale = 0;
  uint8_t sign = 0;
  uint32_t hi = 0;
  uint64_t lo = 0;

  friend bool operator==(const Decimal&, const Decimal&) = default;
};

class Variant {
 public:
  Variant();  // VT_EMPTY
  Variant(const Variant& other);
  Variant(Variant&& other) noexcept;
  Variant& operator=(const Variant& other);
  Variant& operator=(Variant&& other) noexcept;
  ~Variant();

  static Variant Null();
  // A type whose payload is kSigned (VT_I1, VT_I2, VT_I4, VT_I8, VT_INT, VT_BOOL, VT_ERROR,
  // VT_CY); v is narrowed to the type's width as a C cast narrows.
  static Variant Signed(VARTYPE vt, int64_t v);
  // A type whose payload is kUnsigned (VT_UI1, VT_UI2, VT_UI4, VT_UI8, VT_UINT); narrowed alike.
  static Variant Unsigned(VARTYPE vt, uint64_t v);
  // VT_R4 (v is rounded to float), VT_R8 or VT_DATE.
  static Variant Real(VARTYPE vt, double v);
  static Variant I2(int16_t v) { return Signed(VT_I2, v); }
  static Variant I4(int32_t v) { return Signed(VT_I4, v); }
  static Variant R8(double v) { return Real(VT_R8, v); }
  static Variant Bool(bool v) { return Signed(VT_BOOL, v ? VARIANT_TRUE : VARIANT_FALSE); }
  static Variant Date(double days) { return Real(VT_DATE, days); }
  static Variant Currency(int64_t scaled) { return Signed(VT_CY, scaled); }
  static Variant Str(Bstr v);
  static Variant Dec(Decimal v);
  static Variant Array(SafeArray a);  // VT_ARRAY | a's element type

  VARTYPE vt() const { return vt_; }
  bool IsArray() const { return (vt_ & VT_ARRAY) != 0; }

  // Each accessor requires the matching payload and throws std::logic_error otherwise.
  int64_t AsSigned() const;
  uint64_t AsUnsigned() const;
  double AsReal() const;
  const Bstr& AsBstr() const;
  const Decimal& AsDecimal() const;
  const SafeArray& AsArray() const;
  SafeArray& AsArray();
  // VT_BOOL's value is true when it is not 0 (a client may send 1 as well as -1).
  bool AsBool() const;

  // Same VARTYPE and same value; reals compare bit for bit, so a copy always equals its source.
  friend bool operator==(const Variant& a, const Variant& b);

 private:
  union Scalar {
    int64_t i;
    uint64_t u;
    double d;
  };

  Payload payload() const;
  // Ends the value vt_ names and leaves VT_EMPTY.
  void Clear() noexcept;
  // Takes other's value, leaving other VT_EMPTY; this holds none.
  void Take(Variant& other) noexcept;

  VARTYPE vt_ = VT_EMPTY;
  // Which member lives is vt_'s to say: str_ for VT_BSTR, decimal_ for VT_DECIMAL, array_ (owned)
  // for an array, scalar_ for every other.
  union {
    Scalar scalar_{0};
    Decimal decimal_;
    Bstr str_;
    SafeArray* array_;
  };
};

}  // namespace vorlix
