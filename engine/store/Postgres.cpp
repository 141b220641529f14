#include "engine/store/Postgres.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "automation/AsciiCase.h"
#include "automation/Guid.h"
#include "engine/DaoException.h"
#include "engine/store/SqlText.h"

namespace vorlix {
namespace {

// Type OIDs of the values the store reads (pg_type.h).
constexpr Oid kBool = 16, kBytea = 17, kInt8 = 20, kInt2 = 21, kInt4 = 23, kFloat4 = 700,
              kFloat8 = 701, kNumeric = 1700, kUuid = 2950;

// The key of the engine's write lock among the database's advisory locks, and of the lock an
// exclusive open holds (both taken by engine connections only).
constexpr int64_t kWriteLockKey = 0x566f726c69780001;
constexpr int64_t kExclusiveKey = 0x566f726c69780002;

// Seconds a connection may take to be made, unless the URI says otherwise.
constexpr char kConnectTimeout[] = "10";
// How often a wait for the server calls the progress check: a stop asked for, and the other
// work the check lets in, are not kept waiting longer.
constexpr int kCheckEveryMs = 5;

using Result = PostgresDb::Result;

std::string Message(PGconn* conn, const PGresult* result) {
  const char* text = result ? PQresultErrorMessage(result) : PQerrorMessage(conn);
  std::string message = text ? text : "";
  while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
    message.pop_back();
  return message;
}

// The engine's code for a failure the server reported with state (SQLSTATE).
[[noreturn]] void ThrowState(const std::string& state, const std::string& message) {
  const std::string_view klass = std::string_view(state).substr(0, 2);
  if (state == "23505") {
    ThrowDao(dao_error::kDuplicateValue, "A unique index would hold duplicates: " + message);
  }
  if (state == "23503") {
    ThrowDao(dao_error::kRelatedRecordRequired, "A related record is required: " + message);
  }
  if (state == "23502")
    ThrowDao(dao_error::kRequiredIsNull, "A required field is Null: " + message);
  if (state == "42P01") ThrowDao(dao_error::kNoSuchTable, "There is no such table: " + message);
  if (state == "22001") ThrowDao(dao_error::kValueTooLong, "The value is too long: " + message);
  if (state == "42601") ThrowDao(dao_error::kSyntaxError, "Syntax error: " + message);
  if (state == "55P03" || state == "40001" || state == "40P01") {
    ThrowDao(dao_error::kTableInUse, "The database is in use by another user: " + message);
  }
  if (state == "25006") ThrowDao(dao_error::kReadOnly, "The database is read-only: " + message);
  if (state == "57014") ThrowDao(dao_error::kCancelled, "The statement was cancelled.");
  if (state == "3D000") ThrowDao(dao_error::kFileNotFound, "There is no such database: " + message);
  if (state == "42P04") ThrowDao(dao_error::kDatabaseExists, "The database exists: " + message);
  if (klass == "08" || klass == "57") {
    ThrowDao(dao_error::kServerUnreachable, "The database server is lost: " + message);
  }
  if (klass == "28" || state == "42501") {
    ThrowDao(dao_error::kCannotOpen, "The user may not use the database: " + message);
  }
  ThrowDao(dao_error::kEngineFailure, "The database server failed: " + message);
}

// A connection that is gone makes every call fail the same way, whatever state it reports.
[[noreturn]] void ThrowFailure(PGconn* conn, const PGresult* result) {
  const std::string message = Message(conn, result);
  const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
  if (PQstatus(conn) == CONNECTION_BAD || !state) {
    ThrowDao(dao_error::kServerUnreachable, "The database server is lost: " + message);
  }
  ThrowState(state, message);
}

// The engine's catalog tables, kept in the schema msys (SystemTables.h, SavedQueries.h).
constexpr const char* kCatalogTables[] = {"MSysInfo",     "MSysFields", "MSysIndexes",
                                          "MSysCounters", "MSysLinks",  "MSysQueries"};

const char* CatalogTable(const std::string& name) {
  for (const char* table : kCatalogTables) {
    if (EqualNoCase(name, table)) return table;
  }
  return nullptr;
}

// The engine and its clients write parameters as SQLite reads them: "?", "?N", ":name" and
// "@name"; the server reads "$N". A bare "?" takes the number after the largest one so far, a
// name the number it had when it came before ("::" is a cast, not a name). A catalog table's
// name, in any case and quoted or not, becomes its name in the schema msys. Quoted text is
// left alone.
struct Translated {
  std::string sql;
  int parameters = 0;
  // per parameter from 1: "?N" or ":name" as written, "" for a bare "?"
  std::vector<std::string> names;
};

// True when tokens[i] begins a named parameter: ':' or '@' with a name straight after it.
bool NamesParameter(const std::vector<Token>& tokens, size_t i, std::string_view sql) {
  const Token& t = tokens[i];
  if (!t.IsPunct(':', sql) && !t.IsPunct('@', sql)) return false;
  if (i > 0 && tokens[i - 1].IsPunct(':', sql) && tokens[i - 1].end == t.begin) return false;
  if (i + 1 >= tokens.size() || tokens[i + 1].begin != t.end) return false;
  const Token& name = tokens[i + 1];
  return name.kind == Token::kWord && !std::isdigit(static_cast<unsigned char>(sql[name.begin])) &&
         sql[name.begin] != '$';
}
Translated Translate(std::string_view sql) {
  Translated out;
  std::optional<std::vector<Token>> tokens = Tokenize(sql);
  if (!tokens) {
    out.sql = sql;
    return out;
  }
  size_t copied = 0;
  for (size_t i = 0; i < tokens->size(); ++i) {
    const Token& t = (*tokens)[i];
    if (t.kind == Token::kWord || t.kind == Token::kQuotedName) {
      const char* table = CatalogTable(NameOf(t, sql));
      if (table && !(i > 0 && (*tokens)[i - 1].IsPunct('.', sql))) {
        out.sql.append(sql.substr(copied, t.begin - copied));
        out.sql += std::string("msys.") + QuoteName(table);
        copied = t.end;
      }
      continue;
    }
    int number = out.parameters + 1;
    size_t end = t.end;
    std::string name;
    if (NamesParameter(*tokens, i, sql)) {
      end = (*tokens)[++i].end;
      name = std::string(sql.substr(t.begin, end - t.begin));
      auto known = std::find(out.names.begin(), out.names.end(), name);
      if (known != out.names.end()) number = static_cast<int>(known - out.names.begin()) + 1;
    } else if (!t.IsPunct('?', sql)) {
      continue;
    } else if (i + 1 < tokens->size() && (*tokens)[i + 1].begin == t.end &&
               (*tokens)[i + 1].kind == Token::kWord) {
      const Token& digits = (*tokens)[i + 1];
      const std::string word(sql.substr(digits.begin, digits.end - digits.begin));
      if (word.find_first_not_of("0123456789") == std::string::npos) {
        number = std::atoi(word.c_str());
        end = digits.end;
        name = "?" + word;
        ++i;
      }
    }
    out.sql.append(sql.substr(copied, t.begin - copied));
    out.sql += "$" + std::to_string(number);
    copied = end;
    if (number > out.parameters) {
      out.parameters = number;
      out.names.resize(number);
    }
    out.names[number - 1] = name;
  }
  out.sql.append(sql.substr(copied));
  return out;
}

// The quoted table an INSERT names: its rows are the ones LastInsertRowid asks about.
std::string InsertTable(std::string_view sql) {
  std::optional<std::vector<Token>> t = Tokenize(sql);
  if (!t || t->size() < 3 || !(*t)[0].Is("INSERT") || !(*t)[1].Is("INTO")) return "";
  return std::string(sql.substr((*t)[2].begin, (*t)[2].end - (*t)[2].begin));
}

std::vector<char> Unhex(const char* text) {
  size_t length = 0;
  unsigned char* bytes = PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &length);
  if (!bytes) throw std::bad_alloc();
  std::vector<char> out(bytes, bytes + length);
  PQfreemem(bytes);
  return out;
}

// A statement prepared on the server under a name of its own, run with its parameters as
// text (blobs as bytes), its rows read as text and converted to stored values by their type.
class PostgresStatement final : public StatementCore {
 public:
  // Prepared and described in one round trip.
  PostgresStatement(PostgresDb& db, std::string_view sql)
      : db_(db), translated_(Translate(sql)), name_(db.NextStatementName()) {
    const char* name = name_.c_str();
    const char* text = translated_.sql.c_str();
    PGconn* conn = db_.conn();
    std::vector<Result> results =
        db_.Exchange({[&] { return PQsendPrepare(conn, name, text, 0, nullptr); },
                      [&] { return PQsendDescribePrepared(conn, name); }},
                     translated_.sql);
    description_ = std::move(results[1]);
    values_.resize(translated_.parameters);
    formats_.resize(translated_.parameters);
    sql_ = translated_.sql;
  }
  ~PostgresStatement() override { db_.Unused(std::move(name_)); }

  void Bind(int index, int64_t value) override { Set(index, std::to_string(value), 0); }
  void Bind(int index, std::string_view text) override { Set(index, std::string(text), 0); }
  void BindNull(int index) override {
    Place(index);
    values_[index - 1].reset();
  }
  void Bind(int index, const StoredValue& value) override {
    switch (value.kind) {
      case StoredValue::kNull:
        return BindNull(index);
      case StoredValue::kInteger:
        return Bind(index, value.integer);
      case StoredValue::kReal: {
        char text[32];
        std::snprintf(text, sizeof text, "%.17g", value.real);
        return Set(index, text, 0);
      }
      case StoredValue::kText:
        return Set(index, value.bytes, 0);
      case StoredValue::kBlob:
        return Set(index, value.bytes, 1);
    }
  }

  bool Step() override {
    if (!result_) {
      std::vector<const char*> values;
      std::vector<int> lengths;
      for (const std::optional<std::string>& v : values_) {
        values.push_back(v ? v->data() : nullptr);
        lengths.push_back(v ? static_cast<int>(v->size()) : 0);
      }
      auto run = [&] {
        return PQsendQueryPrepared(db_.conn(), name_.c_str(), translated_.parameters, values.data(),
                                   lengths.data(), formats_.data(), 0);
      };
      result_ = std::move(db_.Exchange({run}, sql_).front());
      row_ = -1;
    }
    return ++row_ < PQntuples(result_.get());
  }
  void Reset() override {
    result_.reset();
    for (std::optional<std::string>& v : values_)
      v.reset();
  }

  bool IsNull(int column) const override { return PQgetisnull(result_.get(), row_, column); }
  int64_t Int(int column) const override {
    const char* text = PQgetvalue(result_.get(), row_, column);
    if (PQftype(result_.get(), column) == kBool) return text[0] == 't' ? 1 : 0;
    return std::strtoll(text, nullptr, 10);
  }
  std::string Text(int column) const override {
    return std::string(PQgetvalue(result_.get(), row_, column),
                       PQgetlength(result_.get(), row_, column));
  }
  StoredView Cell(int column) const override {
    StoredView v;
    if (IsNull(column)) return v;
    const char* text = PQgetvalue(result_.get(), row_, column);
    switch (PQftype(result_.get(), column)) {
      case kBool:
      case kInt2:
      case kInt4:
      case kInt8:
        v.kind = StoredValue::kInteger;
        v.integer = Int(column);
        break;
      case kFloat4:
      case kFloat8:
      case kNumeric:
        v.kind = StoredValue::kReal;
        v.real = std::strtod(text, nullptr);
        break;
      case kBytea:
        v.kind = StoredValue::kBlob;
        blob_ = Unhex(text);
        v.bytes = {blob_.data(), blob_.size()};
        break;
      case kUuid: {
        // In the form the engine writes a GUID in, braces and all, as a file gives it back.
        const std::string guid =
            Guid::Parse("{" + std::string(text) + "}").value_or(Guid()).ToString();
        blob_.assign(guid.begin(), guid.end());
        v.kind = StoredValue::kText;
        v.bytes = {blob_.data(), blob_.size()};
        break;
      }
      default:
        v.kind = StoredValue::kText;
        v.bytes = {text, static_cast<size_t>(PQgetlength(result_.get(), row_, column))};
        break;
    }
    return v;
  }

  int ColumnCount() const override { return PQnfields(description_.get()); }
  int ParameterCount() const override { return translated_.parameters; }
  std::string ParameterName(int index) const override { return translated_.names[index - 1]; }
  // The server says only once it has run a statement whether it wrote: a SELECT or VALUES,
  // or a WITH that leads to one, reads, unless a word that writes or locks comes in it (a
  // data-changing WITH, FOR UPDATE: a read taken for a write is refused, never the reverse).
  bool ReadsOnly() const override {
    std::optional<std::vector<Token>> t = Tokenize(sql_);
    if (!t || t->empty() || !((*t)[0].Is("SELECT") || (*t)[0].Is("VALUES") || (*t)[0].Is("WITH")))
      return false;
    return std::none_of(t->begin(), t->end(), [](const Token& word) {
      return word.Is("INSERT") || word.Is("UPDATE") || word.Is("DELETE") || word.Is("MERGE") ||
             word.Is("SHARE") || word.Is("INTO");
    });
  }
  std::string ColumnName(int column) const override { return PQfname(description_.get(), column); }
  Origin ColumnOrigin(int column) const override {
    const std::optional<PostgresDb::ColumnSource>& source = Sources()[column];
    if (!source) return {nullptr, nullptr, nullptr};
    return {source->declaredType.c_str(), source->table.c_str(), source->column.c_str()};
  }
  bool ColumnNotNull(int column) const override {
    const std::optional<PostgresDb::ColumnSource>& source = Sources()[column];
    return source && source->notNull;
  }

 private:
  // Read from the server's catalogue on first use: most statements are never asked.
  const std::vector<std::optional<PostgresDb::ColumnSource>>& Sources() const {
    if (!sources_) sources_ = db_.ColumnSources(description_.get());
    return *sources_;
  }
  void Place(int index) {
    if (index < 1 || index > translated_.parameters) {
      ThrowDao(dao_error::kEngineFailure, "There is no parameter " + std::to_string(index) + ".");
    }
  }
  void Set(int index, std::string value, int format) {
    Place(index);
    values_[index - 1] = std::move(value);
    formats_[index - 1] = format;
  }

  PostgresDb& db_;
  Translated translated_;
  std::string name_;
  std::string sql_;
  Result description_{nullptr, PQclear};
  Result result_{nullptr, PQclear};
  int row_ = -1;
  std::vector<std::optional<std::string>> values_;
  std::vector<int> formats_;
  mutable std::vector<char> blob_;
  mutable std::optional<std::vector<std::optional<PostgresDb::ColumnSource>>> sources_;
};

// The URI of the server's database "postgres", through which databases are made: uri with its
// path replaced.
std::string MaintenanceUri(const std::string& uri, std::string* database) {
  const size_t scheme = uri.find("://");
  const size_t path = uri.find('/', scheme + 3);
  if (path == std::string::npos) {
    ThrowDao(dao_error::kInvalidPath, "The URI " + Quoted(uri) + " names no database.");
  }
  const size_t query = uri.find('?', path);
  *database =
      uri.substr(path + 1, query == std::string::npos ? std::string::npos : query - path - 1);
  if (database->empty()) {
    ThrowDao(dao_error::kInvalidPath, "The URI " + Quoted(uri) + " names no database.");
  }
  return uri.substr(0, path) + "/postgres" +
         (query == std::string::npos ? std::string() : uri.substr(query));
}

PGconn* ConnectTo(const std::string& uri) {
  // A server that never answers would hold the engine (and every client of a server process)
  // for the system's connection time-out, minutes; the URI may still ask for another bound.
  const char* keywords[] = {"connect_timeout", "dbname", nullptr};
  const char* values[] = {kConnectTimeout, uri.c_str(), nullptr};
  PGconn* conn = PQconnectdbParams(keywords, values, 1);
  if (PQstatus(conn) == CONNECTION_OK) return conn;
  const std::string message = Message(conn, nullptr);
  PQfinish(conn);
  if (message.find("does not exist") != std::string::npos) {
    ThrowDao(dao_error::kFileNotFound, "There is no database " + Quoted(uri) + ": " + message);
  }
  if (message.find("authentication") != std::string::npos ||
      message.find("permission denied") != std::string::npos) {
    ThrowDao(dao_error::kCannotOpen, "The user may not use " + Quoted(uri) + ": " + message);
  }
  ThrowDao(dao_error::kServerUnreachable,
           "The database server of " + Quoted(uri) + " cannot be reached: " + message);
}

// Types and collations every database of the store declares columns with: Text and Memo in
// the general order (GENERAL, and NOCASE for the catalog tables, both ignoring case), and a
// Byte that holds 0 to 255; and the schema of the catalog tables.
constexpr const char* kDatabaseSetup =
    "CREATE COLLATION general (provider = icu, locale = 'und-u-ks-level2', "
    "deterministic = false);"
    "CREATE COLLATION nocase (provider = icu, locale = 'und-u-ks-level2', deterministic = false);"
    "CREATE DOMAIN byte AS smallint CHECK (VALUE BETWEEN 0 AND 255);"
    "CREATE SCHEMA msys";

}  // namespace

bool IsPostgresUri(std::string_view name) {
  return StartsWithNoCase(name, "postgresql://") || StartsWithNoCase(name, "postgres://");
}

std::unique_ptr<PostgresDb> PostgresDb::Connect(const std::string& uri, bool exclusive,
                                                bool readOnly) {
  std::unique_ptr<PostgresDb> db(new PostgresDb(ConnectTo(uri)));
  // No waiting on another user's row or table lock: a conflict fails at once (55P03, 3262)
  // and the callers' retry policy does the waiting.
  db->Exec("SET lock_timeout = '1ms'; SET DateStyle = 'ISO'");
  if (readOnly) db->Exec("SET default_transaction_read_only = on");
  if (exclusive) {
    Statement s = db->Prepare("SELECT pg_try_advisory_lock(?1)");
    s.Bind(1, kExclusiveKey);
    if (!s.Step() || s.Int(0) == 0) {
      ThrowDao(dao_error::kCannotOpen, Quoted(uri) + " is open exclusively by another user.");
    }
  } else {
    // A shared open meets an exclusive one.
    Statement s = db->Prepare("SELECT pg_try_advisory_lock_shared(?1)");
    s.Bind(1, kExclusiveKey);
    if (!s.Step() || s.Int(0) == 0) {
      ThrowDao(dao_error::kCannotOpen, Quoted(uri) + " is open exclusively by another user.");
    }
  }
  return db;
}

std::unique_ptr<PostgresDb> PostgresDb::CreateDatabase(const std::string& uri) {
  std::string name;
  {
    PostgresDb server(ConnectTo(MaintenanceUri(uri, &name)));
    server.Exec("CREATE DATABASE " + QuoteName(name));
  }
  std::unique_ptr<PostgresDb> db = Connect(uri, false, false);
  db->Exec(kDatabaseSetup);
  return db;
}

void PostgresDb::Vacuum(const std::string& uri) {
  PostgresDb db(ConnectTo(uri));
  db.Exec("VACUUM");
}

// The server frees the connection's prepared statements when it ends: none is deallocated.
PostgresDb::~PostgresDb() {
  cache_.clear();  // while the list of statements no longer used lasts
  PQfinish(conn_);
}

void PostgresDb::WatchProgress(ProgressCheck check) {
  check_ = std::move(check);
}

PGresult* PostgresDb::Await(int sent) {
  if (!sent) return nullptr;
  // A cancelled statement still answers: its failure (57014), read as any other.
  bool cancelled = false;
  PGresult* kept = nullptr;
  for (;;) {
    while (PQisBusy(conn_)) {
      pollfd socket{PQsocket(conn_), POLLIN, 0};
      const int ready = poll(&socket, 1, check_ ? kCheckEveryMs : -1);
      if (ready < 0 && errno != EINTR) break;  // PQgetResult says what failed
      if (ready > 0 && !PQconsumeInput(conn_)) break;
      if (ready == 0 && !cancelled && check_()) {
        cancelled = true;
        char error[256];
        std::unique_ptr<PGcancel, void (*)(PGcancel*)> cancel(PQgetCancel(conn_), PQfreeCancel);
        if (cancel) PQcancel(cancel.get(), error, sizeof error);
      }
    }
    PGresult* result = PQgetResult(conn_);
    if (!result) return kept;
    // In a pipeline a synchronization point answers alone, with no null after it.
    if (!kept && PQresultStatus(result) == PGRES_PIPELINE_SYNC) return result;
    // As PQexec: the last result, or the failure that stopped the statements.
    if (kept && PQresultStatus(kept) == PGRES_FATAL_ERROR) {
      PQclear(result);
    } else {
      PQclear(kept);
      kept = result;
    }
  }
}

std::vector<Result> PostgresDb::Exchange(std::initializer_list<std::function<int()>> sends,
                                         std::string_view sql) {
  // Every command goes out before any answer is read: a pipeline, one synchronization point
  // for the commands asked for (so a failure of a deferred one stops them, as it would have
  // had it been run alone before them), another for the deallocations, whose failure (in a
  // transaction that failed already) must stop nothing and only leaves them for next time.
  auto send = [&](const std::string& command) {
    return PQsendQueryParams(conn_, command.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0);
  };
  bool sent = PQenterPipelineMode(conn_) == 1;
  const std::vector<std::string> deferred = std::move(deferred_);
  deferred_.clear();
  const std::vector<std::string> unused = std::move(unused_);
  unused_.clear();
  for (const std::string& command : deferred)
    sent = sent && send(command);
  for (const std::function<int()>& command : sends)
    sent = sent && command();
  sent = sent && PQpipelineSync(conn_);
  for (const std::string& name : unused)
    sent = sent && send("DEALLOCATE " + name);
  if (!unused.empty()) sent = sent && PQpipelineSync(conn_);
  if (!sent) {
    // Nothing can be read back in order: the connection is no longer usable.
    lastError_ = Message(conn_, nullptr);
    ThrowDao(dao_error::kServerUnreachable, "The database server is lost: " + lastError_);
  }

  std::vector<Result> results;
  Result failure(nullptr, PQclear);
  auto read = [&](bool wanted) {
    Result result(Await(1), PQclear);
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status == PGRES_FATAL_ERROR && !failure && wanted) failure = std::move(result);
    return result;
  };
  for (size_t i = 0; i < deferred.size(); ++i)
    read(true);
  for (size_t i = 0; i < sends.size(); ++i)
    results.push_back(read(true));
  read(false);  // the synchronization point
  for (const std::string& name : unused) {
    Result result = read(false);
    if (!result || PQresultStatus(result.get()) != PGRES_COMMAND_OK) unused_.push_back(name);
  }
  if (!unused.empty()) read(false);
  if (!PQexitPipelineMode(conn_)) {
    lastError_ = Message(conn_, nullptr);
    ThrowDao(dao_error::kServerUnreachable, "The database server is lost: " + lastError_);
  }
  if (failure) Check(failure.release(), sql);
  for (Result& result : results)
    result.reset(Check(result.release(), sql));
  return results;
}

PGresult* PostgresDb::Check(PGresult* result, std::string_view sql) {
  const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
    const char* tuples = PQcmdTuples(result);
    if (tuples && *tuples) {
      changes_ = std::strtoll(tuples, nullptr, 10);
      const char* command = PQcmdStatus(result);
      if (std::strncmp(command, "SELECT", 6) != 0) totalChanges_ += changes_;
      if (std::strncmp(command, "INSERT", 6) == 0) lastInsertTable_ = InsertTable(sql);
    }
    return result;
  }
  lastError_ = Message(conn_, result);
  Result owned(result, PQclear);
  ThrowFailure(conn_, result);
}

Statement PostgresDb::Cached(std::string_view sql) {
  auto it = cache_.find(std::string(sql));
  if (it != cache_.end()) return Statement(it->second.get(), false);
  auto core = std::make_unique<PostgresStatement>(*this, sql);
  StatementCore* kept = cache_.emplace(std::string(sql), std::move(core)).first->second.get();
  return Statement(kept, false);
}

Statement PostgresDb::Prepare(std::string_view sql) {
  return Statement(new PostgresStatement(*this, sql), true);
}

Result PostgresDb::Simple(const std::string& sql) {
  std::string text;
  for (const std::string& command : deferred_)
    text += command + "; ";
  deferred_.clear();
  text += sql;
  return Result(Check(Await(PQsendQuery(conn_, text.c_str())), sql), PQclear);
}

void PostgresDb::Exec(const std::string& sql) {
  Simple(Translate(sql).sql);
}

void PostgresDb::ExecWithNext(const char* sql) {
  deferred_.push_back(Translate(sql).sql);
}

// The identity the server gave the last row an INSERT of this connection made, read from the
// table's own sequence: other sessions' inserts do not move it. A table without the hidden
// identity column (a catalog table, one made by plain SQL) answers 0: the question must not
// fail, since a failure would end the transaction the INSERT ran in.
int64_t PostgresDb::LastInsertRowid() const {
  if (lastInsertTable_.empty()) return 0;
  const char* table = lastInsertTable_.c_str();
  Result result(PQexecParams(conn_,
                             "SELECT currval(pg_get_serial_sequence(a.attrelid::regclass::text, "
                             "'rowid')) FROM pg_attribute a WHERE a.attrelid = to_regclass($1) "
                             "AND a.attname = 'rowid' AND a.attidentity <> ''",
                             1, nullptr, &table, nullptr, nullptr, 0),
                PQclear);
  if (PQresultStatus(result.get()) != PGRES_TUPLES_OK || PQntuples(result.get()) != 1) return 0;
  return std::strtoll(PQgetvalue(result.get(), 0, 0), nullptr, 10);
}

// The row comes back with the INSERT: asking after for its identity takes a round trip and a
// catalog query, reading it a round trip more.
std::string PostgresDb::NumberedInsert(std::string insert, const std::string& columns) const {
  return insert + " RETURNING " + columns;
}

int64_t PostgresDb::RunNumberedInsert(Statement& insert,
                                      const std::function<void(const Statement&)>& read) {
  if (!insert.Step()) return 0;
  const int64_t rowid = insert.Int(0);
  read(insert);
  insert.Run();
  return rowid;
}

bool PostgresDb::InTransaction() const {
  return PQtransactionStatus(conn_) != PQTRANS_IDLE;
}

// BEGIN and the lock go in one message: every write waits for one round trip fewer.
void PostgresDb::BeginWrite() {
  static const std::string sql =
      "BEGIN; SELECT pg_try_advisory_xact_lock(" + std::to_string(kWriteLockKey) + ")";
  Result result = Simple(sql);
  if (std::strcmp(PQgetvalue(result.get(), 0, 0), "t") != 0) {
    Rollback();
    ThrowDao(dao_error::kTableInUse,
             "The database is in use by another user: it is being written.");
  }
}

// A transaction in which a statement failed ends with COMMIT rolled back: that is a failure,
// not the success the command's answer would look like.
void PostgresDb::Commit() {
  Result result = Simple("COMMIT");
  if (std::strcmp(PQcmdStatus(result.get()), "ROLLBACK") == 0) {
    ThrowDao(dao_error::kEngineFailure, "The transaction failed and was rolled back.");
  }
}

// What was deferred belonged to the transaction, and goes with it.
void PostgresDb::Rollback() noexcept {
  deferred_.clear();
  PQclear(PQexec(conn_, "ROLLBACK"));
}

}  // namespace vorlix
