#include "tests/support/Definitions.h"

#include <utility>

namespace vorlix::test {

CDaoFieldInfo Field(const char16_t* name, int16_t type, int32_t size, int32_t attributes,
                    bool required, bool zeroLength, const char16_t* dflt) {
  CDaoFieldInfo f;
  f.m_strName = name;
  f.m_nType = type;
  f.m_lSize = size;
  f.m_lAttributes = attributes;
  f.m_bRequired = required;
  f.m_bAllowZeroLength = zeroLength;
  f.m_strDefaultValue = dflt;
  return f;
}

CDaoIndexInfo Index(const char16_t* name, std::vector<CDaoIndexFieldInfo> fields, bool primary,
                    bool unique) {
  CDaoIndexInfo i;
  i.m_strName = name;
  i.m_fieldInfos = std::move(fields);
  i.m_bPrimary = primary;
  i.m_bUnique = unique;
  return i;
}

}  // namespace vorlix::test
