#include "engine/recordsets/ClientStatement.h"

#include <algorithm>

#include "engine/DaoException.h"
#include "engine/database/DatabaseInternal.h"
#include "engine/recordsets/ColumnBuilder.h"
#include "engine/recordsets/ColumnValue.h"
#include "engine/schema/FieldValue.h"

namespace vorlix {
namespace {

bool Named(const std::string& place) {
  return !place.empty() && place[0] != '?';
}

// The place (from 1) whose name is name, written with or without its prefix; 0 when none is.
int PlaceNamed(const Statement& stmt, const std::string& name) {
  for (int i = 1; i <= stmt.ParameterCount(); ++i) {
    const std::string place = stmt.ParameterName(i);
    if (place == name || std::string_view(place).substr(1) == name) return i;
  }
  return 0;
}

std::vector<ClientStatement::Column> ColumnsOf(const Statement& stmt) {
  std::vector<ClientStatement::Column> columns;
  for (int c = 0; c < stmt.ColumnCount(); ++c) {
    ClientStatement::Column column{stmt.ColumnName(c), nullptr, "", 0, true};
    const Statement::Origin origin = stmt.ColumnOrigin(c);
    if (origin.column) {
      const DeclaredType declared = ParseDeclaredType(origin.declaredType);
      column.type = declared.type;
      column.declared = origin.declaredType;
      column.size = declared.size;
      column.nullable = !stmt.ColumnNotNull(c);
    }
    columns.push_back(std::move(column));
  }
  return columns;
}

}  // namespace

ClientStatement::ClientStatement(CDaoDatabase* database, std::string sql,
                                 const std::vector<Variant>& params)
    : database_(database), sql_(std::move(sql)), definesSchema_(DefinesSchema(sql_)) {
  stmt_.emplace(PrepareSql(*database_, sql_, sql_));
  Bind(params);
  columns_ = ColumnsOf(*stmt_);
  Internal(*database_).AddDependent(this);
}

ClientStatement::~ClientStatement() {
  if (stmt_) OnDatabaseClose();
}

void ClientStatement::OnDatabaseClose() noexcept {
  stmt_.reset();
  Internal(*database_).RemoveDependent(this);
}

void ClientStatement::Bind(const std::vector<Variant>& params) {
  Statement& stmt = *stmt_;
  stmt.Reset();
  done_ = false;
  const int places = stmt.ParameterCount();
  bool named = places > 0;
  for (int i = 1; i <= places && named; ++i)
    named = Named(stmt.ParameterName(i));
  std::vector<bool> bound(static_cast<size_t>(places) + 1, false);
  if (named) {
    if (params.size() % 2) {
      ThrowDao(dao_error::kInvalidArgument, "Named parameters come as name/value pairs.");
    }
    for (size_t k = 0; k < params.size(); k += 2) {
      std::optional<std::string> name;
      if (params[k].vt() == VT_BSTR) name = params[k].AsBstr().ToUtf8();
      if (!name) ThrowDao(dao_error::kInvalidArgument, "A parameter's name must be a string.");
      const int place = PlaceNamed(stmt, *name);
      if (place == 0) {
        ThrowDao(dao_error::kItemNotFound, "The statement has no parameter " + *name + ".");
      }
      stmt.Bind(place, ToStoredValue(params[k + 1]));
      bound[static_cast<size_t>(place)] = true;
    }
  } else {
    if (params.size() > static_cast<size_t>(places)) {
      ThrowDao(dao_error::kInvalidArgument,
               "More parameter values than the statement has places: " + sql_);
    }
    for (size_t k = 0; k < params.size(); ++k) {
      stmt.Bind(static_cast<int>(k) + 1, ToStoredValue(params[k]));
      bound[k + 1] = true;
    }
  }
  for (int i = 1; i <= places; ++i) {
    if (!bound[static_cast<size_t>(i)]) {
      ThrowDao(dao_error::kTooFewParameters,
               "Too few parameters: place " + std::to_string(i) + " has no value.");
    }
  }
}

void ClientStatement::RequireStatement() const {
  if (!stmt_) {
    ThrowDao(dao_error::kInvalidOperation,
             "The statement has ended: it failed, or its database was closed.");
  }
}

ActionResult ClientStatement::Run() {
  RequireStatement();
  if (!stmt_->ReadsOnly()) database_->RequireUpdatable();
  return RunAction(*database_, *stmt_, sql_, definesSchema_);
}

std::vector<ColumnValues> ClientStatement::Fetch(size_t n, size_t* rows) {
  RequireStatement();
  // Room for the batch at once, up to a bound: growing a column by doubling copies it and
  // faults in fresh pages several times over, while n may be far more than the rows there are.
  std::vector<ColumnBuilder> builders;
  builders.reserve(columns_.size());
  for (size_t c = 0; c < columns_.size(); ++c)
    builders.emplace_back(std::min<size_t>(n, 65536));
  *rows = 0;
  try {
    for (; *rows < n && !done_; ++*rows) {
      if (!stmt_->Step()) {
        done_ = true;
        break;
      }
      for (size_t c = 0; c < columns_.size(); ++c)
        builders[c].Add(ReadCell(stmt_->Cell(static_cast<int>(c)), columns_[c].type));
    }
  } catch (const CDaoException&) {
    // A failed step leaves the statement reset: stepped again, it would start over and hand
    // out its first rows a second time.
    OnDatabaseClose();
    throw;
  }
  std::vector<ColumnValues> values;
  for (ColumnBuilder& builder : builders)
    values.push_back(builder.Finish());
  return values;
}

}  // namespace vorlix
