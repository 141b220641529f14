#include "server/Dispatcher.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

#include "activation/RegistryFile.h"
#include "automation/AsciiCase.h"
#include "protocol/TypeDescription.h"
#include "server/Registration.h"

namespace vorlix {

namespace {

std::u16string Widen(std::string_view ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

// The exact spellings of the interface's member names; most late-bound callers use them.
const std::unordered_map<std::u16string, DISPID>& NameCache(const Interface& interface) {
  static std::mutex mutex;
  static std::map<const Interface*, std::unordered_map<std::u16string, DISPID>> caches;
  std::lock_guard lock(mutex);
  auto& cache = caches[&interface];
  if (cache.empty()) {
    for (const Method& method : interface.methods)
      cache.emplace(Widen(method.name), method.dispid);
  }
  return cache;
}

const Method* FindNoCase(const Interface& interface, std::u16string_view name) {
  for (const Method& method : interface.methods) {
    if (EqualNoCase(name, method.name)) return &method;
  }
  return nullptr;
}

}  // namespace

HRESULT GetIDsOfNames(const Interface& interface, const std::vector<Bstr>& names,
                      std::vector<DISPID>* dispids) {
  dispids->assign(names.size(), DISPID_UNKNOWN);
  if (names.empty()) return S_OK;
  const auto& cache = NameCache(interface);
  const Method* method = nullptr;
  if (auto exact = cache.find(names[0].str()); exact != cache.end()) {
    method = interface.Find(exact->second);
  } else {
    method = FindNoCase(interface, names[0].view());
  }
  if (!method) return DISP_E_UNKNOWNNAME;
  (*dispids)[0] = method->dispid;
  HRESULT hr = S_OK;
  const auto params = method->Params();
  for (size_t i = 1; i < names.size(); ++i) {
    auto param = std::find_if(params.begin(), params.end(),
                              [&](const Param& p) { return EqualNoCase(names[i].view(), p.name); });
    if (param == params.end()) {
      hr = DISP_E_UNKNOWNNAME;
    } else {
      (*dispids)[i] = static_cast<DISPID>(param - params.begin());
    }
  }
  return hr;
}

HRESULT Invoke(const Interface& interface, std::span<const Binding> bindings, IDispatch& self,
               DISPID dispid, const std::vector<Variant>& args, Variant* result,
               std::vector<Variant>* outs, uint32_t* argErr) {
  *result = Variant();
  outs->clear();
  const Method* method = interface.Find(dispid);
  if (!method) return DISP_E_MEMBERNOTFOUND;
  const auto params = method->Params();
  const auto passed = std::count_if(params.begin(), params.end(),
                                    [](const Param& p) { return p.kind != ParamKind::kRetval; });
  if (static_cast<size_t>(passed) != args.size()) return DISP_E_BADPARAMCOUNT;
  const Binding& binding = bindings[static_cast<size_t>(method - interface.methods.data())];
  return binding.invoke(self, *method, args, result, outs, argErr);
}

HRESULT GetTypeInfo(const Interface& interface, uint32_t index, Bstr* description) {
  if (index != 0) return DISP_E_BADINDEX;
  static std::mutex mutex;
  static std::map<const Interface*, Bstr> loaded;
  std::lock_guard lock(mutex);
  if (auto it = loaded.find(&interface); it != loaded.end()) {
    *description = it->second;
    return S_OK;
  }
  std::string error;
  const auto registry = ReadRegistry(RegistryPath(), &error);
  if (!registry || !registry->HasKey(TypeLibraryKey())) {
    return TYPE_E_LIBNOTREGISTERED;
  }
  *description = *Bstr::FromUtf8(TypeDescription(interface));
  loaded.emplace(&interface, *description);
  return S_OK;
}

}  // namespace vorlix
