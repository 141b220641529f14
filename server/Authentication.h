// Authentication: the server's side of the D-Bus handshake that opens every connection. A client
// sends a NUL byte, then lines ending in CR LF; only EXTERNAL is offered, and the user id the
// client names must be the one the socket says it has (who may connect at all was decided when
// the connection was accepted). The client may ask to pass descriptors; BEGIN ends the
// handshake, and whatever follows it is the client's first messages.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace vorlix {

class Authentication {
 public:
  enum class State { kTalking, kDone, kFailed };

  // For a client whose socket says it is uid; guid is the 32 hexadecimal digits of the server's
  // id for this connection.
  Authentication(uid_t uid, std::string guid);

  // Takes the next bytes the client sent and appends to *answer what to send it back. kDone once
  // BEGIN has come: *rest then holds the bytes that followed it. kFailed when the client broke the
  // protocol (no NUL first, BEGIN before OK, a line over the bounds of a handshake): close the
  // connection.
  State Feed(std::string_view bytes, std::string* answer, std::string* rest);
  // Whether the client agreed to receive descriptors.
  bool PassesFds() const { return fds_; }

 private:
  // Answers one line (without its CR LF).
  State Line(std::string_view line, std::string* answer);
  // Answers OK when accepted, else REJECTED.
  void Conclude(bool accepted, std::string* answer);
  // Whether hexUid spells, in hexadecimal, the decimal digits of uid_.
  bool Accepts(std::string_view hexUid) const;

  uid_t uid_;
  std::string guid_;
  std::string pending_;          // a line not yet complete
  bool started_ = false;         // the NUL has come
  bool ok_ = false;              // OK was sent and stands
  bool waitingForData_ = false;  // DATA was sent: the client's next line answers it
  bool fds_ = false;
  size_t received_ = 0;  // bytes of the handshake's finished lines, with the NUL
};

}  // namespace vorlix
