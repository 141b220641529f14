// Replies that carry VARIANTs, kept within what a peer accepts. D-Bus peers refuse arrays over
// 64 MiB and messages of 128 MiB or more, yet sd-bus sends both: the client would lose the
// reply, or its connection and every object on it.
#pragma once

#include <systemd/sd-bus.h>

#include <functional>

#include "protocol/WireWriter.h"

namespace vorlix {

// Sends the reply of that signature that fill writes to call, marshalled here and queued in the
// call's connection's outbox (Outbox.h). When fill fails, or what it writes passes 64 MiB (a
// body no larger holds no larger array, and stays under the message bound), the one fill writes
// with failed = true goes instead: E_OUTOFMEMORY and the out-parameters' initial values.
// Returns 1: the call is answered (unless it asked for no reply, or its client has gone).
int Respond(sd_bus_message* call, const char* signature,
            const std::function<int(WireWriter&, bool failed)>& fill);

}  // namespace vorlix
