// Outbox: what the server sends on one connection, in the order it was made. Most replies are
// marshalled here (WireWriter) and written to the socket directly; the rest are built by sd-bus,
// which writes them itself. Their bytes must never interleave: ours are written only when
// sd-bus has nothing queued, and sd-bus is handed a message only when none of ours waits before
// it. A reply the socket cannot take at once waits for the socket to drain, so a client that
// reads slowly holds up nobody else.
#pragma once

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace vorlix {

class Outbox {
 public:
  // For bus, watched by event; registered so that Send below finds it. bus must stay open
  // while the outbox lives.
  Outbox(sd_bus* bus, sd_event* event);
  ~Outbox();
  Outbox(const Outbox&) = delete;
  Outbox& operator=(const Outbox&) = delete;

  // The outbox of bus, or nullptr when it has none (any more).
  static Outbox* Of(sd_bus* bus);

  // Sends reply, a message of sd-bus's, after everything queued before it.
  void Send(sd_bus_message* reply);
  // Sends a message of our own, header then body (WireWriter.h) with the descriptors it refers
  // to (the outbox closes them once sent), after everything before it.
  void Send(std::string header, std::string body, std::vector<int> fds);
  // A serial for a message of our own. sd-bus numbers its own from 1 up; ours count down from
  // the top, so that no two messages of a connection share one.
  uint32_t NextSerial() { return serial_--; }

  // Writes what is queued, waiting up to timeoutMs for the socket to take it: at exit, when
  // nothing else will run again.
  void Flush(int timeoutMs);

 private:
  struct Item {
    sd_bus_message* message;  // sd-bus's, or nullptr for bytes of our own
    std::string header;
    std::string body;
    std::vector<int> fds;  // go with the first bytes
    size_t sent = 0;       // of header and body together
  };

  // Sends what can go now, in order; watches the socket when something has to wait.
  void Pump();
  // Writes the front item as far as the socket takes it: true when it is all written (or the
  // connection is gone and it never will be).
  bool WriteFront();
  void Watch(bool on);
  static int OnWritable(sd_event_source* source, int fd, uint32_t events, void* self);

  sd_bus* bus_;
  sd_event* event_;
  int fd_;  // a duplicate of the bus's: sd-bus watches its own, and one descriptor can't be
            // added to the event loop twice
  sd_event_source* watch_ = nullptr;
  std::deque<Item> queue_;
  uint32_t serial_ = UINT32_MAX;
};

// Sends reply through its connection's outbox, or with sd-bus when the connection has none.
void SendReply(sd_bus_message* reply);

}  // namespace vorlix
