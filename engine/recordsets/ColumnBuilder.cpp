#include "engine/recordsets/ColumnBuilder.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "automation/Utf.h"

namespace vorlix {
namespace {

// ASCII without U+0000: its bytes are its UTF-8 form as they are.
bool IsPlainAscii(std::string_view bytes) {
  return std::all_of(bytes.begin(), bytes.end(),
                     [](char c) { return c > 0 && static_cast<unsigned char>(c) < 0x80; });
}

// The text a column of text holds for stored bytes, in *text: false when it has no place in a
// text array (U+0000, or an unpaired surrogate), and goes as a Variant instead.
bool TextOf(std::string_view bytes, std::string* text) {
  if (IsPlainAscii(bytes)) {
    text->assign(bytes);
    return true;
  }
  // As a Variant reads it: invalid UTF-8 repaired the same way.
  const Bstr read = Bstr::FromUtf8Lossy(bytes);
  if (read.view().find(u'\0') != std::u16string_view::npos) return false;
  std::optional<std::string> utf8 = read.ToUtf8();
  if (!utf8) return false;
  *text = std::move(*utf8);
  return true;
}

enum class Form { kInteger, kReal, kText, kVariant };

Form FormOf(VARTYPE vt) {
  switch (vt) {
    case VT_BOOL:
    case VT_UI1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_CY:
      return Form::kInteger;
    case VT_R4:
    case VT_R8:
    case VT_DATE:
      return Form::kReal;
    case VT_BSTR:
      return Form::kText;
    default:
      return Form::kVariant;  // binary values: an array cannot hold arrays
  }
}

template <typename T>
std::vector<T>& Start(ColumnValues* column, size_t zeros, size_t expected) {
  std::vector<T>& values = column->values.emplace<std::vector<T>>();
  values.reserve(expected);
  values.resize(zeros);
  return values;
}

}  // namespace

ColumnBuilder::ColumnBuilder(size_t expected) : expected_(expected) {
  column_.nulls.reserve(expected);
}

void ColumnBuilder::Begin(VARTYPE vt) {
  switch (FormOf(vt)) {
    case Form::kInteger:
      Start<int64_t>(&column_, rows_, expected_);
      break;
    case Form::kReal:
      Start<double>(&column_, rows_, expected_);
      break;
    case Form::kText:
      Start<std::string>(&column_, rows_, expected_);
      break;
    case Form::kVariant:
      ToVariants();
      return;
  }
  column_.type = vt;
}

void ColumnBuilder::ToVariants() {
  std::vector<Variant> variants;
  variants.reserve(std::max(expected_, rows_));
  for (size_t r = 0; r < rows_; ++r)
    variants.push_back(column_.type == VT_EMPTY ? Variant::Null() : ValueAt(column_, r));
  column_.type = VT_VARIANT;
  column_.values = std::move(variants);
}

void ColumnBuilder::AddVariant(const CellValue& cell) {
  std::get<std::vector<Variant>>(column_.values).push_back(ToVariant(cell));
}

void ColumnBuilder::Add(const CellValue& cell) {
  const bool null = cell.vt == VT_NULL;
  column_.nulls.push_back(null);
  anyNull_ |= null;
  if (column_.type == VT_EMPTY && !null) Begin(cell.vt);
  if (column_.type != VT_EMPTY && column_.type != VT_VARIANT && !null && cell.vt != column_.type) {
    ToVariants();
  }
  switch (column_.type) {
    case VT_EMPTY:
      break;  // Nulls before the first value: Begin puts their zeros
    case VT_VARIANT:
      AddVariant(cell);
      break;
    default:
      switch (column_.values.index()) {
        case 0:
          std::get<0>(column_.values).push_back(cell.integer);
          break;
        case 1:
          std::get<1>(column_.values).push_back(cell.real);
          break;
        default: {
          std::vector<std::string>& texts = std::get<2>(column_.values);
          texts.emplace_back();
          if (!null && !TextOf(cell.bytes, &texts.back())) {
            texts.pop_back();
            ToVariants();
            AddVariant(cell);
          }
        }
      }
  }
  ++rows_;
}

ColumnValues ColumnBuilder::Finish() {
  if (column_.type == VT_EMPTY) ToVariants();
  if (!anyNull_) column_.nulls.clear();
  return std::move(column_);
}

}  // namespace vorlix
