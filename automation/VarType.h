// VARTYPE codes and VARIANT_BOOL, with the Automation numbers kept exactly: they cross the
// wire and clients test them.
#pragma once

#include <cstdint>
#include <string>

namespace vorlix {

using VARTYPE = uint16_t;

inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_NULL = 1;
inline constexpr VARTYPE VT_I2 = 2;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_R4 = 4;
inline constexpr VARTYPE VT_R8 = 5;
inline constexpr VARTYPE VT_CY = 6;    // 64-bit integer scaled by 10 000
inline constexpr VARTYPE VT_DATE = 7;  // double, days since 1899-12-30
inline constexpr VARTYPE VT_BSTR = 8;
inline constexpr VARTYPE VT_ERROR = 10;
inline constexpr VARTYPE VT_BOOL = 11;     // 16-bit: -1 true, 0 false, other values kept as sent
inline constexpr VARTYPE VT_VARIANT = 12;  // only as an array's element type
inline constexpr VARTYPE VT_DECIMAL = 14;
inline constexpr VARTYPE VT_I1 = 16;
inline constexpr VARTYPE VT_UI1 = 17;
inline constexpr VARTYPE VT_UI2 = 18;
inline constexpr VARTYPE VT_UI4 = 19;
inline constexpr VARTYPE VT_I8 = 20;
inline constexpr VARTYPE VT_UI8 = 21;
inline constexpr VARTYPE VT_INT = 22;
inline constexpr VARTYPE VT_UINT = 23;
inline constexpr VARTYPE VT_ARRAY = 0x2000;
inline constexpr VARTYPE VT_BYREF = 0x4000;

using VARIANT_BOOL = int16_t;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// The payload a scalar VARTYPE carries; every scalar type has exactly one.
enum class Payload { kNone, kSigned, kUnsigned, kReal, kString, kDecimal };

// Sets *payload to what scalar type vt carries (kNone for VT_EMPTY and VT_NULL). Returns false
// for a VARTYPE that is not a scalar this system knows (arrays, VT_VARIANT, VT_BYREF, unknown).
bool ScalarPayload(VARTYPE vt, Payload* payload);

// Width in bits of the value of a scalar type with a signed, unsigned or real payload (VT_BOOL
// 16, VT_CY 64, VT_R4 32 ...); 0 for any other type.
int ValueBits(VARTYPE vt);

// True for an element type a SafeArray may hold: a scalar with a value, or VT_VARIANT.
bool IsArrayElementType(VARTYPE vt);

// "VT_I4", "VT_ARRAY|VT_UI1", or the number for a code without a name.
std::string VarTypeName(VARTYPE vt);

}  // namespace vorlix
