#include "tests/support/Values.h"

#include "automation/SafeArray.h"
#include "automation/VarType.h"

namespace vorlix::test {

std::string Show(const Variant& value) {
  std::string shown = VarTypeName(value.vt());
  Payload payload = Payload::kNone;
  if (!ScalarPayload(value.vt(), &payload)) return shown;
  switch (payload) {
    case Payload::kSigned:
      return shown + " " + std::to_string(value.AsSigned());
    case Payload::kUnsigned:
      return shown + " " + std::to_string(value.AsUnsigned());
    case Payload::kReal:
      return shown + " " + std::to_string(value.AsReal());
    case Payload::kString:
      return shown + " " + value.AsBstr().Utf8();
    default:
      return shown;
  }
}

std::vector<std::string> Elements(const Variant& array) {
  if (!array.IsArray()) return {"not an array: " + Show(array)};
  std::vector<std::string> shown;
  for (const Variant& element : array.AsArray().Elements())
    shown.push_back(Show(element));
  return shown;
}

}  // namespace vorlix::test
