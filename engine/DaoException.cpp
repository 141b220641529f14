#include "engine/DaoException.h"

namespace vorlix {

Bstr CDaoException::Description() const {
  // Descriptions are built from valid UTF-8 (names are checked before use), so this is exact.
  return Bstr::FromUtf8(description_).value_or(Bstr());
}

void ThrowDao(int32_t code, std::string description) {
  throw CDaoException(code, std::move(description));
}

std::string Quoted(const std::string& name) {
  return "'" + name + "'";
}

}  // namespace vorlix
