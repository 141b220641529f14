#include "server/PackedFetch.h"

#include <vector>

#include "automation/SafeArray.h"
#include "protocol/PackedColumns.h"

namespace vorlix {

HRESULT PackedFetch::FetchPacked(int32_t iCursor, int32_t iRows, Variant* pvPacked, int32_t* plRows,
                                 VARIANT_BOOL* bSuccess) {
  std::vector<ColumnValues> columns;
  HRESULT hr = connection_.FetchColumns(iCursor, iRows, &columns, plRows, bSuccess);
  if (!*bSuccess) return hr;
  std::vector<uint8_t> bytes;
  // The columns are built in the forms the layout holds; a failure here is a fault of ours.
  hr = EncodePackedColumns(columns, static_cast<size_t>(*plRows), &bytes);
  if (FAILED(hr)) {
    *bSuccess = VARIANT_FALSE;
    return E_FAIL;
  }
  *pvPacked = Variant::Array(SafeArray::ByteVector(std::move(bytes)));
  return S_OK;
}

}  // namespace vorlix
