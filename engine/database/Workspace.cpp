#include "engine/database/Workspace.h"

#include "engine/DaoException.h"
#include "engine/database/Engine.h"
#include "engine/schema/SystemTables.h"
#include "engine/store/FilePaths.h"
#include "engine/store/Stores.h"

namespace vorlix {
namespace {

void Compact(const std::string& from, const std::string& to, const std::string& locale,
             int32_t options) {
  std::unique_ptr<Store> copy = CompactStore(from, to);
  if (!catalog::Exists(*copy)) return;  // a plain SQLite file stays plain
  WriteTransaction transaction(*copy);
  catalog::SetProperty(*copy, "Locale", locale);
  catalog::SetProperty(*copy, "Options", std::to_string(options));
  transaction.Commit();
}

}  // namespace

void CDaoWorkspace::CompactDatabase(const Bstr& src, const Bstr& dst, const Bstr& locale,
                                    int32_t options) {
  engine::EnsureRunning();
  const std::string from = DatabasePath(src), to = DatabasePath(dst);
  CheckExisting(from, false);
  const std::optional<engine::FileId> file = engine::IdentifyFile(from);
  if (file && engine::IsOpenHere(*file)) {
    ThrowDao(dao_error::kFileInUse, "The database " + Quoted(from) + " is open in this process.");
  }
  CheckNew(to);
  try {
    Compact(from, to, locale.Utf8(), options);
  } catch (const CDaoException& e) {
    RemoveCreated(to);
    if (e.Code() == dao_error::kTableInUse) {
      ThrowDao(dao_error::kFileInUse, "The database " + Quoted(from) + " is in use: " + e.what());
    }
    throw;
  }
}

}  // namespace vorlix
