#include <gtest/gtest.h>

#include "automation/SafeArray.h"
#include "tools/shell/Parser.h"
#include "tools/shell/SqlLines.h"

namespace vorlix::shell {
namespace {

std::vector<Statement> Parse(const std::string& line) {
  std::vector<Statement> statements;
  ParseError error;
  EXPECT_TRUE(ParseLine(line, &statements, &error)) << error.column << ": " << error.message;
  return statements;
}

ParseError ParseFails(const std::string& line) {
  std::vector<Statement> statements;
  ParseError error;
  EXPECT_FALSE(ParseLine(line, &statements, &error)) << line;
  EXPECT_TRUE(statements.empty()) << line;
  return error;
}

Variant Array(std::vector<Variant> elements) {
  return Variant::Array(SafeArray::Vector(VT_VARIANT, 0, std::move(elements)));
}

TEST(ParserTest, EveryKindOfLiteral) {
  const auto s = Parse(
      "Call \"say \"\"hi\"\"\" 42 -7 3000000000 1.5 2e3 true FALSE Null empty #1815-12-10# "
      "#2024-01-31 06:45:00# \"\" \"d\xC3\xA9j\xC3\xA0\"");
  ASSERT_EQ(s.size(), 1u);
  EXPECT_FALSE(s[0].command);
  EXPECT_EQ(s[0].name, "Call");
  const std::vector<Variant> expected = {
      Variant::Str(Bstr(u"say \"hi\"")),
      Variant::I4(42),
      Variant::I4(-7),
      Variant::Signed(VT_I8, 3000000000),
      Variant::R8(1.5),
      Variant::R8(2000),
      Variant::Bool(true),
      Variant::Bool(false),
      Variant::Null(),
      Variant(),
      Variant::Date(-30701),       // 1815-12-10
      Variant::Date(45322.28125),  // 2024-01-31 06:45
      Variant::Str(Bstr()),
      Variant::Str(Bstr(u"d\u00e9j\u00e0")),
  };
  ASSERT_EQ(s[0].args.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(s[0].args[i], expected[i]) << i;
}

TEST(ParserTest, ArraysNestAndStatementsSeparate) {
  const auto s = Parse("  Append [\"Name\", [1, [ ]], #2000-01-01#] true;;Seek 1 ; .help Seek;Top");
  ASSERT_EQ(s.size(), 4u);
  EXPECT_EQ(s[0].args[0], Array({Variant::Str(Bstr(u"Name")), Array({Variant::I4(1), Array({})}),
                                 Variant::Date(36526)}));
  EXPECT_EQ(s[0].args[1], Variant::Bool(true));
  EXPECT_EQ(s[1].name, "Seek");
  EXPECT_TRUE(s[2].command);
  EXPECT_EQ(s[2].name, "help");
  EXPECT_EQ(s[2].words, std::vector<std::string>{"Seek"});
  EXPECT_EQ(s[3].name, "Top");
  EXPECT_TRUE(s[3].args.empty());
  // A command's words: quoted ones may hold spaces and ';', bare ones end at either.
  const auto words = Parse(".import \"my \"\"file\"\";.csv\" /tmp/a-b.csv;.mode csv");
  ASSERT_EQ(words.size(), 2u);
  EXPECT_EQ(words[0].words, (std::vector<std::string>{"my \"file\";.csv", "/tmp/a-b.csv"}));
  EXPECT_EQ(words[1].words, std::vector<std::string>{"csv"});
  // Nothing, blanks and comments hold no statement; '#' opens a comment only where a statement
  // begins.
  EXPECT_TRUE(Parse("").empty());
  EXPECT_TRUE(Parse(" \t ").empty());
  EXPECT_TRUE(Parse("# Seek 1").empty());
  EXPECT_EQ(Parse("Top; # then Bottom").size(), 1u);
}

TEST(ParserTest, SqlEndsTheStatementsWhereItBegins) {
  std::vector<Statement> statements;
  ParseError error;
  size_t sqlStart = 0;
  const std::string line = "Open \"a.vdb\" false false; .mode csv;  SELECT 1; Top";
  ASSERT_TRUE(ParseLine(line, &statements, &error, &sqlStart));
  ASSERT_EQ(statements.size(), 2u);
  EXPECT_EQ(statements[1].words, std::vector<std::string>{"csv"});
  EXPECT_EQ(line.substr(sqlStart), "SELECT 1; Top");
  // Inside arguments a keyword is only a word, and a call named Delete stays a call.
  ASSERT_TRUE(ParseLine("Delete; SQL \"SELECT 1\"", &statements, &error, &sqlStart));
  EXPECT_EQ(sqlStart, std::string::npos);
  EXPECT_EQ(statements.size(), 4u);
}

TEST(ParserTest, BadInputNamesTheColumn) {
  struct Case {
    const char* line;
    size_t column;
    const char* message;
  };
  const Case cases[] = {
      {"Open \"demo.vdb false", 6, "unterminated string"},
      {"Open \"a\"\"b", 6, "unterminated string"},
      {"Seek #1815-12-10", 6, "unterminated date"},
      {"Seek #1815-13-10#", 6, "not a date"},
      {"Seek 1 #yesterday#", 8, "not a date"},
      {"Seek 99999999999999999999", 6, "integer out of range"},
      {"Seek -9223372036854775809", 6, "integer out of range"},
      {"Seek 1e999", 6, "number out of range"},
      {"Seek 42x", 6, "malformed number"},
      {"Seek - 1", 6, "expected a digit"},
      {"Seek [1, 2", 6, "unterminated array"},
      {"Seek [1 2]", 9, "expected ',' or ']'"},
      {"Seek [1,]", 9, "expected a value"},
      {"Seek maybe", 6, "not 'maybe'"},
      {"Seek \"a\"\"b\"c", 12, "expected a space"},
      {"Seek \"\xC3\xA9\" ?", 10, "expected a value"},  // columns count characters
      {"42 Seek", 1, "expected a method name"},
      {"Top; 42", 6, "expected a method name"},
      {". help", 2, "expected a command name"},
      {".import \"a b.csv", 9, "unterminated string"},
      {".import \"a\"b", 12, "expected a space"},
  };
  for (const Case& c : cases) {
    const ParseError error = ParseFails(c.line);
    EXPECT_EQ(error.column, c.column) << c.line;
    EXPECT_NE(error.message.find(c.message), std::string::npos) << c.line << ": " << error.message;
  }
  // Brackets nested without end stop at a depth limit instead of exhausting the stack.
  EXPECT_NE(ParseFails("Seek " + std::string(100000, '[')).message.find("nested too deeply"),
            std::string::npos);
  // A failing line adds nothing, even after good statements.
  std::vector<Statement> statements = Parse("Top");
  ParseError error;
  EXPECT_FALSE(ParseLine("Bottom; Seek \"x", &statements, &error));
  EXPECT_EQ(statements.size(), 1u);
}

TEST(SqlLinesTest, SqlLinesAreToldFromCalls) {
  // CREATE, INSERT and WITH lines run in tests/tools/ShellProcessTest and ShellTerminalTest.
  for (const char* sql : {"SELECT * FROM People", "  select 1", "DELETE FROM People;",
                          "DROP\tTABLE x", "ALTER TABLE x ADD b TEXT", "UPDATE x SET a = 1"})
    EXPECT_TRUE(IsSqlLine(sql)) << sql;
  // Delete is a method too: alone it stays one, and names that merely begin with a keyword are
  // method names.
  for (const char* call : {"Delete", "Delete;", "delete ; Top", "Delete  # gone",
                           "CreateTable \"x\" []", "Selection 1", "", "SELECT"})
    EXPECT_FALSE(IsSqlLine(call)) << call;
  EXPECT_TRUE(ReturnsRows(" with t AS (SELECT 1) SELECT * FROM t"));
  EXPECT_TRUE(ReturnsRows("select 1"));
  EXPECT_FALSE(ReturnsRows("INSERT INTO x SELECT * FROM y"));
}

TEST(SqlLinesTest, StatementsEndAtASemicolonOutsideQuotes) {
  EXPECT_EQ(StatementEnd("SELECT 1; SELECT 2;"), 8u);
  EXPECT_EQ(StatementEnd("SELECT 'a;b', \"c;d\", [e;f] FROM t;"), 33u);
  EXPECT_EQ(StatementEnd("SELECT 'it''s;' ;"), 16u);  // a doubled quote stays inside
  EXPECT_EQ(StatementEnd("SELECT 'open;"), std::string::npos);
  EXPECT_EQ(StatementEnd("SELECT *\nFROM t"), std::string::npos);
}

}  // namespace
}  // namespace vorlix::shell
