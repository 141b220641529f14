// ColumnBuilder: one column of a batch of rows, built cell by cell in the form ColumnValues
// keeps it. The column stays typed while every value that is not Null has one VARTYPE that an
// array can hold, and text fits a text array (UTF-8 without U+0000); from the first value that
// breaks this it holds Variants. Both forms of a batch on the wire, typed arrays and packed
// bytes, are made from what it builds, so they cannot differ.
#pragma once

#include <cstddef>
#include <vector>

#include "automation/ColumnValues.h"
#include "engine/recordsets/ColumnValue.h"

namespace vorlix {

class ColumnBuilder {
 public:
  // Room for expected rows is taken at once.
  explicit ColumnBuilder(size_t expected);

  void Add(const CellValue& cell);

  // The column of every value added; a column without a value that is not Null holds Variants.
  ColumnValues Finish();

 private:
  // Starts the typed form for vt, with a zero for each Null before it.
  void Begin(VARTYPE vt);
  // Turns the column into Variants, the values so far included.
  void ToVariants();
  void AddVariant(const CellValue& cell);

  size_t expected_;
  size_t rows_ = 0;
  bool anyNull_ = false;
  ColumnValues column_;  // type VT_EMPTY until the first value that is not Null
};

}  // namespace vorlix
