// The packed form of a batch of rows: the columns Fetch answers (typed values, Null masks, the
// row count) as one block of bytes that the server writes straight from a statement's columns
// and the client reads straight into typed columns, without a VARIANT per value. Both sides
// use this one definition.
//
// Little-endian throughout; the layout, version 1:
//   header   "VXPC", u16 version, u16 column count, u32 row count
//   column   u16 VARTYPE of its values (VT_VARIANT: mixed), u8 form, u8 1 when it has Nulls;
//            then, with Nulls, a byte per row (1 marks a Null, else 0); then by form:
//     0 integers   i64 per row (for a VARTYPE with a signed or unsigned payload)
//     1 reals      f64 per row (VT_R4, VT_R8, VT_DATE)
//     2 text       u32 byte length per row, then the rows' UTF-8 (no U+0000), one after another
//     3 variants   per row a u16 VARTYPE and its value: none for VT_EMPTY and VT_NULL; i64,
//                  u64 or f64 by payload; VT_BSTR u32 code units then UTF-16 code units (any,
//                  U+0000 included); VT_DECIMAL u8 scale, u8 sign, u32 high, u64 low;
//                  VT_ARRAY|VT_UI1 u32 length then the bytes
// A Null's place holds the type's zero (VT_NULL among variants). Nothing follows the last
// column.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "automation/ColumnValues.h"
#include "automation/HResult.h"

namespace vorlix {

inline constexpr uint16_t kPackedVersion = 1;

// The packed bytes of rows rows in columns (each holding rows values). E_INVALIDARG for what
// the layout has no place for: a column's values not of its form, a Variant of another type,
// more than 65535 columns or 2^32 - 1 rows, a value over 4 GiB.
HRESULT EncodePackedColumns(const std::vector<ColumnValues>& columns, size_t rows,
                            std::vector<uint8_t>* bytes);

// The columns and row count packed in bytes. E_INVALIDARG, with nothing read past the end, for
// bytes that do not follow the layout exactly: another magic or version, a length or count that
// runs past the end, bytes left over, a form that does not fit its VARTYPE, a mask byte other
// than 0 or 1, text that is not UTF-8 or holds U+0000, an unknown VARTYPE.
HRESULT DecodePackedColumns(std::span<const uint8_t> bytes, std::vector<ColumnValues>* columns,
                            size_t* rows);

}  // namespace vorlix
