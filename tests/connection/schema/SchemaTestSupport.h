// The schema tests' fixture: a connection with db.vdb open (see ConnectionTest), arrays of
// field records as clients send them, and what the file says about a table, read by a
// database object of its own.
#pragma once

#include <string>
#include <vector>

#include "engine/database/DatabaseInternal.h"
#include "engine/schema/Schema.h"
#include "tests/connection/ConnectionTestSupport.h"

namespace vorlix::test {

class SchemaTest : public ConnectionTest {
 protected:
  void SetUp() override {
    ConnectionTest::SetUp();
    OpenDatabase();
  }
  // The records' elements in one array from lower upwards, as CreateTable takes them.
  static Variant Records(const std::vector<std::vector<Variant>>& records, int32_t lower = 0) {
    std::vector<Variant> elements;
    for (const std::vector<Variant>& record : records)
      elements.insert(elements.end(), record.begin(), record.end());
    return VariantArray(std::move(elements), lower);
  }
  // CreateTable or ModifyTable.
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
};

}  // namespace vorlix::test
