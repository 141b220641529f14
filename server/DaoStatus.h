// CDaoStatus: the server's DaoStatus object, which lets a client start and stop the engine.
#pragma once

#include "engine/database/Engine.h"
#include "server/DispatchObject.h"
#include "server/Interfaces.h"

namespace vorlix {

class CDaoStatus final : public DispatchObject<IDaoStatus> {
 public:
  CDaoStatus(IUnknown* outer, ModuleLock& lock) : DispatchObject(outer, lock) {}

  // Start and stop the engine (engine/database/Engine.h); both always S_OK. The server never stops
  // the engine itself: that is the client's decision, made when it has finished with it.
  HRESULT DaoInit() override {
    AfxDaoInit();
    return S_OK;
  }
  HRESULT DaoTerm() override {
    AfxDaoTerm();
    return S_OK;
  }
};

}  // namespace vorlix
