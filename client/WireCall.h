// Calls to the server that say why they failed when the wire did: every call of the client
// library goes through CallServer.
#pragma once

#include <systemd/sd-bus.h>

#include <cstdarg>

#include "automation/HResult.h"

namespace vorlix {

// How long a call waits for its answer. A method of an object takes as long as its work does (a
// long statement, a lock wait), and giving up early would report a failure for work that goes
// on and may succeed, so it waits until the answer comes or the server goes. Activation's own
// calls are answered at once by a live server and keep sd-bus's default bound, so that a
// socket that never answers cannot hold a client for ever.
enum class Wait { kBounded, kUntilAnswered };

// Sends call and waits for its reply, stored in *reply. On success (>= 0) this thread's client
// error is cleared; otherwise it is set to why: the server went away (ended or killed) before
// it answered, it refused the call as a message, or the call could not be sent; a negative
// errno is returned.
int CallServer(sd_bus* bus, sd_bus_message* call, sd_bus_message** reply, Wait wait);

// CallServer (bounded) on a call of member of interface at path, its arguments appended as
// sd_bus_message_append does with types; a call that cannot be built sets the client error too.
int CallMethod(sd_bus* bus, const char* path, const char* interface, const char* member,
               sd_bus_message** reply, const char* types, ...);
int CallMethodV(sd_bus* bus, const char* path, const char* interface, const char* member,
                sd_bus_message** reply, const char* types, va_list args);

// E_FAIL, with this thread's client error saying that the answer to member has not the form
// the wire gives it.
HRESULT MalformedAnswer(const char* member);

}  // namespace vorlix
