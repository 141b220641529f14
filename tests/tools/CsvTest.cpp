#include <gtest/gtest.h>

#include <sstream>

#include "tools/shell/Csv.h"

namespace vorlix::shell {
namespace {

using Records = std::vector<std::vector<std::string>>;

// Every record of text; the reader's error, if it stopped on one, as a last record
// {"error", line, message}.
Records ReadAll(const std::string& text) {
  std::istringstream in(text);
  CsvReader reader(in);
  Records records;
  std::vector<std::string> fields;
  while (reader.Next(&fields))
    records.push_back(fields);
  if (!reader.Error().empty()) {
    records.push_back({"error", std::to_string(reader.Line()), reader.Error()});
  }
  return records;
}

TEST(CsvTest, ReadsQuotedFieldsLineBreaksAndEmptyFields) {
  EXPECT_EQ(ReadAll("a,b,c\r\n"
                    "\"x, y\",\"say \"\"hi\"\"\",\"two\r\nlines\"\r\n"
                    ",,\r\n"
                    "\"\",last,\"\n\"\r\n"
                    "no,line,end"),
            (Records{{"a", "b", "c"},
                     {"x, y", "say \"hi\"", "two\r\nlines"},
                     {"", "", ""},
                     {"", "last", "\n"},
                     {"no", "line", "end"}}));
  // LF alone ends records too; empty lines hold none; a byte order mark is passed over.
  EXPECT_EQ(ReadAll("\xEF\xBB\xBFid\n\n1\r\n\r\n2\n"), (Records{{"id"}, {"1"}, {"2"}}));
  EXPECT_TRUE(ReadAll("").empty());
}

TEST(CsvTest, MalformedRecordsNameTheirLine) {
  EXPECT_EQ(ReadAll("a\n\"b\nc\nd"),
            (Records{{"a"}, {"error", "2", "a quoted field is not closed"}}));
  EXPECT_EQ(ReadAll("a,b\n\"x\"y,z\n"),
            (Records{{"a", "b"}, {"error", "2", "a field goes on after its closing quote"}}));
  // A line after a field with a line break inside is counted from where its record began.
  EXPECT_EQ(ReadAll("\"1\n2\"\n\"3\"4\n"),
            (Records{{"1\n2"}, {"error", "3", "a field goes on after its closing quote"}}));
}

TEST(CsvTest, WrittenRecordsReadBackTheSame) {
  const Records records = {{"plain", "", "a,b", "\"quoted\"", "line\r\nbreak", "lf\n", " spaces "},
                           {"", ""},
                           {"\xC3\xA9t\xC3\xA9"}};
  std::string text;
  for (const auto& record : records)
    text += CsvRecord(record);
  // Quoted only where a field must be.
  EXPECT_EQ(CsvRecord(records[0]),
            "plain,,\"a,b\",\"\"\"quoted\"\"\",\"line\r\nbreak\",\"lf\n\", spaces \r\n");
  EXPECT_EQ(ReadAll(text), records);
}

}  // namespace
}  // namespace vorlix::shell
