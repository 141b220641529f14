// Helpers of the engine tests besides the shared ones: failure codes, field and index
// descriptions, and a fixture with a database open in a fresh folder.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/DaoException.h"
#include "engine/database/Database.h"
#include "engine/database/TableDef.h"
#include "engine/recordsets/QueryDef.h"
#include "engine/recordsets/Recordset.h"
#include "tests/support/Definitions.h"
#include "tests/support/TestFiles.h"

namespace vorlix::test {

using Lines = std::vector<std::string>;

// The code of the CDaoException that f raises; 0 when it raises none.
int32_t DaoCode(const std::function<void()>& f);

// A Variant as text for comparisons ("Null" for Null).
std::string Text(const Variant& v);

// A new database file in a fresh folder, open for writing.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDatabase(path_);
    db_.Open(B(path_));
  }

  // People: ID (auto-numbered, primary index PrimaryKey), Name (Text 20, required, no
  // zero-length strings, index ByName), Age (Integer, index ByAge).
  void MakePeople();
  // Runs an action statement through the engine; the number of records it affected.
  int32_t Exec(const std::string& sql);
  // Every row of a snapshot of q or of sql, its values joined by '|'.
  Lines Rows(CDaoQueryDef& q);
  Lines Rows(const std::string& sql);

  TempDir dir_;
  std::string path_ = dir_.Path("db.vdb");
  CDaoDatabase db_;
};

}  // namespace vorlix::test
