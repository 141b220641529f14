#include <memory>

#include "bench/PrivatePostgres.h"
#include "engine/database/Database.h"
#include "engine/database/TableDef.h"
#include "engine/recordsets/Recordset.h"
#include "tests/connection/ConnectionTestSupport.h"

namespace vorlix::test {
namespace {

CDaoFieldInfo Field(const char16_t* name, int16_t type, int32_t size, int32_t attributes) {
  CDaoFieldInfo f;
  f.m_strName = name;
  f.m_nType = type;
  f.m_lSize = size;
  f.m_lAttributes = attributes;
  f.m_bAllowZeroLength = true;
  return f;
}

CDaoIndexInfo Index(const char16_t* name, const char16_t* field, bool primary) {
  CDaoIndexInfo i;
  i.m_strName = name;
  i.m_fieldInfos = {{field, false}};
  i.m_bPrimary = i.m_bUnique = primary;
  return i;
}

PrivatePostgres& Cluster() {
  static PrivatePostgres cluster;
  return cluster;
}

}  // namespace

std::string NewServerDatabase() {
  static int made = 0;
  const std::string uri = Cluster().Uri("vorlix" + std::to_string(++made));
  CDaoDatabase db;
  db.Create(B(uri));
  CDaoTableDef people(&db);
  people.Create(u"People");
  people.CreateField(Field(u"ID", dbLong, 0, dbAutoIncrField));
  people.CreateField(Field(u"Name", dbText, 20, 0));
  people.CreateField(Field(u"Born", dbDate, 0, 0));
  people.CreateIndex(Index(u"PrimaryKey", u"ID", true));
  people.CreateIndex(Index(u"ByName", u"Name", false));
  people.Append();
  CDaoTableDef empty(&db);
  empty.Create(u"Empty");
  empty.CreateField(Field(u"ID", dbLong, 0, dbAutoIncrField));
  empty.CreateIndex(Index(u"PrimaryKey", u"ID", true));
  empty.Append();

  CDaoRecordset rows(&db);
  rows.Open(dbOpenTable, u"People");
  const std::pair<const char16_t*, Variant> people3[] = {
      {u"Ann", Variant::Date(18297)}, {u"Bob", Variant::Null()}, {u"Cy", Variant::Date(33238)}};
  for (const auto& [name, born] : people3) {
    rows.AddNew();
    rows.SetFieldValue(u"Name", Variant::Str(name));
    rows.SetFieldValue(u"Born", born);
    rows.Update();
  }
  return uri;
}

}  // namespace vorlix::test
