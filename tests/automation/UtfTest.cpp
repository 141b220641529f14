#include <gtest/gtest.h>

#include "automation/Bstr.h"
#include "automation/Utf.h"

namespace vorlix {
namespace {

TEST(Utf, RoundTripsEveryEncodingLength) {
  // U+0000, then both sides of each length boundary and of the surrogate range, and the last.
  const std::u16string text = std::u16string(1, u'\0') + u"\u007F\u0080\u07FF\u0800" +
                              u"\uD7FF\uE000\uFFFF\U00010000\U0010FFFF";
  const std::optional<std::string> utf8 = Utf16ToUtf8(text);
  ASSERT_TRUE(utf8.has_value());
  EXPECT_EQ(utf8->size(), 1 + 1 + 2 + 2 + 3 + 3 + 3 + 3 + 4 + 4u);
  EXPECT_EQ(Utf8ToUtf16(*utf8), text);
  EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), std::string("\xF0\x9F\x98\x80"));
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82\xAC"), std::u16string(u"€"));
}

TEST(Utf, RejectsInvalidUtf8) {
  const std::string bad[] = {
      "\x80",              // continuation byte without a lead
      "\xC0\xAF",          // overlong '/'
      "\xE0\x80\xAF",      // overlong, three bytes
      "\xF0\x80\x80\xAF",  // overlong, four bytes
      "\xED\xA0\x80",      // UTF-16 surrogate encoded in UTF-8
      "\xF4\x90\x80\x80",  // past U+10FFFF
      "\xF8\x88\x80\x80",  // five-byte lead
      "\xE2\x82",          // truncated at the end
      "\xE2\x28\xA1",      // broken continuation
      "ok\xFF",
  };
  for (const std::string& s : bad)
    EXPECT_FALSE(Utf8ToUtf16(s).has_value()) << s.size();
}

TEST(Utf, UnpairedSurrogatesFailOrAreReplacedForDisplay) {
  const std::u16string lone_high = u"a" + std::u16string(1, char16_t(0xD800)) + u"z";
  const std::u16string reversed = {char16_t(0xDC00), char16_t(0xD800)};
  for (const std::u16string& s : {lone_high, reversed, std::u16string(1, char16_t(0xDC00))})
    EXPECT_FALSE(Utf16ToUtf8(s).has_value());
  EXPECT_EQ(Utf16ToUtf8Lossy(lone_high), "a\xEF\xBF\xBDz");
  EXPECT_EQ(Utf16ToUtf8Lossy(reversed), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Bstr, NullAndEmptyAreOneValueAndTextStopsAtNul) {
  EXPECT_EQ(Bstr(static_cast<const char16_t*>(nullptr)), Bstr(u""));
  const Bstr withNul(std::u16string(u"ab\0cd", 5));
  EXPECT_EQ(withNul.size(), 5u);
  EXPECT_EQ(withNul.UpToNul(), Bstr(u"ab"));
  EXPECT_EQ(Bstr(u"abc").UpToNul(), Bstr(u"abc"));
}

}  // namespace
}  // namespace vorlix
