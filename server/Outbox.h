// Outbox: what the server sends on one connection, in the order it was made, marshalled here
// (WireWriter) and written to the socket directly. A reply the socket cannot take at once waits
// for the socket to drain, so a client that reads slowly holds up nobody else.
#pragma once

#include <systemd/sd-event.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace vorlix {

class Outbox {
 public:
  // Writes to fd (a connected socket, duplicated here: the inbox watches the original, and one
  // descriptor can't be added to the event loop twice), watched by event when it must wait.
  Outbox(int fd, sd_event* event);
  ~Outbox();
  Outbox(const Outbox&) = delete;
  Outbox& operator=(const Outbox&) = delete;

  // Sends header then body (WireWriter.h) with the descriptors they refer to (the outbox closes
  // them once sent), after everything before it.
  void Send(std::string header, std::string body, std::vector<int> fds);
  // A serial for a message of ours.
  uint32_t NextSerial() { return serial_++; }
  // Whether the client agreed to receive descriptors.
  bool PassesFds() const { return passesFds_; }
  void SetPassesFds(bool passes) { passesFds_ = passes; }
  // Whether the client asked for its arrays packed (WireNames.h).
  bool PacksArrays() const { return packsArrays_; }
  void SetPacksArrays() { packsArrays_ = true; }

  // Writes what is queued, waiting up to timeoutMs for the socket to take it: at exit, when
  // nothing else will run again.
  void Flush(int timeoutMs);

 private:
  struct Item {
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

  sd_event* event_;
  int fd_;
  sd_event_source* watch_ = nullptr;
  std::deque<Item> queue_;
  uint32_t serial_ = 1;
  bool passesFds_ = false;
  bool packsArrays_ = false;
};

}  // namespace vorlix
