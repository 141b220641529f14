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
