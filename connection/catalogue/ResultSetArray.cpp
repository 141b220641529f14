#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "automation/SafeArray.h"
#include "connection/Connection.h"
#include "engine/DaoInfo.h"

namespace vorlix {
namespace {

// Opens every row of a result of other than one field; clients find rows by it.
constexpr char16_t kNewRecord[] = u"*NewRecord*";

}  // namespace

size_t CDBConnection::LeastRowSize(const std::vector<Variant>& names, int16_t count) const {
  const ResultBudget& least = resultBudget_;
  size_t size = static_cast<size_t>(count) * least.leastValue;
  if (count != 1) {
    size += least.leastText + std::char_traits<char16_t>::length(kNewRecord);
    // A UTF-16 name is no longer in code units than its UTF-8 form in bytes.
    for (const Variant& name : names)
      size += least.leastText + name.AsBstr().size();
  }
  return std::max<size_t>(size, 1);
}

bool CDBConnection::BuildResultSetArray(CDaoRecordset& rows, Variant* out) {
  return Capture([&] {
    if (rows.IsEOF() && rows.IsBOF()) {
      *out = Variant();
      return true;
    }
    const int16_t count = rows.GetFieldCount();
    // The names as the array carries them, read once: a snapshot's fields do not change
    // while it is walked.
    std::vector<Variant> names;
    CDaoFieldInfo info;
    for (int16_t i = 0; i < count && count != 1; ++i) {
      rows.GetFieldInfo(i, info, AFX_DAO_PRIMARY_INFO);
      names.push_back(Variant::Str(std::move(info.m_strName)));
    }
    // Gathered first and moved into the array whole, so the array is made once at its final
    // size. Room for every row is made at once: a snapshot (what SQL and Query walk) knows its
    // count without a statement, and a vector left to grow would move every element again at
    // each doubling and need up to twice the room on the way.
    const size_t rowCount = static_cast<size_t>(rows.GetRecordCount());
    if (rowCount > resultBudget_.bytes / LeastRowSize(names, count)) throw ResultTooLarge();
    const size_t perRow = count == 1 ? 1 : 1 + 2 * static_cast<size_t>(count);
    std::vector<Variant> elements;
    elements.reserve(rowCount * perRow);
    for (rows.MoveFirst(); !rows.IsEOF(); rows.MoveNext()) {
      // A one-field result is its bare values: no marker, no names.
      if (count == 1) {
        elements.push_back(rows.GetFieldValue(0));
        continue;
      }
      elements.push_back(Variant::Str(kNewRecord));
      for (int16_t i = 0; i < count; ++i) {
        elements.push_back(names[i]);
        elements.push_back(rows.GetFieldValue(i));
      }
    }
    *out = Variant::Array(SafeArray::Vector(VT_VARIANT, 0, std::move(elements)));
    return true;
  });
}

}  // namespace vorlix
