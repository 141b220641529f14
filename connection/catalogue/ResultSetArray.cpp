#include <new>
#include <utility>
#include <vector>

#include "automation/SafeArray.h"
#include "connection/Connection.h"
#include "engine/DaoInfo.h"
#include "engine/recordsets/QueryDef.h"

namespace vorlix {
namespace {

// Opens every row of a result of other than one field; clients find rows by it.
constexpr char16_t kNewRecord[] = u"*NewRecord*";

}  // namespace

bool CDBConnection::ReadQueryRows(CDaoQueryDef& query, Variant* out) {
  try {
    std::vector<Variant> names;  // as the array carries them: none for a one-field result
    std::vector<Variant> elements;
    const bool read = Capture([&] {
      query.EachRow(
          [&](const std::vector<RecordField>& fields) {
            for (size_t i = 0; i < fields.size() && fields.size() != 1; ++i)
              names.push_back(Variant::Str(Bstr(fields[i].info.m_strName)));
          },
          [&](std::vector<Variant>& values) {
            // A one-field result is its bare values: no marker, no names.
            if (values.size() == 1) {
              elements.push_back(std::move(values[0]));
              return;
            }
            elements.push_back(Variant::Str(kNewRecord));
            for (size_t i = 0; i < values.size(); ++i) {
              elements.push_back(names[i]);
              elements.push_back(std::move(values[i]));
            }
          });
    });
    if (!read) return false;
    *out = elements.empty() ? Variant()
                            : Variant::Array(SafeArray::Vector(VT_VARIANT, 0, std::move(elements)));
    return true;
  } catch (const std::bad_alloc&) {
    // Rows too many to hold fail this call alone: it is not the engine's failure, so nothing
    // is recorded, and what was read is freed.
    return false;
  }
}

}  // namespace vorlix
