#include "automation/SafeArray.h"

#include <limits>
#include <stdexcept>

namespace vorlix {
namespace {

// The value every element of a new array starts with.
Variant ZeroOf(VARTYPE elementType) {
  Payload p = Payload::kNone;
  ScalarPayload(elementType, &p);
  switch (p) {
    case Payload::kSigned:
      return Variant::Signed(elementType, 0);
    case Payload::kUnsigned:
      return Variant::Unsigned(elementType, 0);
    case Payload::kReal:
      return Variant::Real(elementType, 0);
    case Payload::kString:
      return Variant::Str(Bstr());
    case Payload::kDecimal:
      return Variant::Dec(Decimal());
    case Payload::kNone:
      break;
  }
  return Variant();  // VT_VARIANT elements
}

bool Fits(VARTYPE elementType, const Variant& value) {
  return elementType == VT_VARIANT || value.vt() == elementType;
}

}  // namespace

SafeArray::SafeArray(VARTYPE elementType, std::vector<ArrayBound> bounds)
    : elementType_(elementType), bounds_(std::move(bounds)) {
  if (!IsArrayElementType(elementType_)) {
    throw std::invalid_argument("SafeArray: bad element type " + VarTypeName(elementType_));
  }
  if (bounds_.empty()) throw std::invalid_argument("SafeArray: no dimension");
  size_t total = 1;
  for (const ArrayBound& b : bounds_) {
    const int64_t last = int64_t{b.lower} + b.count - 1;
    if (last > std::numeric_limits<int32_t>::max()) {
      throw std::invalid_argument("SafeArray: bound past the largest index");
    }
    total *= b.count;
  }
  elements_.assign(total, ZeroOf(elementType_));
}

SafeArray SafeArray::Vector(VARTYPE elementType, int32_t lower, std::vector<Variant> elements) {
  SafeArray a(elementType, {ArrayBound{lower, 0}});
  for (const Variant& e : elements) {
    if (!Fits(elementType, e)) {
      throw std::invalid_argument("SafeArray: element of type " + VarTypeName(e.vt()) +
                                  " in an array of " + VarTypeName(elementType));
    }
  }
  a.bounds_[0].count = static_cast<uint32_t>(elements.size());
  if (int64_t{lower} + a.bounds_[0].count - 1 > std::numeric_limits<int32_t>::max()) {
    throw std::invalid_argument("SafeArray: bound past the largest index");
  }
  a.elements_ = std::move(elements);
  return a;
}

int32_t SafeArray::LowerBound(size_t dim) const {
  return bounds_.at(dim).lower;
}

int32_t SafeArray::UpperBound(size_t dim) const {
  const ArrayBound& b = bounds_.at(dim);
  return static_cast<int32_t>(int64_t{b.lower} + b.count - 1);
}

size_t SafeArray::Offset(std::span<const int32_t> indices) const {
  if (indices.size() != bounds_.size()) throw std::out_of_range("SafeArray: wrong index count");
  size_t offset = 0;
  size_t stride = 1;
  for (size_t d = 0; d < bounds_.size(); ++d) {
    const int64_t rel = int64_t{indices[d]} - bounds_[d].lower;
    if (rel < 0 || rel >= bounds_[d].count)
      throw std::out_of_range("SafeArray: index out of bounds");
    offset += static_cast<size_t>(rel) * stride;
    stride *= bounds_[d].count;
  }
  return offset;
}

const Variant& SafeArray::At(std::span<const int32_t> indices) const {
  return elements_[Offset(indices)];
}

void SafeArray::Set(std::span<const int32_t> indices, Variant value) {
  if (!Fits(elementType_, value)) {
    throw std::invalid_argument("SafeArray: element of type " + VarTypeName(value.vt()) +
                                " in an array of " + VarTypeName(elementType_));
  }
  elements_[Offset(indices)] = std::move(value);
}

}  // namespace vorlix
