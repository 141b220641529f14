// CreateObject: the client's way to an object of a registered server. It finds the server in the
// registry, connects to the per-user socket, starting the server when none listens, and asks it
// for a new instance, which it returns as a dispatch proxy.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "automation/HResult.h"
#include "client/DispatchProxy.h"

namespace vorlix {

// ProgID -> HKCR\<ProgID>\CLSID -> HKCR\CLSID\{clsid}\LocalServer32; REGDB_E_CLASSNOTREG when
// any of them is missing. Without a listening server, one is started (LocalServer32
// -Embedding, in its own session) under the runtime directory's activation lock, so clients
// starting at the same moment get one server; E_FAIL when it does not listen within 10 s or the
// runtime directory is refused. Otherwise the server's HRESULT for GetClassObject or
// CreateInstance. On success the connection and the new instance's path, which the caller owns
// one reference to.
HRESULT Activate(std::string_view progid, BusRef* bus, std::string* path);

// Activate, with the instance handed out as proxy type P: DispatchProxy, or a typed proxy of
// client/TypedProxies.h.
template <typename P>
HRESULT CreateObject(std::string_view progid, std::unique_ptr<P>* object) {
  object->reset();
  BusRef bus;
  std::string path;
  const HRESULT hr = Activate(progid, &bus, &path);
  if (SUCCEEDED(hr)) *object = std::make_unique<P>(std::move(bus), std::move(path));
  return hr;
}

}  // namespace vorlix
