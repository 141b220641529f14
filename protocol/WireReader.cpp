#include "protocol/WireReader.h"

#include <byteswap.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "automation/Utf.h"
#include "protocol/WireTypes.h"

namespace vorlix {
namespace {

// D-Bus's bounds: an array's bytes, nested arrays, nested structs, and all nesting together.
constexpr size_t kLargestArray = size_t{64} << 20;
constexpr int kDeepestArrays = 32;
constexpr int kDeepestStructs = 32;
constexpr size_t kDeepestNesting = 64;

// The basic types, by their letter: a table, as every value read asks.
constexpr auto kBasic = [] {
  std::array<bool, 128> basic{};
  for (char type : std::string_view("ybnqiuxtdhsog"))
    basic[static_cast<size_t>(type)] = true;
  return basic;
}();

bool IsBasic(char type) {
  return static_cast<unsigned char>(type) < kBasic.size() && kBasic[static_cast<size_t>(type)];
}

// The length of the complete type that signature begins with, within the nesting left; 0 when
// it begins with none.
size_t TypeLength(std::string_view signature, int arrays, int structs) {
  if (signature.empty()) return 0;
  const char type = signature[0];
  if (IsBasic(type) || type == 'v') return 1;
  if (type == 'a') {
    if (arrays == 0) return 0;
    if (signature.size() > 1 && signature[1] == '{') {
      // A dict entry: only as an array's element, a basic key and one value.
      if (structs == 0 || signature.size() < 3 || !IsBasic(signature[2])) return 0;
      const size_t value = TypeLength(signature.substr(3), arrays - 1, structs - 1);
      if (value == 0 || 3 + value >= signature.size() || signature[3 + value] != '}') return 0;
      return 4 + value;
    }
    const size_t element = TypeLength(signature.substr(1), arrays - 1, structs);
    return element == 0 ? 0 : 1 + element;
  }
  if (type != '(' || structs == 0) return 0;
  size_t at = 1;
  while (at < signature.size() && signature[at] != ')') {
    const size_t member = TypeLength(signature.substr(at), arrays, structs - 1);
    if (member == 0) return 0;
    at += member;
  }
  if (at == 1 || at == signature.size()) return 0;  // no members, or never closed
  return at + 1;
}

// The length of the complete type at the start of a signature already checked.
size_t TypeLength(std::string_view signature) {
  return TypeLength(signature, kDeepestArrays, kDeepestStructs);
}

}  // namespace

bool IsValidSignature(std::string_view text, bool single) {
  if (text.size() > 255) return false;
  size_t at = 0, types = 0;
  for (; at < text.size(); ++types) {
    const size_t length = TypeLength(text.substr(at));
    if (length == 0) return false;
    at += length;
  }
  return !single || types == 1;
}

bool IsValidObjectPath(std::string_view text) {
  if (text.empty() || text[0] != '/') return false;
  if (text.size() == 1) return true;
  if (text.back() == '/') return false;
  for (size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '/') {
      if (text[i - 1] == '/') return false;
      continue;
    }
    const bool allowed =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (!allowed) return false;
  }
  return true;
}

WireReader::WireReader(std::string_view body, std::string_view signature, bool bigEndian,
                       size_t start)
    : body_(body), swap_(bigEndian), at_(start) {
  root_ = {0, signature, body.size(), 0, {}};
}

void WireReader::Push(char type, std::string_view signature, size_t end, size_t arrayStart,
                      std::string_view element) {
  // Room at once for as deep as calls go: a reader with no container allocates nothing.
  if (levels_.empty()) levels_.reserve(8);
  // Made in its place: a level made aside and copied in stalled every container entered.
  levels_.emplace_back(type, signature, end, arrayStart, element, type == 'a' ? element.size() : 0);
}

int WireReader::Fail(int error) {
  failed_ = error;
  return error;
}

template <typename T>
T WireReader::Number(const char* at) const {
  T x;
  std::memcpy(&x, at, sizeof x);
  if (!swap_) return x;
  if constexpr (sizeof x == 2) {
    uint16_t u;
    std::memcpy(&u, &x, 2);
    u = bswap_16(u);
    std::memcpy(&x, &u, 2);
  } else if constexpr (sizeof x == 4) {
    uint32_t u;
    std::memcpy(&u, &x, 4);
    u = bswap_32(u);
    std::memcpy(&x, &u, 4);
  } else if constexpr (sizeof x == 8) {
    uint64_t u;
    std::memcpy(&u, &x, 8);
    u = bswap_64(u);
    std::memcpy(&x, &u, 8);
  }
  return x;
}

std::string_view WireReader::NextType() {
  Level& level = Top();
  if (level.type == 'a') {
    if (at_ >= level.end) return {};
    if (level.signature.empty()) level.signature = level.element;
  }
  // Kept until the type is read: a value is often peeked before it is read, and an array's
  // elements all have the one type.
  if (level.next == 0) level.next = TypeLength(level.signature);
  return level.signature.substr(0, level.next);
}

void WireReader::Advance(size_t length) {
  Level& level = Top();
  level.signature.remove_prefix(length);
  level.next = level.type == 'a' ? level.element.size() : 0;
}

bool WireReader::Align(size_t alignment) {
  const size_t aligned = (at_ + alignment - 1) & ~(alignment - 1);
  if (aligned > Top().end) return false;
  for (; at_ < aligned; ++at_) {
    if (body_[at_] != '\0') return false;
  }
  return true;
}

bool WireReader::Take(size_t size, const char** at) {
  if (size > Top().end - at_) return false;
  *at = body_.data() + at_;
  at_ += size;
  return true;
}

int WireReader::AtEnd() const {
  const Level& level = Top();
  if (level.type == 'a') return at_ >= level.end ? 1 : 0;
  return level.signature.empty() ? 1 : 0;
}

int WireReader::Basic(char type, void* value) {
  if (failed_) return failed_;
  const std::string_view next = NextType();
  if (next.empty()) return 0;
  if (next.size() != 1 || next[0] != type || !IsBasic(type)) return -ENXIO;
  const char* at = nullptr;
  if (const size_t size = WireFixedSize(type)) {
    if (!Align(size) || !Take(size, &at)) return Fail(-EBADMSG);
    switch (size) {
      case 1:
        *static_cast<uint8_t*>(value) = static_cast<uint8_t>(*at);
        break;
      case 2:
        *static_cast<uint16_t*>(value) = Number<uint16_t>(at);
        break;
      case 4: {
        const uint32_t x = Number<uint32_t>(at);
        if (type == 'b') {
          if (x > 1) return Fail(-EBADMSG);
          *static_cast<int*>(value) = static_cast<int>(x);
        } else {
          *static_cast<uint32_t*>(value) = x;
        }
        break;
      }
      default:
        *static_cast<uint64_t*>(value) = Number<uint64_t>(at);
    }
    Advance(1);
    return 1;
  }
  size_t length = 0;
  if (type == 'g') {
    if (!Take(1, &at)) return Fail(-EBADMSG);
    length = static_cast<uint8_t>(*at);
  } else {
    if (!Align(4) || !Take(4, &at)) return Fail(-EBADMSG);
    length = Number<uint32_t>(at);
  }
  if (!Take(length + 1, &at)) return Fail(-EBADMSG);
  const std::string_view text(at, length);
  // Terminated, with no NUL inside: the text a C string pointer shows is all there is.
  if (at[length] != '\0' || std::memchr(at, '\0', length)) return Fail(-EBADMSG);
  const bool valid = type == 's'   ? IsValidUtf8(text)
                     : type == 'o' ? IsValidObjectPath(text)
                                   : IsValidSignature(text);
  if (!valid) return Fail(-EBADMSG);
  *static_cast<const char**>(value) = at;
  Advance(1);
  return 1;
}

int WireReader::Array(char type, const void** data, size_t* size) {
  if (failed_) return failed_;
  const std::string_view next = NextType();
  if (next.empty()) return 0;
  const size_t element = WireFixedSize(type);
  if (next.size() != 2 || next[0] != 'a' || next[1] != type || element == 0) return -ENXIO;
  const char* at = nullptr;
  if (!Align(4) || !Take(4, &at)) return Fail(-EBADMSG);
  const size_t length = Number<uint32_t>(at);
  if (length > kLargestArray || length % element != 0 || !Align(element) || !Take(length, &at)) {
    return Fail(-EBADMSG);
  }
  if (type == 'b') {
    for (size_t i = 0; i < length; i += 4) {
      if (Number<uint32_t>(at + i) > 1) return Fail(-EBADMSG);
    }
  }
  if (swap_ && element > 1) {
    std::string& copy = swapped_.emplace_back(at, length);
    for (size_t i = 0; i < length; i += element) {
      char* e = copy.data() + i;
      for (size_t k = 0; k < element / 2; ++k)
        std::swap(e[k], e[element - 1 - k]);
    }
    at = copy.data();
  }
  *data = at;
  *size = length;
  Advance(2);
  return 1;
}

int WireReader::Enter(char type, const char* contents) {
  if (failed_) return failed_;
  const std::string_view next = NextType();
  if (next.empty()) return 0;
  const size_t end = Top().end;
  switch (type) {
    case 'a': {
      if (next[0] != 'a' || !contents || next.substr(1) != contents) return -ENXIO;
      const char* at = nullptr;
      if (!Align(4) || !Take(4, &at)) return Fail(-EBADMSG);
      const size_t length = Number<uint32_t>(at);
      if (length > kLargestArray || levels_.size() >= kDeepestNesting ||
          !Align(WireAlignment(next[1])) || length > end - at_) {
        return Fail(-EBADMSG);
      }
      Advance(next.size());
      Push('a', {}, at_ + length, at_, next.substr(1));
      return 1;
    }
    case 'r':
    case 'e': {
      const char open = type == 'r' ? '(' : '{';
      const std::string_view inner = next.substr(1, next.size() - 2);
      if (next[0] != open || !contents || inner != contents) return -ENXIO;
      if (!Align(8)) return Fail(-EBADMSG);
      Advance(next.size());
      Push(type, inner, end);
      return 1;
    }
    case 'v': {
      if (next[0] != 'v') return -ENXIO;
      const char* at = nullptr;
      if (!Take(1, &at)) return Fail(-EBADMSG);
      const size_t length = static_cast<uint8_t>(*at);
      if (length >= end - at_ || !Take(length + 1, &at) || at[length] != '\0') {
        return Fail(-EBADMSG);
      }
      const std::string_view signature(at, length);
      // The signature the caller expects is a valid one: only another needs checking.
      const bool expected = contents && signature == contents;
      if ((!expected && !IsValidSignature(signature, true)) || ++variants_ > kDeepestNesting ||
          levels_.size() >= kDeepestNesting) {
        return Fail(-EBADMSG);
      }
      if (contents && !expected) {
        // Not the variant the caller expects: as sd-bus, the reader stays where it was.
        --variants_;
        at_ = static_cast<size_t>(at - body_.data()) - 1;
        return -ENXIO;
      }
      Advance(1);
      Push('v', signature, end);
      return 1;
    }
  }
  return -EINVAL;
}

int WireReader::EnterScalarVariant(uint16_t* vt, char* type) {
  if (failed_) return failed_;
  if (NextType() != "(qv)") return 0;
  const size_t end = Top().end;
  const size_t start = at_;
  // The VARTYPE, a signature of one basic letter and its NUL, padded from here to 8.
  const size_t at = (at_ + 7) & ~size_t{7};
  if (at + 5 > end || variants_ >= kDeepestNesting || levels_.size() + 2 > kDeepestNesting ||
      body_[at + 2] != 1 || !IsBasic(body_[at + 3]) || body_[at + 4] != '\0' || !Align(8)) {
    at_ = start;
    return 0;
  }
  *vt = Number<uint16_t>(body_.data() + at);
  *type = body_[at + 3];
  at_ = at + 5;
  Advance(4);
  Push('r', {}, end);
  ++variants_;
  Push('v', body_.substr(at + 3, 1), end);
  return 1;
}

int WireReader::Exit() {
  if (failed_) return failed_;
  if (levels_.empty()) return -ENXIO;
  const Level& level = Top();
  const bool done = level.type == 'a' ? at_ == level.end : level.signature.empty();
  if (!done) return -EBUSY;
  if (level.type == 'v') --variants_;
  levels_.pop_back();
  return 1;
}

int WireReader::Peek(char* type, const char** contents) {
  if (failed_) return failed_;
  const std::string_view next = NextType();
  if (next.empty()) return 0;
  const char first = next[0];
  if (type) *type = first == '(' ? 'r' : first == '{' ? 'e' : first;
  if (!contents) return 1;
  *contents = nullptr;
  if (first == 'a') {
    peeked_ = next.substr(1);
    *contents = peeked_.c_str();
  } else if (first == '(' || first == '{') {
    peeked_ = next.substr(1, next.size() - 2);
    *contents = peeked_.c_str();
  } else if (first == 'v') {
    const size_t end = Top().end;
    if (at_ >= end) return Fail(-EBADMSG);
    const size_t length = static_cast<uint8_t>(body_[at_]);
    if (length + 2 > end - at_ || body_[at_ + 1 + length] != '\0' ||
        !IsValidSignature(body_.substr(at_ + 1, length), true)) {
      return Fail(-EBADMSG);
    }
    *contents = body_.data() + at_ + 1;
  }
  return 1;
}

int WireReader::Skip() {
  if (failed_) return failed_;
  const std::string_view next = NextType();
  if (next.empty()) return 0;
  int r;
  switch (next[0]) {
    case 'a':
    case '(':
    case '{': {
      const char type = next[0] == 'a' ? 'a' : next[0] == '(' ? 'r' : 'e';
      const std::string inner(type == 'a' ? next.substr(1) : next.substr(1, next.size() - 2));
      r = Enter(type, inner.c_str());
      break;
    }
    case 'v':
      r = Enter('v', nullptr);
      break;
    default: {
      // Room for any basic value, a number or a pointer to text.
      union {
        uint64_t number;
        const char* text;
      } value;
      return Basic(next[0], &value);
    }
  }
  if (r <= 0) return r;
  while (AtEnd() == 0) {
    if ((r = Skip()) < 0) return r;
  }
  return Exit();
}

}  // namespace vorlix
