// The wrapper's half of the call frame, for the files that define CDBConnection's methods: run
// the worker, turn its result into the [out, retval] parameter, return the HRESULT. The
// worker's half (error flag, entry checks, failure capture) is in Connection.h.
#pragma once

#include <new>
#include <optional>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "automation/Bstr.h"
#include "automation/HResult.h"
#include "automation/VarType.h"

namespace vorlix {

inline VARIANT_BOOL ToVariantBool(bool value) {
  return value ? VARIANT_TRUE : VARIANT_FALSE;
}

// Runs body, which returns the call's HRESULT. No exception leaves a call: a failure the
// worker did not capture (memory exhaustion; an engine failure where none is expected) becomes
// E_OUTOFMEMORY or E_FAIL, with the out-parameters the body had not written yet unwritten.
template <typename Body>
HRESULT Guarded(Body body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::exception&) {
    return E_FAIL;
  }
}

// A method without a result.
template <typename Worker>
HRESULT Call(Worker worker) {
  return Guarded([&] {
    worker();
    return S_OK;
  });
}

// A Boolean result, written as VARIANT_TRUE or VARIANT_FALSE. A worker returning an optional
// reports a captured engine failure as nullopt: the call then returns S_FALSE and writes
// nothing (the positional field reads).
template <typename Worker>
HRESULT Call(Worker worker, VARIANT_BOOL* result) {
  return Guarded([&] {
    const auto ok = worker();
    if constexpr (std::is_same_v<decltype(ok), const std::optional<bool>>) {
      if (!ok) return S_FALSE;
      *result = ToVariantBool(*ok);
    } else {
      *result = ToVariantBool(ok);
    }
    return S_OK;
  });
}

// A string result.
template <typename Worker>
HRESULT Call(Worker worker, Bstr* result) {
  return Guarded([&] {
    *result = worker();
    return S_OK;
  });
}

}  // namespace vorlix
