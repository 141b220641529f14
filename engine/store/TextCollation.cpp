#include "engine/store/TextCollation.h"

#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

namespace vorlix {
namespace {

// The rank of each ASCII character in the order, a letter's two cases sharing one, by byte. 0
// marks the bytes that the fast path leaves to ICU: those outside ASCII, and the control
// characters the root order ignores.
using AsciiRanks = std::array<uint8_t, 256>;

// Ranks taken from ICU itself, so that the fast path orders as ICU does whatever its version.
// All 0 (no fast path) if ICU fails, or if two characters that are not one letter's two cases
// should ever tie: a tie there would have to be broken as CompareFolded breaks it.
AsciiRanks ComputeRanks() {
  AsciiRanks ranks{};
  UErrorCode status = U_ZERO_ERROR;
  UCollator* collator = ucol_open("", &status);
  if (U_FAILURE(status)) return ranks;
  ucol_setStrength(collator, UCOL_SECONDARY);
  std::vector<std::pair<std::vector<uint8_t>, UChar32>> keys;
  for (UChar32 c = 0; c < 128; ++c) {
    const UChar text = static_cast<UChar>(c);
    uint8_t key[64];
    const int32_t size = ucol_getSortKey(collator, &text, 1, key, sizeof key);
    // A sort key is the primary weights, 01, the secondary weights, 00: a key that begins with
    // the separator is that of a character without weight.
    if (size <= 0 || size > static_cast<int32_t>(sizeof key) || key[0] == 1) continue;
    keys.emplace_back(std::vector<uint8_t>(key, key + size), c);
  }
  ucol_close(collator);
  std::sort(keys.begin(), keys.end());
  uint8_t rank = 0;
  for (size_t i = 0; i < keys.size(); ++i) {
    const bool tie = i > 0 && keys[i].first == keys[i - 1].first;
    if (tie && u_foldCase(keys[i].second, U_FOLD_CASE_DEFAULT) !=
                   u_foldCase(keys[i - 1].second, U_FOLD_CASE_DEFAULT)) {
      return AsciiRanks{};
    }
    if (!tie) ++rank;
    ranks[keys[i].second] = rank;
  }
  return ranks;
}

const AsciiRanks& Ranks() {
  static const AsciiRanks ranks = ComputeRanks();
  return ranks;
}

// The next code point of s from i, case-folded; a byte that begins no UTF-8 character is taken
// alone as a value above every code point.
UChar32 NextFolded(std::string_view s, int32_t& i) {
  const int32_t start = i;
  UChar32 c;
  U8_NEXT(s.data(), i, static_cast<int32_t>(s.size()), c);
  if (c >= 0) return u_foldCase(c, U_FOLD_CASE_DEFAULT);
  i = start + 1;
  return 0x110000 + static_cast<unsigned char>(s[start]);
}

// The tie-break: code point by code point after simple case folding.
int CompareFolded(std::string_view a, std::string_view b) {
  int32_t i = 0, j = 0;
  const int32_t aSize = static_cast<int32_t>(a.size()), bSize = static_cast<int32_t>(b.size());
  while (i < aSize && j < bSize) {
    const UChar32 x = NextFolded(a, i), y = NextFolded(b, j);
    if (x != y) return x < y ? -1 : 1;
  }
  return (i < aSize) - (j < bSize);
}

bool AsciiAfter(std::string_view s, size_t i) {
  return i + 1 >= s.size() || static_cast<unsigned char>(s[i + 1]) < 0x80;
}

}  // namespace

TextOrder* TextOrder::New() {
  UErrorCode status = U_ZERO_ERROR;
  UCollator* collator = ucol_open("", &status);
  if (U_FAILURE(status)) return nullptr;
  ucol_setStrength(collator, UCOL_SECONDARY);
  return new TextOrder(collator, Ranks());
}

TextOrder::~TextOrder() {
  ucol_close(collator_);
}

// ASCII text, most of what is compared, is ordered by the ranks alone while both strings hold
// ranked characters. The root order has contractions that join an ASCII letter with the
// character after it ("l·"), so a rank decides only when the bytes after it are ASCII too; a
// byte outside ASCII at or right after the point of decision leaves the whole to ICU.
int TextOrder::Compare(std::string_view a, std::string_view b) const {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const uint8_t x = ranks_[static_cast<unsigned char>(a[i])];
    const uint8_t y = ranks_[static_cast<unsigned char>(b[i])];
    if (x == y && x != 0) continue;
    if (x == 0 || y == 0 || !AsciiAfter(a, i) || !AsciiAfter(b, i)) return CompareUnicode(a, b);
    return x - y;
  }
  if (a.size() == b.size()) return 0;
  // One is the start of the other: the shorter sorts first unless what follows joins the last
  // character shared.
  const std::string_view longer = a.size() > b.size() ? a : b;
  if (static_cast<unsigned char>(longer[common]) >= 0x80) return CompareUnicode(a, b);
  return a.size() < b.size() ? -1 : 1;
}

int TextOrder::CompareUnicode(std::string_view a, std::string_view b) const {
  UErrorCode status = U_ZERO_ERROR;
  const UCollationResult order =
      ucol_strcollUTF8(collator_, a.data(), static_cast<int32_t>(a.size()), b.data(),
                       static_cast<int32_t>(b.size()), &status);
  // Should ICU fail (memory), the tie-break alone still gives an order that ignores case.
  if (U_SUCCESS(status) && order != UCOL_EQUAL) return order;
  return CompareFolded(a, b);
}

int CompareText(void* order, int aSize, const void* a, int bSize, const void* b) {
  return static_cast<const TextOrder*>(order)->Compare(
      std::string_view(static_cast<const char*>(a), static_cast<size_t>(aSize)),
      std::string_view(static_cast<const char*>(b), static_cast<size_t>(bSize)));
}

void DestroyTextOrder(void* order) {
  delete static_cast<TextOrder*>(order);
}

}  // namespace vorlix
