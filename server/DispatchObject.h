// DispatchObject<I>: IUnknown and IDispatch for an object of this server whose interface is I
// (IDBConnection or IDaoStatus), so that the class itself only implements I's own methods.
//
// The object may be aggregated: it then forwards QueryInterface, AddRef and Release to its outer
// object, and only its inner unknown, handed to the outer object at creation, keeps its own
// reference count. Not aggregated, the inner unknown is its identity. The last Release of the
// inner unknown deletes the object. Each live object holds one module lock. Reference counts are
// not atomic: every object is called on the server's one call thread.
#pragma once

#include <cstdint>

#include "automation/Dispatch.h"
#include "server/Dispatcher.h"
#include "server/Interfaces.h"
#include "server/ModuleLock.h"

namespace vorlix {

template <typename I>
class DispatchObject : public I {
 public:
  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;

  HRESULT QueryInterface(const IID& iid, void** object) override {
    return outer_->QueryInterface(iid, object);
  }
  uint32_t AddRef() override { return outer_->AddRef(); }
  uint32_t Release() override { return outer_->Release(); }

  HRESULT GetTypeInfoCount(uint32_t* count) override {
    *count = 1;
    return S_OK;
  }
  // The default interface's description, followed by the extension's.
  HRESULT GetTypeInfo(uint32_t index, LCID, Bstr* description) override {
    HRESULT hr = vorlix::GetTypeInfo(Table::kInterface, index, description);
    if constexpr (Table::kHasExtension) {
      Bstr extension;
      if (SUCCEEDED(hr)) hr = vorlix::GetTypeInfo(*Table::kExtension, index, &extension);
      *description = Bstr(description->str() + extension.str());
    }
    return hr;
  }
  // Late-bound callers see one object: a name the default interface lacks is looked up in the
  // extension.
  HRESULT GetIDsOfNames(const std::vector<Bstr>& names, LCID,
                        std::vector<DISPID>* dispids) override {
    HRESULT hr = vorlix::GetIDsOfNames(Table::kInterface, names, dispids);
    if constexpr (Table::kHasExtension) {
      if (hr == DISP_E_UNKNOWNNAME && (*dispids)[0] == DISPID_UNKNOWN) {
        hr = vorlix::GetIDsOfNames(*Table::kExtension, names, dispids);
      }
    }
    return hr;
  }
  HRESULT Invoke(DISPID dispid, LCID, const std::vector<Variant>& args, Variant* result,
                 std::vector<Variant>* outs, uint32_t* argErr) override {
    if constexpr (Table::kHasExtension) {
      if (Table::kExtension->Find(dispid)) {
        return vorlix::Invoke(*Table::kExtension, Table::kExtensionBindings, *this, dispid, args,
                              result, outs, argErr);
      }
    }
    return vorlix::Invoke(Table::kInterface, Table::kBindings, *this, dispid, args, result, outs,
                          argErr);
  }

  // The unknown that owns the object's life; the one to hand to an outer object.
  IUnknown* Inner() { return &inner_; }

 protected:
  // outer: the aggregating object, or nullptr.
  DispatchObject(IUnknown* outer, ModuleLock& lock)
      : inner_(this), outer_(outer ? outer : &inner_), lock_(lock) {
    lock_.Lock();
  }
  ~DispatchObject() override { lock_.Unlock(); }

 private:
  using Table = InterfaceOf<I>;

  static bool IsExtension(const IID& iid) {
    if constexpr (Table::kHasExtension) return iid == Table::kExtension->iid;
    return false;
  }

  class InnerUnknown final : public IUnknown {
   public:
    explicit InnerUnknown(DispatchObject* owner) : owner_(owner) {}
    HRESULT QueryInterface(const IID& iid, void** object) override {
      if (!object) return E_POINTER;
      IUnknown* found = nullptr;
      if (iid == IID_IUnknown) {
        found = this;
      } else if (iid == IID_IDispatch || iid == Table::kInterface.iid || IsExtension(iid)) {
        found = static_cast<I*>(owner_);
      }
      // I derives from IUnknown alone, so an I* and its IUnknown* share one address.
      *object = found;
      if (!found) return E_NOINTERFACE;
      found->AddRef();
      return S_OK;
    }
    uint32_t AddRef() override { return ++count_; }
    uint32_t Release() override {
      const uint32_t count = --count_;
      if (count == 0) delete owner_;
      return count;
    }

   private:
    DispatchObject* owner_;
    uint32_t count_ = 0;
  };

  InnerUnknown inner_;
  IUnknown* outer_;
  ModuleLock& lock_;
};

}  // namespace vorlix
