#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "automation/SafeArray.h"
#include "connection/Connection.h"
#include "engine/recordsets/ColumnValue.h"

namespace vorlix {
namespace {

// Opens every row of a result of other than one field; clients find rows by it.
constexpr char16_t kNewRecord[] = u"*NewRecord*";

// The result-set array's elements, made from the result's compact rows as they are walked: a
// result written into a reply is never held as a Variant per value, several times its size
// there.
class ResultElements final : public ElementSource {
 public:
  explicit ResultElements(ResultSet result) : result_(std::move(result)) {
    for (const RecordField& field : result_.fields)
      names_.push_back(Variant::Str(field.info.m_strName));
  }

  size_t Count() const override {
    const size_t count = result_.fields.size();
    return result_.rows.size() * (count == 1 ? 1 : 1 + 2 * count);
  }

  bool ForEach(const std::function<bool(const Variant&)>& each) const override {
    const std::vector<RecordField>& fields = result_.fields;
    const ResultRows& rows = result_.rows;
    for (size_t r = 0; r < rows.size(); ++r) {
      // A one-field result is its bare values: no marker, no names.
      if (fields.size() == 1) {
        if (!each(ToVariant(rows.Cell(r, 0), fields[0].type))) return false;
        continue;
      }
      if (!each(marker_)) return false;
      for (size_t i = 0; i < fields.size(); ++i) {
        if (!each(names_[i]) || !each(ToVariant(rows.Cell(r, i), fields[i].type))) return false;
      }
    }
    return true;
  }

 private:
  ResultSet result_;
  std::vector<Variant> names_;  // as the array carries them, made once for every row
  Variant marker_ = Variant::Str(kNewRecord);
};

}  // namespace

size_t CDBConnection::MostRows(const std::vector<RecordField>& fields) const {
  const ResultBudget& least = resultBudget_;
  size_t row = fields.size() * least.leastValue;
  if (fields.size() != 1) {
    row += least.leastText + std::char_traits<char16_t>::length(kNewRecord);
    // A UTF-16 name is no longer in code units than its UTF-8 form in bytes.
    for (const RecordField& field : fields)
      row += least.leastText + field.info.m_strName.size();
  }
  return least.bytes / std::max<size_t>(row, 1);
}

void CDBConnection::BuildResultSetArray(ResultSet result, Variant* out) {
  if (result.rows.empty()) {
    *out = Variant();
    return;
  }
  // A result sure not to fit in its reply is refused before anything of it is encoded.
  if (result.rows.size() > MostRows(result.fields)) throw ResultTooLarge();
  SafeArray array = SafeArray::Made(0, std::make_shared<const ResultElements>(std::move(result)));
  if (!resultBudget_.writtenOnce) array.MakeAll();
  *out = Variant::Array(std::move(array));
}

}  // namespace vorlix
