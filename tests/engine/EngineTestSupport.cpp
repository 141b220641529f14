#include "EngineTestSupport.h"

#include "automation/Coerce.h"

namespace vorlix::test {

int32_t DaoCode(const std::function<void()>& f) {
  try {
    f();
  } catch (const CDaoException& e) {
    EXPECT_FALSE(e.Description().empty());
    return e.Code();
  }
  return 0;
}

CDaoFieldInfo Field(const char16_t* name, int16_t type, int32_t size, int32_t attributes,
                    bool required, bool zeroLength, const char16_t* dflt) {
  CDaoFieldInfo f;
  f.m_strName = name;
  f.m_nType = type;
  f.m_lSize = size;
  f.m_lAttributes = attributes;
  f.m_bRequired = required;
  f.m_bAllowZeroLength = zeroLength;
  f.m_strDefaultValue = dflt;
  return f;
}

CDaoIndexInfo Index(const char16_t* name, std::vector<CDaoIndexFieldInfo> fields, bool primary,
                    bool unique) {
  CDaoIndexInfo i;
  i.m_strName = name;
  i.m_fieldInfos = std::move(fields);
  i.m_bPrimary = primary;
  i.m_bUnique = unique;
  return i;
}

std::string Text(const Variant& v) {
  if (v.vt() == VT_NULL) return "Null";
  Variant s;
  if (ChangeType(v, VT_BSTR, &s) != S_OK) return "?";
  return s.AsBstr().Utf8();
}

void EngineTest::MakePeople() {
  CDaoTableDef def(&db_);
  def.Create(u"People");
  def.CreateField(Field(u"ID", dbLong, 0, dbAutoIncrField));
  def.CreateField(Field(u"Name", dbText, 20, 0, true));
  def.CreateField(Field(u"Age", dbInteger));
  def.CreateIndex(Index(u"PrimaryKey", {{u"ID", false}}, true));
  def.CreateIndex(Index(u"ByName", {{u"Name", false}}));
  def.CreateIndex(Index(u"ByAge", {{u"Age", false}}));
  def.Append();
}

int32_t EngineTest::Exec(const std::string& sql) {
  CDaoQueryDef q(&db_);
  q.Create(u"", B(sql));
  q.Execute(dbFailOnError);
  return q.GetRecordsAffected();
}

Lines EngineTest::Rows(CDaoQueryDef& q) {
  CDaoRecordset rs(&db_);
  rs.Open(&q, dbOpenSnapshot, 0);
  Lines rows;
  for (; !rs.IsEOF(); rs.MoveNext()) {
    std::string row;
    for (int i = 0; i < rs.GetFieldCount(); ++i)
      row += (i ? "|" : "") + Text(rs.GetFieldValue(i));
    rows.push_back(row);
  }
  return rows;
}

Lines EngineTest::Rows(const std::string& sql) {
  CDaoQueryDef q(&db_);
  q.Create(u"", B(sql));
  return Rows(q);
}

}  // namespace vorlix::test
