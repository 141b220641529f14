// CDaoWorkspace: operations on database files as a whole.
#pragma once

#include <cstdint>

#include "automation/Bstr.h"
#include "engine/DaoInfo.h"

namespace vorlix {

class CDaoWorkspace {
 public:
  // Writes a compacted copy of the database src to dst, which must not exist (3204). The
  // locale is recorded in the copy. Raises 3356 when src is open in this process (a copy
  // could miss what its connection is in the middle of), 3024/3044/3051/3343 as opening src
  // does. A failed copy leaves no file at dst.
  static void CompactDatabase(const Bstr& src, const Bstr& dst,
                              const Bstr& locale = Bstr(dbLangGeneral), int32_t options = 0);
};

}  // namespace vorlix
