// CreateObject: the client's way to an object of a registered server. It finds the server in the
// registry, connects to the per-user socket, starting the server when none listens, and asks it
// for the class object and through it for a new instance, which it returns as a proxy.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "automation/HResult.h"
#include "client/ClassObject.h"
#include "client/ClientError.h"

namespace vorlix {

// ProgID -> HKCR\<ProgID>\CLSID -> HKCR\CLSID\{clsid}\LocalServer32; REGDB_E_CLASSNOTREG when
// any of them is missing. Without a listening server, one is started (LocalServer32
// -Embedding, in its own session) under the runtime directory's activation lock, so clients
// starting at the same moment get one server; E_FAIL when the runtime directory is refused, or
// the server cannot run (known at once), ends before it listens or does not listen within 10 s.
// Otherwise the server's HRESULT for GetClassObject; on success the class object, over a new
// connection. Every failure of activation leaves its cause in LastClientError(): the registry
// file and key that were read, the program, the folder or the socket.
HRESULT GetClassObject(std::string_view progid, std::unique_ptr<ClassObject>* factory);

// GetClassObject, then a new instance as proxy type P: DispatchProxy, or a typed proxy of
// client/TypedProxies.h. The server's HRESULT for CreateInstance when it fails.
template <typename P>
HRESULT CreateObject(std::string_view progid, std::unique_ptr<P>* object) {
  object->reset();
  std::unique_ptr<ClassObject> factory;
  HRESULT hr = GetClassObject(progid, &factory);
  if (SUCCEEDED(hr)) hr = factory->CreateInstance(object);
  return hr;
}

}  // namespace vorlix
