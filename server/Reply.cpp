#include "server/Reply.h"

namespace vorlix {
namespace {

// The reply's header with the body after it; errorName is null for a method return.
void Send(const ReceivedCall& call, const char* errorName, const char* signature,
          WireWriter& body) {
  const std::string destination(call->sender);
  std::string header = ReplyHeader(call.outbox->NextSerial(), call->serial,
                                   destination.empty() ? nullptr : destination.c_str(), signature,
                                   body.Bytes().size(), body.Fds().size(), errorName);
  call.outbox->Send(std::move(header), body.Take(), body.TakeFds());
}

}  // namespace

int Respond(const ReceivedCall& call, const char* signature,
            const std::function<int(WireWriter&, bool failed)>& fill) {
  if (!call->ExpectsReply()) return 1;
  for (bool failed : {false, true}) {
    // Writing stops as soon as the body passes the bound: an answer too big is refused without
    // marshalling all of it.
    WireWriter body(kLargestReplyBody);
    if (fill(body, failed) < 0) continue;
    // A connection that did not agree to take descriptors gets none.
    if (!body.Fds().empty() && !call.outbox->PassesFds()) continue;
    Send(call, nullptr, signature, body);
    break;
  }
  return 1;
}

int RespondError(const ReceivedCall& call, const char* name, const std::string& text) {
  if (!call->ExpectsReply()) return 1;
  WireWriter body;
  body.Basic('s', text.c_str());
  Send(call, name, "s", body);
  return 1;
}

}  // namespace vorlix
