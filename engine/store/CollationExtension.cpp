// The general sort order (TextCollation.h) as a loadable SQLite extension, for programs other
// than the engine that read or write its files: without it SQLite refuses every statement that
// compares, sorts or indexes a Text or Memo field ("no such collation sequence"). In the sqlite3
// shell: .load <libdir>/vorlix/vorlix_collation
#include <sqlite3ext.h>

#include "engine/store/TextCollation.h"

SQLITE_EXTENSION_INIT1

// SQLite derives the entry point's name from the file name vorlix_collation.so.
extern "C" __attribute__((visibility("default"))) int sqlite3_vorlixcollation_init(
    sqlite3* db, char** error, const sqlite3_api_routines* api) {
  SQLITE_EXTENSION_INIT2(api);
  vorlix::TextOrder* order = vorlix::TextOrder::New();
  if (!order) {
    *error = sqlite3_mprintf("ICU's root collation is not available");
    return SQLITE_ERROR;
  }
  // SQLite does not destroy the argument of a collation it failed to register.
  const int rc = sqlite3_create_collation_v2(db, vorlix::kTextCollation, SQLITE_UTF8, order,
                                             vorlix::CompareText, vorlix::DestroyTextOrder);
  if (rc != SQLITE_OK) vorlix::DestroyTextOrder(order);
  return rc;
}
