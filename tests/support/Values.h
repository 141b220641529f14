// Automation values as the tests compare them: type and value in one readable string; and the
// check every call with an [out, retval] VARIANT_BOOL gets.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "automation/HResult.h"
#include "automation/Variant.h"

namespace vorlix::test {

// A value as "<type> <value>", e.g. "VT_I4 0", "VT_BSTR Ann", "VT_EMPTY".
std::string Show(const Variant& value);
// Every element of a one-dimensional array, shown; "not an array: <shown>" otherwise.
std::vector<std::string> Elements(const Variant& array);

// Runs call with a fresh [out, retval] VARIANT_BOOL; expects S_OK and -1 or 0.
template <typename Call>
bool Ok(Call call) {
  VARIANT_BOOL result = 7;
  EXPECT_EQ(call(&result), S_OK);
  EXPECT_TRUE(result == VARIANT_TRUE || result == VARIANT_FALSE) << result;
  return result == VARIANT_TRUE;
}

}  // namespace vorlix::test
