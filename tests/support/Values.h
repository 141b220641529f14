// Automation values as the tests compare them: type and value in one readable string.
#pragma once

#include <string>
#include <vector>

#include "automation/Variant.h"

namespace vorlix::test {

// A value as "<type> <value>", e.g. "VT_I4 0", "VT_BSTR Ann", "VT_EMPTY".
std::string Show(const Variant& value);
// Every element of a one-dimensional array, shown; "not an array: <shown>" otherwise.
std::vector<std::string> Elements(const Variant& array);

}  // namespace vorlix::test
