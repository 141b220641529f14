#include "automation/Utf.h"

#include <cstdint>

namespace vorlix {
namespace {

bool IsHighSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

size_t Utf8Size(char32_t cp) {
  return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

// Writes cp's UTF-8 form at out; returns the end of what it wrote.
char* PutUtf8(char32_t cp, char* out) {
  if (cp < 0x80) {
    *out++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out++ = static_cast<char>(0xC0 | (cp >> 6));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (cp >> 12));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (cp >> 18));
    *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

bool IsSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDFFF;
}

// Walks utf16 as code points; an unpaired surrogate is passed to the sink as itself so the
// caller decides whether it is an error or a replacement.
template <typename Sink>
void ForEachCodePoint(std::u16string_view utf16, Sink sink) {
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (IsHighSurrogate(c) && i + 1 < utf16.size() && IsLowSurrogate(utf16[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    }
    sink(c);
  }
}

// How many code units utf16 begins with that are ASCII: most text is, and one byte each needs
// no walk by code point.
size_t AsciiPrefix(std::u16string_view utf16) {
  size_t i = 0;
  while (i < utf16.size() && utf16[i] < 0x80)
    ++i;
  return i;
}

// Walks utf8 as code points, each passed to sink; false at the first byte that is not valid
// UTF-8 (see Utf.h).
template <typename Sink>
bool ForEachUtf8CodePoint(std::string_view utf8, Sink sink) {
  size_t i = 0;
  while (i < utf8.size()) {
    const uint8_t lead = static_cast<uint8_t>(utf8[i]);
    if (lead < 0x80) {
      sink(lead);
      ++i;
      continue;
    }
    size_t extra;
    char32_t cp;
    char32_t min;  // smallest code point the length may encode; below it is an overlong form
    if ((lead & 0xE0) == 0xC0) {
      extra = 1, cp = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, cp = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, cp = lead & 0x07, min = 0x10000;
    } else {
      return false;
    }
    if (utf8.size() - i <= extra) return false;
    for (size_t k = 1; k <= extra; ++k) {
      const uint8_t b = static_cast<uint8_t>(utf8[i + k]);
      if ((b & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || IsSurrogate(cp)) return false;
    sink(cp);
    i += extra + 1;
  }
  return true;
}

}  // namespace

bool IsValidUtf8(std::string_view utf8) {
  return ForEachUtf8CodePoint(utf8, [](char32_t) {});
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8) {
  // Written in place, not appended: no form takes more code units than bytes, and the append
  // call per character was most of the cost of reading text.
  std::u16string out(utf8.size(), u'\0');
  size_t n = 0;
  const bool valid = ForEachUtf8CodePoint(utf8, [&](char32_t cp) {
    if (cp >= 0x10000) {
      out[n++] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out[n++] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out[n++] = static_cast<char16_t>(cp);
    }
  });
  if (!valid) return std::nullopt;
  out.resize(n);
  return out;
}

std::optional<size_t> Utf8Length(std::u16string_view utf16) {
  const size_t ascii = AsciiPrefix(utf16);
  size_t length = ascii;
  bool valid = true;
  ForEachCodePoint(utf16.substr(ascii), [&](char32_t c) {
    valid = valid && !IsSurrogate(c);
    length += Utf8Size(c);
  });
  if (!valid) return std::nullopt;
  return length;
}

void WriteUtf8(std::u16string_view utf16, char* out) {
  const size_t ascii = AsciiPrefix(utf16);
  for (size_t i = 0; i < ascii; ++i)
    out[i] = static_cast<char>(utf16[i]);
  out += ascii;
  ForEachCodePoint(utf16.substr(ascii), [&](char32_t c) { out = PutUtf8(c, out); });
}

std::optional<std::string> Utf16ToUtf8(std::u16string_view utf16) {
  const std::optional<size_t> length = Utf8Length(utf16);
  if (!length) return std::nullopt;
  std::string out(*length, '\0');
  WriteUtf8(utf16, out.data());
  return out;
}

std::string Utf16ToUtf8Lossy(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  ForEachCodePoint(utf16, [&](char32_t c) {
    char bytes[4];
    out.append(bytes, PutUtf8(IsSurrogate(c) ? 0xFFFD : c, bytes));
  });
  return out;
}

}  // namespace vorlix
