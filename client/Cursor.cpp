#include "client/Cursor.h"

#include "automation/SafeArray.h"
#include "client/ClientError.h"
#include "client/WireCall.h"
#include "protocol/PackedColumns.h"

namespace vorlix {
namespace {

// The elements of an array Variant, or none when it is not a VARIANT array.
const std::vector<Variant>& ArrayElements(const Variant& v) {
  static const std::vector<Variant> kNone;
  return v.vt() == (VT_ARRAY | VT_VARIANT) ? v.AsArray().Elements() : kNone;
}

// A column of Fetch's answer in the vector its element type selects. A byte column arrives as
// bytes, without a Variant per element.
Cursor::ColumnValues ToColumn(const Variant& array, const Variant& nulls) {
  Cursor::ColumnValues column;
  if (nulls.vt() == (VT_ARRAY | VT_UI1)) column.nulls = nulls.AsArray().Bytes();
  if (!array.IsArray()) return column;
  const SafeArray& values = array.AsArray();
  column.type = values.ElementType();
  if (column.type == VT_UI1) {
    column.values = std::vector<int64_t>(values.Bytes().begin(), values.Bytes().end());
    return column;
  }
  Payload payload = Payload::kNone;
  if (!ScalarPayload(column.type, &payload)) payload = Payload::kNone;
  const std::vector<Variant>& elements = values.Elements();
  switch (payload) {
    case Payload::kSigned:
    case Payload::kUnsigned: {
      std::vector<int64_t> ints;
      ints.reserve(elements.size());
      for (const Variant& v : elements) {
        if (column.type == VT_BOOL) {
          ints.push_back(v.AsBool());
        } else {
          ints.push_back(payload == Payload::kSigned ? v.AsSigned()
                                                     : static_cast<int64_t>(v.AsUnsigned()));
        }
      }
      column.values = std::move(ints);
      break;
    }
    case Payload::kReal: {
      std::vector<double> reals;
      reals.reserve(elements.size());
      for (const Variant& v : elements)
        reals.push_back(v.AsReal());
      column.values = std::move(reals);
      break;
    }
    case Payload::kString: {
      std::vector<std::string> texts;
      texts.reserve(elements.size());
      for (const Variant& v : elements)
        texts.push_back(v.AsBstr().Utf8());
      column.values = std::move(texts);
      break;
    }
    default:
      column.values = elements;
  }
  return column;
}

// A column description of OpenCursor: name, VARTYPE, declared type, size, nullable.
Cursor::Column ToDescription(const Variant& described) {
  const std::vector<Variant>& f = ArrayElements(described);
  Cursor::Column column;
  if (f.size() != 5) return column;
  column.name = f[0].AsBstr().Utf8();
  column.type = static_cast<VARTYPE>(f[1].AsSigned());
  column.declaredType = f[2].AsBstr().Utf8();
  column.size = static_cast<int32_t>(f[3].AsSigned());
  column.nullable = f[4].AsBool();
  return column;
}

// The failure the connection's error record holds, as LastClientError() words: "code text".
HRESULT StatementFailure(DispatchProxy& connection) {
  InvokeResult error;
  std::string words = "the statement failed";
  if (SUCCEEDED(connection.Invoke("GetLastDAOError", {Variant(), Variant()}, &error)) &&
      error.outs.size() == 2 && error.outs[1].vt() == VT_BSTR) {
    words = std::to_string(error.outs[0].AsSigned()) + " " + error.outs[1].AsBstr().Utf8();
  }
  return ClientFailure(E_FAIL, words);
}

}  // namespace

bool Cursor::Row::IsNull(size_t column) const {
  const std::vector<uint8_t>& nulls = batch_->columns.at(column).nulls;
  return !nulls.empty() && nulls[index_] != 0;
}

int64_t Cursor::Row::Int(size_t column) const {
  return std::get<std::vector<int64_t>>(batch_->columns.at(column).values)[index_];
}

double Cursor::Row::Real(size_t column) const {
  return std::get<std::vector<double>>(batch_->columns.at(column).values)[index_];
}

const std::string& Cursor::Row::Text(size_t column) const {
  return std::get<std::vector<std::string>>(batch_->columns.at(column).values)[index_];
}

Variant Cursor::Row::Value(size_t column) const {
  return ValueAt(batch_->columns.at(column), index_);
}

Cursor::Iterator& Cursor::Iterator::operator++() {
  Row& row = cursor_->row_;
  if (++row.index_ >= cursor_->batch_.rows) cursor_->NextBatch();
  return *this;
}

bool Cursor::Iterator::operator==(std::default_sentinel_t) const {
  return cursor_->row_.index_ >= cursor_->batch_.rows;
}

HRESULT Cursor::Open(DBConnection2& connection, const std::string& sql, const Variant& params,
                     std::unique_ptr<Cursor>* cursor, int32_t batchRows) {
  cursor->reset();
  const std::optional<Bstr> text = Bstr::FromUtf8(sql);
  if (!text) return ClientFailure(E_INVALIDARG, "the statement is not UTF-8");
  int32_t id = 0;
  Variant described;
  VARIANT_BOOL ok = VARIANT_FALSE;
  const HRESULT hr = connection.OpenCursor(*text, params, &id, &described, &ok);
  if (FAILED(hr)) return hr;
  if (!ok) return StatementFailure(connection);
  std::vector<Column> columns;
  for (const Variant& c : ArrayElements(described))
    columns.push_back(ToDescription(c));
  // A server that predates the packed form lacks the member; asked once per connection.
  int32_t dispid = 0;
  const bool packed = connection.GetIDOfName("FetchPacked", &dispid) == S_OK;
  cursor->reset(new Cursor(connection, id, std::move(columns), batchRows, packed));
  return S_OK;
}

Cursor::Cursor(DBConnection2& connection, int32_t id, std::vector<Column> columns,
               int32_t batchRows, bool packed)
    : connection_(connection),
      id_(id),
      columns_(std::move(columns)),
      batchRows_(batchRows),
      packed_(packed) {
  row_.batch_ = &batch_;
}

Cursor::~Cursor() {
  VARIANT_BOOL ok = VARIANT_FALSE;
  if (id_) connection_.CloseCursor(id_, &ok);
}

HRESULT Cursor::Fail(HRESULT hr) {
  error_ = LastClientError();
  return hr;
}

HRESULT Cursor::FetchColumns(int32_t rows, Batch* batch) {
  batch->rows = 0;
  batch->columns.clear();
  if (!id_) return S_OK;
  int32_t count = 0;
  VARIANT_BOOL ok = VARIANT_FALSE;
  PackedBytes packed;
  Variant columns, nulls;
  HRESULT hr = packed_ ? connection_.FetchPacked(id_, rows, &packed, &count, &ok)
                       : connection_.Fetch(id_, rows, &columns, &nulls, &count, &ok);
  if (SUCCEEDED(hr) && !ok) hr = StatementFailure(connection_);
  if (FAILED(hr)) return Fail(hr);
  if (packed_) {
    size_t decoded = 0;
    if (DecodePackedColumns(packed.Bytes(), &batch->columns, &decoded) != S_OK ||
        decoded != static_cast<size_t>(count) || batch->columns.size() != columns_.size()) {
      batch->columns.clear();
      return Fail(MalformedAnswer("FetchPacked"));
    }
  } else {
    const std::vector<Variant>& values = ArrayElements(columns);
    const std::vector<Variant>& masks = ArrayElements(nulls);
    for (size_t c = 0; c < values.size(); ++c)
      batch->columns.push_back(ToColumn(values[c], c < masks.size() ? masks[c] : Variant()));
  }
  batch->rows = static_cast<size_t>(count);
  // Fewer rows than asked: the statement has no more, and its cursor goes at once.
  if (count < rows) {
    connection_.CloseCursor(id_, &ok);
    id_ = 0;
  }
  return S_OK;
}

Cursor::Iterator Cursor::begin() {
  NextBatch();
  return Iterator(this);
}

void Cursor::NextBatch() {
  row_.index_ = 0;
  FetchColumns(batchRows_, &batch_);
}

}  // namespace vorlix
