// The VARIANT on the wire, shared by server and client: a D-Bus "(qv)", the VARTYPE and a
// payload whose signature the VARTYPE fixes (VT_I4 "i", VT_BSTR "s" or "aq", VT_DECIMAL
// "(yyut)", arrays "(a(ii)v)" with their elements in array order as "a" + the element payload).
// Whatever arrives from the other side is checked before it is trusted: every VARTYPE, every
// signature, every bound against the elements actually present.
#pragma once

#include <systemd/sd-bus.h>

#include <cstddef>

#include "automation/HResult.h"
#include "automation/Variant.h"
#include "protocol/WireReader.h"
#include "protocol/WireWriter.h"

namespace vorlix {

// The least bytes a VARIANT takes as an element of an array of them: its VARTYPE, a one-letter
// signature and a one-byte payload, padding after it excluded. A text travelling as "s" takes
// kLeastTextBytes plus its length in UTF-8, and as "aq" no less.
inline constexpr size_t kLeastVariantBytes = 6;
inline constexpr size_t kLeastTextBytes = 13;

// Appends value as "(qv)" at m's current position. S_OK; E_INVALIDARG for a VT_ARRAY|VT_BSTR
// element that cannot travel as UTF-8 (U+0000 or an unpaired surrogate); E_OUTOFMEMORY when the
// message cannot grow; E_FAIL for any other refusal of sd-bus. m is unusable after a failure.
HRESULT AppendVariant(sd_bus_message* m, const Variant& value);
// The same into bytes of our own: the bytes sd-bus would have written.
HRESULT AppendVariant(WireWriter& out, const Variant& value);
// The same, but an array goes packed, for a peer that asked for it: its payload "(a(ii)aE)" as
// the bytes of its own marshalling, a VARIANT of signature "ay", which ReadVariant decodes in
// one piece (with the server's own reader) instead of one library call per element.
HRESULT AppendVariantPacked(WireWriter& out, const Variant& value);
HRESULT AppendVariantPacked(sd_bus_message* m, const Variant& value);

// Appends text as a D-Bus string ("s"), converted straight into the message: no copy, and none
// of the UTF-8 check sd-bus makes of a string handed to it, which the conversion already
// guarantees. 0; -EDOM for text that cannot travel as one (U+0000 or an unpaired surrogate);
// else what sd-bus answers.
int AppendText(sd_bus_message* m, const Bstr& text);
int AppendText(WireWriter& out, const Bstr& text);

// Reads a "(qv)" at m's current position into *value. DISP_E_BADVARTYPE for a VARTYPE this
// system does not carry; E_INVALIDARG for anything else malformed: a payload of the wrong
// signature, an array without dimensions, with a negative count, a bound past the largest index
// or an element count other than its bounds give, an invalid decimal, text that is not valid
// UTF-8, VT_I1 or VT_R4 values out of their range, or a VT_EMPTY/VT_NULL byte other than 0. An
// array may come packed (AppendVariantPacked), checked the same way, but never inside another.
HRESULT ReadVariant(sd_bus_message* m, Variant* value);
// The same from bytes of our own, with the same checks.
HRESULT ReadVariant(WireReader& in, Variant* value);

}  // namespace vorlix
