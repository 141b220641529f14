// The typed wire methods of the objects' interfaces, found by member name in one hashed look-up
// with their signatures ready: built once, so that a call spends nothing on names and strings.
#pragma once

#include <string>

#include "protocol/InterfaceTable.h"

namespace vorlix {

struct TypedMethod {
  const Method* method;
  std::string inSignature;  // the [in] parameters' wire types (protocol/WireSignature.h)
};

// The method of the object's interface (one of the table's classes) that a call names, or
// nullptr. interface may be null: a call without one names a member of any interface.
const TypedMethod* FindTypedMethod(const Interface& object, const char* interface,
                                   const char* member);

}  // namespace vorlix
