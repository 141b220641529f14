#include "protocol/WireMessage.h"

#include <cerrno>

#include "protocol/WireReader.h"

namespace vorlix {
namespace {

constexpr size_t kFixedHeader = 16;  // up to and including the fields' array length
constexpr size_t kLargestFields = size_t{64} << 20;

uint32_t Word(std::string_view data, size_t at, bool bigEndian) {
  const auto* p = reinterpret_cast<const unsigned char*>(data.data() + at);
  return bigEndian ? uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]
                   : uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

bool IsNameCharacter(char c, bool digitAllowed, bool dashAllowed) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
         (digitAllowed && c >= '0' && c <= '9') || (dashAllowed && c == '-');
}

// A member name: letters, digits and underscores, not starting with a digit.
bool IsValidMember(std::string_view name) {
  if (name.empty() || name.size() > 255) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (!IsNameCharacter(name[i], i > 0, false)) return false;
  }
  return true;
}

// Two or more dot-separated elements. An interface or error name's elements are member names;
// a bus name's may hold dashes, and a unique one (":1.5") digits anywhere.
bool IsValidDottedName(std::string_view name, bool busName) {
  if (name.size() > 255) return false;  // a unique name's colon included
  const bool unique = busName && !name.empty() && name[0] == ':';
  if (unique) name.remove_prefix(1);
  if (name.empty()) return false;
  size_t elements = 0;
  for (size_t start = 0; start <= name.size(); ++elements) {
    size_t end = name.find('.', start);
    if (end == std::string_view::npos) end = name.size();
    const std::string_view element = name.substr(start, end - start);
    if (element.empty()) return false;
    for (size_t i = 0; i < element.size(); ++i) {
      if (!IsNameCharacter(element[i], unique || i > 0, busName)) return false;
    }
    start = end + 1;
  }
  return elements >= 2;
}

std::unique_ptr<const WireMessage> Refuse(std::string* why, const char* reason) {
  *why = reason;
  return nullptr;
}

}  // namespace

long long MessageSize(std::string_view data, std::string* why) {
  if (data.size() < kFixedHeader) return 0;
  if (data[0] != 'l' && data[0] != 'B') {
    *why = "a message that is neither little- nor big-endian";
    return -EBADMSG;
  }
  if (data[3] != 1) {
    *why = "a message of a protocol version other than 1";
    return -EBADMSG;
  }
  const bool bigEndian = data[0] == 'B';
  const size_t body = Word(data, 4, bigEndian);
  const size_t fields = Word(data, 12, bigEndian);
  const size_t size = ((kFixedHeader + fields + 7) & ~size_t{7}) + body;
  if (fields > kLargestFields || size > kLargestMessage) {
    *why = "a message larger than D-Bus allows";
    return -EBADMSG;
  }
  return static_cast<long long>(size);
}

std::unique_ptr<const WireMessage> ParseMessage(std::string bytes, std::string* why) {
  auto message = std::make_unique<WireMessage>();
  WireMessage& m = *message;
  m.bytes = std::move(bytes);
  const std::string_view data = m.bytes;
  const long long size = MessageSize(data, why);
  if (size < 0) return nullptr;  // why says what
  if (size == 0 || size != static_cast<long long>(data.size())) {
    return Refuse(why, "bytes that are not exactly one message");
  }
  m.bigEndian = data[0] == 'B';
  m.type = static_cast<MessageType>(data[1]);
  m.flags = static_cast<uint8_t>(data[2]);
  m.serial = Word(data, 8, m.bigEndian);
  m.replySerial = 0;
  m.unixFds = 0;
  const size_t fieldsEnd = kFixedHeader + Word(data, 12, m.bigEndian);
  m.bodyOffset = (fieldsEnd + 7) & ~size_t{7};
  if (data[1] == 0) return Refuse(why, "a message of type 0");
  if (m.serial == 0) return Refuse(why, "a message with serial 0");

  // Read from the message's start, so that the fields align as they do in the message.
  WireReader header(data.substr(0, fieldsEnd), "a(yv)", m.bigEndian, kFixedHeader - 4);
  if (header.Enter('a', "(yv)") <= 0) return Refuse(why, "a message whose header is malformed");
  uint32_t seen = 0;
  int r;
  while ((r = header.Enter('r', "yv")) > 0) {
    uint8_t code = 0;
    if (header.Basic('y', &code) <= 0) return Refuse(why, "a message whose header is malformed");
    static constexpr const char* kFieldTypes[] = {nullptr, "o", "s", "s", "s",
                                                  "u",     "s", "s", "g", "u"};
    if (code == 0 || code >= std::size(kFieldTypes)) {
      // Fields of codes to come are passed over, as D-Bus asks.
      if (code == 0 || header.Skip() <= 0 || header.Exit() <= 0) {
        return Refuse(why, "a message whose header is malformed");
      }
      continue;
    }
    const char* type = kFieldTypes[code];
    const int entered = header.Enter('v', type);
    if (entered == -ENXIO || (seen & (1u << code))) {
      return Refuse(why, "a message with a header field of the wrong type, or twice");
    }
    seen |= 1u << code;
    const char* text = nullptr;
    uint32_t number = 0;
    const bool numeric = type[0] == 'u';
    if (entered <= 0 ||
        header.Basic(type[0], numeric ? static_cast<void*>(&number) : static_cast<void*>(&text)) <=
            0 ||
        header.Exit() <= 0 || header.Exit() <= 0) {
      return Refuse(why, "a message whose header is malformed");
    }
    const std::string_view value = text ? std::string_view(text) : std::string_view();
    switch (code) {
      case 1:
        m.path = value;
        break;
      case 2:
        if (!IsValidDottedName(value, false)) return Refuse(why, "an invalid interface name");
        m.interface = value;
        break;
      case 3:
        if (!IsValidMember(value)) return Refuse(why, "an invalid member name");
        m.member = value;
        break;
      case 4:
        if (!IsValidDottedName(value, false)) return Refuse(why, "an invalid error name");
        m.errorName = value;
        break;
      case 5:
        m.replySerial = number;
        break;
      case 6:
      case 7:
        if (!IsValidDottedName(value, true)) return Refuse(why, "an invalid bus name");
        (code == 6 ? m.destination : m.sender) = value;
        break;
      case 8:
        m.signature = value;
        break;
      default:
        m.unixFds = number;
    }
  }
  if (r < 0 || header.Exit() <= 0) return Refuse(why, "a message whose header is malformed");

  const bool hasReplySerial = (seen & (1u << 5)) && m.replySerial != 0;
  switch (m.type) {
    case MessageType::kMethodCall:
      if (m.path.empty() || m.member.empty()) return Refuse(why, "a call without a path or member");
      break;
    case MessageType::kMethodReturn:
      if (!hasReplySerial) return Refuse(why, "a reply without the serial it answers");
      break;
    case MessageType::kError:
      if (!hasReplySerial || m.errorName.empty()) return Refuse(why, "an error without its name");
      break;
    case MessageType::kSignal:
      if (m.path.empty() || m.interface.empty() || m.member.empty()) {
        return Refuse(why, "a signal without a path, interface or member");
      }
      break;
  }
  // The names D-Bus keeps for a connection's own use never come from a peer.
  if (m.path == "/org/freedesktop/DBus/Local" || m.interface == "org.freedesktop.DBus.Local") {
    return Refuse(why, "a message in the connection's own local namespace");
  }
  if (m.signature.empty() && !m.Body().empty()) return Refuse(why, "a body without a signature");
  return message;
}

}  // namespace vorlix
