#include "automation/SafeArray.h"
#include "connection/CallFrame.h"
#include "connection/Connection.h"
#include "connection/statements/ColumnArrays.h"
#include "engine/recordsets/EditLock.h"
#include "engine/schema/Names.h"

namespace vorlix {
namespace {

// The values of a parameter array: none for VT_EMPTY or VT_NULL, else the elements of a
// one-dimensional VARIANT array. Raises 3001 for anything else.
std::vector<Variant> ParameterValues(const Variant& params) {
  if (params.vt() == VT_EMPTY || params.vt() == VT_NULL) return {};
  if (params.vt() != (VT_ARRAY | VT_VARIANT) || params.AsArray().Dims() != 1) {
    ThrowDao(dao_error::kInvalidArgument,
             "Parameters come as a one-dimensional array of VARIANTs.");
  }
  return params.AsArray().Elements();
}

// ExecuteMany's parameter rows: an array of parameter arrays, or the same rows column by
// column, as Fetch answers them, which a client builds and the wire carries as a few typed
// arrays instead of a VARIANT per value.
std::vector<std::vector<Variant>> ParameterRows(const Variant& rows) {
  if (rows.vt() == (VT_ARRAY | VT_VARIANT) && rows.AsArray().Dims() == 2) {
    return RowsFromColumns(rows.AsArray());
  }
  std::vector<std::vector<Variant>> values;
  for (const Variant& row : ParameterValues(rows))
    values.push_back(ParameterValues(row));
  return values;
}

}  // namespace

std::unique_ptr<ClientStatement> CDBConnection::Prepare(const Bstr& sql,
                                                        const std::vector<Variant>& params) {
  return std::make_unique<ClientStatement>(&database_, NameUtf8(sql, "statement"), params);
}

void CDBConnection::KeepCursor(std::unique_ptr<ClientStatement> stmt, int32_t* cursor,
                               Variant* columns) {
  *columns = DescribeColumns(stmt->Columns());
  cursors_.emplace(++lastCursor_, std::move(stmt));
  *cursor = lastCursor_;
}

ClientStatement& CDBConnection::CursorOf(int32_t id) {
  auto found = cursors_.find(id);
  if (found == cursors_.end()) {
    ThrowDao(dao_error::kInvalidArgument, "There is no open cursor " + std::to_string(id) + ".");
  }
  return *found->second;
}

HRESULT CDBConnection::Execute(const Bstr& sSql, const Variant& pvParams, int32_t* plRowsAffected,
                               Variant* pvLastRowId, int32_t* plCursor, Variant* pvColumns,
                               VARIANT_BOOL* bSuccess) {
  return Call(
      [&] {
        if (!Enter(ErrorFlag::kClear, 1)) return false;
        return Capture([&] {
          std::unique_ptr<ClientStatement> stmt = Prepare(sSql, ParameterValues(pvParams));
          if (!stmt->Columns().empty()) return KeepCursor(std::move(stmt), plCursor, pvColumns);
          const ActionResult done = stmt->Run();
          *plRowsAffected = static_cast<int32_t>(done.affected);
          *pvLastRowId = Variant::Signed(VT_I8, done.lastRowId);
        });
      },
      bSuccess);
}

HRESULT CDBConnection::OpenCursor(const Bstr& sSql, const Variant& pvParams, int32_t* plCursor,
                                  Variant* pvColumns, VARIANT_BOOL* bSuccess) {
  return Call(
      [&] {
        if (!Enter(ErrorFlag::kClear, 1)) return false;
        return Capture([&] {
          std::unique_ptr<ClientStatement> stmt = Prepare(sSql, ParameterValues(pvParams));
          if (stmt->Columns().empty()) {
            ThrowDao(dao_error::kInvalidOperation,
                     "The statement returns no rows; run it with Execute instead.");
          }
          KeepCursor(std::move(stmt), plCursor, pvColumns);
        });
      },
      bSuccess);
}

HRESULT CDBConnection::FetchColumns(int32_t iCursor, int32_t iRows,
                                    std::vector<ColumnValues>* columns, int32_t* plRows,
                                    VARIANT_BOOL* bSuccess) {
  return Call(
      [&] {
        if (!Enter(ErrorFlag::kClear, 1)) return false;
        return Capture([&] {
          ClientStatement& cursor = CursorOf(iCursor);
          if (iRows < 1) ThrowDao(dao_error::kInvalidArgument, "Fetch reads at least one row.");
          size_t rows = 0;
          *columns = cursor.Fetch(static_cast<size_t>(iRows), &rows);
          *plRows = static_cast<int32_t>(rows);
        });
      },
      bSuccess);
}

HRESULT CDBConnection::Fetch(int32_t iCursor, int32_t iRows, Variant* pvColumns, Variant* pvNulls,
                             int32_t* plRows, VARIANT_BOOL* bSuccess) {
  std::vector<ColumnValues> columns;
  const HRESULT hr = FetchColumns(iCursor, iRows, &columns, plRows, bSuccess);
  if (*bSuccess) {
    ColumnArrays arrays = ToColumnArrays(std::move(columns));
    *pvColumns = std::move(arrays.columns);
    *pvNulls = std::move(arrays.nulls);
  }
  return hr;
}

HRESULT CDBConnection::CloseCursor(int32_t iCursor, VARIANT_BOOL* bSuccess) {
  return Call(
      [&] {
        Enter(ErrorFlag::kClear, 0);
        return Capture([&] {
          CursorOf(iCursor);
          cursors_.erase(iCursor);
        });
      },
      bSuccess);
}

HRESULT CDBConnection::ExecuteMany(const Bstr& sSql, const Variant& pvRows, int32_t* plRowsAffected,
                                   VARIANT_BOOL* bSuccess) {
  return Call(
      [&] {
        if (!Enter(ErrorFlag::kClear, 1)) return false;
        return Capture([&] {
          const std::vector<std::vector<Variant>> rows = ParameterRows(pvRows);
          *plRowsAffected = 0;
          if (rows.empty()) return;
          std::unique_ptr<ClientStatement> stmt = Prepare(sSql, rows[0]);
          if (!stmt->Columns().empty()) {
            ThrowDao(dao_error::kRowReturningQuery, "ExecuteMany runs statements without rows.");
          }
          database_.RequireUpdatable();
          int64_t affected = 0;
          // Under the write lock and a savepoint: a row that fails undoes the rows before it,
          // inside the connection's transaction too.
          WriteLocked(database_, [&] {
            for (size_t i = 0; i < rows.size(); ++i) {
              if (i > 0) stmt->Bind(rows[i]);
              affected += stmt->Run().affected;
            }
          });
          *plRowsAffected = static_cast<int32_t>(affected);
        });
      },
      bSuccess);
}

HRESULT CDBConnection::Cancel(VARIANT_BOOL* bCancelled) {
  return Call([&] { return stop_ && stop_(); }, bCancelled);
}

}  // namespace vorlix
