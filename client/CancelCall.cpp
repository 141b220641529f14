#include "client/CancelCall.h"

#include <cstring>
#include <string>

#include "client/ClientError.h"
#include "client/TypedCall.h"
#include "protocol/InterfaceTable.h"
#include "protocol/WireSignature.h"

namespace vorlix {

HRESULT CancelCall(const DispatchProxy& object, bool* cancelled) {
  *cancelled = false;
  ClearClientError();
  // Only read here: the thread waiting on the object's connection does not change its address.
  const char* address = nullptr;
  int r = sd_bus_get_address(object.Bus(), &address);
  sd_bus* raw = nullptr;
  if (r >= 0) r = sd_bus_new(&raw);
  BusRef bus(raw, [](sd_bus* b) { sd_bus_flush_close_unref(b); });
  if (r >= 0) r = sd_bus_set_address(bus.get(), address);
  if (r >= 0) r = sd_bus_start(bus.get());
  if (r < 0) {
    return ClientFailure(E_FAIL,
                         std::string("cannot connect to the server to cancel: ") + strerror(-r));
  }
  VARIANT_BOOL answer = VARIANT_FALSE;
  const HRESULT hr = TypedCall(bus.get(), object.Path(), WireInterfaceName(kIDBConnection2).c_str(),
                               "Cancel", {}, {&answer});
  *cancelled = hr == S_OK && answer != VARIANT_FALSE;
  return hr;
}

}  // namespace vorlix
