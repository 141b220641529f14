#include <gtest/gtest.h>

#include "tools/shell/Completion.h"

namespace vorlix::shell {
namespace {

TEST(CompletionTest, TheWordAtTheCursorAndWhatItNames) {
  using Kind = WordAtCursor::Kind;
  struct Case {
    const char* text;
    Kind kind;
    size_t start;
    bool quoted;
  };
  const Case cases[] = {
      {"", Kind::kStatement, 0, false},
      {"Se", Kind::kStatement, 0, false},
      {"  Top; Se", Kind::kStatement, 7, false},
      {".ta", Kind::kCommand, 1, false},
      {"Top; .he", Kind::kCommand, 6, false},
      {"Table \"Cu", Kind::kArgument, 7, true},
      {"Table \"a;b\" \"Cu", Kind::kArgument, 13, true},  // a ';' inside quotes ends nothing
      {"Seek 1; Exist ", Kind::kArgument, 14, false},
      {"SELECT * FROM Cu", Kind::kArgument, 14, false},
      {"Append [\"N\xC3\xA4", Kind::kArgument, 9, true},  // names hold any letter
      {"Seek 1.5", Kind::kArgument, 7, false},            // a number's point is no command
  };
  for (const Case& c : cases) {
    const WordAtCursor word = FindWordAtCursor(c.text);
    EXPECT_EQ(word.kind, c.kind) << c.text;
    EXPECT_EQ(word.start, c.start) << c.text;
    EXPECT_EQ(word.quoted, c.quoted) << c.text;
  }
}

TEST(CompletionTest, MatchesAndTheirSharedBeginning) {
  const std::vector<std::string> names = {"Seek", "Seek2", "Skip", "Seek10"};
  EXPECT_EQ(Matching("se", names), (std::vector<std::string>{"Seek", "Seek2", "Seek10"}));
  EXPECT_EQ(Matching("", names), names);
  EXPECT_TRUE(Matching("x", names).empty());
  EXPECT_EQ(CommonPrefix({"Seek2", "seek10"}), "Seek");
  EXPECT_EQ(CommonPrefix({"Customers"}), "Customers");
  EXPECT_EQ(CommonPrefix({}), "");
  // é and è share their first byte: the beginning stops before the character, not inside it.
  EXPECT_EQ(CommonPrefix({"Caf\xC3\xA9", "Caf\xC3\xA8"}), "Caf");
}

}  // namespace
}  // namespace vorlix::shell
