#include "automation/HResult.h"

#include <cstdio>

namespace vorlix {

std::string HResultName(HRESULT hr) {
  struct Named {
    HRESULT hr;
    const char* name;
  };
  static constexpr Named kNames[] = {
      {S_OK, "S_OK"},
      {S_FALSE, "S_FALSE"},
      {E_POINTER, "E_POINTER"},
      {E_NOINTERFACE, "E_NOINTERFACE"},
      {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
      {E_INVALIDARG, "E_INVALIDARG"},
      {E_FAIL, "E_FAIL"},
      {CLASS_E_NOAGGREGATION, "CLASS_E_NOAGGREGATION"},
      {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE"},
      {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG"},
      {DISP_E_MEMBERNOTFOUND, "DISP_E_MEMBERNOTFOUND"},
      {DISP_E_UNKNOWNNAME, "DISP_E_UNKNOWNNAME"},
      {DISP_E_TYPEMISMATCH, "DISP_E_TYPEMISMATCH"},
      {DISP_E_BADPARAMCOUNT, "DISP_E_BADPARAMCOUNT"},
      {DISP_E_BADVARTYPE, "DISP_E_BADVARTYPE"},
      {DISP_E_BADINDEX, "DISP_E_BADINDEX"},
      {DISP_E_OVERFLOW, "DISP_E_OVERFLOW"},
      {TYPE_E_LIBNOTREGISTERED, "TYPE_E_LIBNOTREGISTERED"},
      {RPC_E_CHANGED_MODE, "RPC_E_CHANGED_MODE"},
  };
  for (const Named& n : kNames) {
    if (n.hr == hr) return n.name;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "HRESULT 0x%08X", static_cast<unsigned>(hr));
  return buf;
}

}  // namespace vorlix
