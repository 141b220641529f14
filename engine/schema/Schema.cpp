#include "engine/schema/Schema.h"

#include <algorithm>

#include "engine/DaoException.h"
#include "engine/schema/SystemTables.h"
#include "engine/store/SqlText.h"

namespace vorlix {
namespace {

// The default as a person wrote it: a string literal loses its quotes.
std::string DefaultText(const std::string& sqlDefault) {
  if (sqlDefault.size() < 2 || sqlDefault.front() != '\'' || sqlDefault.back() != '\'') {
    return sqlDefault;
  }
  std::string text;
  for (size_t i = 1; i + 1 < sqlDefault.size(); ++i) {
    text += sqlDefault[i];
    if (sqlDefault[i] == '\'') ++i;
  }
  return text;
}

void ReadFields(SqliteDb& db, bool hasCatalog, TableSchema& t) {
  Statement s =
      db.Cached("SELECT cid, name, type, \"notnull\", dflt_value, pk FROM pragma_table_info(?1)");
  s.Bind(1, t.name);
  int primaryColumns = 0;
  std::string rowidCandidate;
  while (s.Step()) {
    FieldSchema f;
    f.name = s.Text(1);
    const std::string declared = s.Text(2);
    const DeclaredType dt = ParseDeclaredType(declared);
    f.type = dt.type;
    f.autoIncrement = dt.autoIncrement;
    if (s.Int(5) > 0) {
      ++primaryColumns;
      if (EqualNoCase(declared, "INTEGER")) rowidCandidate = f.name;
    }
    CDaoFieldInfo& info = f.info;
    info.m_strName = Bstr::FromUtf8Lossy(f.name);
    info.m_nType = dt.type->code;
    info.m_lSize = dt.size;
    info.m_nOrdinalPosition = static_cast<int16_t>(s.Int(0));
    info.m_bRequired = s.Int(3) != 0;
    info.m_bAllowZeroLength = dt.type->code == dbText || dt.type->code == dbMemo;
    info.m_strDefaultValue = Bstr::FromUtf8Lossy(DefaultText(s.Text(4)));
    info.m_strSourceField = info.m_strName;
    info.m_strSourceTable = Bstr::FromUtf8Lossy(t.name);
    t.fields.push_back(std::move(f));
  }

  // A lone INTEGER PRIMARY KEY is the rowid itself: it numbers itself, and is the primary key
  // without an index of its own.
  if (primaryColumns == 1 && !rowidCandidate.empty() && t.hasRowid) {
    for (FieldSchema& f : t.fields) {
      if (f.name != rowidCandidate) continue;
      f.autoIncrement = db.IsAutoIncrement(t.name, f.name);
      IndexSchema primary;
      primary.info.m_strName = u"PrimaryKey";
      primary.info.m_fieldInfos.push_back({f.info.m_strName, false});
      primary.info.m_bPrimary = primary.info.m_bUnique = primary.info.m_bRequired = true;
      primary.columns.push_back(f.name);
      primary.collations.push_back("BINARY");
      t.indexes.push_back(std::move(primary));
    }
  }

  for (FieldSchema& f : t.fields) {
    f.info.m_lAttributes = FieldAttributes(*f.type, f.autoIncrement);
    if (!hasCatalog) continue;
    if (std::optional<catalog::FieldEntry> e = catalog::Field(db, t.name, f.name)) {
      f.info.m_bAllowZeroLength = e->allowZeroLength;
      f.info.m_strDefaultValue = Bstr::FromUtf8Lossy(e->defaultValue);
    }
  }
}

void ReadIndexes(SqliteDb& db, bool hasCatalog, TableSchema& t) {
  struct Listed {
    std::string name, origin;
    bool unique;
  };
  std::vector<Listed> listed;
  Statement list = db.Cached("SELECT name, \"unique\", origin FROM pragma_index_list(?1)");
  list.Bind(1, t.name);
  while (list.Step())
    listed.push_back({list.Text(0), list.Text(2), list.Int(1) != 0});

  for (const Listed& l : listed) {
    IndexSchema index;
    index.storedName = l.name;
    Statement cols = db.Cached(
        "SELECT cid, name, \"desc\", coll FROM pragma_index_xinfo(?1) WHERE key ORDER BY seqno");
    cols.Bind(1, l.name);
    bool onExpression = false;
    while (cols.Step()) {
      onExpression = onExpression || cols.Int(0) < 0;
      index.columns.push_back(cols.Text(1));
      index.collations.push_back(cols.Text(3));
      index.info.m_fieldInfos.push_back({Bstr::FromUtf8Lossy(cols.Text(1)), cols.Int(2) != 0});
    }
    if (onExpression) continue;  // no field to report it by

    std::string name = l.name;
    bool primary = l.origin == "pk";
    std::optional<catalog::IndexEntry> entry;
    if (hasCatalog) entry = catalog::IndexByStoredName(db, l.name);
    if (entry) {
      name = entry->indexName;
      primary = entry->primary;
    } else if (primary) {
      name = "PrimaryKey";
    } else if (l.origin == "u") {
      // A UNIQUE constraint has no name of its own: it is called after its fields.
      name.clear();
      for (const std::string& c : index.columns)
        name += (name.empty() ? "" : "_") + c;
    }
    index.info.m_strName = Bstr::FromUtf8Lossy(name);
    index.info.m_bUnique = l.unique;
    index.info.m_bPrimary = index.info.m_bRequired = primary;
    t.indexes.push_back(std::move(index));
  }
  std::stable_sort(t.indexes.begin(), t.indexes.end(),
                   [](const IndexSchema& a, const IndexSchema& b) {
                     return LessNoCase(a.info.m_strName.Utf8(), b.info.m_strName.Utf8());
                   });
}

}  // namespace

std::string StoredTableName(SqliteDb& db, const std::string& table) {
  Statement s =
      db.Cached("SELECT name FROM sqlite_schema WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
  s.Bind(1, table);
  return s.Step() ? s.Text(0) : std::string();
}

TableSchema ReadTableSchema(SqliteDb& db, bool hasCatalog, const std::string& table) {
  Statement s = db.Cached(
      "SELECT name, sql FROM sqlite_schema WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
  s.Bind(1, table);
  if (!s.Step()) ThrowDao(dao_error::kNoSuchTable, "There is no table " + Quoted(table) + ".");
  TableSchema t;
  t.name = s.Text(0);
  t.sql = s.Text(1);
  std::optional<CreateTableSql> parsed = ParseCreateTable(t.sql);
  t.hasRowid = !parsed || !parsed->withoutRowid;
  ReadFields(db, hasCatalog, t);
  ReadIndexes(db, hasCatalog, t);
  return t;
}

}  // namespace vorlix
