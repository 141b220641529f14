// The general sort order of Text and Memo values: text compared without regard to case for all
// of Unicode, each letter with its accents next to its base letter, accents still telling
// values apart ("e" < "é" < "f", "ZOË" = "zoë"). SQLite knows it as the collation
// kTextCollation: the engine registers it on every connection it opens, and other programs
// load it as an extension (CollationExtension.cpp).
//
// The order is the root collation of ICU at secondary strength (case ignored, accents not).
// Strings that order ties are told apart by their case-folded code points, so only text that
// differs in case alone is equal: "a\0b" and "ab" stay two values. The folding is simple (one
// code point to one): "ß" equals "ẞ" but not "ss", which is another word ("Maße", "Masse").
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

struct UCollator;

namespace vorlix {

inline constexpr char kTextCollation[] = "GENERAL";

// Compares UTF-8 text in the general order, one call at a time (each SQLite connection has its
// own).
class TextOrder {
 public:
  // nullptr when ICU cannot open its root collation (its data is missing, or memory).
  static TextOrder* New();
  ~TextOrder();
  TextOrder(const TextOrder&) = delete;
  TextOrder& operator=(const TextOrder&) = delete;

  // Negative, 0 or positive as a sorts before, with or after b. Both are compared whole, NULs
  // included; a byte that is not part of a UTF-8 character orders as a value of its own.
  int Compare(std::string_view a, std::string_view b) const;

 private:
  TextOrder(UCollator* collator, const std::array<uint8_t, 256>& ranks)
      : collator_(collator), ranks_(ranks) {}
  int CompareUnicode(std::string_view a, std::string_view b) const;

  UCollator* collator_;
  const std::array<uint8_t, 256>& ranks_;  // of ASCII characters, for the fast path
};

// The callbacks of sqlite3_create_collation_v2 for a collation whose argument is a TextOrder.
int CompareText(void* order, int aSize, const void* a, int bSize, const void* b);
void DestroyTextOrder(void* order);

}  // namespace vorlix
