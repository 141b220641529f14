// Stopping a call that another thread waits on. That call has its object's connection to
// itself, so the request goes over a new connection to the same server, which takes Cancel
// from any connection of the object's process and answers it at once.
#pragma once

#include "automation/HResult.h"
#include "client/DispatchProxy.h"

namespace vorlix {

// Asks the server to stop the call running on object (a DBConnection): its statement then
// fails with 3059. *cancelled tells whether a call was running. S_OK, or E_FAIL when the wire
// failed, with this thread's LastClientError() saying why. Safe from any thread while another
// thread calls object.
HRESULT CancelCall(const DispatchProxy& object, bool* cancelled);

}  // namespace vorlix
