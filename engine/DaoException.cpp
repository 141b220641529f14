#include "engine/DaoException.h"

#include "engine/Names.h"

namespace vorlix {

Bstr CDaoException::Description() const {
  return ToBstr(description_);
}

void ThrowDao(int32_t code, std::string description) {
  throw CDaoException(code, std::move(description));
}

std::string Quoted(const std::string& name) {
  return "'" + name + "'";
}

}  // namespace vorlix
