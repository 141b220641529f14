// What the server at the other end of a connection takes, asked once when the connection is
// made: whether it reads VARIANT arrays packed (protocol/VariantCodec.h), as every server that
// can send them so does.
#pragma once

#include <systemd/sd-bus.h>

namespace vorlix {

// Asks the server on bus, a new connection, to send its arrays packed, and notes whether it
// will. A server that does not know the option answers UnknownMethod: its arrays come, and
// ours go, as they always did.
void AskForPackedArrays(sd_bus* bus);

// True when the server on bus said it packs arrays, and so reads them packed.
bool ReadsPackedArrays(const sd_bus* bus);

// Forgets bus, which is being closed.
void ForgetOptions(const sd_bus* bus);

}  // namespace vorlix
