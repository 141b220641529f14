// Names of tables, fields and indexes: between the callers' UTF-16 and SQLite's UTF-8, and the
// rules a new name follows.
#pragma once

#include <string>
#include <string_view>

#include "automation/Bstr.h"

namespace vorlix {

// The UTF-8 of a name used to find something; raises 3125 when the text cannot be a name at
// all (an unpaired surrogate). what says what it names, for the message ("table", "field").
std::string NameUtf8(const Bstr& name, const char* what);

// True for the names of the engine's catalog tables and what they reserve: "MSys..." in any
// letter case.
bool IsSystemName(std::string_view name);

// The UTF-8 of a name for a new object, after the naming rules: 1 to 64 characters, not
// beginning with a space, no control characters and none of . ! ` [ ]. Raises 3125.
std::string NewName(const Bstr& name, const char* what);

}  // namespace vorlix
