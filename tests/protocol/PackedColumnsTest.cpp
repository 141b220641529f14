// The packed form of a batch: every form of column comes back exactly, and bytes that do not
// follow the layout (cut short anywhere, or lying about a count, a length or a type) are
// refused without reading past their end.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "automation/SafeArray.h"
#include "protocol/PackedColumns.h"

namespace vorlix {
namespace {

ColumnValues Column(VARTYPE type, decltype(ColumnValues::values) values,
                    std::vector<uint8_t> nulls = {}) {
  return {type, std::move(values), std::move(nulls)};
}

// Three rows in each form a column takes, with Nulls, non-ASCII text, and among the Variants a
// text holding U+0000, bytes and a decimal.
std::vector<ColumnValues> Batch() {
  return {
      Column(VT_CY, std::vector<int64_t>{-922337203685477LL * 10000, 0, 12345}, {0, 1, 0}),
      Column(VT_BOOL, std::vector<int64_t>{1, 0, 1}),
      Column(VT_DATE, std::vector<double>{45000.5, -1.25, 0}),
      Column(VT_BSTR, std::vector<std::string>{"Zoë", "", "日本"}, {0, 1, 0}),
      Column(VT_VARIANT,
             std::vector<Variant>{Variant::Str(Bstr(std::u16string(u"a\0b", 3))), Variant::Null(),
                                  Variant::Array(SafeArray::ByteVector({0, 255, 7}))},
             {0, 1, 0}),
      Column(VT_VARIANT, std::vector<Variant>{Variant::Dec({4, 0x80, 1, 2}), Variant::I2(-7),
                                              Variant::Unsigned(VT_UI8, ~0ULL)}),
  };
}

std::vector<uint8_t> Packed(const std::vector<ColumnValues>& columns, size_t rows) {
  std::vector<uint8_t> bytes;
  EXPECT_EQ(EncodePackedColumns(columns, rows, &bytes), S_OK);
  return bytes;
}

bool Refused(const std::vector<uint8_t>& bytes) {
  std::vector<ColumnValues> columns;
  size_t rows = 7;
  return DecodePackedColumns(bytes, &columns, &rows) == E_INVALIDARG && columns.empty() &&
         rows == 0;
}

TEST(PackedColumnsTest, EveryFormOfColumnComesBackExactly) {
  for (const auto& [columns, rows] :
       {std::pair{Batch(), size_t{3}},
        std::pair{std::vector<ColumnValues>{Column(VT_VARIANT, std::vector<Variant>{})},
                  size_t{0}}}) {
    std::vector<ColumnValues> read;
    size_t count = 0;
    ASSERT_EQ(DecodePackedColumns(Packed(columns, rows), &read, &count), S_OK);
    EXPECT_EQ(count, rows);
    EXPECT_EQ(read, columns);
  }
  // What the layout cannot say is not written: a column shorter than the batch, text typed as
  // integers, a Variant array of Variants.
  std::vector<uint8_t> bytes;
  EXPECT_EQ(EncodePackedColumns(Batch(), 4, &bytes), E_INVALIDARG);
  EXPECT_EQ(EncodePackedColumns({Column(VT_I4, std::vector<std::string>{"x"})}, 1, &bytes),
            E_INVALIDARG);
  EXPECT_EQ(EncodePackedColumns({Column(VT_VARIANT, std::vector<Variant>{Variant::Array(
                                                        SafeArray(VT_VARIANT, {{0, 1}}))})},
                                1, &bytes),
            E_INVALIDARG);
}

TEST(PackedColumnsTest, BytesThatDoNotFollowTheLayoutAreRefused) {
  const std::vector<uint8_t> good = Packed(Batch(), 3);
  // Cut short anywhere: the sanitizers catch a read past the end.
  for (size_t size = 0; size < good.size(); ++size)
    EXPECT_TRUE(Refused({good.begin(), good.begin() + static_cast<long>(size)})) << size;
  std::vector<uint8_t> longer = good;
  longer.push_back(0);
  EXPECT_TRUE(Refused(longer));

  // One column of two integers, VT_I4, no Nulls: header, column header, 16 bytes.
  const std::vector<uint8_t> ints = Packed({Column(VT_I4, std::vector<int64_t>{1, 2})}, 2);
  const auto with = [&](size_t at, std::vector<uint8_t> patch) {
    std::vector<uint8_t> bytes = ints;
    memcpy(bytes.data() + at, patch.data(), patch.size());
    return bytes;
  };
  EXPECT_TRUE(Refused(with(0, {'V', 'X', 'P', 'D'})));
  EXPECT_TRUE(Refused(with(4, {2, 0})));                    // version
  EXPECT_TRUE(Refused(with(6, {0xFF, 0xFF})));              // columns
  EXPECT_TRUE(Refused(with(8, {0xFF, 0xFF, 0xFF, 0x7F})));  // rows
  EXPECT_TRUE(Refused(with(12, {VT_BSTR, 0})));             // a type its form does not hold
  EXPECT_TRUE(Refused(with(12, {VT_VARIANT | 0x40, 0})));   // no such type
  EXPECT_TRUE(Refused(with(14, {1})));                      // the form of reals
  EXPECT_TRUE(Refused(with(15, {2})));                      // Nulls neither 0 nor 1

  const auto texts = [](const std::string& text, std::vector<uint8_t> nulls) {
    return Packed({Column(VT_BSTR, std::vector<std::string>{text}, std::move(nulls))}, 1);
  };
  std::vector<uint8_t> masked = texts("ab", {1});
  masked[16] = 2;  // the mask's byte
  EXPECT_TRUE(Refused(masked));
  std::vector<uint8_t> lying = texts("ab", {});
  lying[16] = 3;  // the text's length, past the end
  EXPECT_TRUE(Refused(lying));
  for (const std::string& text :
       {std::string("a\0b", 3), std::string("\xC3("), std::string("\xED\xA0\x80")}) {
    std::vector<uint8_t> bytes = texts("abc", {});
    ASSERT_EQ(bytes.size(), 23u);
    memcpy(bytes.data() + 20, text.data(), 3);
    EXPECT_TRUE(Refused(bytes)) << text;
  }

  // A Variant column of a million rows in a few bytes: refused before room is taken for them.
  std::vector<uint8_t> many =
      Packed({Column(VT_VARIANT, std::vector<Variant>{Variant::Null()})}, 1);
  memcpy(many.data() + 8, "\x40\x42\x0F\x00", 4);
  EXPECT_TRUE(Refused(many));
}

}  // namespace
}  // namespace vorlix
