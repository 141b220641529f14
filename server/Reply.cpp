#include "server/Reply.h"

#include "server/Outbox.h"

namespace vorlix {

int Respond(sd_bus_message* call, const char* signature,
            const std::function<int(WireWriter&, bool failed)>& fill) {
  sd_bus* bus = sd_bus_message_get_bus(call);
  Outbox* outbox = Outbox::Of(bus);
  if (!outbox || !sd_bus_message_get_expect_reply(call)) return 1;
  uint64_t cookie = 0;
  sd_bus_message_get_cookie(call, &cookie);
  constexpr size_t kLargestBody = size_t{64} << 20;
  for (bool failed : {false, true}) {
    // Writing stops as soon as the body passes the bound: an answer too big is refused without
    // marshalling all of it.
    WireWriter body(kLargestBody);
    if (fill(body, failed) < 0) continue;
    // A connection that did not agree to take descriptors gets none, as from sd-bus.
    if (!body.Fds().empty() && sd_bus_can_send(bus, SD_BUS_TYPE_UNIX_FD) <= 0) continue;
    std::string header = ReplyHeader(outbox->NextSerial(), static_cast<uint32_t>(cookie),
                                     sd_bus_message_get_sender(call), signature,
                                     body.Bytes().size(), body.Fds().size());
    outbox->Send(std::move(header), body.Take(), body.TakeFds());
    break;
  }
  return 1;
}

}  // namespace vorlix
