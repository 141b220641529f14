// A call of a typed wire method: the arguments in their typed form (protocol/TypedCodec.h), and
// the HRESULT and out-parameters of the reply. The typed proxies are generated on top of it.
#pragma once

#include <systemd/sd-bus.h>

#include <string>
#include <vector>

#include "automation/HResult.h"
#include "protocol/TypedCodec.h"

namespace vorlix {

// Calls member of interface on the object at path with ins; on a reply fills outs in order and
// returns the server's HRESULT. E_FAIL when the call or its reply fails on the wire, or text
// cannot travel as UTF-8.
HRESULT TypedCall(sd_bus* bus, const std::string& path, const char* interface, const char* member,
                  const std::vector<TypedIn>& ins, const std::vector<TypedOut>& outs);

}  // namespace vorlix
