// CSV as RFC 4180 has it: records end in CRLF (LF alone is read too), fields are separated by
// commas, and a field holding a comma, a quote or a line break is quoted, its quotes doubled.
#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace vorlix::shell {

// The field as written: quoted only when it must be.
std::string CsvField(std::string_view text);

// The fields as one record, CRLF at its end.
std::string CsvRecord(const std::vector<std::string>& fields);

class CsvReader {
 public:
  explicit CsvReader(std::istream& in) : in_(in) {}

  // Reads the next record; false at the end of the input or on a malformed record, and then
  // Error() says why. Empty lines hold no record; a UTF-8 byte order mark at the start is
  // passed over.
  bool Next(std::vector<std::string>* fields);

  const std::string& Error() const { return error_; }
  // The line on which the last record read (or the malformed one) began, from 1.
  size_t Line() const { return line_; }

 private:
  int Get();

  std::istream& in_;
  std::string error_;
  size_t line_ = 0;
  size_t nextLine_ = 1;
  bool started_ = false;
};

}  // namespace vorlix::shell
