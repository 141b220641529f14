// The schema tests' fixture: a connection with its database open on either store (see
// BothStoresTest), arrays of field records as clients send them, and what the database says
// about a table and its tables, read by a database object of its own.
#pragma once

#include <string>
#include <vector>

#include "engine/database/DatabaseInternal.h"
#include "engine/schema/Names.h"
#include "engine/schema/Schema.h"
#include "tests/connection/ConnectionTestSupport.h"

namespace vorlix::test {

class SchemaTest : public BothStoresTest {
 protected:
  void SetUp() override {
    BothStoresTest::SetUp();
    OpenDatabase();
  }
  // The records' elements in one array from lower upwards, as CreateTable takes them.
  static Variant Records(const std::vector<std::vector<Variant>>& records, int32_t lower = 0) {
    std::vector<Variant> elements;
    for (const std::vector<Variant>& record : records)
      elements.insert(elements.end(), record.begin(), record.end());
    return VariantArray(std::move(elements), lower);
  }
  // A table defined through the engine (ConnectionTest), or through CreateTable or ModifyTable.
  using BothStoresTest::Define;
  bool Define(HRESULT (CDBConnection::*method)(const Bstr&, const Variant&, VARIANT_BOOL*),
              const std::string& table, const Variant& records) {
    return Ok([&](VARIANT_BOOL* result) { return (db_.*method)(B(table), records, result); });
  }
  // Per field "name type size [required] [zero-length] [auto] [=default]", in column order;
  // then per index "name(field [desc]) [unique] [primary]", in name order.
  std::vector<std::string> Shape(const std::string& table) {
    CDaoDatabase file;
    file.Open(B(path_), false, true);
    const TableSchema schema =
        ReadTableSchema(Internal(file).Db(), Internal(file).HasCatalog(), table);
    std::vector<std::string> out;
    for (const FieldSchema& f : schema.fields) {
      const CDaoFieldInfo& i = f.info;
      out.push_back(f.name + " " + std::to_string(i.m_nType) + " " + std::to_string(i.m_lSize) +
                    (i.m_bRequired ? " required" : "") +
                    (i.m_bAllowZeroLength ? " zero-length" : "") +
                    (f.autoIncrement ? " auto" : "") +
                    (i.m_strDefaultValue.empty() ? "" : " =" + i.m_strDefaultValue.Utf8()));
    }
    for (const IndexSchema& x : schema.indexes) {
      const CDaoIndexFieldInfo& key = x.info.m_fieldInfos.at(0);
      out.push_back(x.info.m_strName.Utf8() + "(" + key.m_strName.Utf8() +
                    (key.m_bDescending ? " desc" : "") + ")" + (x.info.m_bUnique ? " unique" : "") +
                    (x.info.m_bPrimary ? " primary" : ""));
    }
    return out;
  }
  // The names of the tables but the engine's catalog, in the engine's order.
  std::vector<std::string> TableNames() {
    CDaoDatabase db;
    db.Open(B(path_), false, true);
    std::vector<std::string> names;
    for (int i = 0; i < db.GetTableDefCount(); ++i) {
      CDaoTableDefInfo info;
      db.GetTableDefInfo(i, info);
      if (!IsSystemName(info.m_strName.Utf8())) names.push_back(info.m_strName.Utf8());
    }
    return names;
  }
  // What SQL answers for sql on the open database, each element shown.
  std::vector<std::string> Rows(const char16_t* sql) {
    Variant rows;
    EXPECT_TRUE(Ok([&](VARIANT_BOOL* r) { return db_.SQL(sql, &rows, r); }));
    return rows.IsArray() ? Elements(rows) : std::vector<std::string>{};
  }
};

}  // namespace vorlix::test
