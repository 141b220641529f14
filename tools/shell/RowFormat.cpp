#include "tools/shell/RowFormat.h"

#include <algorithm>
#include <cstdio>

#include "automation/Coerce.h"
#include "tools/shell/Csv.h"
#include "tools/shell/Printer.h"

namespace vorlix::shell {
namespace {

std::string TsvField(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '\t':
        escaped += "\\t";
        break;
      case '\n':
        escaped += "\\n";
        break;
      case '\r':
        escaped += "\\r";
        break;
      case '\\':
        escaped += "\\\\";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string JsonString(const std::string& text) {
  std::string json = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      snprintf(escape, sizeof escape, "\\u%04x", c);
      json += escape;
    } else {
      json += c;
    }
  }
  return json + '"';
}

// Numbers and Booleans bare, Null as null, everything else (dates included) as a string.
std::string JsonValue(const Variant& value) {
  switch (value.vt()) {
    case VT_NULL:
    case VT_EMPTY:
      return "null";
    case VT_BOOL:
      return value.AsBool() ? "true" : "false";
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DECIMAL:
      return PlainText(value);
    default:
      return JsonString(PlainText(value));
  }
}

std::string Join(const std::vector<std::string>& fields, const std::string& separator) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i)
    line += (i ? separator : "") + fields[i];
  return line;
}

}  // namespace

std::optional<RowMode> RowModeNamed(std::string_view name) {
  if (name == "table") return RowMode::kTable;
  if (name == "csv") return RowMode::kCsv;
  if (name == "tsv") return RowMode::kTsv;
  if (name == "json") return RowMode::kJson;
  if (name == "line") return RowMode::kLine;
  return std::nullopt;
}

std::string PlainText(const Variant& value) {
  if (value.vt() == VT_NULL || value.vt() == VT_EMPTY) return "";
  Variant text;
  if (!value.IsArray() && SUCCEEDED(ChangeType(value, VT_BSTR, &text))) {
    return text.AsBstr().Utf8();
  }
  return Literal(value);
}

std::string FormatRows(const ResultSet& rows, const RowFormat& format) {
  if (rows.rows.empty()) return "";
  std::vector<std::vector<std::string>> cells;
  for (const std::vector<Variant>& row : rows.rows) {
    cells.emplace_back();
    for (const Variant& value : row)
      cells.back().push_back(PlainText(value));
  }
  const bool headers = format.headers && !rows.names.empty();
  std::string text;
  switch (format.mode) {
    case RowMode::kTable:
      return AlignedColumns(headers ? rows.names : std::vector<std::string>(), cells, "");
    case RowMode::kCsv:
      if (headers) text += CsvRecord(rows.names);
      for (const auto& line : cells)
        text += CsvRecord(line);
      return text;
    case RowMode::kTsv: {
      std::vector<std::vector<std::string>> lines;
      if (headers) lines.push_back(rows.names);
      lines.insert(lines.end(), cells.begin(), cells.end());
      for (auto& line : lines) {
        for (std::string& field : line)
          field = TsvField(field);
        text += Join(line, "\t") + '\n';
      }
      return text;
    }
    case RowMode::kJson:
      for (size_t r = 0; r < rows.rows.size(); ++r) {
        std::string item;
        if (rows.names.empty()) {
          item = JsonValue(rows.rows[r][0]);
        } else {
          std::vector<std::string> members;
          for (size_t c = 0; c < rows.names.size(); ++c)
            members.push_back(JsonString(rows.names[c]) + ":" + JsonValue(rows.rows[r][c]));
          item = '{' + Join(members, ",") + '}';
        }
        text += (r ? ",\n" : "[") + item;
      }
      return text + "]\n";
    case RowMode::kLine: {
      size_t width = 0;
      for (const std::string& name : rows.names)
        width = std::max(width, name.size());
      for (size_t r = 0; r < cells.size(); ++r) {
        if (r && !rows.names.empty()) text += '\n';
        for (size_t c = 0; c < cells[r].size(); ++c) {
          if (!rows.names.empty()) {
            text += std::string(width - rows.names[c].size(), ' ') + rows.names[c] + " = ";
          }
          text += cells[r][c] + '\n';
        }
      }
      return text;
    }
  }
  return text;
}

}  // namespace vorlix::shell
