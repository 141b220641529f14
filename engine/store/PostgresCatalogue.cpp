// What the PostgreSQL store reads from the server's catalogue (pg_class, pg_attribute,
// pg_index, pg_constraint) for the tables of the schemas "public" and "msys", how it declares
// columns, and the changes of a table it makes in place.
#include <libpq-fe.h>

#include <cstdlib>
#include <map>

#include "automation/AsciiCase.h"
#include "engine/DaoException.h"
#include "engine/store/Postgres.h"
#include "engine/store/SqlText.h"

namespace vorlix {
namespace {

// The relations of pg_class c that belong to the database's tables: the user's and the
// catalog's (a database made before the catalog had a schema of its own has no msys).
#define VORLIX_OUR_SCHEMAS \
  "(c.relnamespace = 'public'::regnamespace OR c.relnamespace = to_regnamespace('msys'))"

// The oid of table, matched without regard to case (a spelling that matches exactly first).
constexpr const char* kTableOid = "(SELECT c.oid FROM pg_class c WHERE " VORLIX_OUR_SCHEMAS
                                  " AND c.relkind IN ('r', 'p') AND lower(c.relname) = lower(?1) "
                                  "ORDER BY c.relname = ?1 DESC LIMIT 1)";

// The engine's declared type for a column type as the server formats it, so that a table
// reads back as the types it was made with.
std::string DeclaredFor(const std::string& type, bool identity) {
  if (type == "boolean") return "BIT";
  if (type == "byte") return "BYTE";
  if (type == "smallint") return "SHORT";
  if (type == "integer") return identity ? "COUNTER" : "LONG";
  if (type == "numeric(19,4)") return "CURRENCY";
  if (type == "real") return "SINGLE";
  if (type == "double precision") return "DOUBLE";
  if (type.starts_with("timestamp")) return "DATETIME";
  if (type == "bytea") return "LONGBINARY";
  if (type.starts_with("character varying(")) return "TEXT" + type.substr(17);
  if (type == "text") return "LONGTEXT";
  if (type == "uuid") return "GUID";
  return AsciiUpper(std::string_view(type));
}

// A default as the server keeps it: a literal with its type cast ('a'::character varying)
// becomes the literal.
std::string DefaultFor(const std::string& expression) {
  if (expression.empty() || expression.front() != '\'') return expression;
  const size_t cast = expression.rfind("'::");
  return cast == std::string::npos ? expression : expression.substr(0, cast + 1);
}

[[noreturn]] void NotCarried(const std::string& what) {
  ThrowDao(dao_error::kInvalidOperation,
           what + " is not available for a database on a PostgreSQL server.");
}

}  // namespace

std::optional<StoredTable> PostgresDb::FindTable(const std::string& name) {
  Statement s = Cached(std::string("SELECT relname FROM pg_class WHERE oid = ") + kTableOid);
  s.Bind(1, name);
  if (!s.Step()) return std::nullopt;
  // The server keeps no statement text; the definition is read column by column.
  return StoredTable{s.Text(0), ""};
}

std::vector<std::string> PostgresDb::TableNames() {
  std::vector<std::string> names;
  Statement s = Cached("SELECT relname FROM pg_class c WHERE " VORLIX_OUR_SCHEMAS
                       " AND relkind IN ('r', 'p')");
  while (s.Step())
    names.push_back(s.Text(0));
  return names;
}

// The hidden identity column is no field. An identity column is never reported NOT NULL: as
// in files, an auto-increment field is filled by the store, not required of the writer.
std::vector<StoredColumn> PostgresDb::Columns(const std::string& table) {
  std::vector<StoredColumn> columns;
  Statement s =
      Cached(std::string("SELECT a.attname, format_type(a.atttypid, a.atttypmod), a.attnotnull, "
                         "coalesce(pg_get_expr(d.adbin, d.adrelid), ''), a.attidentity <> '', "
                         "coalesce(array_position(i.indkey::int2[], a.attnum), 0) "
                         "FROM pg_attribute a "
                         "LEFT JOIN pg_attrdef d ON d.adrelid = a.attrelid AND d.adnum = a.attnum "
                         "LEFT JOIN pg_index i ON i.indrelid = a.attrelid AND i.indisprimary "
                         "WHERE a.attrelid = ") +
             kTableOid + " AND a.attnum > 0 AND NOT a.attisdropped AND a.attname <> 'rowid' " +
             "ORDER BY a.attnum");
  s.Bind(1, table);
  while (s.Step()) {
    const bool identity = s.Int(4) != 0;
    columns.push_back({static_cast<int>(columns.size()), s.Text(0),
                       DeclaredFor(s.Text(1), identity), s.Int(2) != 0 && !identity,
                       DefaultFor(s.Text(3)), static_cast<int>(s.Int(5))});
  }
  return columns;
}

std::vector<StoredIndex> PostgresDb::Indexes(const std::string& table) {
  std::vector<StoredIndex> indexes;
  Statement list =
      Cached(std::string("SELECT ic.relname, i.indisunique, i.indisprimary, EXISTS (SELECT 1 FROM "
                         "pg_constraint k WHERE k.conindid = i.indexrelid AND k.contype = 'u'), "
                         "i.indexrelid FROM pg_index i JOIN pg_class ic ON ic.oid = i.indexrelid "
                         "WHERE i.indrelid = ") +
             kTableOid + " ORDER BY ic.relname");
  std::vector<int64_t> oids;
  list.Bind(1, table);
  while (list.Step()) {
    indexes.push_back({list.Text(0),
                       list.Int(1) != 0,
                       list.Int(2) != 0   ? StoredIndex::Origin::kPrimary
                       : list.Int(3) != 0 ? StoredIndex::Origin::kUnique
                                          : StoredIndex::Origin::kCreated,
                       false,
                       {}});
    oids.push_back(list.Int(4));
  }
  std::vector<StoredIndex> shown;
  for (size_t n = 0; n < indexes.size(); ++n) {
    StoredIndex& index = indexes[n];
    Statement cols = Cached(
        "SELECT a.attname, (i.indoption[k.n - 1] & 1) <> 0, coalesce(co.collname, '') "
        "FROM pg_index i CROSS JOIN LATERAL generate_series(1, i.indnkeyatts) AS k(n) "
        "LEFT JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = i.indkey[k.n - 1] "
        "LEFT JOIN pg_collation co ON co.oid = i.indcollation[k.n - 1] "
        "WHERE i.indexrelid = ?1 ORDER BY k.n");
    cols.Bind(1, oids[n]);
    while (cols.Step()) {
      index.onExpression = index.onExpression || cols.IsNull(0);
      index.columns.push_back({cols.Text(0), cols.Int(1) != 0, cols.Text(2)});
    }
    // The hidden identity column's own index belongs to the store.
    if (index.columns.size() == 1 && index.columns[0].name == "rowid") continue;
    shown.push_back(std::move(index));
  }
  return shown;
}

std::vector<StoredForeignKey> PostgresDb::ForeignKeys(const std::string& table) {
  std::map<int64_t, StoredForeignKey> byOid;
  Statement s = Cached(
      std::string("SELECT c.oid, rc.relname, pa.attname, fa.attname, c.confupdtype, c.confdeltype, "
                  "c.conname, (SELECT relname FROM pg_class WHERE oid = c.conrelid) "
                  "FROM pg_constraint c, pg_class rc, generate_subscripts(c.conkey, 1) AS k(n), "
                  "pg_attribute fa, pg_attribute pa "
                  "WHERE c.contype = 'f' AND rc.oid = c.confrelid "
                  "AND fa.attrelid = c.conrelid AND fa.attnum = c.conkey[k.n] "
                  "AND pa.attrelid = c.confrelid AND pa.attnum = c.confkey[k.n] "
                  "AND c.conrelid = ") +
      kTableOid + " ORDER BY c.oid, k.n");
  s.Bind(1, table);
  auto action = [](const std::string& code) { return code == "c" ? "CASCADE" : "NO ACTION"; };
  std::string stored;
  while (s.Step()) {
    StoredForeignKey& key = byOid[s.Int(0)];
    key.table = s.Text(1);
    key.columns.emplace_back(s.Text(2), s.Text(3));
    key.onUpdate = action(s.Text(4));
    key.onDelete = action(s.Text(5));
    key.name = s.Text(6);
    stored = s.Text(7);
  }
  std::vector<StoredForeignKey> keys;
  for (auto& [oid, key] : byOid) {
    // A key made without a name gets one from the server: table_columns_fkey, a number after
    // it when that is taken. It is unnamed to the engine, which names it as files do.
    std::string made = stored;
    for (const auto& [primary, foreign] : key.columns)
      made += "_" + foreign;
    made += "_fkey";
    if (key.name.starts_with(made) &&
        key.name.find_first_not_of("0123456789", made.size()) == std::string::npos) {
      key.name.clear();
    }
    keys.push_back(std::move(key));
  }
  return keys;
}

bool PostgresDb::IsAutoIncrement(const std::string& table, const std::string& column) {
  Statement s = Cached(std::string("SELECT attidentity <> '' FROM pg_attribute WHERE attrelid = ") +
                       kTableOid + " AND attname = ?2");
  s.Bind(1, table).Bind(2, column);
  return s.Step() && s.Int(0) != 0;
}

bool PostgresDb::NameTaken(const std::string& name) {
  Statement s = Cached("SELECT 1 FROM pg_class c WHERE " VORLIX_OUR_SCHEMAS
                       " AND lower(relname) = lower(?1)");
  s.Bind(1, name);
  return s.Step();
}

// The store makes no triggers of its own.
std::vector<std::string> PostgresDb::Triggers(const std::string&) {
  return {};
}

// Keys are numbered as ForeignKeys lists them: in the order they were made.
bool PostgresDb::DropForeignKey(const std::string& table, size_t key) {
  Statement s = Cached(std::string("SELECT conname FROM pg_constraint WHERE contype = 'f' AND "
                                   "conrelid = ") +
                       kTableOid + " ORDER BY oid");
  s.Bind(1, table);
  for (size_t n = 0; s.Step(); ++n) {
    if (n != key) continue;
    const std::string name = s.Text(0);
    s.Reset();
    WriteTransaction transaction(*this);
    Exec("ALTER TABLE " + QuoteName(table) + " DROP CONSTRAINT " + QuoteName(name));
    transaction.Commit();
    return true;
  }
  ThrowDao(dao_error::kItemNotFound, "The table " + Quoted(table) + " has no such foreign key.");
}

// The rows take fill as the new column's default, which then goes: what the column's own
// definition says is what stays. The engine's literal goes as text, which the server reads as
// the column's type (a number into a Boolean, x'' as an empty bytea).
bool PostgresDb::AddRequiredColumn(const std::string& table, const std::string& field,
                                   const std::string& columnSql, const std::string& fill,
                                   const std::function<void()>& alsoInside) {
  std::string literal = fill;
  if (StartsWithNoCase(fill, "x'")) {
    literal = "'\\x" + fill.substr(2);
  } else if (!fill.starts_with('\'')) {
    literal = QuoteText(fill);
  }
  const std::string quoted = QuoteName(table);
  WriteTransaction transaction(*this);
  Exec("ALTER TABLE " + quoted + " ADD COLUMN " + columnSql + " DEFAULT " + literal +
       ";ALTER TABLE " + quoted + " ALTER COLUMN " + QuoteName(field) + " DROP DEFAULT");
  if (alsoInside) alsoInside();
  transaction.Commit();
  return true;
}

// Rebuilding a table is how files drop a foreign key or add a required field to a table with
// rows; a server makes those changes in place (above), so it never rebuilds.
std::vector<std::string> PostgresDb::DependentDefinitions(const std::string&) {
  NotCarried("Rebuilding a table");
}

void PostgresDb::EnforceRelations(bool) {
  NotCarried("Rebuilding a table");
}

bool PostgresDb::LacksRelatedRecords(const std::string&) {
  NotCarried("Rebuilding a table");
}

// The server has no counter of schema changes: a change of a table's row or of one of its
// columns gives that row a new xmin, and a table made or dropped changes the count.
#define VORLIX_SCHEMA_VERSION                                                                  \
  "(SELECT count(*) * 1000003 + coalesce(sum(xmin::text::bigint), 0) FROM pg_class c "         \
  "WHERE " VORLIX_OUR_SCHEMAS                                                                  \
  ") + (SELECT coalesce(sum(a.xmin::text::bigint), 0) FROM pg_attribute a JOIN pg_class c ON " \
  "c.oid = a.attrelid WHERE " VORLIX_OUR_SCHEMAS ")"

int64_t PostgresDb::SchemaVersion() {
  Statement s = Cached("SELECT " VORLIX_SCHEMA_VERSION);
  s.Step();
  return s.Int(0);
}

// Nor does it count changes of the data; but nothing is changed without the server writing
// its log first, this session's own changes included, so while the log's end stays where it
// was nothing anyone changed is unseen. It moves more often than that (a checkpoint, a read
// that tidies a page), which only costs reading again. A standby's log is the one it replays.
Store::Versions PostgresDb::CurrentVersions() {
  Statement s = Cached("SELECT " VORLIX_SCHEMA_VERSION
                       ", (CASE WHEN pg_is_in_recovery() THEN pg_last_wal_replay_lsn() "
                       "ELSE pg_current_wal_insert_lsn() END - '0/0'::pg_lsn)::bigint");
  s.Step();
  return {s.Int(0), s.Int(1)};
}

// Every table gets the hidden identity column that stands for SQLite's rowid.
std::string PostgresDb::CreateTableSql(const std::string& table,
                                       const std::vector<std::string>& columns) {
  std::string sql = "CREATE TABLE " + table + " (rowid bigint GENERATED ALWAYS AS IDENTITY UNIQUE";
  for (const std::string& column : columns)
    sql += ", " + column;
  return sql + ")";
}

// Exact where files are approximate: Currency is numeric(19,4), Date/Time keeps milliseconds.
std::string PostgresDb::ColumnTypeSql(const std::string& declared) {
  const size_t open = declared.find('(');
  const std::string word = declared.substr(0, open);
  const std::string size = open == std::string::npos ? "" : declared.substr(open);
  if (word == "BIT") return "boolean";
  if (word == "BYTE") return "byte";
  if (word == "SHORT") return "smallint";
  if (word == "LONG") return "integer";
  if (word == "COUNTER") return "integer GENERATED BY DEFAULT AS IDENTITY";
  if (word == "CURRENCY") return "numeric(19,4)";
  if (word == "SINGLE") return "real";
  if (word == "DOUBLE") return "double precision";
  if (word == "DATETIME") return "timestamp(3)";
  if (word == "BINARY" || word == "LONGBINARY") return "bytea";
  if (word == "TEXT") return "varchar" + size;
  if (word == "LONGTEXT") return "text";
  if (word == "GUID") return "uuid";
  ThrowDao(dao_error::kInvalidArgument, "There is no column type for " + Quoted(declared) + ".");
}

// An identity column numbers its rows itself.
bool PostgresDb::IsNumbered(const std::string&, const std::string&) {
  return true;
}

void PostgresDb::NumberColumn(const std::string&, const std::string&) {}

std::string PostgresDb::NextNumberSql(const std::string&, const std::string&) {
  return "";
}

void PostgresDb::RequireLinks() const {
  NotCarried("A link between a database file and a database on a server");
}

bool PostgresDb::IsAttached(const std::string&) {
  return false;
}

void PostgresDb::Attach(const std::string&, const std::string&) {
  NotCarried("A link between a database file and a database on a server");
}

// One question for every column taken from a table, not a round trip each.
std::vector<std::optional<PostgresDb::ColumnSource>> PostgresDb::ColumnSources(
    const PGresult* description) {
  std::vector<std::optional<ColumnSource>> sources(PQnfields(description));
  std::string tables, columns;
  for (int c = 0; c < PQnfields(description); ++c) {
    if (PQftable(description, c) == InvalidOid) continue;
    tables += (tables.empty() ? "{" : ",") + std::to_string(PQftable(description, c));
    columns += (columns.empty() ? "{" : ",") + std::to_string(PQftablecol(description, c));
  }
  if (tables.empty()) return sources;
  Statement s = Cached(
      "SELECT a.attrelid, a.attnum, c.relname, a.attname, format_type(a.atttypid, a.atttypmod), "
      "a.attnotnull, a.attidentity <> '' FROM pg_attribute a JOIN pg_class c ON c.oid = "
      "a.attrelid JOIN unnest(?1::oid[], ?2::smallint[]) AS k (rel, num) ON a.attrelid = k.rel "
      "AND a.attnum = k.num");
  s.Bind(1, tables + "}").Bind(2, columns + "}");
  while (s.Step()) {
    const bool identity = s.Int(6) != 0;
    const ColumnSource source{DeclaredFor(s.Text(4), identity), s.Text(2), s.Text(3),
                              s.Int(5) != 0 && !identity};
    for (int c = 0; c < PQnfields(description); ++c) {
      if (PQftable(description, c) == static_cast<Oid>(s.Int(0)) &&
          PQftablecol(description, c) == s.Int(1)) {
        sources[c] = source;
      }
    }
  }
  return sources;
}

}  // namespace vorlix
