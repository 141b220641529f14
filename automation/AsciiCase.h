// Letter case of ASCII, the same in every locale. The names this system matches without regard
// to case (members, keywords, SQL words, type words, registry keys, command-line switches) are
// compared with these; users' text goes through the engine's collation instead.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace vorlix {

template <typename C>
constexpr C AsciiLower(C c) {
  return c >= C('A') && c <= C('Z') ? static_cast<C>(c - C('A') + C('a')) : c;
}

template <typename C>
constexpr C AsciiUpper(C c) {
  return c >= C('a') && c <= C('z') ? static_cast<C>(c - C('a') + C('A')) : c;
}

// Whether a and b are equal but for the case of ASCII letters; a may be UTF-16 text.
inline bool EqualNoCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}
inline bool EqualNoCase(std::u16string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char16_t x, char y) {
    return AsciiLower(x) == AsciiLower(static_cast<char16_t>(static_cast<unsigned char>(y)));
  });
}

// Order without regard to the case of ASCII letters.
inline bool LessNoCase(std::string_view a, std::string_view b) {
  return std::ranges::lexicographical_compare(
      a, b, [](char x, char y) { return AsciiLower(x) < AsciiLower(y); });
}

inline bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

inline std::string AsciiUpper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper)
    c = AsciiUpper(c);
  return upper;
}

}  // namespace vorlix
