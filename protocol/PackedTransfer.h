// How a packed batch (protocol/PackedColumns.h) travels in a typed reply, as "(ayah)": its
// bytes inline and no descriptor when they are few, else no bytes and the descriptor of a
// sealed memory file that holds exactly them. The file lifts the bound D-Bus puts on a reply
// and spares copying a big batch through the socket; sealed, its sender can no longer change
// or shrink it under the reader's mapping.
#pragma once

#include <systemd/sd-bus.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "automation/HResult.h"
#include "protocol/WireWriter.h"

namespace vorlix {

// Up to this many bytes go inline.
inline constexpr size_t kPackedInlineBytes = size_t{256} << 10;

// Appends bytes at the writer's position as the rule above says: 0, or a negative errno (the file
// could not be made or written).
int AppendPacked(WireWriter& out, std::span<const uint8_t> bytes);

// The bytes a reply carried: its own copy of inline bytes, or the file mapped read-only.
class PackedBytes {
 public:
  PackedBytes() = default;
  ~PackedBytes();
  PackedBytes(const PackedBytes&) = delete;
  PackedBytes& operator=(const PackedBytes&) = delete;

  std::span<const uint8_t> Bytes() const;

 private:
  friend HRESULT ReadPacked(sd_bus_message* m, PackedBytes* packed);
  void Unmap();

  std::vector<uint8_t> inline_;
  void* map_ = nullptr;
  size_t mapped_ = 0;
};

// Reads the next "(ayah)" into *packed, replacing what it held: S_OK; E_INVALIDARG when m holds
// no such value there, both bytes and a descriptor or more than one descriptor, or a descriptor
// that is not a memory file sealed against writing, growing and shrinking.
HRESULT ReadPacked(sd_bus_message* m, PackedBytes* packed);

}  // namespace vorlix
