// CDaoDatabase: one database, open through a store of its own (Store.h), so that two database
// objects on one database behave like two users.
//
// A change is in the database when the call that made it returns, and survives a crash of the
// process. An exclusive open keeps every other user out from the open to the close. There is
// no waiting on locks: a lock conflict fails at once and callers decide whether to retry.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "automation/Bstr.h"
#include "engine/DaoInfo.h"
#include "engine/database/Engine.h"
#include "engine/schema/ForeignKeys.h"
#include "engine/schema/TableList.h"
#include "engine/store/Store.h"

namespace vorlix {

class CDaoDatabase {
 public:
  // Something that works on an open database and has to stop when it closes (a recordset, a
  // query definition). It registers while it is open and unregisters when it closes.
  class Dependent {
   public:
    // The database is closing: close, and unregister.
    virtual void OnDatabaseClose() noexcept = 0;

   protected:
    ~Dependent() = default;
  };

  // check watches every statement on the database once it is open (Store::WatchProgress),
  // not those that open it: until the file is noted open here, clients served meanwhile could
  // compact it.
  explicit CDaoDatabase(Store::ProgressCheck check = {}) : check_(std::move(check)) {}
  ~CDaoDatabase();  // closes the database if it is open
  CDaoDatabase(const CDaoDatabase&) = delete;
  CDaoDatabase& operator=(const CDaoDatabase&) = delete;

  // Opens the database name: a file, or a database on a PostgreSQL server when name is a
  // postgresql:// or postgres:// URI. connect must be empty. Raises 3024 when the file does
  // not exist, 3044 when the path is not valid or names no regular file, 3343 when it is not a
  // database (an empty file is none), 3051 when another user holds it exclusively, reading is
  // denied, or writing is denied and readOnly is false; 3219 when this object has a database
  // open already; 3151 when the server cannot be reached. Opening a plain SQLite file for
  // writing gives it the engine's catalog.
  void Open(const Bstr& name, bool exclusive = false, bool readOnly = false,
            const Bstr& connect = Bstr());

  // Creates the database name (a file, or on a server as Open reads name) and leaves it open
  // for reading and writing. The locale and options are recorded in the database. Raises 3204
  // when it exists, 3044 when the path is not valid.
  void Create(const Bstr& name, const Bstr& locale = Bstr(dbLangGeneral), int32_t options = 0);

  // Closes every dependent, then the file. Does nothing when no database is open.
  void Close();

  bool IsOpen() const { return open_ != nullptr; }
  // The status callers check: 0, usable, for every database object.
  int32_t GetStatus() const { return 0; }
  // The name the database was opened or created with.
  Bstr GetName() const;
  // True when the database is open for reading and writing.
  bool CanUpdate() const;

  // Table definitions: tables (MSys ones included, as system tables) and links, in name
  // order. A position outside the count raises 3265.
  int16_t GetTableDefCount();
  void GetTableDefInfo(int index, CDaoTableDefInfo& info, uint32_t level = AFX_DAO_PRIMARY_INFO);
  // Deletes a table (with its rows) or a link. Raises 3078 when there is none, 3303 when the
  // table takes part in a relation, 3027 for a catalog table or a read-only database.
  void DeleteTableDef(const Bstr& name);

  // Relations (see Relations.h for their names and order). Names are matched without regard
  // to case.
  int16_t GetRelationCount();
  void GetRelationInfo(int index, CDaoRelationInfo& info, uint32_t level = AFX_DAO_PRIMARY_INFO);
  void GetRelationInfo(const Bstr& name, CDaoRelationInfo& info,
                       uint32_t level = AFX_DAO_PRIMARY_INFO);
  // Removes the relation's foreign key from its table, keeping every row.
  void DeleteRelation(const Bstr& name);

  // Raises 3027 unless the database can be updated.
  void RequireUpdatable();

 private:
  // The engine's own classes reach the connection, the dependents and the schema lists through
  // DatabaseInternal.h.
  friend class DatabaseInternal;

  struct OpenFile {
    std::unique_ptr<Store> db;
    std::string name;
    std::optional<engine::FileId> file;  // none for a database on a server
    bool readOnly;
    bool hasCatalog;
  };
  // Read lists stay valid while neither this connection nor another changed the database.
  struct Cache {
    Store::Versions versions = {-1, -1};
    std::unique_ptr<std::vector<TableEntry>> tables;
    std::unique_ptr<std::vector<RelationSchema>> relations;
  };

  void Attach(std::unique_ptr<Store> db, std::string name, bool readOnly);

  Store::ProgressCheck check_;
  std::unique_ptr<OpenFile> open_;
  Cache cache_;
  std::vector<Dependent*> dependents_;
  int editLockHolders_ = 0;
  uint64_t schemaChanges_ = 0;
};

}  // namespace vorlix
