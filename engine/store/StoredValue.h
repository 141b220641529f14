// StoredValue and StoredView: a value in one of SQLite's storage classes, owning its bytes or
// seeing them where they live.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vorlix {

// A value in the form SQLite stores it.
struct StoredValue {
  enum Kind { kNull, kInteger, kReal, kText, kBlob } kind = kNull;
  int64_t integer = 0;
  double real = 0;
  std::string bytes;  // the text (UTF-8) or the blob
  bool operator==(const StoredValue&) const = default;
};

// A stored value whose text or blob bytes live elsewhere: in SQLite until its statement moves
// on, in a StoredValue, or in a snapshot's rows.
struct StoredView {
  StoredValue::Kind kind = StoredValue::kNull;
  int64_t integer = 0;
  double real = 0;
  std::string_view bytes;
};

// value seen as a view; its bytes are value's, valid while value lives unchanged.
inline StoredView ViewOf(const StoredValue& value) {
  return {value.kind, value.integer, value.real, value.bytes};
}

// What view sees, with bytes of its own.
inline StoredValue Owned(const StoredView& view) {
  return {view.kind, view.integer, view.real, std::string(view.bytes)};
}

}  // namespace vorlix
