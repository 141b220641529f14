#include <gtest/gtest.h>

#include "tools/shell/RowFormat.h"

namespace vorlix::shell {
namespace {

Variant S(const char16_t* text) {
  return Variant::Str(Bstr(text));
}

// Text that needs quoting or escaping in every format, a Null, a date and numbers.
ResultSet People() {
  ResultSet set;
  set.names = {"ID", "Name", "Born"};
  set.rows = {{Variant::I4(1), S(u"Ada, \"the\"\nfirst\t\\"), Variant::Date(-30701)},
              {Variant::R8(2.5), Variant::Null(), Variant::Bool(true)}};
  return set;
}

std::string Format(const ResultSet& set, RowMode mode, bool headers = true) {
  return FormatRows(set, {mode, headers});
}

TEST(RowFormatTest, EachModeWritesItsFormat) {
  EXPECT_EQ(Format(People(), RowMode::kCsv),
            "ID,Name,Born\r\n"
            "1,\"Ada, \"\"the\"\"\nfirst\t\\\",1815-12-10 00:00:00\r\n"
            "2.5,,True\r\n");
  EXPECT_EQ(Format(People(), RowMode::kTsv, false),
            "1\tAda, \"the\"\\nfirst\\t\\\\\t1815-12-10 00:00:00\n"
            "2.5\t\tTrue\n");
  EXPECT_EQ(Format(People(), RowMode::kJson),
            "[{\"ID\":1,\"Name\":\"Ada, \\\"the\\\"\\u000afirst\\u0009\\\\\",\"Born\":\"1815-12-10 "
            "00:00:00\"},\n"
            "{\"ID\":2.5,\"Name\":null,\"Born\":true}]\n");
  ResultSet plain = People();
  plain.rows[0][1] = S(u"Ada");
  EXPECT_EQ(Format(plain, RowMode::kTable),
            "ID   Name  Born\n"
            "---  ----  -------------------\n"
            "1    Ada   1815-12-10 00:00:00\n"
            "2.5        True\n");
  EXPECT_EQ(Format(plain, RowMode::kLine),
            "  ID = 1\nName = Ada\nBorn = 1815-12-10 00:00:00\n\n"
            "  ID = 2.5\nName = \nBorn = True\n");
}

TEST(RowFormatTest, RowsWithoutNamesAndNoRows) {
  // A one-column answer carries no name: no header, and bare values in json.
  ResultSet column;
  column.rows = {{S(u"a,b")}, {Variant::I4(7)}};
  EXPECT_EQ(Format(column, RowMode::kCsv), "\"a,b\"\r\n7\r\n");
  EXPECT_EQ(Format(column, RowMode::kJson), "[\"a,b\",\n7]\n");
  EXPECT_EQ(Format(column, RowMode::kTable), "a,b\n7\n");
  EXPECT_EQ(Format(ResultSet(), RowMode::kJson), "");
  EXPECT_EQ(RowModeNamed("CSV"), std::nullopt);
}

}  // namespace
}  // namespace vorlix::shell
