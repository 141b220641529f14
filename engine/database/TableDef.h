// CDaoTableDef: defines a table of a database, or a link to a table of another database file.
//
// A new definition (Create) collects its fields and indexes until Append makes the table in
// one transaction. On an existing definition (Open, or after Append) each field, index or new
// name takes effect in the file at once.
#pragma once

#include <string>
#include <vector>

#include "automation/Bstr.h"
#include "engine/DaoInfo.h"
#include "engine/database/Database.h"
#include "engine/schema/FieldDefinition.h"

namespace vorlix {

class CDaoTableDef {
 public:
  explicit CDaoTableDef(CDaoDatabase* database) : database_(database) {}

  // Starts a new definition. With connect ";DATABASE=path" and sourceTable it defines a link
  // to sourceTable in that file; the path is everything after "DATABASE=". attributes must be
  // 0. Raises 3125 for a bad name (or one beginning with MSys), 3001 for other bad arguments,
  // 3219 when the definition is in use.
  void Create(const Bstr& name, int32_t attributes = 0, const Bstr& sourceTable = Bstr(),
              const Bstr& connect = Bstr());
  // Opens the existing table or link name (matched without regard to case); 3078 when there is
  // none.
  void Open(const Bstr& name);
  void Close();
  bool IsOpen() const { return state_ != State::kClosed; }
  Bstr GetName() const;

  // Makes the new table, or stores the new link after checking that its file and source
  // table exist. Raises 3010 when a table or link of that name exists, 3264 when a table has
  // no fields, 3027 on a read-only database.
  void Append();

  // Adds a field. Raises 3191 when the table has a field of that name, and what CheckField
  // raises. On a table with rows, a required field without a default is given the type's empty
  // value (0, "", ...) in the existing rows; an auto-increment field numbers them.
  void CreateField(const CDaoFieldInfo& info);

  // Adds an index, named per table. Raises 3284 when the table has an index of that name,
  // 3283 for a second primary index, 3265 for a field the table lacks, 3022 when existing rows
  // break a unique index.
  void CreateIndex(const CDaoIndexInfo& info);

  // Renames the table or link. Raises 3012 when the name is taken by another one.
  void SetName(const Bstr& name);

  // Checks that a link's file and source table are there: 3024 when the file is missing,
  // 3078 when the source table is; 3219 when the definition is not a link.
  void RefreshLink();

 private:
  enum class State { kClosed, kNew, kExisting };

  void RequireOpen() const;
  // Open, and not one of the engine's catalog tables (3027).
  void RequireUserTable() const;
  // A user table, not a link (3219).
  void RequireTable(const char* what) const;
  void AddField(const FieldSpec& field);
  void AddIndex(const IndexSpec& index);
  void Rename(const std::string& to);

  CDaoDatabase* database_;
  State state_ = State::kClosed;
  std::string name_;
  std::string connect_;      // links only
  std::string sourceTable_;  // links only
  // A new table's definition, until Append.
  std::vector<FieldSpec> fields_;
  std::vector<IndexSpec> indexes_;
};

}  // namespace vorlix
