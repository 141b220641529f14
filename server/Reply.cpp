#include "server/Reply.h"

#include "protocol/VariantCodec.h"

namespace vorlix {

bool FitsInReply(const Variant& result, const std::vector<Variant>& outs) {
  constexpr size_t kLargestArray = size_t{64} << 20;
  size_t size = WireSize(result);
  for (const Variant& out : outs)
    size += WireSize(out);
  return size <= kLargestArray;
}

int Respond(sd_bus_message* call, bool fits,
            const std::function<int(sd_bus_message*, bool failed)>& fill) {
  for (bool failed : {!fits, true}) {
    sd_bus_message* reply = nullptr;
    int r = sd_bus_message_new_method_return(call, &reply);
    if (r >= 0) r = fill(reply, failed);
    if (r >= 0) r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    if (r >= 0) break;
  }
  return 1;
}

}  // namespace vorlix
