#include "automation/SafeArray.h"

#include <array>
#include <limits>
#include <mutex>
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

// The one VT_UI1 Variant of each byte value, which At() hands out for an element of a byte
// array: those arrays keep bytes, not Variants to refer to.
const Variant& ByteVariant(uint8_t byte) {
  static const std::array<Variant, 256> kBytes = [] {
    std::array<Variant, 256> bytes;
    for (size_t b = 0; b < bytes.size(); ++b)
      bytes[b] = Variant::Unsigned(VT_UI1, b);
    return bytes;
  }();
  return kBytes[byte];
}

void RequireElementType(VARTYPE elementType) {
  if (!IsArrayElementType(elementType)) {
    throw std::invalid_argument("SafeArray: bad element type " + VarTypeName(elementType));
  }
}

void RequireFit(VARTYPE elementType, const Variant& value) {
  if (elementType != VT_VARIANT && value.vt() != elementType) {
    throw std::invalid_argument("SafeArray: element of type " + VarTypeName(value.vt()) +
                                " in an array of " + VarTypeName(elementType));
  }
}

// The number of elements bounds describe. std::invalid_argument for no dimension, a bound
// whose last index passes INT32_MAX, or a number no memory could hold.
size_t ElementCount(const std::vector<ArrayBound>& bounds) {
  if (bounds.empty()) throw std::invalid_argument("SafeArray: no dimension");
  bool empty = false;
  for (const ArrayBound& b : bounds) {
    if (int64_t{b.lower} + b.count - 1 > std::numeric_limits<int32_t>::max()) {
      throw std::invalid_argument("SafeArray: bound past the largest index");
    }
    empty = empty || b.count == 0;
  }
  if (empty) return 0;
  size_t total = 1;
  for (const ArrayBound& b : bounds) {
    if (total > std::numeric_limits<size_t>::max() / b.count) {
      throw std::invalid_argument("SafeArray: more elements than memory holds");
    }
    total *= b.count;
  }
  return total;
}

void RequireCount(const std::vector<ArrayBound>& bounds, size_t count) {
  if (ElementCount(bounds) != count) {
    throw std::invalid_argument("SafeArray: " + std::to_string(count) +
                                " elements for other bounds");
  }
}

// The bound of a dimension from lower holding count elements.
ArrayBound Dimension(int32_t lower, size_t count) {
  if (count > std::numeric_limits<uint32_t>::max()) {
    throw std::invalid_argument("SafeArray: bound past the largest index");
  }
  return {lower, static_cast<uint32_t>(count)};
}

}  // namespace

// What a made array walks, and its elements once something needed them all.
struct SafeArray::Making {
  std::shared_ptr<const ElementSource> source;
  std::once_flag once;  // copies may be read from several threads
  std::vector<Variant> elements;
};

SafeArray::SafeArray(VARTYPE elementType, std::vector<ArrayBound> bounds)
    : elementType_(elementType), bounds_(std::move(bounds)) {
  RequireElementType(elementType_);
  const size_t count = ElementCount(bounds_);
  if (elementType_ == VT_UI1) {
    bytes_.assign(count, 0);
  } else {
    elements_.assign(count, ZeroOf(elementType_));
  }
}

SafeArray::SafeArray(VARTYPE elementType, std::vector<ArrayBound> bounds,
                     std::vector<Variant> elements)
    : elementType_(elementType), bounds_(std::move(bounds)) {
  RequireElementType(elementType_);
  RequireCount(bounds_, elements.size());
  for (const Variant& e : elements)
    RequireFit(elementType_, e);
  if (elementType_ != VT_UI1) {
    elements_ = std::move(elements);
    return;
  }
  bytes_.reserve(elements.size());
  for (const Variant& e : elements)
    bytes_.push_back(static_cast<uint8_t>(e.AsUnsigned()));
}

SafeArray::SafeArray(std::vector<ArrayBound> bounds, std::vector<uint8_t> bytes)
    : elementType_(VT_UI1), bounds_(std::move(bounds)), bytes_(std::move(bytes)) {
  RequireCount(bounds_, bytes_.size());
}

SafeArray SafeArray::Vector(VARTYPE elementType, int32_t lower, std::vector<Variant> elements) {
  const ArrayBound bound = Dimension(lower, elements.size());
  return SafeArray(elementType, {bound}, std::move(elements));
}

SafeArray SafeArray::ByteVector(std::vector<uint8_t> bytes) {
  const ArrayBound bound = Dimension(0, bytes.size());
  return SafeArray({bound}, std::move(bytes));
}

SafeArray SafeArray::Made(int32_t lower, std::shared_ptr<const ElementSource> source) {
  SafeArray array = Vector(VT_VARIANT, lower, {});
  array.bounds_ = {Dimension(lower, source->Count())};
  array.made_ = std::make_shared<Making>();
  array.made_->source = std::move(source);
  return array;
}

int32_t SafeArray::LowerBound(size_t dim) const {
  return bounds_.at(dim).lower;
}

int32_t SafeArray::UpperBound(size_t dim) const {
  const ArrayBound& b = bounds_.at(dim);
  return static_cast<int32_t>(int64_t{b.lower} + b.count - 1);
}

size_t SafeArray::Count() const {
  if (made_) return made_->source->Count();
  return elementType_ == VT_UI1 ? bytes_.size() : elements_.size();
}

const std::vector<Variant>& SafeArray::Elements() const {
  if (elementType_ == VT_UI1) throw std::logic_error("SafeArray: a byte array keeps bytes");
  if (!made_) return elements_;
  Making& made = *made_;
  std::call_once(made.once, [&made] {
    made.elements.reserve(made.source->Count());
    made.source->ForEach([&made](const Variant& e) {
      made.elements.push_back(e);
      return true;
    });
  });
  return made.elements;
}

void SafeArray::MakeAll() {
  if (!made_) return;
  if (made_.use_count() > 1) {
    elements_ = Elements();  // its copies keep what was made for them all
  } else {
    Elements();
    elements_ = std::move(made_->elements);
  }
  made_.reset();
}

bool SafeArray::ForEach(const std::function<bool(const Variant&)>& each) const {
  if (made_) return made_->source->ForEach(each);
  for (const Variant& e : Elements()) {
    if (!each(e)) return false;
  }
  return true;
}

const std::vector<uint8_t>& SafeArray::Bytes() const {
  if (elementType_ != VT_UI1) throw std::logic_error("SafeArray: not a byte array");
  return bytes_;
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
  const size_t offset = Offset(indices);
  return elementType_ == VT_UI1 ? ByteVariant(bytes_[offset]) : Elements()[offset];
}

void SafeArray::Set(std::span<const int32_t> indices, Variant value) {
  RequireFit(elementType_, value);
  const size_t offset = Offset(indices);
  if (elementType_ == VT_UI1) {
    bytes_[offset] = static_cast<uint8_t>(value.AsUnsigned());
  } else {
    MakeAll();
    elements_[offset] = std::move(value);
  }
}

bool operator==(const SafeArray& a, const SafeArray& b) {
  if (a.elementType_ != b.elementType_ || a.bounds_ != b.bounds_) return false;
  return a.elementType_ == VT_UI1 ? a.bytes_ == b.bytes_ : a.Elements() == b.Elements();
}

}  // namespace vorlix
