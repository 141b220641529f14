#include "tools/shell/Csv.h"

namespace vorlix::shell {

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (char c : text) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + '"';
}

std::string CsvRecord(const std::vector<std::string>& fields) {
  std::string record;
  for (size_t i = 0; i < fields.size(); ++i)
    record += (i ? "," : "") + CsvField(fields[i]);
  return record + "\r\n";
}

int CsvReader::Get() {
  const int c = in_.get();
  if (c == '\n') ++nextLine_;
  return c;
}

bool CsvReader::Next(std::vector<std::string>* fields) {
  fields->clear();
  error_.clear();
  if (!started_) {
    started_ = true;
    if (in_.peek() == 0xEF) {
      char bom[3] = {};
      if (!in_.read(bom, 3) || std::string_view(bom, 3) != "\xEF\xBB\xBF") {
        error_ = "the file is not UTF-8 text";
        return false;
      }
    }
  }
  // Empty lines hold no record.
  while (in_.peek() == '\n' || in_.peek() == '\r')
    Get();
  if (in_.peek() == std::char_traits<char>::eof()) return false;
  line_ = nextLine_;
  std::string field;
  bool quoted = false;  // inside a quoted field
  bool closed = false;  // the field's closing quote has been read
  for (;;) {
    const int c = Get();
    if (quoted) {
      if (c == std::char_traits<char>::eof()) {
        error_ = "a quoted field is not closed";
        return false;
      }
      if (c != '"') {
        field += static_cast<char>(c);
      } else if (in_.peek() == '"') {
        field += static_cast<char>(Get());  // a doubled quote stands for one
      } else {
        quoted = false;
        closed = true;
      }
      continue;
    }
    if (c == ',' || c == '\n' || c == '\r' || c == std::char_traits<char>::eof()) {
      fields->push_back(std::move(field));
      field.clear();
      closed = false;
      if (c == ',') continue;
      if (c == '\r' && in_.peek() == '\n') Get();
      return true;
    }
    if (closed) {
      error_ = "a field goes on after its closing quote";
      return false;
    }
    if (c == '"' && field.empty()) {
      quoted = true;
    } else {
      field += static_cast<char>(c);
    }
  }
}

}  // namespace vorlix::shell
