#include "RecordTestSupport.h"

#include "automation/Coerce.h"
#include "engine/TableDef.h"

namespace vorlix::test {

void RecordTest::MakePeople() {
  CDaoTableDef def(&db_);
  def.Create(u"People");
  CDaoFieldInfo id;
  id.m_strName = u"ID";
  id.m_nType = dbLong;
  id.m_lAttributes = dbAutoIncrField;
  def.CreateField(id);
  CDaoFieldInfo name;
  name.m_strName = u"Name";
  name.m_nType = dbText;
  name.m_lSize = 20;
  name.m_bRequired = true;
  def.CreateField(name);
  CDaoFieldInfo age;
  age.m_strName = u"Age";
  age.m_nType = dbInteger;
  def.CreateField(age);
  CDaoIndexInfo primary;
  primary.m_strName = u"PrimaryKey";
  primary.m_fieldInfos = {{u"ID", false}};
  primary.m_bPrimary = true;
  def.CreateIndex(primary);
  CDaoIndexInfo byName;
  byName.m_strName = u"ByName";
  byName.m_fieldInfos = {{u"Name", false}};
  def.CreateIndex(byName);
  CDaoIndexInfo byAge;
  byAge.m_strName = u"ByAge";
  byAge.m_fieldInfos = {{u"Age", false}};
  def.CreateIndex(byAge);
  def.Append();
}

void RecordTest::Exec(const std::string& sql) {
  CDaoQueryDef q(&db_);
  q.Create(u"", B(sql));
  q.Execute(dbFailOnError);
}

std::vector<std::string> RecordTest::Walk(CDaoRecordset& rs, const char16_t* field) {
  std::vector<std::string> values;
  for (; !rs.IsEOF(); rs.MoveNext())
    values.push_back(Text(rs.GetFieldValue(field)));
  return values;
}

std::string Text(const Variant& v) {
  if (v.vt() == VT_NULL) return "Null";
  Variant s;
  if (ChangeType(v, VT_BSTR, &s) != S_OK) return "?";
  return s.AsBstr().Utf8();
}

}  // namespace vorlix::test
