// A database in a temporary folder with the People table, for the recordset and query tests.
#pragma once

#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/QueryDef.h"
#include "engine/Recordset.h"

namespace vorlix::test {

class RecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDatabase(path_);
    db_.Open(B(path_));
  }

  // People: ID (auto-numbered, primary index PrimaryKey), Name (Text 20, required, no
  // zero-length strings, index ByName), Age (Integer, index ByAge).
  void MakePeople();
  // Runs an action statement through the engine.
  void Exec(const std::string& sql);
  // The values of field in every record of rs from the current one to EOF, as text.
  static std::vector<std::string> Walk(CDaoRecordset& rs, const char16_t* field);

  TempDir dir_;
  std::string path_ = dir_.Path("db.vdb");
  CDaoDatabase db_;
};

// A Variant as text for comparisons ("Null" for Null).
std::string Text(const Variant& v);

}  // namespace vorlix::test
