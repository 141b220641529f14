#include "connection/schema/FieldRecords.h"

#include <string>
#include <string_view>

#include "engine/schema/FieldType.h"

namespace vorlix {
namespace {

constexpr std::u16string_view kBegin = u"*RTLB*";
constexpr std::u16string_view kEnd = u"*RTLE*";

struct TypeWord {
  std::u16string_view word;
  int16_t type;
  bool sized;  // followed by its size
  bool allowZeroLength;
};

// No word gives Single: REAL is double precision, as clients have always been given it.
constexpr TypeWord kTypeWords[] = {
    {u"BOOL", dbBoolean, false, false},      {u"BYTE", dbByte, false, false},
    {u"INT", dbInteger, false, false},       {u"LONG", dbLong, false, false},
    {u"CURRENCY", dbCurrency, false, false}, {u"REAL", dbDouble, false, false},
    {u"DATE", dbDate, false, false},         {u"TEXT", dbText, true, true},
    {u"MEMO", dbMemo, false, true},
};

// The row of the type word in any letter case, or nullptr. Only ASCII letters are folded:
// every word of the table is ASCII.
const TypeWord* LookUpType(const Bstr& word) {
  std::u16string upper(word.view());
  for (char16_t& c : upper) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  for (const TypeWord& row : kTypeWords) {
    if (row.word == upper) return &row;
  }
  return nullptr;
}

bool IsMarker(const Variant& element, std::u16string_view marker) {
  return element.vt() == VT_BSTR && element.AsBstr().view() == marker;
}

// Only nothing and a false Boolean are false: a client's 0 or Null counts as set.
bool Flag(const Variant& element) {
  return !(element.vt() == VT_EMPTY || (element.vt() == VT_BOOL && !element.AsBool()));
}

// The one position of the walk. 64 bits, so that stepping past an upper bound of INT32_MAX
// ends the walk instead of wrapping round.
class Walk {
 public:
  explicit Walk(const SafeArray& records)
      : records_(records), p_(records.LowerBound()), upper_(records.UpperBound()) {}

  bool AtEnd() const { return p_ > upper_; }
  const Variant& Here() const { return records_.At(static_cast<int32_t>(p_)); }
  void Step() { ++p_; }
  // Steps on; the element there, or nullptr when the array has ended.
  const Variant* Next() {
    Step();
    return AtEnd() ? nullptr : &Here();
  }
  // Steps on; the text there, or nullptr when the array has ended or the element is no string.
  const Bstr* NextString() {
    const Variant* element = Next();
    return element && element->vt() == VT_BSTR ? &element->AsBstr() : nullptr;
  }

 private:
  const SafeArray& records_;
  int64_t p_;
  int64_t upper_;
};

// Reads the record whose begin marker the walk stands on and creates its field, then its
// index. False at a malformed element. Leaves the walk on the record's last element.
bool ApplyRecord(CDaoTableDef& table, Walk& walk) {
  const Bstr* name = walk.NextString();
  // A doubled begin marker is passed over once; a third one would be the name.
  if (name && name->view() == kBegin) name = walk.NextString();
  if (!name) return false;
  CDaoFieldInfo field;
  field.m_strName = *name;

  const Bstr* word = walk.NextString();
  const TypeWord* type = word ? LookUpType(*word) : nullptr;
  if (!type) return false;
  field.m_nType = type->type;
  field.m_bAllowZeroLength = type->allowZeroLength;
  if (type->sized) {
    // The engine judges the size's range.
    const Variant* size = walk.Next();
    if (!size || size->vt() != VT_I4) return false;
    field.m_lSize = static_cast<int32_t>(size->AsSigned());
  }

  const Variant* required = walk.Next();
  if (!required) return false;
  field.m_bRequired = Flag(*required);
  const Variant* defaultValue = walk.Next();
  if (!defaultValue) return false;
  if (defaultValue->vt() == VT_BSTR) field.m_strDefaultValue = defaultValue->AsBstr();

  const Bstr* code = walk.NextString();
  if (!code) return false;
  // An end marker in the code's place ends a record without an index.
  const std::u16string_view index = code->view() == kEnd ? u"" : code->view();
  if (index == u"I") {
    field.m_nType = dbLong;
    field.m_lAttributes = dbAutoIncrField;
  }
  table.CreateField(field);
  if (index.empty()) return true;

  // Either flag may be replaced by the end marker, which leaves it and the next one false.
  bool unique = false;
  bool primary = false;
  const Variant* flag = walk.Next();
  if (!flag) return false;
  if (!IsMarker(*flag, kEnd)) {
    unique = Flag(*flag);
    flag = walk.Next();
    if (!flag) return false;
    if (!IsMarker(*flag, kEnd)) primary = Flag(*flag);
  }
  table.CreateIndex(SingleFieldIndex(*name, index == u"D", unique, primary));
  return true;
}

}  // namespace

bool ApplyFieldSpecification(CDaoTableDef& table, const SafeArray& records) {
  for (Walk walk(records); !walk.AtEnd(); walk.Step()) {
    // An end marker where a record would begin closes nothing and is passed over, so that a
    // record ending on its primary flag or an empty index code may still carry one.
    if (IsMarker(walk.Here(), kEnd)) continue;
    if (!IsMarker(walk.Here(), kBegin) || !ApplyRecord(table, walk)) return false;
  }
  return true;
}

CDaoIndexInfo SingleFieldIndex(const Bstr& field, bool descending, bool unique, bool primary) {
  CDaoIndexInfo index;
  index.m_strName = field;
  index.m_fieldInfos = {{field, descending}};
  index.m_bUnique = unique;
  index.m_bPrimary = primary;
  return index;
}

}  // namespace vorlix
