// Answers to calls, marshalled here and queued in the outbox of the connection the call came on
// (Outbox.h). Replies that carry VARIANTs are kept within what a peer accepts: D-Bus peers
// refuse arrays over 64 MiB and messages of 128 MiB or more, and the client would lose the
// reply, or its connection and every object on it.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "protocol/WireMessage.h"
#include "protocol/WireWriter.h"
#include "server/Outbox.h"

namespace vorlix {

// The largest body a reply carries: a body no larger holds no larger array, and stays under the
// message bound.
inline constexpr size_t kLargestReplyBody = size_t{64} << 20;

// A call as received, with the outbox of its connection for the answer.
struct ReceivedCall {
  std::unique_ptr<const WireMessage> message;
  std::shared_ptr<Outbox> outbox;

  const WireMessage* operator->() const { return message.get(); }
};

// Sends the reply of that signature that fill writes to call. When fill fails, or what it
// writes passes kLargestReplyBody, the one fill writes with failed = true goes instead:
// E_OUTOFMEMORY and the out-parameters' initial values. Returns 1: the call is answered (unless it
// asked for no reply; if its client has gone, the answer is lost with the connection).
int Respond(const ReceivedCall& call, const char* signature,
            const std::function<int(WireWriter&, bool failed)>& fill);

// Answers call with the D-Bus error name and its text. Returns 1.
int RespondError(const ReceivedCall& call, const char* name, const std::string& text);

}  // namespace vorlix
