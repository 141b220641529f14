#include "client/DispatchProxy.h"

#include <cstdarg>

#include "client/ClientError.h"
#include "client/WireCall.h"
#include "client/WireOptions.h"
#include "protocol/VariantCodec.h"
#include "protocol/WireNames.h"

namespace vorlix {
namespace {

// A message holder that unreferences what it holds.
struct Message {
  sd_bus_message* m = nullptr;
  ~Message() { sd_bus_message_unref(m); }
};

}  // namespace

DispatchProxy::DispatchProxy(BusRef bus, std::string path)
    : bus_(std::move(bus)), path_(std::move(path)) {}

DispatchProxy::~DispatchProxy() {
  Call(kUnknownInterface, "Release", nullptr, "");
}

int DispatchProxy::Call(const char* interface, const char* member, sd_bus_message** reply,
                        const char* types, ...) {
  va_list args;
  va_start(args, types);
  const int r = CallMethodV(bus_.get(), path_.c_str(), interface, member, reply, types, args);
  va_end(args);
  return r;
}

HRESULT DispatchProxy::QueryInterface(const IID& iid) {
  Message reply;
  HRESULT hr = S_OK;
  const std::string text = iid.ToString();
  if (Call(kUnknownInterface, "QueryInterface", &reply.m, "s", text.c_str()) < 0) return E_FAIL;
  if (sd_bus_message_read(reply.m, "i", &hr) <= 0) return MalformedAnswer("QueryInterface");
  return hr;
}

HRESULT DispatchProxy::Count(const char* member, uint32_t* count) {
  Message reply;
  if (Call(kUnknownInterface, member, &reply.m, "") < 0) return E_FAIL;
  if (sd_bus_message_read(reply.m, "u", count) <= 0) return MalformedAnswer(member);
  return S_OK;
}

HRESULT DispatchProxy::AddRef(uint32_t* count) {
  return Count("AddRef", count);
}

HRESULT DispatchProxy::Release(uint32_t* count) {
  return Count("Release", count);
}

HRESULT DispatchProxy::GetTypeInfoCount(uint32_t* count) {
  Message reply;
  HRESULT hr = S_OK;
  if (Call(kDispatchInterface, "GetTypeInfoCount", &reply.m, "") < 0) return E_FAIL;
  if (sd_bus_message_read(reply.m, "iu", &hr, count) <= 0) {
    return MalformedAnswer("GetTypeInfoCount");
  }
  return hr;
}

HRESULT DispatchProxy::GetTypeInfo(uint32_t index, Bstr* description) {
  Message reply;
  HRESULT hr = S_OK;
  const char* text = nullptr;
  // The description does not depend on the locale: 0, the neutral one.
  if (Call(kDispatchInterface, "GetTypeInfo", &reply.m, kGetTypeInfoSignature, index, 0u) < 0) {
    return E_FAIL;
  }
  std::optional<Bstr> bstr;
  if (sd_bus_message_read(reply.m, "is", &hr, &text) <= 0 || !(bstr = Bstr::FromUtf8(text))) {
    return MalformedAnswer("GetTypeInfo");
  }
  *description = std::move(*bstr);
  return hr;
}

HRESULT DispatchProxy::Invoke(int32_t dispid, const std::vector<Variant>& args,
                              InvokeResult* result) {
  *result = InvokeResult();
  Message call, reply;
  int r = sd_bus_message_new_method_call(bus_.get(), &call.m, nullptr, path_.c_str(),
                                         kDispatchInterface, "Invoke");
  if (r >= 0) r = sd_bus_message_append_basic(call.m, 'i', &dispid);
  if (r >= 0) r = sd_bus_message_open_container(call.m, 'a', kVariantSignature);
  const bool pack = ReadsPackedArrays(bus_.get());
  for (const Variant& arg : args) {
    if (r < 0) break;
    const HRESULT hr = pack ? AppendVariantPacked(call.m, arg) : AppendVariant(call.m, arg);
    r = hr == S_OK ? 0 : -EINVAL;
  }
  if (r >= 0) r = sd_bus_message_close_container(call.m);
  if (r < 0) return ClientFailure(E_FAIL, "the arguments of Invoke cannot go on the wire");
  if (CallServer(bus_.get(), call.m, &reply.m, Wait::kUntilAnswered) < 0) return E_FAIL;
  HRESULT hr = S_OK;
  if (sd_bus_message_read_basic(reply.m, 'i', &hr) <= 0 ||
      ReadVariant(reply.m, &result->result) != S_OK ||
      sd_bus_message_enter_container(reply.m, 'a', kVariantSignature) <= 0) {
    return MalformedAnswer("Invoke");
  }
  while (sd_bus_message_at_end(reply.m, false) == 0) {
    Variant out;
    if (ReadVariant(reply.m, &out) != S_OK) return MalformedAnswer("Invoke");
    result->outs.push_back(std::move(out));
  }
  if (sd_bus_message_exit_container(reply.m) < 0 ||
      sd_bus_message_read_basic(reply.m, 'u', &result->argErr) <= 0) {
    return MalformedAnswer("Invoke");
  }
  return hr;
}

HRESULT DispatchProxy::GetIDOfName(std::string_view name, int32_t* dispid) {
  auto cached = dispids_.find(name);
  if (cached == dispids_.end()) {
    Message reply;
    const std::string text(name);
    if (Call(kDispatchInterface, "GetIDsOfNames", &reply.m, kGetIDsOfNamesSignature, 1,
             text.c_str(), 0u) < 0) {
      return E_FAIL;
    }
    HRESULT hr = S_OK;
    const void* ids = nullptr;
    size_t size = 0;
    if (sd_bus_message_read_basic(reply.m, 'i', &hr) <= 0 ||
        sd_bus_message_read_array(reply.m, 'i', &ids, &size) < 0 || size != sizeof(int32_t)) {
      return MalformedAnswer("GetIDsOfNames");
    }
    if (FAILED(hr)) return hr;
    cached = dispids_.emplace(text, *static_cast<const int32_t*>(ids)).first;
  }
  *dispid = cached->second;
  return S_OK;
}

HRESULT DispatchProxy::Invoke(std::string_view name, const std::vector<Variant>& args,
                              InvokeResult* result) {
  int32_t dispid = 0;
  const HRESULT hr = GetIDOfName(name, &dispid);
  return FAILED(hr) ? hr : Invoke(dispid, args, result);
}

}  // namespace vorlix
