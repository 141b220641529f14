// PackedFetch: the extension's FetchPacked on a connection. The connection reads the rows as
// Fetch does, and knows nothing of the wire; here they are packed (protocol/PackedColumns.h).
#pragma once

#include <cstdint>

#include "automation/Variant.h"
#include "connection/Connection.h"

namespace vorlix {

class PackedFetch {
 public:
  explicit PackedFetch(CDBConnection& connection) : connection_(connection) {}

  // Fetch's rows as one packed batch, a VT_UI1 array in *pvPacked; *plRows of them. A failure
  // is recorded as Fetch records it.
  HRESULT FetchPacked(int32_t iCursor, int32_t iRows, Variant* pvPacked, int32_t* plRows,
                      VARIANT_BOOL* bSuccess);

 private:
  CDBConnection& connection_;
};

}  // namespace vorlix
