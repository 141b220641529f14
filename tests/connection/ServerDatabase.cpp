#include <memory>

#include "engine/database/Database.h"
#include "engine/database/TableDef.h"
#include "engine/recordsets/Recordset.h"
#include "tests/connection/ConnectionTestSupport.h"
#include "tests/support/Definitions.h"
#include "tests/support/PrivatePostgres.h"

namespace vorlix::test {
namespace {

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
  people.CreateField(Field(u"Name", dbText, 20, 0, false, true));
  people.CreateField(Field(u"Born", dbDate, 0, 0));
  people.CreateIndex(Index(u"PrimaryKey", {{u"ID", false}}, true, true));
  people.CreateIndex(Index(u"ByName", {{u"Name", false}}));
  people.Append();
  CDaoTableDef empty(&db);
  empty.Create(u"Empty");
  empty.CreateField(Field(u"ID", dbLong, 0, dbAutoIncrField));
  empty.CreateIndex(Index(u"PrimaryKey", {{u"ID", false}}, true, true));
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
