// Bstr: Automation text, UTF-16 code units. A null BSTR and an empty one are the same value.
#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace vorlix {

class Bstr {
 public:
  Bstr() = default;
  Bstr(std::u16string text) : text_(std::move(text)) {}
  Bstr(std::u16string_view text) : text_(text) {}
  Bstr(const char16_t* text) : text_(text ? text : u"") {}

  // The text of valid UTF-8, or nullopt (see Utf.h for what is invalid).
  static std::optional<Bstr> FromUtf8(std::string_view utf8);
  // The text of utf8 whatever it holds: when it is not valid UTF-8 (a foreign writer's bytes),
  // ASCII stays and every other byte becomes U+FFFD, rather than losing the whole text.
  static Bstr FromUtf8Lossy(std::string_view utf8);

  // UTF-8 of the text, or nullopt when it holds an unpaired surrogate.
  std::optional<std::string> ToUtf8() const;
  // UTF-8 for messages and display: unpaired surrogates become U+FFFD.
  std::string Utf8() const;

  // The text up to, not including, the first U+0000 (all of it when there is none), as C
  // strings read a BSTR.
  Bstr UpToNul() const;

  const std::u16string& str() const { return text_; }
  std::u16string_view view() const { return text_; }
  size_t size() const { return text_.size(); }
  bool empty() const { return text_.empty(); }

  friend bool operator==(const Bstr&, const Bstr&) = default;
  friend std::strong_ordering operator<=>(const Bstr&, const Bstr&) = default;

 private:
  std::u16string text_;
};

}  // namespace vorlix
