#include "engine/DaoException.h"

namespace vorlix {

Bstr CDaoException::Description() const {
  return Bstr::FromUtf8Lossy(description_);
}

void ThrowDao(int32_t code, std::string description) {
  throw CDaoException(code, std::move(description));
}

std::string Quoted(const std::string& name) {
  return "'" + name + "'";
}

}  // namespace vorlix
