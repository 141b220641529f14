#include "server/Authentication.h"

#include <charconv>
#include <optional>
#include <utility>

namespace vorlix {
namespace {

// No honest client comes near these: its lines are a few dozen bytes, and it needs a handful.
// They keep a client that never ends a line, or never ends the handshake, from growing the
// server's memory.
constexpr size_t kMaxLine = 16 * 1024;
constexpr size_t kMaxHandshake = 64 * 1024;

constexpr std::string_view kRejected = "REJECTED EXTERNAL\r\n";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes hex spells, two digits to a byte; nullopt when it spells none.
std::optional<std::string> FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexDigit(hex[i]);
    const int low = HexDigit(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<char>(high * 16 + low));
  }
  return bytes;
}

}  // namespace

Authentication::Authentication(uid_t uid, std::string guid) : uid_(uid), guid_(std::move(guid)) {}

Authentication::State Authentication::Feed(std::string_view bytes, std::string* answer,
                                           std::string* rest) {
  if (!started_ && !bytes.empty()) {
    if (bytes[0] != '\0') return State::kFailed;
    started_ = true;
    received_ = 1;
    bytes.remove_prefix(1);
  }
  // A CR at the end of the last bytes may meet its LF now.
  size_t from = pending_.empty() ? 0 : pending_.size() - 1;
  size_t start = 0;
  pending_.append(bytes);
  for (size_t end; (end = pending_.find("\r\n", from)) != std::string::npos;
       from = start = end + 2) {
    const std::string_view line(pending_.data() + start, end - start);
    received_ += line.size() + 2;
    if (line.size() > kMaxLine || received_ > kMaxHandshake) return State::kFailed;
    const State state = Line(line, answer);
    // What follows BEGIN is the client's first messages, which count against no bound here.
    if (state == State::kDone) rest->assign(pending_, end + 2);
    if (state != State::kTalking) return state;
  }
  pending_.erase(0, start);
  // An unfinished line that is over a bound already fails now, not when it ends, if ever.
  const size_t unfinished = pending_.size() - (pending_.ends_with('\r') ? 1 : 0);
  if (unfinished > kMaxLine || received_ + pending_.size() > kMaxHandshake) return State::kFailed;
  return State::kTalking;
}

Authentication::State Authentication::Line(std::string_view line, std::string* answer) {
  const size_t space = line.find(' ');
  const std::string_view command = line.substr(0, space);
  const std::string_view argument =
      space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
  if (command == "BEGIN") return ok_ ? State::kDone : State::kFailed;
  if (waitingForData_) {
    waitingForData_ = false;
    // An empty DATA leaves the user id to what the socket says, which is the only one accepted.
    Conclude(command == "DATA" && (argument.empty() || Accepts(argument)), answer);
  } else if (command == "AUTH") {
    // A client may start over at any time, even after OK; what it had agreed goes with it.
    ok_ = fds_ = false;
    const size_t after = argument.find(' ');
    const bool external = argument.substr(0, after) == "EXTERNAL";
    if (external && after == std::string_view::npos) {
      waitingForData_ = true;
      answer->append("DATA\r\n");
    } else {
      Conclude(external && Accepts(argument.substr(after + 1)), answer);
    }
  } else if (command == "CANCEL" || command == "ERROR") {
    // The client abandons the exchange, also when OK crossed its CANCEL on the way.
    ok_ = fds_ = false;
    answer->append(kRejected);
  } else if (command == "NEGOTIATE_UNIX_FD" && ok_) {
    fds_ = true;
    answer->append("AGREE_UNIX_FD\r\n");
  } else {
    answer->append("ERROR\r\n");
  }
  return State::kTalking;
}

void Authentication::Conclude(bool accepted, std::string* answer) {
  ok_ = accepted;
  if (accepted) {
    answer->append("OK ").append(guid_).append("\r\n");
  } else {
    answer->append(kRejected);
  }
}

bool Authentication::Accepts(std::string_view hexUid) const {
  const std::optional<std::string> digits = FromHex(hexUid);
  if (!digits) return false;
  const char* end = digits->data() + digits->size();
  uid_t claimed = 0;
  // from_chars takes no sign, space or base prefix, nor an empty string: only decimal digits.
  const auto [stop, error] = std::from_chars(digits->data(), end, claimed);
  return error == std::errc() && stop == end && claimed == uid_;
}

}  // namespace vorlix
