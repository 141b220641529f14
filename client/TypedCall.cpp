#include "client/TypedCall.h"

namespace vorlix {

HRESULT TypedCall(sd_bus* bus, const std::string& path, const char* interface, const char* member,
                  const std::vector<TypedIn>& ins, const std::vector<TypedOut>& outs) {
  sd_bus_message* call = nullptr;
  sd_bus_message* reply = nullptr;
  int r = sd_bus_message_new_method_call(bus, &call, nullptr, path.c_str(), interface, member);
  for (const TypedIn& in : ins) {
    if (r >= 0) r = AppendTyped(call, in);
  }
  if (r >= 0) r = sd_bus_call(bus, call, 0, nullptr, &reply);
  HRESULT hr = E_FAIL;
  if (r >= 0 && sd_bus_message_read_basic(reply, 'i', &hr) > 0) {
    for (const TypedOut& out : outs) {
      if (ReadTyped(reply, out) != S_OK) hr = E_FAIL;
    }
  }
  sd_bus_message_unref(call);
  sd_bus_message_unref(reply);
  return r < 0 ? E_FAIL : hr;
}

}  // namespace vorlix
