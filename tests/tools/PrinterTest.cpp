#include <gtest/gtest.h>

#include "automation/SafeArray.h"
#include "tools/shell/Parser.h"
#include "tools/shell/Printer.h"

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
      Variant::Bool(false),
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

TEST(PrinterTest, ArraysShowByTheirShape) {
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
  // Text only: a list, as a table list is.
  EXPECT_EQ(Show(Array({S(u"Customers"), S(u"Orders")}), ""), "\"Customers\"\n\"Orders\"\n");
  // A one-field result set is bare values; an odd count is no record.
  EXPECT_EQ(Show(Array({S(u"a"), Variant::I4(1), S(u"b")}), ""), "\"a\"\n1\n\"b\"\n");
  EXPECT_EQ(Show(Array({}), "  "), "  []\n");
  EXPECT_EQ(Show(Variant::Bool(true), "  "), "  true\n");
  // Bytes stay on one line however many there are.
  const Variant bytes = Variant::Array(
      SafeArray::Vector(VT_UI1, 0, {Variant::Unsigned(VT_UI1, 1), Variant::Unsigned(VT_UI1, 2)}));
  EXPECT_EQ(ShowReply(Variant::Bool(true), {bytes}, {"pvFieldValue"}),
            "true\npvFieldValue: [1, 2]\n");
}

TEST(PrinterTest, ReplyShowsResultThenNamedOuts) {
  EXPECT_EQ(ShowReply(Variant::Bool(true), {Array({S(u"ID"), Variant::I4(42)}), Variant()},
                      {"pvReturnArray"}),
            "true\n"
            "pvReturnArray:\n"
            "  ID  42\n"
            "out 2: empty\n");
  // No result (a method without one) prints only the outs.
  EXPECT_EQ(ShowReply(Variant(), {Variant::I4(0), S(u"")}, {"plErrorCode", "pbsDescription"}),
            "plErrorCode: 0\npbsDescription: \"\"\n");
}

}  // namespace
}  // namespace vorlix::shell
