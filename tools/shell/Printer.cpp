#include "tools/shell/Printer.h"

#include <cstdio>

#include "automation/Date.h"
#include "automation/Numeric.h"
#include "automation/SafeArray.h"
#include "tools/shell/Table.h"

namespace vorlix::shell {
namespace {

bool IsText(const Variant& v) {
  return v.vt() == VT_BSTR;
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

bool IsRecord(const std::vector<Variant>& e) {
  if (e.empty() || e.size() % 2 != 0) return false;
  bool valueNotText = false;
  for (size_t i = 0; i < e.size(); i += 2) {
    if (!IsText(e[i])) return false;
    valueNotText = valueNotText || !IsText(e[i + 1]);
  }
  return valueNotText;
}

std::string ShowTable(const ResultSet& set, const std::string& indent) {
  std::vector<std::vector<std::string>> cells;
  for (const std::vector<Variant>& row : set.rows) {
    cells.emplace_back();
    for (const Variant& value : row)
      cells.back().push_back(Literal(value));
  }
  return AlignedColumns(set.names, cells, indent);
}

// Aligned "name  value" lines.
std::string ShowRecord(const std::vector<Variant>& e, const std::string& indent) {
  std::vector<std::vector<std::string>> cells;
  for (size_t i = 0; i < e.size(); i += 2)
    cells.push_back({e[i].AsBstr().Utf8(), Literal(e[i + 1])});
  return AlignedColumns({}, cells, indent);
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
  if (const std::optional<ResultSet> set = AsResultSet(e)) return ShowTable(*set, indent);
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
