#include "protocol/PackedColumns.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "automation/SafeArray.h"
#include "automation/Utf.h"

namespace vorlix {
namespace {

// Values are copied between the bytes and the columns as whole arrays, which is the layout's
// byte order only on a little-endian machine.
static_assert(std::endian::native == std::endian::little);

constexpr char kMagic[4] = {'V', 'X', 'P', 'C'};
// In the order of ColumnValues' vectors.
enum Form : uint8_t { kIntegers, kReals, kText, kVariants };

// The form a column of type vt is packed in, or false for a VARTYPE no column holds.
bool FormOf(VARTYPE vt, uint8_t* form) {
  if (vt == VT_VARIANT) return *form = kVariants, true;
  if (vt == VT_BSTR) return *form = kText, true;
  Payload payload = Payload::kNone;
  if (!ScalarPayload(vt, &payload)) return false;
  if (payload == Payload::kSigned || payload == Payload::kUnsigned) return *form = kIntegers, true;
  if (payload == Payload::kReal) return *form = kReals, true;
  return false;
}

class Writer {
 public:
  explicit Writer(std::vector<uint8_t>* out) : out_(*out) {}
  template <typename T>
  void Put(T value) {
    Append(&value, sizeof value);
  }
  void Append(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    out_.insert(out_.end(), p, p + size);
  }
  // Room for size more bytes, to be written through the pointer: many small values go in
  // without a call of the vector's each.
  uint8_t* Grow(size_t size) {
    out_.resize(out_.size() + size);
    return out_.data() + out_.size() - size;
  }

 private:
  std::vector<uint8_t>& out_;
};

bool FitsU32(size_t n) {
  return n <= std::numeric_limits<uint32_t>::max();
}

HRESULT PutVariant(Writer& w, const Variant& v) {
  w.Put<uint16_t>(v.vt());
  if (v.vt() == (VT_ARRAY | VT_UI1)) {
    const SafeArray& array = v.AsArray();
    if (array.Dims() != 1 || array.LowerBound() != 0) return E_INVALIDARG;
    const std::vector<uint8_t>& bytes = array.Bytes();
    if (!FitsU32(bytes.size())) return E_INVALIDARG;
    w.Put(static_cast<uint32_t>(bytes.size()));
    w.Append(bytes.data(), bytes.size());
    return S_OK;
  }
  Payload payload = Payload::kNone;
  if (!ScalarPayload(v.vt(), &payload)) return E_INVALIDARG;
  switch (payload) {
    case Payload::kNone:
      break;
    case Payload::kSigned:
      w.Put(v.AsSigned());
      break;
    case Payload::kUnsigned:
      w.Put(v.AsUnsigned());
      break;
    case Payload::kReal:
      w.Put(v.AsReal());
      break;
    case Payload::kString: {
      const std::u16string& text = v.AsBstr().str();
      if (!FitsU32(text.size())) return E_INVALIDARG;
      w.Put(static_cast<uint32_t>(text.size()));
      w.Append(text.data(), text.size() * sizeof(char16_t));
      break;
    }
    case Payload::kDecimal: {
      const Decimal& d = v.AsDecimal();
      w.Put(d.scale);
      w.Put(d.sign);
      w.Put(d.hi);
      w.Put(d.lo);
      break;
    }
  }
  return S_OK;
}

// A column's bytes after its own header, or E_INVALIDARG when its values are not rows values of
// the form its type takes.
HRESULT PutColumn(Writer& w, const ColumnValues& column, uint8_t form, size_t rows) {
  if (std::visit([](const auto& v) { return v.size(); }, column.values) != rows ||
      column.values.index() != form || (!column.nulls.empty() && column.nulls.size() != rows)) {
    return E_INVALIDARG;
  }
  if (!column.nulls.empty()) w.Append(column.nulls.data(), rows);
  switch (form) {
    case kIntegers: {
      const auto& values = std::get<std::vector<int64_t>>(column.values);
      w.Append(values.data(), rows * sizeof(int64_t));
      return S_OK;
    }
    case kReals: {
      const auto& values = std::get<std::vector<double>>(column.values);
      w.Append(values.data(), rows * sizeof(double));
      return S_OK;
    }
    case kText: {
      const auto& values = std::get<std::vector<std::string>>(column.values);
      size_t total = 0;
      uint8_t* sizes = w.Grow(rows * sizeof(uint32_t));
      for (const std::string& text : values) {
        if (!FitsU32(text.size())) return E_INVALIDARG;
        const uint32_t size = static_cast<uint32_t>(text.size());
        memcpy(sizes, &size, sizeof size);
        sizes += sizeof size;
        total += text.size();
      }
      uint8_t* to = w.Grow(total);
      for (const std::string& text : values) {
        memcpy(to, text.data(), text.size());
        to += text.size();
      }
      return S_OK;
    }
    default:
      for (const Variant& v : std::get<std::vector<Variant>>(column.values)) {
        if (const HRESULT hr = PutVariant(w, v); hr != S_OK) return hr;
      }
      return S_OK;
  }
}

// Reads from bytes, never past their end: each Take fails instead.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  size_t Left() const { return bytes_.size() - at_; }
  // The next size bytes, or nullptr when fewer are left.
  const uint8_t* Take(size_t size) {
    if (size > Left()) return nullptr;
    const uint8_t* p = bytes_.data() + at_;
    at_ += size;
    return p;
  }
  template <typename T>
  bool Get(T* value) {
    const uint8_t* p = Take(sizeof(T));
    if (p) memcpy(value, p, sizeof(T));
    return p != nullptr;
  }
  // count values of T copied into *values, or false when fewer are left.
  template <typename T>
  bool GetArray(size_t count, std::vector<T>* values) {
    if (count > Left() / sizeof(T)) return false;
    values->resize(count);
    memcpy(values->data(), Take(count * sizeof(T)), count * sizeof(T));
    return true;
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t at_ = 0;
};

// UTF-8 without U+0000, as a text array holds it.
bool IsTextArrayElement(std::string_view text) {
  const bool ascii =
      std::all_of(text.begin(), text.end(), [](char c) { return static_cast<uint8_t>(c) < 0x80; });
  if (text.find('\0') != std::string_view::npos) return false;
  return ascii || Utf8ToUtf16(text).has_value();
}

bool GetVariant(Reader& r, Variant* v) {
  uint16_t vt = 0;
  if (!r.Get(&vt)) return false;
  if (vt == (VT_ARRAY | VT_UI1)) {
    uint32_t size = 0;
    std::vector<uint8_t> bytes;
    if (!r.Get(&size) || !r.GetArray(size, &bytes)) return false;
    *v = Variant::Array(SafeArray::ByteVector(std::move(bytes)));
    return true;
  }
  Payload payload = Payload::kNone;
  if (!ScalarPayload(vt, &payload)) return false;
  switch (payload) {
    case Payload::kNone:
      *v = vt == VT_NULL ? Variant::Null() : Variant();
      return true;
    case Payload::kSigned: {
      int64_t x = 0;
      if (!r.Get(&x)) return false;
      *v = Variant::Signed(vt, x);
      return true;
    }
    case Payload::kUnsigned: {
      uint64_t x = 0;
      if (!r.Get(&x)) return false;
      *v = Variant::Unsigned(vt, x);
      return true;
    }
    case Payload::kReal: {
      double x = 0;
      if (!r.Get(&x)) return false;
      *v = Variant::Real(vt, x);
      return true;
    }
    case Payload::kString: {
      uint32_t units = 0;
      std::vector<char16_t> text;
      if (!r.Get(&units) || !r.GetArray(units, &text)) return false;
      *v = Variant::Str(Bstr(std::u16string(text.begin(), text.end())));
      return true;
    }
    case Payload::kDecimal: {
      Decimal d;
      if (!r.Get(&d.scale) || !r.Get(&d.sign) || !r.Get(&d.hi) || !r.Get(&d.lo)) return false;
      *v = Variant::Dec(d);
      return true;
    }
  }
  return false;
}

bool GetColumn(Reader& r, size_t rows, ColumnValues* column) {
  uint8_t form = 0, masked = 0, expected = 0;
  if (!r.Get(&column->type) || !r.Get(&form) || !r.Get(&masked)) return false;
  if (!FormOf(column->type, &expected) || form != expected || masked > 1) return false;
  if (masked) {
    if (!r.GetArray(rows, &column->nulls)) return false;
    if (std::any_of(column->nulls.begin(), column->nulls.end(), [](uint8_t b) { return b > 1; }))
      return false;
  }
  switch (form) {
    case kIntegers:
      return r.GetArray(rows, &column->values.emplace<std::vector<int64_t>>());
    case kReals:
      return r.GetArray(rows, &column->values.emplace<std::vector<double>>());
    case kText: {
      std::vector<uint32_t> sizes;
      if (!r.GetArray(rows, &sizes)) return false;
      auto& texts = column->values.emplace<std::vector<std::string>>();
      texts.reserve(rows);
      for (uint32_t size : sizes) {
        const uint8_t* p = r.Take(size);
        if (!p) return false;
        std::string_view text(reinterpret_cast<const char*>(p), size);
        if (!IsTextArrayElement(text)) return false;
        texts.emplace_back(text);
      }
      return true;
    }
    default: {
      // Each value takes at least its VARTYPE: a count beyond that is refused before room for
      // it is taken.
      if (rows > r.Left() / sizeof(uint16_t)) return false;
      auto& values = column->values.emplace<std::vector<Variant>>();
      values.resize(rows);
      for (Variant& v : values) {
        if (!GetVariant(r, &v)) return false;
      }
      return true;
    }
  }
}

}  // namespace

HRESULT EncodePackedColumns(const std::vector<ColumnValues>& columns, size_t rows,
                            std::vector<uint8_t>* bytes) {
  bytes->clear();
  if (columns.size() > std::numeric_limits<uint16_t>::max() || !FitsU32(rows)) {
    return E_INVALIDARG;
  }
  // Integers and reals take 8 bytes a value and most text little more: room for the whole
  // batch at once, so that it is not copied as it grows.
  bytes->reserve(12 + columns.size() * (4 + rows * 17));
  Writer w(bytes);
  w.Append(kMagic, sizeof kMagic);
  w.Put(kPackedVersion);
  w.Put(static_cast<uint16_t>(columns.size()));
  w.Put(static_cast<uint32_t>(rows));
  for (const ColumnValues& column : columns) {
    uint8_t form = 0;
    if (!FormOf(column.type, &form)) return E_INVALIDARG;
    w.Put(column.type);
    w.Put(form);
    w.Put<uint8_t>(!column.nulls.empty());
    if (const HRESULT hr = PutColumn(w, column, form, rows); hr != S_OK) return hr;
  }
  return S_OK;
}

HRESULT DecodePackedColumns(std::span<const uint8_t> bytes, std::vector<ColumnValues>* columns,
                            size_t* rows) {
  columns->clear();
  *rows = 0;
  Reader r(bytes);
  const uint8_t* magic = r.Take(sizeof kMagic);
  uint16_t version = 0, count = 0;
  uint32_t rowCount = 0;
  if (!magic || memcmp(magic, kMagic, sizeof kMagic) != 0 || !r.Get(&version) ||
      version != kPackedVersion || !r.Get(&count) || !r.Get(&rowCount) ||
      count > r.Left() / 4) {  // each column's own header takes 4 bytes
    return E_INVALIDARG;
  }
  std::vector<ColumnValues> read(count);
  for (ColumnValues& column : read) {
    if (!GetColumn(r, rowCount, &column)) return E_INVALIDARG;
  }
  if (r.Left() != 0) return E_INVALIDARG;
  *columns = std::move(read);
  *rows = rowCount;
  return S_OK;
}

}  // namespace vorlix
