#include "client/TypedCall.h"

#include "client/ClientError.h"
#include "client/WireCall.h"
#include "client/WireOptions.h"

namespace vorlix {

HRESULT TypedCall(sd_bus* bus, const std::string& path, const char* interface, const char* member,
                  const std::vector<TypedIn>& ins, const std::vector<TypedOut>& outs) {
  sd_bus_message* call = nullptr;
  sd_bus_message* reply = nullptr;
  int r = sd_bus_message_new_method_call(bus, &call, nullptr, path.c_str(), interface, member);
  const bool pack = ReadsPackedArrays(bus);
  for (const TypedIn& in : ins) {
    if (r >= 0) r = AppendTyped(call, in, pack);
  }
  HRESULT hr = E_FAIL;
  if (r < 0) {
    ClientFailure(E_FAIL, std::string("the arguments of ") + member + " cannot go on the wire");
  } else if (CallServer(bus, call, &reply, Wait::kUntilAnswered) >= 0) {
    bool whole = sd_bus_message_read_basic(reply, 'i', &hr) > 0;
    for (const TypedOut& out : outs) {
      if (whole && ReadTyped(reply, out) != S_OK) whole = false;
    }
    if (!whole) hr = MalformedAnswer(member);
  }
  sd_bus_message_unref(call);
  sd_bus_message_unref(reply);
  return hr;
}

}  // namespace vorlix
