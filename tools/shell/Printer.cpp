#include "tools/shell/Printer.h"

#include <algorithm>
#include <cstdio>

#include "automation/Date.h"
#include "automation/Numeric.h"
#include "automation/SafeArray.h"

namespace vorlix::shell {
namespace {

const std::u16string_view kRowMarker = u"*NewRecord*";

bool IsText(const Variant& v) {
  return v.vt() == VT_BSTR;
}
bool IsRowMarker(const Variant& v) {
  return IsText(v) && v.AsBstr().view() == kRowMarker;
}

// Characters on screen, counted as UTF-8 lead bytes.
size_t Width(const std::string& text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::string Pad(std::string text, size_t width) {
  const size_t w = Width(text);
  if (w < width) text.append(width - w, ' ');
  return text;
}

std::string Quoted(const Bstr& text) {
  std::string quoted = "\"";
  for (char c : text.Utf8()) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + '"';
}

std::string DateLiteral(double date) {
  if (const std::optional<DateTime> dt = OleDateToDateTime(date)) {
    return '#' + FormatDateTime(*dt) + '#';
  }
  return "date(" + DoubleToText(date) + ")";
}

// The row length of a result-set array, or 0 when the elements are not one. Rows are found by
// position: the marker opens row 0 and the next marker at an odd index opens row 1 (values sit
// at even indices, so a value that reads "*NewRecord*" is not taken for one).
size_t ResultSetRowLength(const std::vector<Variant>& e) {
  if (e.empty() || !IsRowMarker(e[0])) return 0;
  size_t length = 1;
  while (length < e.size() && !IsRowMarker(e[length]))
    length += 2;
  if (length == 1 || e.size() % length != 0) return 0;
  for (size_t row = 0; row < e.size(); row += length) {
    if (!IsRowMarker(e[row])) return 0;
    for (size_t name = row + 1; name < row + length; name += 2) {
      if (!IsText(e[name])) return 0;
    }
  }
  return length;
}

bool IsRecord(const std::vector<Variant>& e) {
  if (e.empty() || e.size() % 2 != 0) return false;
  bool valueNotText = false;
  for (size_t i = 0; i < e.size(); i += 2) {
    if (!IsText(e[i])) return false;
    valueNotText = valueNotText || !IsText(e[i + 1]);
  }
  return valueNotText;
}

std::string ShowTable(const std::vector<Variant>& e, size_t length, const std::string& indent) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> header;
  for (size_t i = 1; i < length; i += 2)
    header.push_back(e[i].AsBstr().Utf8());
  rows.push_back(header);
  rows.emplace_back();  // the rule under the header, filled once the widths are known
  for (size_t row = 0; row < e.size(); row += length) {
    std::vector<std::string> cells;
    for (size_t i = row + 2; i < row + length; i += 2)
      cells.push_back(Literal(e[i]));
    rows.push_back(std::move(cells));
  }
  std::vector<size_t> widths(header.size(), 0);
  for (const auto& cells : rows) {
    for (size_t c = 0; c < cells.size(); ++c)
      widths[c] = std::max(widths[c], Width(cells[c]));
  }
  for (size_t width : widths)
    rows[1].push_back(std::string(width, '-'));
  std::string text;
  for (const auto& cells : rows) {
    std::string line = indent;
    for (size_t c = 0; c < cells.size(); ++c)
      line += c + 1 < cells.size() ? Pad(cells[c], widths[c]) + "  " : cells[c];
    text += line + '\n';
  }
  return text;
}

std::string ShowRecord(const std::vector<Variant>& e, const std::string& indent) {
  size_t width = 0;
  for (size_t i = 0; i < e.size(); i += 2)
    width = std::max(width, Width(e[i].AsBstr().Utf8()));
  std::string text;
  for (size_t i = 0; i < e.size(); i += 2)
    text += indent + Pad(e[i].AsBstr().Utf8(), width) + "  " + Literal(e[i + 1]) + '\n';
  return text;
}

// Arrays of VARIANTs are what methods hand out as records, result sets and lists; any other
// array (the bytes of a binary field) stays on one line.
bool ShownAsLines(const Variant& v) {
  return v.IsArray() && v.AsArray().Dims() == 1 && v.AsArray().ElementType() == VT_VARIANT;
}

}  // namespace

std::string Literal(const Variant& value) {
  if (value.IsArray()) {
    // A byte array keeps plain bytes, not Variants.
    const SafeArray& array = value.AsArray();
    const bool bytes = array.ElementType() == VT_UI1;
    std::string text = "[";
    for (size_t i = 0; i < array.Count(); ++i) {
      if (i > 0) text += ", ";
      text += bytes ? std::to_string(array.Bytes()[i]) : Literal(array.Elements()[i]);
    }
    return text + ']';
  }
  switch (value.vt()) {
    case VT_EMPTY:
      return "empty";
    case VT_NULL:
      return "null";
    case VT_BOOL:
      return value.AsBool() ? "true" : "false";
    case VT_BSTR:
      return Quoted(value.AsBstr());
    case VT_DATE:
      return DateLiteral(value.AsReal());
    case VT_R4:
      return SingleToText(static_cast<float>(value.AsReal()));
    case VT_R8:
      return DoubleToText(value.AsReal());
    case VT_CY:
      return CurrencyToText(value.AsSigned());
    case VT_DECIMAL:
      return IsValidDecimal(value.AsDecimal()) ? DecimalToText(value.AsDecimal())
                                               : "decimal(invalid)";
    case VT_ERROR: {
      char code[24];
      snprintf(code, sizeof code, "error(0x%08X)", static_cast<uint32_t>(value.AsSigned()));
      return code;
    }
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_UINT:
      return std::to_string(value.AsUnsigned());
    default:
      return std::to_string(value.AsSigned());
  }
}

std::string Show(const Variant& value, const std::string& indent) {
  if (!ShownAsLines(value)) return indent + Literal(value) + '\n';
  const std::vector<Variant>& e = value.AsArray().Elements();
  if (e.empty()) return indent + "[]\n";
  if (const size_t length = ResultSetRowLength(e)) return ShowTable(e, length, indent);
  if (IsRecord(e)) return ShowRecord(e, indent);
  std::string text;
  for (const Variant& element : e)
    text += indent + Literal(element) + '\n';
  return text;
}

std::string ShowReply(const Variant& result, const std::vector<Variant>& outs,
                      const std::vector<std::string>& outNames) {
  std::string text = result.vt() == VT_EMPTY ? "" : Literal(result) + '\n';
  for (size_t i = 0; i < outs.size(); ++i) {
    const std::string name = i < outNames.size() ? outNames[i] : "out " + std::to_string(i + 1);
    if (ShownAsLines(outs[i])) {
      text += name + ":\n" + Show(outs[i], "  ");
    } else {
      text += name + ": " + Literal(outs[i]) + '\n';
    }
  }
  return text;
}

}  // namespace vorlix::shell
