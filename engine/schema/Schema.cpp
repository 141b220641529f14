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

void ReadFields(Store& db, bool hasCatalog, TableSchema& t) {
  int primaryColumns = 0;
  std::string rowidCandidate;
  for (const StoredColumn& c : db.Columns(t.name)) {
    FieldSchema f;
    f.name = c.name;
    const DeclaredType dt = ParseDeclaredType(c.declaredType);
    f.type = dt.type;
    f.autoIncrement = dt.autoIncrement;
    if (c.primaryKeyOrder > 0) {
      ++primaryColumns;
      if (EqualNoCase(c.declaredType, "INTEGER")) rowidCandidate = f.name;
    }
    CDaoFieldInfo& info = f.info;
    info.m_strName = Bstr::FromUtf8Lossy(f.name);
    info.m_nType = dt.type->code;
    info.m_lSize = dt.size;
    info.m_nOrdinalPosition = static_cast<int16_t>(c.position);
    info.m_bRequired = c.notNull;
    info.m_bAllowZeroLength = dt.type->code == dbText || dt.type->code == dbMemo;
    info.m_strDefaultValue = Bstr::FromUtf8Lossy(DefaultText(c.defaultSql));
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

void ReadIndexes(Store& db, bool hasCatalog, TableSchema& t) {
  for (const StoredIndex& l : db.Indexes(t.name)) {
    if (l.onExpression) continue;  // no field to report it by
    IndexSchema index;
    index.storedName = l.name;
    for (const StoredIndex::Column& c : l.columns) {
      index.columns.push_back(c.name);
      index.collations.push_back(c.collation);
      index.info.m_fieldInfos.push_back({Bstr::FromUtf8Lossy(c.name), c.descending});
    }

    std::string name = l.name;
    bool primary = l.origin == StoredIndex::Origin::kPrimary;
    std::optional<catalog::IndexEntry> entry;
    if (hasCatalog) entry = catalog::IndexByStoredName(db, l.name);
    if (entry) {
      name = entry->indexName;
      primary = entry->primary;
    } else if (primary) {
      name = "PrimaryKey";
    } else if (l.origin == StoredIndex::Origin::kUnique) {
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

std::string StoredTableName(Store& db, const std::string& table) {
  std::optional<StoredTable> stored = db.FindTable(table);
  return stored ? stored->name : std::string();
}

TableSchema ReadTableSchema(Store& db, bool hasCatalog, const std::string& table) {
  std::optional<StoredTable> stored = db.FindTable(table);
  if (!stored) ThrowDao(dao_error::kNoSuchTable, "There is no table " + Quoted(table) + ".");
  TableSchema t;
  t.name = std::move(stored->name);
  t.sql = std::move(stored->definition);
  std::optional<CreateTableSql> parsed = ParseCreateTable(t.sql);
  t.hasRowid = !parsed || !parsed->withoutRowid;
  ReadFields(db, hasCatalog, t);
  ReadIndexes(db, hasCatalog, t);
  return t;
}

}  // namespace vorlix
