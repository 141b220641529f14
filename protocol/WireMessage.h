// WireMessage: one D-Bus message received as bytes, its header read and checked. The server
// frames and reads what clients send itself rather than through sd-bus, which drops a message it
// cannot read without a word and leaves its sender waiting: here every refusal has a reason the
// server can act on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vorlix {

// The largest message D-Bus allows, header and body.
inline constexpr size_t kLargestMessage = size_t{128} << 20;

enum class MessageType : uint8_t { kMethodCall = 1, kMethodReturn = 2, kError = 3, kSignal = 4 };

struct WireMessage {
  std::string bytes;  // the whole message; the views below point into it
  MessageType type;
  uint8_t flags;
  bool bigEndian;
  uint32_t serial;
  uint32_t replySerial;  // 0 when absent
  uint32_t unixFds;      // descriptors the message says it carries
  std::string_view path, interface, member, errorName, destination, sender, signature;
  size_t bodyOffset;

  std::string_view Body() const { return std::string_view(bytes).substr(bodyOffset); }
  bool ExpectsReply() const { return type == MessageType::kMethodCall && !(flags & 1); }
};

// How many bytes the message that data begins with takes, once data holds its first 16 bytes:
// 0 while it holds fewer, -EBADMSG (why says what) when they cannot begin a message (endianness,
// version, sizes past D-Bus's bounds).
long long MessageSize(std::string_view data, std::string* why);

// The message in bytes (exactly one, as MessageSize measured it), its header checked as D-Bus
// requires: a known type, a serial, the fields each type needs with values of valid syntax, no
// field twice, a valid body signature, and a body that is empty when there is no signature.
// Fields of unknown codes are passed over; a message of an unknown type is returned with type as
// it came, for the caller to ignore. nullptr, with the reason in why, for anything else.
std::unique_ptr<const WireMessage> ParseMessage(std::string bytes, std::string* why);

}  // namespace vorlix
