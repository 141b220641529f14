#include <gtest/gtest.h>

#include "automation/SafeArray.h"
#include "tools/shell/Parser.h"
#include "tools/shell/Printer.h"
#include "tools/shell/RowFormat.h"

namespace vorlix::shell {
namespace {

Variant S(const char16_t* text) {
  return Variant::Str(Bstr(text));
}

Variant Array(std::vector<Variant> elements) {
  return Variant::Array(SafeArray::Vector(VT_VARIANT, 0, std::move(elements)));
}

TEST(PrinterTest, LiteralsReadBackAsTheSameValue) {
  const Variant values[] = {
      S(u"plain"),
      S(u"with \"quotes\" and # ; [ ]"),
      S(u""),
      Variant::I4(-42),
      Variant::Signed(VT_I8, INT64_MIN),
      Variant::R8(0.1),
      Variant::R8(-1e300),
      Variant::Bool(true),
      Variant::Null(),
      Variant(),
      Variant::Date(-30701.5),  // 1815-12-10 12:00
      Array({S(u"a"), Array({Variant::I4(1), Array({})}), Variant::Null()}),
  };
  for (const Variant& value : values) {
    const std::string literal = Literal(value);
    std::vector<Statement> statements;
    ParseError error;
    ASSERT_TRUE(ParseLine("Call " + literal, &statements, &error)) << literal;
    ASSERT_EQ(statements[0].args.size(), 1u) << literal;
    EXPECT_EQ(statements[0].args[0], value) << literal;
  }
  EXPECT_EQ(Literal(Variant::Date(-30701.5)), "#1815-12-10 12:00:00#");
}

TEST(PrinterTest, TypesWithoutALiteralAreSpelledRecognisably) {
  EXPECT_EQ(Literal(Variant::Currency(123400)), "12.34");
  EXPECT_EQ(Literal(Variant::Date(1e300)), "date(1e+300)");
  EXPECT_EQ(Literal(Variant::Signed(VT_ERROR, static_cast<int32_t>(0x80020004))),
            "error(0x80020004)");
  EXPECT_EQ(Literal(Variant::Unsigned(VT_UI8, UINT64_MAX)), "18446744073709551615");
  EXPECT_EQ(Literal(Variant::Array(SafeArray::Vector(VT_UI1, 0, {Variant::Unsigned(VT_UI1, 7)}))),
            "[7]");
}

TEST(PrinterTest, ValuesShowByTheirShapeAndRepliesNameTheirOuts) {
  // A result set: rows found by position, so a value spelling the marker stays a value.
  const Variant rows =
      Array({S(u"*NewRecord*"), S(u"ID"), Variant::I4(1), S(u"Name"), S(u"*NewRecord*"),
             S(u"*NewRecord*"), S(u"ID"), Variant::I4(22), S(u"Name"), Variant::Null()});
  EXPECT_EQ(Show(rows, "  "),
            "  ID  Name\n"
            "  --  -------------\n"
            "  1   \"*NewRecord*\"\n"
            "  22  null\n");
  // A record: aligned names, values as literals (the name column counts characters).
  EXPECT_EQ(Show(Array({S(u"ID"), Variant::I4(7), S(u"N\u00e4me"), S(u"Ada")}), ""),
            "ID    7\n"
            "N\xC3\xA4me  \"Ada\"\n");
  // Text only: a list, as a table list is, though its count is even.
  EXPECT_EQ(Show(Array({S(u"Customers"), S(u"Orders")}), ""), "\"Customers\"\n\"Orders\"\n");
  // A one-field result set is bare values; an odd count is no record.
  EXPECT_EQ(Show(Array({S(u"a"), Variant::I4(1), S(u"b")}), ""), "\"a\"\n1\n\"b\"\n");
  EXPECT_EQ(Show(Array({}), "  "), "  []\n");
  EXPECT_EQ(Show(Variant::Bool(true), "  "), "  true\n");
  // In a reply, bytes stay on one line however many there are, and an out without a name is
  // named by its place.
  const Variant bytes = Variant::Array(
      SafeArray::Vector(VT_UI1, 0, {Variant::Unsigned(VT_UI1, 1), Variant::Unsigned(VT_UI1, 2)}));
  EXPECT_EQ(ShowReply(Variant::Bool(true), {bytes, Variant()}, {"pvFieldValue"}),
            "true\npvFieldValue: [1, 2]\nout 2: empty\n");
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
