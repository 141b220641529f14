// SafeArray: an Automation array. It keeps its element type and one (lower bound, count) pair
// per dimension; elements are held in array order, the first index varying fastest.
// Multi-dimensional arrays and arrays of other elements than VARIANT exist so that methods can
// recognise and refuse them. An array of VT_UI1 holds plain bytes: binary values run to many
// megabytes, and a Variant for each byte would take some eighty times their size.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "automation/Variant.h"

namespace vorlix {

struct ArrayBound {
  int32_t lower = 0;
  uint32_t count = 0;

  friend bool operator==(const ArrayBound&, const ArrayBound&) = default;
};

// The elements of a one-dimensional VARIANT array, made as they are read. An array that is only
// walked once, as a big result is when it is written into a reply, then never holds a Variant
// per element: each costs 40 bytes and many an allocation, more than the value takes on the
// wire.
class ElementSource {
 public:
  virtual ~ElementSource() = default;
  virtual size_t Count() const = 0;
  // Calls each with every element in order until it answers false; false then, else true. An
  // element lives for its call only. Every walk makes the same elements.
  virtual bool ForEach(const std::function<bool(const Variant&)>& each) const = 0;
};

class SafeArray {
 public:
  // An array of elementType (IsArrayElementType must hold) with the given bounds, first
  // dimension first; every element starts as the type's zero (VT_EMPTY for VT_VARIANT).
  // Throws std::invalid_argument for a bad element type, no dimension, or a bound whose last
  // index would pass INT32_MAX.
  SafeArray(VARTYPE elementType, std::vector<ArrayBound> bounds);
  // The same holding elements in array order; also std::invalid_argument for an element not of
  // elementType (unless that is VT_VARIANT) or a number of elements other than bounds give.
  SafeArray(VARTYPE elementType, std::vector<ArrayBound> bounds, std::vector<Variant> elements);
  // A VT_UI1 array with the given bounds holding bytes in array order; std::invalid_argument
  // as above.
  SafeArray(std::vector<ArrayBound> bounds, std::vector<uint8_t> bytes);

  // A one-dimensional array from lower upwards holding elements; each must be of elementType
  // unless that is VT_VARIANT (std::invalid_argument otherwise).
  static SafeArray Vector(VARTYPE elementType, int32_t lower, std::vector<Variant> elements);
  // A one-dimensional VT_UI1 array from 0 holding bytes.
  static SafeArray ByteVector(std::vector<uint8_t> bytes);
  // A one-dimensional VARIANT array from lower whose elements source makes: ForEach walks them
  // without keeping them; the first call that needs them all at once (Elements, At, Set, ==)
  // makes and keeps them, once for the array and every copy of it.
  static SafeArray Made(int32_t lower, std::shared_ptr<const ElementSource> source);

  VARTYPE ElementType() const { return elementType_; }
  const std::vector<ArrayBound>& Bounds() const { return bounds_; }
  size_t Dims() const { return bounds_.size(); }
  int32_t LowerBound(size_t dim = 0) const;
  // The last valid index of dim; lower bound - 1 when the dimension is empty.
  int32_t UpperBound(size_t dim = 0) const;
  size_t Count() const;
  // The elements in array order of an array of any type but VT_UI1; std::logic_error for a
  // byte array, which keeps its Bytes() instead.
  const std::vector<Variant>& Elements() const;
  // Calls each with every element in array order until it answers false; false then, else
  // true. std::logic_error for a byte array.
  bool ForEach(const std::function<bool(const Variant&)>& each) const;
  // Makes a made array's elements now and lets its source go: an array like any other after.
  void MakeAll();
  // The bytes in array order of a VT_UI1 array; std::logic_error for any other.
  const std::vector<uint8_t>& Bytes() const;

  // Element access by index counted from the lower bound (At(lower) is the first element).
  // One index per dimension; std::out_of_range when an index lies outside its bounds or the
  // number of indices differs from Dims(). An element of a byte array is a VT_UI1 Variant
  // shared by every byte of its value, valid as long as the program runs.
  const Variant& At(std::span<const int32_t> indices) const;
  const Variant& At(int32_t index) const { return At(std::span<const int32_t>(&index, 1)); }
  // Replaces an element; std::invalid_argument when value's type does not fit the array.
  void Set(std::span<const int32_t> indices, Variant value);
  void Set(int32_t index, Variant value) {
    Set(std::span<const int32_t>(&index, 1), std::move(value));
  }

  friend bool operator==(const SafeArray& a, const SafeArray& b);

 private:
  struct Making;

  size_t Offset(std::span<const int32_t> indices) const;

  VARTYPE elementType_;
  std::vector<ArrayBound> bounds_;
  std::vector<Variant> elements_;  // every element type but VT_UI1
  std::vector<uint8_t> bytes_;     // VT_UI1
  std::shared_ptr<Making> made_;   // a made array's, shared by its copies; elements_ empty
};

}  // namespace vorlix
