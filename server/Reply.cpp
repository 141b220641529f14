#include "server/Reply.h"

#include "server/Outbox.h"

namespace vorlix {

int Respond(sd_bus_message* call, const char* signature,
            const std::function<int(WireWriter&, bool failed)>& fill) {
  Outbox* outbox = Outbox::Of(sd_bus_message_get_bus(call));
  if (!outbox || !sd_bus_message_get_expect_reply(call)) return 1;
  uint64_t cookie = 0;
  sd_bus_message_get_cookie(call, &cookie);
  constexpr size_t kLargestBody = size_t{64} << 20;
  for (bool failed : {false, true}) {
    // Writing stops as soon as the body passes the bound: an answer too big is refused without
    // marshalling all of it.
    WireWriter body(kLargestBody);
    if (fill(body, failed) < 0) continue;
    std::string header =
        ReplyHeader(outbox->NextSerial(), static_cast<uint32_t>(cookie),
                    sd_bus_message_get_sender(call), signature, body.Bytes().size());
    outbox->Send(std::move(header), body.Take());
    break;
  }
  return 1;
}

}  // namespace vorlix
