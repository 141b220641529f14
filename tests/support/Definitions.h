// Field and index descriptions for tables that tests define through the engine's table
// definitions, on a file or on a server.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/DaoInfo.h"

namespace vorlix::test {

CDaoFieldInfo Field(const char16_t* name, int16_t type, int32_t size = 0, int32_t attributes = 0,
                    bool required = false, bool zeroLength = false, const char16_t* dflt = u"");
CDaoIndexInfo Index(const char16_t* name, std::vector<CDaoIndexFieldInfo> fields,
                    bool primary = false, bool unique = false);

}  // namespace vorlix::test
