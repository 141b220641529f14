#include "EngineTestSupport.h"

namespace vorlix::test {

int32_t DaoCode(const std::function<void()>& f) {
  try {
    f();
  } catch (const CDaoException& e) {
    EXPECT_FALSE(e.Description().empty());
    return e.Code();
  }
  return 0;
}

std::string HelperPath() {
  return ENGINE_HELPER;
}

}  // namespace vorlix::test
