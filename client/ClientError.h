// The words for the client library's own failures, which its HRESULTs alone cannot tell apart:
// why activation failed (the registry, the runtime directory, starting the server) and why a
// call failed on the wire (a server that went away). Kept per thread, like errno.
#pragma once

#include <string>

#include "automation/HResult.h"

namespace vorlix {

// Why this thread's latest call of the library failed: every failure of activation
// (GetClassObject, CreateObject), and of other calls those on the client's side or the wire.
// Empty after a success, and after a failure the server itself answered to an object's call.
// Read it right after the failing call: the next call replaces it.
const std::string& LastClientError();

// For the library's own files: records text as this thread's client error and returns hr, and
// clears it when a call begins or its answer arrived.
HRESULT ClientFailure(HRESULT hr, std::string text);
void ClearClientError();

}  // namespace vorlix
