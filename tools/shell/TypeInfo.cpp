#include "tools/shell/TypeInfo.h"

namespace vorlix::shell {

HRESULT GetTypeDescription(const DispatchProxy& object, std::string* description) {
  sd_bus_message* reply = nullptr;
  HRESULT hr = E_FAIL;
  const char* text = nullptr;
  if (sd_bus_call_method(object.Bus(), nullptr, object.Path().c_str(), "Vorlix.IDispatch",
                         "GetTypeInfo", nullptr, &reply, "uu", 0u, 0u) >= 0 &&
      sd_bus_message_read(reply, "is", &hr, &text) > 0) {
    *description = text;
  } else {
    hr = E_FAIL;
  }
  sd_bus_message_unref(reply);
  return hr;
}

}  // namespace vorlix::shell
