#include "tools/shell/Parser.h"

#include <charconv>
#include <optional>

#include "automation/Date.h"
#include "automation/Numeric.h"
#include "automation/SafeArray.h"
#include "tools/shell/SqlLines.h"

namespace vorlix::shell {
namespace {

// Deep enough for any real argument; without a limit, a line of brackets would exhaust the
// stack.
constexpr int kMaxNesting = 32;

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsNameChar(char c) {
  return IsNameStart(c) || IsDigit(c);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

class LineParser {
 public:
  explicit LineParser(std::string_view line) : line_(line) {}

  bool Parse(std::vector<Statement>* statements, ParseError* error, size_t* sqlStart) {
    std::vector<Statement> parsed;
    if (sqlStart) *sqlStart = std::string_view::npos;
    for (;;) {
      SkipSpaces();
      if (AtEnd()) break;
      if (Peek() == '#') break;  // a comment runs to the end of the line
      if (sqlStart && IsSqlLine(line_.substr(pos_))) {
        *sqlStart = pos_;
        break;
      }
      if (Peek() != ';') {
        Statement statement;
        if (!ParseStatement(&statement)) break;
        parsed.push_back(std::move(statement));
        SkipSpaces();
        if (AtEnd()) break;
        if (Peek() != ';') {
          Fail(pos_, "expected ';' or the end of the line");
          break;
        }
      }
      ++pos_;  // the ';'
    }
    if (failed_) {
      *error = error_;
      return false;
    }
    for (Statement& statement : parsed)
      statements->push_back(std::move(statement));
    return true;
  }

 private:
  bool AtEnd() const { return pos_ >= line_.size(); }
  char Peek() const { return line_[pos_]; }
  void SkipSpaces() {
    while (!AtEnd() && IsSpace(Peek()))
      ++pos_;
  }
  bool AtArgumentEnd() const { return AtEnd() || Peek() == ';' || Peek() == ']' || Peek() == ','; }

  // Records the failure; returns false for the caller to pass on.
  bool Fail(size_t at, std::string message) {
    failed_ = true;
    size_t column = 1;  // counts UTF-8 lead bytes, so the column is the one the user sees
    for (size_t i = 0; i < at && i < line_.size(); ++i) {
      if ((static_cast<unsigned char>(line_[i]) & 0xC0) != 0x80) ++column;
    }
    error_ = {column, std::move(message)};
    return false;
  }

  std::string_view Name() {
    const size_t start = pos_;
    while (!AtEnd() && IsNameChar(Peek()))
      ++pos_;
    return line_.substr(start, pos_ - start);
  }

  bool ParseStatement(Statement* statement) {
    if (Peek() == '.') {
      ++pos_;
      statement->command = true;
      if (AtEnd() || !IsNameStart(Peek())) return Fail(pos_, "expected a command name after '.'");
      statement->name = Name();
      return ParseWords(&statement->words);
    }
    if (!IsNameStart(Peek())) return Fail(pos_, "expected a method name");
    statement->name = Name();
    for (;;) {
      if (!AtEnd() && !IsSpace(Peek()) && Peek() != ';') {
        return Fail(pos_, "expected a space before the argument");
      }
      SkipSpaces();
      if (AtEnd() || Peek() == ';') return true;
      Variant value;
      if (!ParseValue(&value, 0)) return false;
      statement->args.push_back(std::move(value));
    }
  }

  bool ParseWords(std::vector<std::string>* words) {
    for (;;) {
      if (!AtEnd() && !IsSpace(Peek()) && Peek() != ';') {
        return Fail(pos_, "expected a space before the word");
      }
      SkipSpaces();
      if (AtEnd() || Peek() == ';') return true;
      if (Peek() == '"') {
        Variant text;
        if (!ParseString(&text)) return false;
        words->push_back(text.AsBstr().Utf8());
        continue;
      }
      const size_t start = pos_;
      while (!AtEnd() && !IsSpace(Peek()) && Peek() != ';')
        ++pos_;
      words->emplace_back(line_.substr(start, pos_ - start));
    }
  }

  bool ParseValue(Variant* value, int depth) {
    if (AtEnd()) return Fail(pos_, "expected a value");
    const char c = Peek();
    if (c == '"') return ParseString(value);
    if (c == '#') return ParseDate(value);
    if (c == '[') return ParseArray(value, depth);
    if (c == '-' || IsDigit(c)) return ParseNumber(value);
    if (IsNameStart(c)) return ParseWord(value);
    return Fail(pos_, "expected a value");
  }

  bool ParseString(Variant* value) {
    const size_t start = pos_++;
    std::string text;
    for (;;) {
      if (AtEnd()) return Fail(start, "unterminated string");
      const char c = line_[pos_++];
      if (c == '"') {
        if (AtEnd() || Peek() != '"') break;
        ++pos_;  // a doubled quote stands for one
      }
      text += c;
    }
    std::optional<Bstr> bstr = Bstr::FromUtf8(text);
    if (!bstr) return Fail(start, "string is not valid UTF-8");
    *value = Variant::Str(std::move(*bstr));
    return true;
  }

  bool ParseDate(Variant* value) {
    const size_t start = pos_++;
    const size_t close = line_.find('#', pos_);
    if (close == std::string_view::npos) return Fail(start, "unterminated date");
    const std::string_view text = line_.substr(pos_, close - pos_);
    const std::optional<DateTime> dt = ParseDateTime(text);
    const std::optional<double> date = dt ? DateTimeToOleDate(*dt) : std::nullopt;
    if (!date) return Fail(start, "not a date (#yyyy-mm-dd# or #yyyy-mm-dd hh:mm:ss#)");
    pos_ = close + 1;
    *value = Variant::Date(*date);
    return true;
  }

  bool ParseArray(Variant* value, int depth) {
    const size_t start = pos_++;
    if (depth == kMaxNesting) return Fail(start, "arrays nested too deeply");
    std::vector<Variant> elements;
    SkipSpaces();
    if (!AtEnd() && Peek() == ']') {
      ++pos_;
    } else {
      for (;;) {
        Variant element;
        SkipSpaces();
        if (!ParseValue(&element, depth + 1)) return false;
        elements.push_back(std::move(element));
        SkipSpaces();
        if (AtEnd()) return Fail(start, "unterminated array");
        const char c = line_[pos_++];
        if (c == ']') break;
        if (c != ',') return Fail(pos_ - 1, "expected ',' or ']'");
      }
    }
    *value = Variant::Array(SafeArray::Vector(VT_VARIANT, 0, std::move(elements)));
    return true;
  }

  bool ParseNumber(Variant* value) {
    const size_t start = pos_;
    if (Peek() == '-') ++pos_;
    const size_t digits = pos_;
    while (!AtEnd() && IsDigit(Peek()))
      ++pos_;
    if (pos_ == digits) return Fail(start, "expected a digit after '-'");
    bool integer = true;
    if (!AtEnd() && Peek() == '.') {
      integer = false;
      ++pos_;
      while (!AtEnd() && IsDigit(Peek()))
        ++pos_;
    }
    if (!AtEnd() && (Peek() == 'e' || Peek() == 'E')) {
      integer = false;
      ++pos_;
      if (!AtEnd() && (Peek() == '+' || Peek() == '-')) ++pos_;
      const size_t exponent = pos_;
      while (!AtEnd() && IsDigit(Peek()))
        ++pos_;
      if (pos_ == exponent) return Fail(start, "expected digits in the exponent");
    }
    if (!AtArgumentEnd() && !IsSpace(Peek())) return Fail(start, "malformed number");
    const std::string_view text = line_.substr(start, pos_ - start);
    if (integer) {
      int64_t n = 0;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
      if (ec != std::errc() || end != text.data() + text.size()) {
        return Fail(start, "integer out of range");
      }
      *value = n >= INT32_MIN && n <= INT32_MAX ? Variant::I4(static_cast<int32_t>(n))
                                                : Variant::Signed(VT_I8, n);
      return true;
    }
    double d = 0;
    if (DoubleFromText(text, &d) != S_OK) return Fail(start, "number out of range");
    *value = Variant::R8(d);
    return true;
  }

  bool ParseWord(Variant* value) {
    const size_t start = pos_;
    const std::string_view word = Name();
    if (EqualNoCase(word, "true")) {
      *value = Variant::Bool(true);
    } else if (EqualNoCase(word, "false")) {
      *value = Variant::Bool(false);
    } else if (EqualNoCase(word, "null")) {
      *value = Variant::Null();
    } else if (EqualNoCase(word, "empty")) {
      *value = Variant();
    } else {
      return Fail(start, "expected a value, not '" + std::string(word) + "'");
    }
    return true;
  }

  std::string_view line_;
  size_t pos_ = 0;
  bool failed_ = false;
  ParseError error_;
};

}  // namespace

bool ParseLine(std::string_view line, std::vector<Statement>* statements, ParseError* error,
               size_t* sqlStart) {
  return LineParser(line).Parse(statements, error, sqlStart);
}

}  // namespace vorlix::shell
