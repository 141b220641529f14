#include "server/Binding.h"

namespace vorlix::binding {

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
  return Variant::Signed(InfoOf(type).varType, value);
}
Variant ToVariant(int32_t value, ParamType) {
  return Variant::I4(value);
}
Variant ToVariant(Variant value, ParamType) {
  return value;
}

}  // namespace vorlix::binding
