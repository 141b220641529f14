// Rows of bare SQL lines through the extension interface's cursor. The SQL method's result-set
// array gives a sole column's values bare, without its name; the cursor's column description
// names every column, and its batches come column by column, a few arrays per batch.
#include "automation/SafeArray.h"
#include "tools/shell/Session.h"

namespace vorlix::shell {
namespace {

// Rows per Fetch: large enough that the calls cost little beside the rows, small enough that
// a batch is a modest message.
constexpr int32_t kBatchRows = 500;

bool IsVariantVector(const Variant& value) {
  return value.IsArray() && value.AsArray().ElementType() == VT_VARIANT &&
         value.AsArray().Dims() == 1;
}

// Adds rows rows of a batch (an array per column, and per column VT_EMPTY or a byte array with
// 1 for a Null) to set; false when the batch has another shape.
bool AppendBatch(const Variant& columns, const Variant& nulls, size_t rows, ResultSet* set) {
  if (!IsVariantVector(columns) || !IsVariantVector(nulls)) return false;
  const std::vector<Variant>& values = columns.AsArray().Elements();
  const std::vector<Variant>& masks = nulls.AsArray().Elements();
  if (values.size() != set->names.size() || masks.size() != values.size()) return false;
  for (size_t c = 0; c < values.size(); ++c) {
    if (!values[c].IsArray() || values[c].AsArray().Count() != rows) return false;
    if (masks[c].vt() != VT_EMPTY && (!masks[c].IsArray() || masks[c].AsArray().Count() != rows))
      return false;
  }
  for (size_t r = 0; r < rows; ++r) {
    std::vector<Variant> row;
    for (size_t c = 0; c < values.size(); ++c) {
      const SafeArray& column = values[c].AsArray();
      const int32_t at = column.LowerBound() + static_cast<int32_t>(r);
      const bool null = masks[c].vt() != VT_EMPTY &&
                        masks[c].AsArray()
                                .At(masks[c].AsArray().LowerBound() + static_cast<int32_t>(r))
                                .AsUnsigned() != 0;
      row.push_back(null ? Variant::Null() : column.At(at));
    }
    set->rows.push_back(std::move(row));
  }
  return true;
}

}  // namespace

bool Session::HasCursor() const {
  return FindMethod(methods_, "OpenCursor") && FindMethod(methods_, "Fetch") &&
         FindMethod(methods_, "CloseCursor");
}

bool Session::CursorRows(Bstr sql, ResultSet* rows, const std::string& where) {
  InvokeResult opened;
  if (!CallMethod("OpenCursor", {Variant::Str(std::move(sql)), Variant()}, &opened, where)) {
    return false;
  }
  if (AnsweredFalse(opened)) {
    const std::string reason = RecordedError();
    Fail(where + (reason.empty() ? "the statement failed" : reason));
    return false;
  }
  if (opened.outs.size() != 2 || !IsVariantVector(opened.outs[1])) {
    Fail(where + "OpenCursor answered no column description");
    return false;
  }
  const Variant cursor = Variant::I4(static_cast<int32_t>(opened.outs[0].AsSigned()));
  // Each column is described by an array whose first element is its name.
  for (const Variant& column : opened.outs[1].AsArray().Elements()) {
    const bool named = IsVariantVector(column) && column.AsArray().Count() > 0 &&
                       column.AsArray().Elements()[0].vt() == VT_BSTR;
    rows->names.push_back(named ? column.AsArray().Elements()[0].AsBstr().Utf8() : "?");
  }
  bool read = true;
  for (int32_t got = kBatchRows; read && got == kBatchRows;) {
    InvokeResult batch;
    read = CallMethod("Fetch", {cursor, Variant::I4(kBatchRows)}, &batch, where);
    if (read && AnsweredFalse(batch)) {
      const std::string reason = RecordedError();
      Fail(where + (reason.empty() ? "reading the rows failed" : reason));
      read = false;
    } else if (read) {
      got = batch.outs.size() == 3 ? static_cast<int32_t>(batch.outs[2].AsSigned()) : -1;
      if (got < 0 || got > kBatchRows ||
          !AppendBatch(batch.outs[0], batch.outs[1], static_cast<size_t>(got), rows)) {
        Fail(where + "Fetch answered rows of another shape");
        read = false;
      }
    }
  }
  InvokeResult closed;
  CallMethod("CloseCursor", {cursor}, &closed, where);
  return read;
}

}  // namespace vorlix::shell
