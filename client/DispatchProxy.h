// DispatchProxy: a client's reference to one object on the wire, called late-bound. Destroying
// the proxy releases the object; the connection closes with its last proxy. When a method
// answers E_FAIL because the wire failed (a server that went away), LastClientError() of
// client/ClientError.h says so.
#pragma once

#include <systemd/sd-bus.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "automation/Guid.h"
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

  // S_OK when the object has the interface iid, else E_NOINTERFACE; E_FAIL when the wire failed.
  // No reference is taken: the wire counts references per object, not per interface.
  HRESULT QueryInterface(const IID& iid);
  // One more reference to the object, or one given back; *count is the object's count after it.
  // References taken with AddRef are given back with Release; the proxy gives back its own.
  HRESULT AddRef(uint32_t* count);
  HRESULT Release(uint32_t* count);
  // How many type descriptions the object has (1); *description is the one at index, the
  // interface in interface-definition form. The server's HRESULT, E_FAIL when the wire failed.
  HRESULT GetTypeInfoCount(uint32_t* count);
  HRESULT GetTypeInfo(uint32_t index, Bstr* description);

  // Calls the member with args (every parameter but the [out, retval] one); the server's
  // HRESULT, or E_FAIL when the wire failed.
  HRESULT Invoke(int32_t dispid, const std::vector<Variant>& args, InvokeResult* result);
  // The same by name, resolved once with GetIDsOfNames and cached.
  HRESULT Invoke(std::string_view name, const std::vector<Variant>& args, InvokeResult* result);
  // The DISPID of the member name, asked once with GetIDsOfNames and cached: the server's
  // HRESULT (DISP_E_UNKNOWNNAME for a member it lacks), or E_FAIL when the wire failed.
  HRESULT GetIDOfName(std::string_view name, int32_t* dispid);

 private:
  // Calls member of interface with the arguments types gives; the reply in *reply.
  int Call(const char* interface, const char* member, sd_bus_message** reply, const char* types,
           ...);
  HRESULT Count(const char* member, uint32_t* count);

  BusRef bus_;
  std::string path_;
  std::map<std::string, int32_t, std::less<>> dispids_;
};

}  // namespace vorlix
