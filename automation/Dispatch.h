// IUnknown and IDispatch as C++ abstract classes, with the members of the standard interfaces
// in their vtable order, so that dual interfaces can derive from them. Type information and
// arguments use this system's value types instead of the raw C structures.
#pragma once

#include <cstdint>
#include <vector>

#include "automation/Bstr.h"
#include "automation/Guid.h"
#include "automation/HResult.h"
#include "automation/Variant.h"

namespace vorlix {

using DISPID = int32_t;
using LCID = uint32_t;

inline constexpr DISPID DISPID_UNKNOWN = -1;

// The standard interfaces' identities, fixed by the Automation model and shared by every client.
inline constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IDispatch = {
    0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

class IUnknown {
 public:
  // S_OK and one more reference in *object when the object has interface iid, else
  // E_NOINTERFACE and nullptr.
  virtual HRESULT QueryInterface(const IID& iid, void** object) = 0;
  // Return the new reference count; the object deletes itself when it reaches 0.
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};

// A class object: makes the instances of one class.
class IClassFactory : public IUnknown {
 public:
  // A new instance's interface iid in *object. With an outer object the instance is aggregated
  // into it, and only IID_IUnknown may be asked for.
  virtual HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) = 0;
  // Keeps the server running (true) or lets it end again (false) with no instance alive.
  virtual HRESULT LockServer(bool lock) = 0;
};

class IDispatch : public IUnknown {
 public:
  // How many type descriptions the object offers (0 or 1).
  virtual HRESULT GetTypeInfoCount(uint32_t* count) = 0;
  // The description of the object's interface as text.
  virtual HRESULT GetTypeInfo(uint32_t index, LCID lcid, Bstr* description) = 0;
  // The DISPID of each name; DISPID_UNKNOWN and DISP_E_UNKNOWNNAME for a name not known.
  virtual HRESULT GetIDsOfNames(const std::vector<Bstr>& names, LCID lcid,
                                std::vector<DISPID>* dispids) = 0;
  // Calls member dispid. args holds every parameter except the [out, retval] one, in declared
  // order; *result receives the [out, retval] value, *outs the [out] parameters in declared
  // order, and *argErr the 0-based position of an argument that could not be coerced.
  virtual HRESULT Invoke(DISPID dispid, LCID lcid, const std::vector<Variant>& args,
                         Variant* result, std::vector<Variant>* outs, uint32_t* argErr) = 0;
};

}  // namespace vorlix
