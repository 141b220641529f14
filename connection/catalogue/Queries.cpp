#include <new>
#include <vector>

#include "automation/SafeArray.h"
#include "connection/CallFrame.h"
#include "connection/Connection.h"
#include "engine/recordsets/QueryDef.h"

// Both run on a query definition of their own and read its rows whole, so the open tables keep
// their places.

namespace vorlix {
namespace {

// A one-dimensional VARIANT array of name and value pairs. Anything else is refused before a
// query runs: an odd last name would have no value to read.
bool IsParameterArray(const Variant& parameters) {
  if (parameters.vt() != (VT_ARRAY | VT_VARIANT)) return false;
  const SafeArray& array = parameters.AsArray();
  return array.Dims() == 1 && array.Count() % 2 == 0;
}

}  // namespace

bool CDBConnection::ReadQueryRows(CDaoQueryDef& query, Variant* out) {
  try {
    ResultSet result;
    // Reading stops once the rows are sure not to fit: a huge result costs no more than that.
    const RowLimit most = [this](const std::vector<RecordField>& fields) {
      return MostRows(fields);
    };
    if (!Capture([&] { result = query.Rows(most); })) return false;
    BuildResultSetArray(std::move(result), out);
    return true;
  } catch (const ResultTooLarge&) {
    throw;  // the call fails as out of memory, as the reply it cannot have would
  } catch (const std::bad_alloc&) {
    // Rows too many to hold fail this call alone: it is not the engine's failure, so nothing
    // is recorded, and what was read is freed.
    return false;
  }
}

HRESULT CDBConnection::SQL(const Bstr& sSql, Variant* pvRecordArray, VARIANT_BOOL* bSuccess) {
  return Call([&] { return RunSql(sSql, pvRecordArray); }, bSuccess);
}

bool CDBConnection::RunSql(const Bstr& sql, Variant* out) {
  if (!Enter(ErrorFlag::kClear, kDatabaseOpen)) return false;
  // A temporary query: never saved in the database.
  CDaoQueryDef query(&database_);
  if (!Capture([&] { query.Create(Bstr(), sql); })) return false;
  return ReadQueryRows(query, out);
}

HRESULT CDBConnection::Query(const Bstr& sQueryName, const Variant& pvParameterArray,
                             Variant* pvRecordArray, VARIANT_BOOL* bSuccess) {
  return Call([&] { return RunSavedQuery(sQueryName, pvParameterArray, pvRecordArray); }, bSuccess);
}

bool CDBConnection::RunSavedQuery(const Bstr& name, const Variant& parameters, Variant* out) {
  // Without a database there is nothing to run, and clients take that as success.
  if (!Enter(ErrorFlag::kClear, kDatabaseOpen)) return true;
  if (!IsParameterArray(parameters)) return false;
  CDaoQueryDef query(&database_);
  if (!Capture([&] { query.Open(name); })) return false;
  // Pairs from the lower bound on, in array order.
  const std::vector<Variant>& pairs = parameters.AsArray().Elements();
  for (size_t i = 0; i < pairs.size(); i += 2) {
    // A name that is not a string stops the query before it runs, with nothing recorded.
    if (pairs[i].vt() != VT_BSTR) return false;
    if (!Capture([&] { query.SetParamValue(pairs[i].AsBstr().UpToNul(), pairs[i + 1]); }))
      return false;
  }
  return ReadQueryRows(query, out);
}

}  // namespace vorlix
