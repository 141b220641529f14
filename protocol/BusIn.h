// BusIn: sd-bus's message reading behind WireReader's calls, so that the codecs' one decoder
// reads either an sd-bus message or bytes of our own.
#pragma once

#include <systemd/sd-bus.h>

#include <cstddef>

namespace vorlix {

struct BusIn {
  sd_bus_message* m;

  int Enter(char type, const char* contents) {
    return sd_bus_message_enter_container(m, type, contents);
  }
  int Exit() { return sd_bus_message_exit_container(m); }
  int Basic(char type, void* value) { return sd_bus_message_read_basic(m, type, value); }
  int Array(char type, const void** data, size_t* size) {
    return sd_bus_message_read_array(m, type, data, size);
  }
  int Peek(char* type, const char** contents) {
    return sd_bus_message_peek_type(m, type, contents);
  }
  int AtEnd() const { return sd_bus_message_at_end(m, false); }
};

}  // namespace vorlix
