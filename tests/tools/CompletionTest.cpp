#include <gtest/gtest.h>

#include "tools/shell/Completion.h"
#include "tools/shell/Suggest.h"

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
      {"  Top; Se", Kind::kStatement, 7, false},
      {".ta", Kind::kCommand, 1, false},
      {"Top; .he", Kind::kCommand, 6, false},
      {"Table \"a;b\" \"Cu", Kind::kArgument, 13, true},  // a ';' inside quotes ends nothing
      {"Seek 1; Exist ", Kind::kArgument, 14, false},
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

TEST(SuggestTest, NearNamesAreSuggestedAndFarOnesAreNot) {
  const std::vector<std::string> names = {"Seek",       "Seek2",  "Skip",
                                          "ListTables", "tables", "GetFieldName"};
  EXPECT_EQ(NearestName("seak", names), "Seek");      // a substitution, any letter case
  EXPECT_EQ(NearestName("Sek", names), "Seek");       // a deletion
  EXPECT_EQ(NearestName("tabels", names), "tables");  // a swap counts one
  EXPECT_EQ(NearestName("GetFeldNam", names), "GetFieldName");
  EXPECT_EQ(NearestName("Seek3", names), "Seek");  // the first of equally near names
  EXPECT_EQ(NearestName("Top", names), "");        // three letters allow one edit
  EXPECT_EQ(NearestName("ListTab", names), "");
  EXPECT_EQ(NearestName("", names), "");
}

}  // namespace
}  // namespace vorlix::shell
