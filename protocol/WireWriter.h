// WireWriter: a D-Bus message body marshalled into bytes of our own (little-endian), and the
// header that makes it a reply. sd-bus builds a body one library call per value, and each
// container costs it copies and checks of signatures: for a reply of many VARIANTs that was
// three quarters of the server's time. The codecs write through the same calls to either
// (VariantCodec.h, TypedCodec.h), so both sides of the wire keep one encoder.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/WireTypes.h"

namespace vorlix {

class WireWriter {
 public:
  // A body of at most limit bytes.
  explicit WireWriter(size_t limit = SIZE_MAX) : limit_(limit) {}
  ~WireWriter();
  WireWriter(const WireWriter&) = delete;
  WireWriter& operator=(const WireWriter&) = delete;

  // The calls mirror sd-bus's message building and answer 0 as it does on success, or -ENOBUFS
  // once the body has passed its limit: nothing more is written then. Open takes 'a' (contents: the
  // element's signature), 'r' (the members') or 'v' (the value's); Close ends the innermost.
  int Open(char type, const char* contents);
  int Close();
  // A basic value of type y, n, q, i, u, x, t, d, b, s, g or h; value points to it (to a C
  // string for s and g), as for sd_bus_message_append_basic. For h the body keeps a duplicate
  // of the descriptor and refers to it by its place among Fds().
  // Inline, so that a type known where it is called costs no switch: numbers are most of what
  // a reply holds.
  int Basic(char type, const void* value) {
    // b and h are fixed-size too, but need more than a copy.
    const size_t size = type == 'b' || type == 'h' ? 0 : WireFixedSize(type);
    if (size == 0) return Other(type, value);
    Align(size);
    Put(value, size);
    return Room();
  }
  // An array of a fixed-size basic type: size bytes of elements.
  int Array(char type, const void* data, size_t size);
  // A string of length bytes; *space is where the caller writes them (the NUL is added here).
  int StringSpace(size_t length, char** space);
  // A whole VARIANT "(qv)" of VARTYPE vt whose payload is one value of the fixed-size type (y n q
  // i u x t d) at value, or a string of length bytes written at *space: the bytes Open, Basic
  // and Close would write, in one step. A reply of many VARIANTs is mostly these.
  int ScalarVariant(uint16_t vt, char type, const void* value);
  int TextVariant(uint16_t vt, size_t length, char** space);
  // An array of bytes ("ay") whose bytes fill writes with this writer's own calls, aligned from
  // the array's first byte: they read as a body of their own, without being written into one
  // first and copied. Answers fill's failure, else Close's answer.
  int Embedded(const std::function<int()>& fill);

  // Makes room up to the limit at once, for a body about to take many bytes: pages never
  // written are never taken from the system, where growing by steps holds the old bytes and
  // their copy at once. Nothing for a writer without a limit.
  void ReserveLimit();

  size_t Limit() const { return limit_; }
  const std::string& Bytes() const { return bytes_; }
  std::string Take() { return std::move(bytes_); }
  // The descriptors the body refers to, which go with it; the writer closes those not taken.
  const std::vector<int>& Fds() const { return fds_; }
  std::vector<int> TakeFds() { return std::move(fds_); }

 private:
  // at rounded up to a multiple of alignment counted from the start of the body being written.
  size_t Aligned(size_t at, size_t alignment) const {
    return base_ + ((at - base_ + alignment - 1) & ~(alignment - 1));
  }
  void Align(size_t alignment) { bytes_.resize(Aligned(bytes_.size(), alignment)); }
  void Put(const void* data, size_t size) { bytes_.append(static_cast<const char*>(data), size); }
  int Room() const { return bytes_.size() > limit_ ? -ENOBUFS : 0; }
  // Basic for b, s, o, g and h.
  int Other(char type, const void* value);

  struct OpenArray {
    size_t length;  // where its length goes
    size_t start;   // where its first element begins, after the padding to its alignment
  };
  size_t limit_;
  size_t base_ = 0;  // where the body being written starts: past 0 inside Embedded
  std::string bytes_;
  std::string open_;  // the kinds of the containers open, innermost last (no allocation for
                      // the few a reply nests)
  std::vector<OpenArray> arrays_;
  std::vector<int> fds_;
};

// The header of a method return answering the call with cookie replySerial, for a body of
// bodySize bytes and that signature that refers to fds descriptors, padded so that the body may
// follow it at once; of an error of that name instead when errorName is given. destination is
// the caller's name, null on a peer-to-peer connection.
std::string ReplyHeader(uint32_t serial, uint32_t replySerial, const char* destination,
                        std::string_view signature, size_t bodySize, size_t fds,
                        const char* errorName = nullptr);

}  // namespace vorlix
