// The sizes and alignments of D-Bus types, which the writer and the reader of bytes share.
#pragma once

#include <cstddef>

namespace vorlix {

// The size of a value of a fixed-size type (y n q i u x t d b h); 0 for any other.
inline size_t WireFixedSize(char type) {
  switch (type) {
    case 'y':
      return 1;
    case 'n':
    case 'q':
      return 2;
    case 'i':
    case 'u':
    case 'b':
    case 'h':
      return 4;
    case 'x':
    case 't':
    case 'd':
      return 8;
  }
  return 0;
}

// The alignment of a value whose signature begins with type: a fixed-size type's own size.
inline size_t WireAlignment(char type) {
  if (const size_t size = WireFixedSize(type)) return size;
  switch (type) {
    case 's':
    case 'o':
    case 'a':
      return 4;
    case '(':
    case '{':
      return 8;
  }
  return 1;  // g, v
}

}  // namespace vorlix
