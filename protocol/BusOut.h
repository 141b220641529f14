// BusOut: sd-bus's message building behind WireWriter's calls, so that the codecs' one encoder
// writes either an sd-bus message or bytes of our own.
#pragma once

#include <systemd/sd-bus.h>

#include <cstddef>

namespace vorlix {

struct BusOut {
  sd_bus_message* m;

  // So that code written for either form passes a BusOut on to the codecs' sd-bus overloads.
  operator sd_bus_message*() const { return m; }

  int Open(char type, const char* contents) {
    return sd_bus_message_open_container(m, type, contents);
  }
  int Close() { return sd_bus_message_close_container(m); }
  int Basic(char type, const void* value) { return sd_bus_message_append_basic(m, type, value); }
  int Array(char type, const void* data, size_t size) {
    return sd_bus_message_append_array(m, type, data, size);
  }
  int StringSpace(size_t length, char** space) {
    return sd_bus_message_append_string_space(m, length, space);
  }
};

}  // namespace vorlix
