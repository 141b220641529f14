#include <span>
#include <vector>

#include "connection/CallFrame.h"
#include "connection/Connection.h"

// Seeks look for equality only. Keys are copies of the client's values, unconverted: matching
// their types to the index fields is the engine's business.

namespace vorlix {

HRESULT CDBConnection::Seek(const Variant& pvSeek, Variant* pvReturnArray, VARIANT_BOOL* bSuccess) {
  return Call([&] { return SeekRecord({pvSeek}, pvReturnArray); }, bSuccess);
}

HRESULT CDBConnection::Seek2(const Variant& pvSeek1, const Variant& pvSeek2, Variant* pvReturnArray,
                             VARIANT_BOOL* bSuccess) {
  return Call([&] { return SeekRecord({pvSeek1, pvSeek2}, pvReturnArray); }, bSuccess);
}

HRESULT CDBConnection::Seek3(const Variant& pvSeek1, const Variant& pvSeek2, const Variant& pvSeek3,
                             Variant* pvReturnArray, VARIANT_BOOL* bSuccess) {
  return Call([&] { return SeekRecord({pvSeek1, pvSeek2, pvSeek3}, pvReturnArray); }, bSuccess);
}

HRESULT CDBConnection::Seek10(const Variant& pvSeek1, const Variant& pvSeek2,
                              const Variant& pvSeek3, const Variant& pvSeek4,
                              const Variant& pvSeek5, const Variant& pvSeek6,
                              const Variant& pvSeek7, const Variant& pvSeek8,
                              const Variant& pvSeek9, const Variant& pvSeek10, int32_t iNum,
                              Variant* pvReturnArray, VARIANT_BOOL* bSuccess) {
  return Call(
      [&] {
        const Variant* all[] = {&pvSeek1, &pvSeek2, &pvSeek3, &pvSeek4, &pvSeek5,
                                &pvSeek6, &pvSeek7, &pvSeek8, &pvSeek9, &pvSeek10};
        // A count outside 1 to 10 names no usable keys, so none are taken.
        const size_t count = iNum >= 1 && iNum <= 10 ? static_cast<size_t>(iNum) : 0;
        std::vector<Variant> keys;
        for (const Variant* key : std::span(all).first(count))
          keys.push_back(*key);
        return SeekRecord(keys, pvReturnArray);
      },
      bSuccess);
}

bool CDBConnection::SeekRecord(const std::vector<Variant>& keys, Variant* out) {
  if (!Enter(ErrorFlag::kClear, kCurrentTableOpen)) return false;
  if (keys.empty()) return false;
  CDaoRecordset& table = CurrentTable();
  const bool found = Capture([&] {
    // Without a current index there is nothing to seek on: a miss, not an engine failure.
    return !table.GetCurrentIndex().empty() &&
           table.Seek("=", keys.data(), static_cast<uint16_t>(keys.size()));
  });
  return found && BuildRecordArray(out);
}

}  // namespace vorlix
