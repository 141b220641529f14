#include "automation/VarType.h"

namespace vorlix {
namespace {

struct TypeInfo {
  VARTYPE vt;
  const char* name;
  Payload payload;
  int bits;
};

// Every scalar type this system carries, with the payload that holds its value.
constexpr TypeInfo kTypes[] = {
    {VT_EMPTY, "VT_EMPTY", Payload::kNone, 0},  {VT_NULL, "VT_NULL", Payload::kNone, 0},
    {VT_I2, "VT_I2", Payload::kSigned, 16},     {VT_I4, "VT_I4", Payload::kSigned, 32},
    {VT_R4, "VT_R4", Payload::kReal, 32},       {VT_R8, "VT_R8", Payload::kReal, 64},
    {VT_CY, "VT_CY", Payload::kSigned, 64},     {VT_DATE, "VT_DATE", Payload::kReal, 64},
    {VT_BSTR, "VT_BSTR", Payload::kString, 0},  {VT_ERROR, "VT_ERROR", Payload::kSigned, 32},
    {VT_BOOL, "VT_BOOL", Payload::kSigned, 16}, {VT_DECIMAL, "VT_DECIMAL", Payload::kDecimal, 0},
    {VT_I1, "VT_I1", Payload::kSigned, 8},      {VT_UI1, "VT_UI1", Payload::kUnsigned, 8},
    {VT_UI2, "VT_UI2", Payload::kUnsigned, 16}, {VT_UI4, "VT_UI4", Payload::kUnsigned, 32},
    {VT_I8, "VT_I8", Payload::kSigned, 64},     {VT_UI8, "VT_UI8", Payload::kUnsigned, 64},
    {VT_INT, "VT_INT", Payload::kSigned, 32},   {VT_UINT, "VT_UINT", Payload::kUnsigned, 32},
};

const TypeInfo* Find(VARTYPE vt) {
  for (const TypeInfo& t : kTypes) {
    if (t.vt == vt) return &t;
  }
  return nullptr;
}

}  // namespace

bool ScalarPayload(VARTYPE vt, Payload* payload) {
  const TypeInfo* t = Find(vt);
  if (!t) return false;
  *payload = t->payload;
  return true;
}

int ValueBits(VARTYPE vt) {
  const TypeInfo* t = Find(vt);
  return t ? t->bits : 0;
}

bool IsArrayElementType(VARTYPE vt) {
  if (vt == VT_VARIANT) return true;
  const TypeInfo* t = Find(vt);
  return t && t->payload != Payload::kNone;
}

std::string VarTypeName(VARTYPE vt) {
  std::string prefix;
  if (vt & VT_BYREF) prefix += "VT_BYREF|";
  if (vt & VT_ARRAY) prefix += "VT_ARRAY|";
  const VARTYPE base = vt & ~(VT_ARRAY | VT_BYREF);
  if (base == VT_VARIANT) return prefix + "VT_VARIANT";
  const TypeInfo* t = Find(base);
  return prefix + (t ? std::string(t->name) : std::to_string(base));
}

}  // namespace vorlix
