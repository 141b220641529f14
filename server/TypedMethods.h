// The typed wire methods of the objects' interfaces, found by member name in one hashed look-up
// with their signatures ready: built once, so that a call spends nothing on names and strings.
#pragma once

#include <string>
#include <string_view>

#include "protocol/InterfaceTable.h"

namespace vorlix {

struct TypedMethod {
  const Method* method;
  std::string inSignature;   // the [in] parameters' wire types (protocol/WireSignature.h)
  std::string outSignature;  // the reply's
};

// The method of one of the object's interfaces (those of a class of the table) that a call
// names, or nullptr. interface may be empty: a call without one names a member of any
// interface, the default interface's first.
const TypedMethod* FindTypedMethod(const CoClass& object, std::string_view interface,
                                   std::string_view member);

}  // namespace vorlix
