// The Automation shapes of a statement's columns and rows: the column description, and a batch
// of rows column by column, each column one typed array, so that a batch crosses the wire as a
// few arrays rather than a value per cell.
#pragma once

#include <vector>

#include "automation/ColumnValues.h"
#include "automation/SafeArray.h"
#include "automation/Variant.h"
#include "engine/recordsets/ClientStatement.h"

namespace vorlix {

// One VARIANT array (from 0) per column: name (VT_BSTR), VARTYPE of its values (VT_I2;
// VT_VARIANT for a computed column), declared type (VT_BSTR, "" when computed), size (VT_I4)
// and nullable (VT_BOOL); all of them in a VARIANT array from 0.
Variant DescribeColumns(const std::vector<ClientStatement::Column>& columns);

// A batch of rows, given column by column, as two VARIANT arrays from 0 with an element per
// column. columns: the column's values as one array from 0 of the column's type
// (ColumnValues::type: VT_VARIANT for a column of Variants). nulls: VT_EMPTY for a column
// without Nulls, else a VT_UI1 array with 1 where a row's value is Null (and a typed array
// holds the type's zero).
struct ColumnArrays {
  Variant columns;
  Variant nulls;
};
ColumnArrays ToColumnArrays(std::vector<ColumnValues> values);

// Rows given column by column in the shape of a batch: a two-dimensional VARIANT array of
// columns x 2 whose element (c, 0) is column c's values as one array and (c, 1) its Null mask
// as above (the elements of ColumnArrays' columns, then those of its nulls). Raises 3001 when
// an element has another shape, or the columns or masks differ in length.
std::vector<std::vector<Variant>> RowsFromColumns(const SafeArray& columns);

}  // namespace vorlix
