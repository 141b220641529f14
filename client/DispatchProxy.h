// DispatchProxy: a client's reference to one object on the wire, called late-bound. Destroying
// the proxy releases the object; the connection closes with its last proxy.
#pragma once

#include <systemd/sd-bus.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "automation/HResult.h"
#include "automation/Variant.h"

namespace vorlix {

// The connection to the server, shared by the proxies made over it.
using BusRef = std::shared_ptr<sd_bus>;

struct InvokeResult {
  Variant result;             // the [out, retval] value, or VT_EMPTY
  std::vector<Variant> outs;  // the [out] values in declared order
  uint32_t argErr = 0;        // position of an argument that could not be coerced
};

class DispatchProxy {
 public:
  DispatchProxy(BusRef bus, std::string path);
  ~DispatchProxy();
  DispatchProxy(const DispatchProxy&) = delete;
  DispatchProxy& operator=(const DispatchProxy&) = delete;

  const std::string& Path() const { return path_; }
  sd_bus* Bus() const { return bus_.get(); }

  // Calls the member with args (every parameter but the [out, retval] one); the server's
  // HRESULT, or E_FAIL when the wire failed.
  HRESULT Invoke(int32_t dispid, const std::vector<Variant>& args, InvokeResult* result);
  // The same by name, resolved once with GetIDsOfNames and cached.
  HRESULT Invoke(std::string_view name, const std::vector<Variant>& args, InvokeResult* result);

 private:
  BusRef bus_;
  std::string path_;
  std::map<std::string, int32_t, std::less<>> dispids_;
};

}  // namespace vorlix
