// Helpers of the engine tests: checks on the engine's failure codes and the second-process
// helper program, besides the shared ones.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/DaoException.h"
#include "engine/Database.h"
#include "tests/support/TestFiles.h"

namespace vorlix::test {

// The code of the CDaoException that f raises; 0 when it raises none.
int32_t DaoCode(const std::function<void()>& f);

// The path of the helper program built with the tests.
std::string HelperPath();

}  // namespace vorlix::test
