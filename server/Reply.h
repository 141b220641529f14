// Replies that carry VARIANTs, kept within what a peer accepts. D-Bus peers refuse arrays over
// 64 MiB and messages of 128 MiB or more, yet sd-bus sends both: the client would lose the
// reply, or its connection and every object on it.
#pragma once

#include <systemd/sd-bus.h>

#include <functional>
#include <vector>

#include "automation/Variant.h"

namespace vorlix {

// Whether result and outs may go in one reply. Invoke's out-parameters travel in one array, so
// their sum must stay within an array's size; counting the result too keeps the whole reply
// under the message size.
bool FitsInReply(const Variant& result, const std::vector<Variant>& outs);

// Sends the reply fill writes to call. When fits is false, or that reply cannot be built or
// sent, the one fill writes with failed = true goes instead: E_OUTOFMEMORY and the
// out-parameters' initial values. Returns 1: the call is answered either way.
int Respond(sd_bus_message* call, bool fits,
            const std::function<int(sd_bus_message*, bool failed)>& fill);

}  // namespace vorlix
