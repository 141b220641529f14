#include "server/Binding.h"

namespace vorlix::binding {

VARTYPE DeclaredVarType(ParamType type) {
  switch (type) {
    case ParamType::kBstr:
      return VT_BSTR;
    case ParamType::kBool:
      return VT_BOOL;
    case ParamType::kShort:
      return VT_I2;
    case ParamType::kLong:
      return VT_I4;
    case ParamType::kVariant:
      break;
  }
  return VT_VARIANT;
}

void FromVariant(const Variant& value, Bstr* out) {
  *out = value.AsBstr();
}
void FromVariant(const Variant& value, int16_t* out) {
  *out = static_cast<int16_t>(value.AsSigned());
}
void FromVariant(const Variant& value, int32_t* out) {
  *out = static_cast<int32_t>(value.AsSigned());
}

Variant ToVariant(Bstr value, ParamType) {
  return Variant::Str(std::move(value));
}
Variant ToVariant(int16_t value, ParamType type) {
  return Variant::Signed(type == ParamType::kBool ? VT_BOOL : VT_I2, value);
}
Variant ToVariant(int32_t value, ParamType) {
  return Variant::I4(value);
}
Variant ToVariant(Variant value, ParamType) {
  return value;
}

}  // namespace vorlix::binding
