// Binding: ties a row of the interface table to the C++ member function that implements it, so
// that Invoke can call the member with arguments coerced to the row's declared types. A binding
// is one line per method,
//   VORLIX_BIND(CDBConnection, Open),
// and Agree() proves at compile time that a list of bindings matches the table's rows: the same
// names in the same order, and each member's parameters of the C++ types the row declares.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "automation/Coerce.h"
#include "automation/Dispatch.h"
#include "protocol/InterfaceTable.h"

namespace vorlix {

// Calls the bound member on the object self stands for (BoundObject) with args (every parameter
// but the [out, retval] one, in declared order; the count is already checked); fills *result
// and *outs. A failed coercion returns its HRESULT with the parameter's position in *argErr.
using InvokeFn = HRESULT (*)(IDispatch& self, const Method& method,
                             const std::vector<Variant>& args, Variant* result,
                             std::vector<Variant>* outs, uint32_t* argErr);

struct Binding {
  std::string_view name;
  InvokeFn invoke;
  bool (*agrees)(const Method& method);
};

// The object whose members serve calls made to self: self itself, unless a specialization
// declared beside the interface says where such an object keeps it.
template <typename Object>
Object& BoundObject(IDispatch& self) {
  return static_cast<Object&>(self);
}

namespace binding {

// The value a parameter of C++ type A is kept in during a call (Bstr for const Bstr& and Bstr*).
template <typename A>
using Storage = std::remove_cvref_t<std::remove_pointer_t<A>>;

// Whether C++ parameter type A is how the interface declares param. VARIANT_BOOL and short are
// both int16_t, so the table alone tells them apart (and the coercion follows the table).
template <typename A>
constexpr bool Matches(const Param& param) {
  using T = Storage<A>;
  const bool in = param.kind == ParamKind::kIn;
  if (in != !std::is_pointer_v<A>) return false;
  if (in && (param.type == ParamType::kBstr || param.type == ParamType::kVariant)) {
    if (!std::is_same_v<A, const T&>) return false;
  }
  switch (param.type) {
    case ParamType::kBstr:
      return std::is_same_v<T, Bstr>;
    case ParamType::kBool:
    case ParamType::kShort:
      return std::is_same_v<T, int16_t>;
    case ParamType::kLong:
      return std::is_same_v<T, int32_t>;
    case ParamType::kVariant:
    case ParamType::kPacked:
      return std::is_same_v<T, Variant>;
  }
  return false;
}

void FromVariant(const Variant& value, Bstr* out);
void FromVariant(const Variant& value, int16_t* out);
void FromVariant(const Variant& value, int32_t* out);
Variant ToVariant(Bstr value, ParamType type);
Variant ToVariant(int16_t value, ParamType type);
Variant ToVariant(int32_t value, ParamType type);
Variant ToVariant(Variant value, ParamType type);

// Fills *value from the argument of [in] parameter number index, coerced to its declared type.
template <typename T>
HRESULT TakeArgument(const Method& method, size_t index, const std::vector<Variant>& args, T* value,
                     uint32_t* argErr) {
  const Param& param = method.params[index];
  // A VARIANT, or a BSTR given as one, is passed by reference to the argument itself (Pass):
  // a big value is never copied.
  if constexpr (std::is_same_v<T, Variant>) {
    return S_OK;
  } else {
    if (param.kind != ParamKind::kIn) return S_OK;
    const Variant& arg = args[index];
    if (param.type == ParamType::kBstr && arg.vt() == VT_BSTR) return S_OK;
    Variant coerced;
    const HRESULT hr = ChangeType(arg, InfoOf(param.type).varType, &coerced);
    if (FAILED(hr)) {
      *argErr = static_cast<uint32_t>(index);
      return hr;
    }
    FromVariant(coerced, value);
    return S_OK;
  }
}

// Parameter I as the method takes it: the argument itself where TakeArgument left it in place,
// else the coerced or out value held in value.
template <typename A, size_t I, typename T>
decltype(auto) Pass(T& value, const std::vector<Variant>& args) {
  if constexpr (std::is_pointer_v<A>) {
    return &value;
  } else if constexpr (std::is_same_v<A, const Variant&>) {
    return static_cast<const Variant&>(args[I]);
  } else if constexpr (std::is_same_v<A, const Bstr&>) {
    return static_cast<const Bstr&>(args[I].vt() == VT_BSTR ? args[I].AsBstr() : value);
  } else {
    return static_cast<A>(value);
  }
}

template <typename T>
void GiveResult(const Param& param, T& value, Variant* result, std::vector<Variant>* outs) {
  if (param.kind == ParamKind::kOut) outs->push_back(ToVariant(std::move(value), param.type));
  if (param.kind == ParamKind::kRetval) *result = ToVariant(std::move(value), param.type);
}

template <typename Object, typename... A, size_t... I>
HRESULT Call(Object& object, HRESULT (Object::*member)(A...), [[maybe_unused]] const Method& method,
             [[maybe_unused]] const std::vector<Variant>& args, [[maybe_unused]] Variant* result,
             [[maybe_unused]] std::vector<Variant>* outs, [[maybe_unused]] uint32_t* argErr,
             std::index_sequence<I...>) {
  // Out-parameters start as "", 0 or VT_EMPTY: what the caller gets when the method does not
  // write them.
  std::tuple<Storage<A>...> values;
  HRESULT hr = S_OK;
  ((hr = SUCCEEDED(hr) ? TakeArgument(method, I, args, &std::get<I>(values), argErr) : hr), ...);
  if (FAILED(hr)) return hr;
  hr = (object.*member)(Pass<A, I>(std::get<I>(values), args)...);
  (GiveResult(method.params[I], std::get<I>(values), result, outs), ...);
  return hr;
}

template <auto Member>
struct Bound;

template <typename Object, typename... A, HRESULT (Object::*Member)(A...)>
struct Bound<Member> {
  static HRESULT Invoke(IDispatch& self, const Method& method, const std::vector<Variant>& args,
                        Variant* result, std::vector<Variant>* outs, uint32_t* argErr) {
    return Call(BoundObject<Object>(self), Member, method, args, result, outs, argErr,
                std::index_sequence_for<A...>());
  }
  static constexpr bool Agrees(const Method& method) {
    const auto params = method.Params();
    if (params.size() != sizeof...(A)) return false;
    size_t i = 0;
    return (Matches<A>(params[i++]) && ... && true);
  }
};

}  // namespace binding

template <auto Member>
constexpr Binding Bind(std::string_view name) {
  return {name, &binding::Bound<Member>::Invoke, &binding::Bound<Member>::Agrees};
}

#define VORLIX_BIND(Class, name) Bind<&Class::name>(#name)

// True when bindings and interface's methods agree one for one (names, order, parameter count
// and types).
constexpr bool Agree(const Interface& interface, std::span<const Binding> bindings) {
  if (bindings.size() != interface.methods.size()) return false;
  for (size_t i = 0; i < bindings.size(); ++i) {
    if (bindings[i].name != interface.methods[i].name) return false;
    if (!bindings[i].agrees(interface.methods[i])) return false;
  }
  return true;
}

}  // namespace vorlix
