// The typed form of the wire methods (WireNames.h): a parameter of the interface table as its
// own D-Bus type. Both sides write and read typed values through these two functions.
#pragma once

#include <systemd/sd-bus.h>

#include <cstdint>
#include <variant>

#include "automation/HResult.h"
#include "automation/Variant.h"
#include "protocol/PackedTransfer.h"
#include "protocol/WireReader.h"
#include "protocol/WireWriter.h"

namespace vorlix {

// A value to send: BSTR, VARIANT_BOOL or short, long, VARIANT.
using TypedIn = std::variant<const Bstr*, int16_t, int32_t, const Variant*>;
// Where a received value goes; a packed batch is only ever received.
using TypedOut = std::variant<Bstr*, int16_t*, int32_t*, Variant*, PackedBytes*>;

// Appends in at m's position: 0, or a negative errno. Text that has no UTF-8 form or holds
// U+0000 cannot travel typed and is refused with -EINVAL, as is a VARIANT the codec refuses.
// packArrays: a VARIANT array goes packed (AppendVariantPacked), for a peer that reads it so.
int AppendTyped(sd_bus_message* m, const TypedIn& in, bool packArrays);
int AppendTyped(WireWriter& out, const TypedIn& in);

// Reads the next value into out: S_OK; E_INVALIDARG when m holds no value of that type there,
// or text that is not UTF-8; for a VARIANT, what ReadVariant answers, for a packed batch what
// ReadPacked does.
HRESULT ReadTyped(sd_bus_message* m, const TypedOut& out);
// The same from bytes of our own, which never hold a packed batch: a client sends none.
HRESULT ReadTyped(WireReader& in, const TypedOut& out);

}  // namespace vorlix
