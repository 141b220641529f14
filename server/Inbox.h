// Inbox: what one client sends, read from its socket as it comes, without blocking: the
// authentication handshake (Authentication.h), then messages, each framed and its header checked
// (WireMessage.h) before it is handed on. A client that breaks the protocol, or sends a message
// that cannot be read, loses its connection at once with the reason: it is never left waiting
// for an answer to a message nobody read.
#pragma once

#include <sys/types.h>
#include <systemd/sd-event.h>

#include <functional>
#include <memory>
#include <string>

#include "protocol/WireMessage.h"
#include "server/Authentication.h"
#include "server/Outbox.h"

namespace vorlix {

class Inbox {
 public:
  // Each message, once the handshake is over.
  using OnMessage = std::function<void(std::unique_ptr<const WireMessage>)>;
  // The end of the connection, once: why is empty when the client closed it.
  using OnClose = std::function<void(const std::string& why)>;

  // Reads fd (a connected, non-blocking socket, now the inbox's, closed with it) on event for a
  // client of user uid; answers of the handshake go out through outbox.
  Inbox(int fd, uid_t uid, sd_event* event, Outbox& outbox, OnMessage onMessage, OnClose onClose);
  ~Inbox();
  Inbox(const Inbox&) = delete;
  Inbox& operator=(const Inbox&) = delete;

  // 0, or a negative errno when the socket cannot be watched.
  int Start();

 private:
  static int OnReadable(sd_event_source* source, int fd, uint32_t events, void* self);
  // Reads what the socket holds now; false once the connection has ended.
  bool Read();
  // Hands on every complete message in the buffer; false once the connection has ended.
  bool Deliver();
  void Close(const std::string& why);

  int fd_;
  sd_event* event_;
  sd_event_source* source_ = nullptr;
  Outbox& outbox_;
  OnMessage onMessage_;
  OnClose onClose_;
  std::unique_ptr<Authentication> authentication_;  // until the handshake is over
  std::string buffer_;
  size_t start_ = 0;  // where the bytes not yet handed on begin
  size_t end_ = 0;    // where the bytes read end
  bool closed_ = false;
};

}  // namespace vorlix
