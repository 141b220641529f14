// ChangeType: converts a Variant to another scalar VARTYPE by the Automation rules that
// late-bound callers rely on.
#pragma once

#include "automation/HResult.h"
#include "automation/Variant.h"

namespace vorlix {

// Converts in to type vt and stores it in *out; *out is untouched on failure.
// - Same type: a copy. To VT_EMPTY: always VT_EMPTY. VT_EMPTY to a number 0, to text "", to
//   VT_BOOL false. VT_NULL converts only to VT_NULL and VT_EMPTY.
// - Numbers (integers, reals, currency, decimal, date, Boolean as its stored value) convert
//   between each other; reals round to integers half to even; a value outside the target's
//   range gives DISP_E_OVERFLOW. Any non-zero number to VT_BOOL gives -1. A number becomes a
//   VT_DATE only when it names a date-time in the range of Date.h.
// - Numbers to text in the invariant format (Numeric.h), dates as "YYYY-MM-DD HH:MM:SS" (a date
//   outside the range gives DISP_E_OVERFLOW), Booleans as "True"/"False"; text back to those
//   types the same way (to VT_DATE only from date text), and text to VT_BOOL also from
//   "True"/"False" in any letter case or from a number. Text converts exactly: "2.5" to VT_I4
//   is 2, the largest VT_UI8 reads back whole.
// - Arrays convert only to their own type. VT_ERROR only to itself.
// Returns DISP_E_TYPEMISMATCH for an impossible conversion, DISP_E_BADVARTYPE when vt is not a
// type this system knows (or in is an unknown type), E_INVALIDARG for a VT_DECIMAL whose scale
// or sign is not valid (Numeric.h).
HRESULT ChangeType(const Variant& in, VARTYPE vt, Variant* out);

}  // namespace vorlix
