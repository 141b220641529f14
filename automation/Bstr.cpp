#include "automation/Bstr.h"

#include "automation/Utf.h"

namespace vorlix {

std::optional<Bstr> Bstr::FromUtf8(std::string_view utf8) {
  std::optional<std::u16string> text = Utf8ToUtf16(utf8);
  if (!text) return std::nullopt;
  return Bstr(std::move(*text));
}

Bstr Bstr::FromUtf8Lossy(std::string_view utf8) {
  if (std::optional<Bstr> b = FromUtf8(utf8)) return std::move(*b);
  std::u16string text;
  for (unsigned char c : utf8)
    text += c < 0x80 ? char16_t(c) : u'\uFFFD';
  return Bstr(std::move(text));
}

std::optional<std::string> Bstr::ToUtf8() const {
  return Utf16ToUtf8(text_);
}

std::string Bstr::Utf8() const {
  return Utf16ToUtf8Lossy(text_);
}

Bstr Bstr::UpToNul() const {
  return Bstr(std::u16string_view(text_).substr(0, text_.find(u'\0')));
}

}  // namespace vorlix
