#include "engine/schema/Names.h"

#include "engine/DaoException.h"
#include "engine/store/SqlText.h"

namespace vorlix {

std::string NameUtf8(const Bstr& name, const char* what) {
  std::optional<std::string> utf8 = name.ToUtf8();
  if (!utf8)
    ThrowDao(dao_error::kInvalidName, std::string("The ") + what + " name is not valid text.");
  return *utf8;
}

bool IsSystemName(std::string_view name) {
  return name.size() >= 4 && EqualNoCase(name.substr(0, 4), "MSys");
}

std::string NewName(const Bstr& name, const char* what) {
  std::string utf8 = NameUtf8(name, what);
  bool valid = !name.empty() && name.size() <= 64 && name.view().front() != u' ';
  for (char16_t c : name.view()) {
    if (c < 0x20 || c == u'.' || c == u'!' || c == u'`' || c == u'[' || c == u']') valid = false;
  }
  if (!valid) {
    ThrowDao(dao_error::kInvalidName, Quoted(utf8) + " is not a valid " + what + " name.");
  }
  return utf8;
}

}  // namespace vorlix
