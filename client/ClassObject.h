// ClassObject: a client's reference to a class object of the server, over the connection that
// the instances it creates share. A LockServer lock not given back is given back by the server
// when that connection closes, with the last proxy or class object over it. A failure of the
// wire leaves its cause in LastClientError() (client/ClientError.h).
#pragma once

#include <memory>
#include <string>

#include "automation/HResult.h"
#include "client/DispatchProxy.h"

namespace vorlix {

class ClassObject {
 public:
  ClassObject(BusRef bus, std::string path);

  // The class object of clsid from the server at the other end of bus: the server's HRESULT
  // (CLASS_E_CLASSNOTAVAILABLE for a class it does not serve), E_FAIL when the wire failed.
  static HRESULT Get(BusRef bus, const std::string& clsid, std::unique_ptr<ClassObject>* object);

  // LockServer(true) keeps the server running without objects until LockServer(false) over the
  // same connection; E_FAIL for a lock this connection does not hold, or when the wire failed.
  HRESULT LockServer(bool lock);

  // A new instance as proxy type P (DispatchProxy or a typed proxy of client/TypedProxies.h),
  // which owns one reference to it; the server's HRESULT, E_FAIL when the wire failed.
  template <typename P>
  HRESULT CreateInstance(std::unique_ptr<P>* object) {
    object->reset();
    std::string path;
    const HRESULT hr = CreateInstance(&path);
    if (SUCCEEDED(hr)) *object = std::make_unique<P>(bus_, std::move(path));
    return hr;
  }

 private:
  HRESULT CreateInstance(std::string* path);

  BusRef bus_;
  std::string path_;
};

}  // namespace vorlix
