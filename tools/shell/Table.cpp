#include "tools/shell/Table.h"

#include <algorithm>

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

}  // namespace

std::optional<ResultSet> AsResultSet(const std::vector<Variant>& e) {
  if (e.empty() || !IsRowMarker(e[0])) return std::nullopt;
  size_t length = 1;
  while (length < e.size() && !IsRowMarker(e[length]))
    length += 2;
  if (length == 1 || e.size() % length != 0) return std::nullopt;
  ResultSet set;
  for (size_t i = 1; i < length; i += 2) {
    if (!IsText(e[i])) return std::nullopt;
    set.names.push_back(e[i].AsBstr().Utf8());
  }
  for (size_t row = 0; row < e.size(); row += length) {
    if (!IsRowMarker(e[row])) return std::nullopt;
    std::vector<Variant> values;
    for (size_t name = row + 1; name < row + length; name += 2) {
      if (!IsText(e[name])) return std::nullopt;
      values.push_back(e[name + 1]);
    }
    set.rows.push_back(std::move(values));
  }
  return set;
}

ResultSet QueryRows(const Variant& value) {
  if (!value.IsArray() || value.AsArray().ElementType() != VT_VARIANT) return {};
  const std::vector<Variant>& elements = value.AsArray().Elements();
  if (std::optional<ResultSet> set = AsResultSet(elements)) return std::move(*set);
  ResultSet column;
  for (const Variant& element : elements)
    column.rows.push_back({element});
  return column;
}

std::string AlignedColumns(const std::vector<std::string>& header,
                           const std::vector<std::vector<std::string>>& cells,
                           const std::string& indent) {
  std::vector<std::vector<std::string>> lines;
  if (!header.empty()) {
    lines.push_back(header);
    lines.emplace_back();  // the rule, filled once the widths are known
  }
  lines.insert(lines.end(), cells.begin(), cells.end());
  std::vector<size_t> widths;
  for (const auto& line : lines) {
    if (widths.size() < line.size()) widths.resize(line.size(), 0);
    for (size_t c = 0; c < line.size(); ++c)
      widths[c] = std::max(widths[c], Width(line[c]));
  }
  if (!header.empty()) {
    for (size_t c = 0; c < header.size(); ++c)
      lines[1].push_back(std::string(widths[c], '-'));
  }
  std::string text;
  for (const auto& line : lines) {
    text += indent;
    for (size_t c = 0; c < line.size(); ++c) {
      text += line[c];
      if (c + 1 < line.size()) text += std::string(widths[c] - Width(line[c]) + 2, ' ');
    }
    text += '\n';
  }
  return text;
}

}  // namespace vorlix::shell
