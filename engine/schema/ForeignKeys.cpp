#include "engine/schema/ForeignKeys.h"

#include "engine/schema/TableList.h"
#include "engine/store/SqlText.h"

namespace vorlix {

std::vector<RelationSchema> ReadRelations(Store& db) {
  std::vector<TableEntry> tables = ReadTableList(db, false);
  auto storedName = [&](const std::string& name) {
    for (const TableEntry& t : tables) {
      if (EqualNoCase(t.name, name)) return t.name;
    }
    return name;
  };

  std::vector<RelationSchema> relations;
  for (const TableEntry& table : tables) {
    std::vector<StoredForeignKey> keys = db.ForeignKeys(table.name);
    if (keys.empty()) continue;
    std::optional<StoredTable> stored = db.FindTable(table.name);
    std::optional<CreateTableSql> parsed =
        ParseCreateTable(stored ? stored->definition : std::string());
    const bool clausesKnown = parsed && parsed->foreignKeys.size() == keys.size();
    for (size_t i = 0; i < keys.size(); ++i) {
      RelationSchema r;
      r.primaryTable = storedName(keys[i].table);
      r.foreignTable = table.name;
      r.clause = i;
      r.name = clausesKnown ? parsed->foreignKeys[i].name : keys[i].name;
      r.info.m_strTable = Bstr::FromUtf8Lossy(r.primaryTable);
      r.info.m_strForeignTable = Bstr::FromUtf8Lossy(r.foreignTable);
      if (keys[i].onUpdate == "CASCADE") r.info.m_lAttributes |= dbRelationUpdateCascade;
      if (keys[i].onDelete == "CASCADE") r.info.m_lAttributes |= dbRelationDeleteCascade;
      for (const auto& [primary, foreign] : keys[i].columns) {
        r.info.m_fieldInfos.push_back({Bstr::FromUtf8Lossy(primary), Bstr::FromUtf8Lossy(foreign)});
      }
      relations.push_back(std::move(r));
    }
  }

  auto taken = [&](const std::string& name) {
    for (const RelationSchema& r : relations) {
      if (EqualNoCase(r.name, name)) return true;
    }
    return false;
  };
  for (RelationSchema& r : relations) {
    if (r.name.empty()) {
      const std::string base = r.primaryTable + r.foreignTable;
      std::string name = base;
      for (int n = 1; taken(name); ++n)
        name = base + std::to_string(n);
      r.name = name;
    }
    r.info.m_strName = Bstr::FromUtf8Lossy(r.name);
  }
  return relations;
}

}  // namespace vorlix
