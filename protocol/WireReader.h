// WireReader: reads a D-Bus message body held in bytes of our own, the counterpart of
// WireWriter. Its calls mirror sd-bus's message reading (BusIn.h puts them in front of an sd-bus
// message), so that the codecs' one decoder reads either. Nothing in the bytes is trusted: every
// length is checked against what is there, every string for its NUL and UTF-8, every object path
// and signature for its syntax, and variants nest no deeper than D-Bus allows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace vorlix {

class WireReader {
 public:
  // Reads body, of that signature (already checked valid), marshalled big-endian or not, from
  // start on. body must begin 8-aligned relative to the message's start, as a body does, and
  // outlive the reader.
  WireReader(std::string_view body, std::string_view signature, bool bigEndian = false,
             size_t start = 0);
  WireReader(const WireReader&) = delete;
  WireReader& operator=(const WireReader&) = delete;

  // Each answers as its sd-bus namesake: 1 when it read, 0 at the end of the container being read
  // (nothing read), -ENXIO when the next value is of another type, -EBADMSG when the bytes are
  // malformed. After a negative answer the reader is unusable.
  //
  // Enters the next value, a container: 'a' (contents: the element's signature), 'r' (the
  // members'), 'v' (the value's signature, or null for any).
  int Enter(char type, const char* contents);
  // Leaves the innermost container, which must have been read to its end: -EBUSY otherwise.
  int Exit();
  // Enter('r', "qv"), Basic('q', vt) and Enter('v', one letter) in one step, for a "(qv)" whose
  // variant holds one basic value (most of an array of VARIANTs): 1 with its letter in *type and
  // the reader at that value, two containers open; 0, with nothing read, for any other next
  // value, which the three calls then read.
  int EnterScalarVariant(uint16_t* vt, char* type);
  // A basic value: for y n q i u x t d b h into the number (b as an int), for s o g a pointer to
  // the NUL-terminated text inside the body.
  int Basic(char type, void* value);
  // A whole array of a fixed-size type: *data points to size bytes of its elements, in this
  // machine's byte order.
  int Array(char type, const void** data, size_t* size);
  // The next value's type and, for a container, its contents' signature, without reading it.
  int Peek(char* type, const char** contents);
  // 1 at the end of the innermost container (of the body when none is open), else 0.
  int AtEnd() const;
  // Passes over the next value, whatever it holds, checking it as reading it would.
  int Skip();
  // Where in the body the next read begins.
  size_t Position() const { return at_; }

 private:
  struct Level {
    char type;                   // 'a', 'r', 'v', or 0 for the body itself
    std::string_view signature;  // what is left to read of it; for an array, its element's
    size_t end;                  // where its bytes end (an array's own length bound)
    size_t arrayStart;           // an array's first element
    std::string_view element;    // an array's element signature
    size_t next = 0;             // the length of the type signature begins with, once known
  };
  Level& Top() { return levels_.empty() ? root_ : levels_.back(); }
  const Level& Top() const { return levels_.empty() ? root_ : levels_.back(); }
  // Opens a level: an array's (type 'a') elements of signature element lie from arrayStart to
  // end; any other level's contents are signature.
  void Push(char type, std::string_view signature, size_t end, size_t arrayStart = 0,
            std::string_view element = {});
  // The next complete type of the innermost level's signature, or empty at its end.
  std::string_view NextType();
  // Moves past one complete type of the innermost level's signature.
  void Advance(size_t length);
  // Pads the position to alignment; false when that passes the level's end or the padding is not
  // zeros.
  bool Align(size_t alignment);
  bool Take(size_t size, const char** at);
  template <typename T>
  T Number(const char* at) const;
  int Fail(int error);

  std::string_view body_;
  bool swap_;
  size_t at_ = 0;
  Level root_;                       // the body itself
  std::vector<Level> levels_;        // the containers open in it, innermost last
  size_t variants_ = 0;              // variants open, bounded by the nesting D-Bus allows
  std::deque<std::string> swapped_;  // arrays turned to this machine's order, kept for Array
  std::string peeked_;               // Peek's contents for an array or a struct
  int failed_ = 0;
};

// Whether text is a valid D-Bus signature (at most 255 bytes, complete types, containers nested
// within D-Bus's bounds); single: exactly one complete type.
bool IsValidSignature(std::string_view text, bool single = false);
// Whether text is a valid D-Bus object path.
bool IsValidObjectPath(std::string_view text);

}  // namespace vorlix
