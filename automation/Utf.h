// Exact UTF-8 <-> UTF-16 conversion. Invalid input is reported, never repaired silently:
// overlong forms, surrogates encoded in UTF-8, code points past U+10FFFF, truncated sequences
// and unpaired UTF-16 surrogates all fail.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vorlix {

// The UTF-16 form of valid UTF-8 text, or nullopt.
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8);

// Whether utf8 is valid UTF-8 text.
bool IsValidUtf8(std::string_view utf8);

// The UTF-8 form of valid UTF-16 text, or nullopt when it holds an unpaired surrogate.
std::optional<std::string> Utf16ToUtf8(std::u16string_view utf16);

// The length in bytes of the UTF-8 form of utf16, or nullopt when it holds an unpaired
// surrogate; and that form written to out, which has room for it. For converting straight into
// a buffer that is not a std::string.
std::optional<size_t> Utf8Length(std::u16string_view utf16);
void WriteUtf8(std::u16string_view utf16, char* out);

// Like Utf16ToUtf8, but each unpaired surrogate becomes U+FFFD. For display only.
std::string Utf16ToUtf8Lossy(std::u16string_view utf16);

}  // namespace vorlix
