// ConnectionObject: the server's DBConnection object, IDBConnection over one CDBConnection.
#pragma once

#include "connection/Connection.h"
#include "protocol/VariantCodec.h"
#include "server/DispatchObject.h"
#include "server/Interfaces.h"
#include "server/PausableCalls.h"
#include "server/Reply.h"

namespace vorlix {

class ConnectionObject final : public DispatchObject<IDBConnection> {
 public:
  // A result-set array sure not to fit in a reply is refused before it is built.
  ConnectionObject(IUnknown* outer, ModuleLock& lock) : DispatchObject(outer, lock) {
    connection_.SetResultBudget({kLargestReplyBody, kLeastVariantBytes, kLeastTextBytes, true});
  }

  // What every method of the object acts on.
  CDBConnection& Connection() { return connection_; }
  PackedFetch& Packed() { return packed_; }

 private:
  ~ConnectionObject() override = default;

  // The record writers' pauses between lock-retry attempts, and long statements every slice,
  // hand the loop to other clients; Cancel stops the call the server runs on this object.
  CDBConnection connection_{PausableCalls::Pause, PausableCalls::Yield,
                            [this] { return PausableCalls::Stop(static_cast<IDispatch*>(this)); }};
  PackedFetch packed_{connection_};
};

}  // namespace vorlix
