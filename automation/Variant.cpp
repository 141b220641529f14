#include "automation/Variant.h"

#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "automation/SafeArray.h"

namespace vorlix {
namespace {

Payload PayloadOf(VARTYPE vt) {
  Payload p = Payload::kNone;
  if (!ScalarPayload(vt, &p)) throw std::logic_error("Variant: unknown VARTYPE " + VarTypeName(vt));
  return p;
}

void Require(bool ok, const char* what) {
  if (!ok) throw std::logic_error(what);
}

}  // namespace

Variant::Variant() {}

Variant::~Variant() {
  Clear();
}

void Variant::Clear() noexcept {
  if (IsArray()) {
    delete array_;
  } else if (vt_ == VT_BSTR) {
    str_.~Bstr();
  }
  vt_ = VT_EMPTY;
  scalar_ = Scalar{0};
}

void Variant::Take(Variant& other) noexcept {
  if (other.IsArray()) {
    array_ = other.array_;
  } else if (other.vt_ == VT_BSTR) {
    new (&str_) Bstr(std::move(other.str_));
    other.str_.~Bstr();
  } else if (other.vt_ == VT_DECIMAL) {
    new (&decimal_) Decimal(other.decimal_);
  } else {
    scalar_ = other.scalar_;
  }
  vt_ = other.vt_;
  // The array, if any, is this one's now: other forgets it rather than freeing it.
  other.vt_ = VT_EMPTY;
  other.scalar_ = Scalar{0};
}

Variant::Variant(const Variant& other) {
  // The type is set once the value is whole: a copy that throws leaves VT_EMPTY to destroy.
  if (other.IsArray()) {
    array_ = new SafeArray(*other.array_);
  } else if (other.vt_ == VT_BSTR) {
    new (&str_) Bstr(other.str_);
  } else if (other.vt_ == VT_DECIMAL) {
    new (&decimal_) Decimal(other.decimal_);
  } else {
    scalar_ = other.scalar_;
  }
  vt_ = other.vt_;
}

Variant::Variant(Variant&& other) noexcept {
  Take(other);
}

Variant& Variant::operator=(const Variant& other) {
  if (this != &other) *this = Variant(other);
  return *this;
}

Variant& Variant::operator=(Variant&& other) noexcept {
  if (this != &other) {
    Clear();
    Take(other);
  }
  return *this;
}

Variant Variant::Null() {
  Variant v;
  v.vt_ = VT_NULL;
  return v;
}

Variant Variant::Signed(VARTYPE vt, int64_t value) {
  Require(PayloadOf(vt) == Payload::kSigned, "Variant::Signed: not a signed type");
  Variant v;
  v.vt_ = vt;
  switch (ValueBits(vt)) {
    case 8:
      v.scalar_.i = static_cast<int8_t>(value);
      break;
    case 16:
      v.scalar_.i = static_cast<int16_t>(value);
      break;
    case 32:
      v.scalar_.i = static_cast<int32_t>(value);
      break;
    default:
      v.scalar_.i = value;
      break;
  }
  return v;
}

Variant Variant::Unsigned(VARTYPE vt, uint64_t value) {
  Require(PayloadOf(vt) == Payload::kUnsigned, "Variant::Unsigned: not an unsigned type");
  Variant v;
  v.vt_ = vt;
  switch (ValueBits(vt)) {
    case 8:
      v.scalar_.u = static_cast<uint8_t>(value);
      break;
    case 16:
      v.scalar_.u = static_cast<uint16_t>(value);
      break;
    case 32:
      v.scalar_.u = static_cast<uint32_t>(value);
      break;
    default:
      v.scalar_.u = value;
      break;
  }
  return v;
}

Variant Variant::Real(VARTYPE vt, double value) {
  Require(PayloadOf(vt) == Payload::kReal, "Variant::Real: not a real type");
  Variant v;
  v.vt_ = vt;
  v.scalar_.d = vt == VT_R4 ? static_cast<double>(static_cast<float>(value)) : value;
  return v;
}

Variant Variant::Str(Bstr value) {
  Variant v;
  new (&v.str_) Bstr(std::move(value));
  v.vt_ = VT_BSTR;
  return v;
}

Variant Variant::Dec(Decimal value) {
  Variant v;
  new (&v.decimal_) Decimal(value);
  v.vt_ = VT_DECIMAL;
  return v;
}

Variant Variant::Array(SafeArray a) {
  Variant v;
  const VARTYPE vt = VT_ARRAY | a.ElementType();
  v.array_ = new SafeArray(std::move(a));
  v.vt_ = vt;
  return v;
}

Payload Variant::payload() const {
  return IsArray() ? Payload::kNone : PayloadOf(vt_);
}

int64_t Variant::AsSigned() const {
  Require(payload() == Payload::kSigned, "Variant: not a signed value");
  return scalar_.i;
}

uint64_t Variant::AsUnsigned() const {
  Require(payload() == Payload::kUnsigned, "Variant: not an unsigned value");
  return scalar_.u;
}

double Variant::AsReal() const {
  Require(payload() == Payload::kReal, "Variant: not a real value");
  return scalar_.d;
}

const Bstr& Variant::AsBstr() const {
  Require(vt_ == VT_BSTR, "Variant: not a string");
  return str_;
}

const Decimal& Variant::AsDecimal() const {
  Require(vt_ == VT_DECIMAL, "Variant: not a decimal");
  return decimal_;
}

const SafeArray& Variant::AsArray() const {
  Require(IsArray(), "Variant: not an array");
  return *array_;
}

SafeArray& Variant::AsArray() {
  Require(IsArray(), "Variant: not an array");
  return *array_;
}

bool Variant::AsBool() const {
  Require(vt_ == VT_BOOL, "Variant: not a Boolean");
  return scalar_.i != 0;
}

bool operator==(const Variant& a, const Variant& b) {
  if (a.vt_ != b.vt_) return false;
  if (a.IsArray()) return *a.array_ == *b.array_;
  switch (a.payload()) {
    case Payload::kNone:
      return true;
    case Payload::kSigned:
      return a.scalar_.i == b.scalar_.i;
    case Payload::kUnsigned:
      return a.scalar_.u == b.scalar_.u;
    case Payload::kReal:
      return std::memcmp(&a.scalar_.d, &b.scalar_.d, sizeof(double)) == 0;
    case Payload::kString:
      return a.str_ == b.str_;
    case Payload::kDecimal:
      return a.decimal_ == b.decimal_;
  }
  return false;
}

}  // namespace vorlix
