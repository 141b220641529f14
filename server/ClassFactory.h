// ClassFactory<Object>: the class object of one creatable class of this server. Object is a
// DispatchObject constructed from (outer, module lock).
#pragma once

#include <atomic>
#include <new>

#include "automation/Dispatch.h"
#include "server/ModuleLock.h"

namespace vorlix {

template <typename Object>
class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(ModuleLock& lock) : lock_(lock) {}

  // E_POINTER without object; CLASS_E_NOAGGREGATION for an outer object with any iid but
  // IID_IUnknown; E_OUTOFMEMORY; E_NOINTERFACE (and no object left behind) for an iid the class
  // does not have.
  HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer && iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    Object* created = new (std::nothrow) Object(outer, lock_);
    if (!created) return E_OUTOFMEMORY;
    // Holding a reference across the query deletes the object again when it fails.
    IUnknown* inner = created->Inner();
    inner->AddRef();
    const HRESULT hr = inner->QueryInterface(iid, object);
    inner->Release();
    return hr;
  }
  HRESULT LockServer(bool lock) override {
    lock ? lock_.Lock() : lock_.Unlock();
    return S_OK;
  }

  HRESULT QueryInterface(const IID& iid, void** object) override {
    if (!object) return E_POINTER;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  // The class object lives as long as the server; the count is kept for its callers only.
  uint32_t AddRef() override { return ++count_; }
  uint32_t Release() override { return --count_; }

 private:
  ModuleLock& lock_;
  std::atomic<uint32_t> count_{0};
};

}  // namespace vorlix
