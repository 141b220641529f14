#include "client/WireCall.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "client/ClientError.h"

namespace vorlix {
namespace {

// The errors sd-bus reports when the other end has closed the connection, before or while the
// call waited for its answer.
bool ConnectionLost(int r) {
  return r == -ECONNRESET || r == -ENOTCONN || r == -EPIPE || r == -ECONNABORTED || r == -ESHUTDOWN;
}

}  // namespace

int CallServer(sd_bus* bus, sd_bus_message* call, sd_bus_message** reply, Wait wait) {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  // 0 asks for sd-bus's default bound, UINT64_MAX for none.
  const uint64_t usec = wait == Wait::kBounded ? 0 : UINT64_MAX;
  const int r = sd_bus_call(bus, call, usec, &error, reply);
  if (r >= 0) {
    ClearClientError();
    return r;
  }
  // Named only on failure: most member names are too long for a string's inline buffer.
  const char* member = sd_bus_message_get_member(call);
  const std::string what = member ? member : "the call";
  if (ConnectionLost(r)) {
    ClientFailure(E_FAIL,
                  "the server went away: " + what + " got no answer (" + strerror(-r) + ")");
  } else if (r == -ETIMEDOUT) {
    ClientFailure(E_FAIL, "the server did not answer " + what + " in time");
  } else if (sd_bus_error_is_set(&error)) {
    ClientFailure(E_FAIL, "the server refused " + what + ": " + error.name + ": " +
                              (error.message ? error.message : ""));
  } else {
    ClientFailure(E_FAIL, what + " could not be sent: " + strerror(-r));
  }
  sd_bus_error_free(&error);
  return r;
}

int CallMethodV(sd_bus* bus, const char* path, const char* interface, const char* member,
                sd_bus_message** reply, const char* types, va_list args) {
  sd_bus_message* call = nullptr;
  int r = sd_bus_message_new_method_call(bus, &call, nullptr, path, interface, member);
  if (r >= 0) r = sd_bus_message_appendv(call, types, args);
  if (r < 0) {
    ClientFailure(E_FAIL, std::string("cannot build the call of ") + member + ": " + strerror(-r));
  } else {
    r = CallServer(bus, call, reply, Wait::kBounded);
  }
  sd_bus_message_unref(call);
  return r;
}

int CallMethod(sd_bus* bus, const char* path, const char* interface, const char* member,
               sd_bus_message** reply, const char* types, ...) {
  va_list args;
  va_start(args, types);
  const int r = CallMethodV(bus, path, interface, member, reply, types, args);
  va_end(args);
  return r;
}

HRESULT MalformedAnswer(const char* member) {
  return ClientFailure(E_FAIL, std::string("the server's answer to ") + member + " is malformed");
}

}  // namespace vorlix
