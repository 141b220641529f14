// The type description of a remote object, asked over the wire with IDispatch GetTypeInfo.
#pragma once

#include <string>

#include "client/DispatchProxy.h"

namespace vorlix::shell {

// The description of the object's interface (type info 0); the server's HRESULT
// (TYPE_E_LIBNOTREGISTERED when the type library is not registered), or E_FAIL when the wire
// failed.
HRESULT GetTypeDescription(const DispatchProxy& object, std::string* description);

}  // namespace vorlix::shell
