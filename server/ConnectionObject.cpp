#include "server/ConnectionObject.h"

namespace vorlix {

// Calls come to the object's IDBConnection, which is the ConnectionObject's only base.
template <>
CDBConnection& BoundObject<CDBConnection>(IDispatch& self) {
  return static_cast<ConnectionObject&>(self).Connection();
}

template <>
PackedFetch& BoundObject<PackedFetch>(IDispatch& self) {
  return static_cast<ConnectionObject&>(self).Packed();
}

}  // namespace vorlix
