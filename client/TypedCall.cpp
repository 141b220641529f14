#include "client/TypedCall.h"

#include "runtime/VariantCodec.h"

namespace vorlix {
namespace {

int Append(sd_bus_message* m, const TypedIn& in) {
  if (auto text = std::get_if<const Bstr*>(&in)) {
    const auto utf8 = (*text)->ToUtf8();
    if (!utf8 || utf8->find('\0') != std::string::npos) return -EINVAL;
    return sd_bus_message_append_basic(m, 's', utf8->c_str());
  }
  if (auto n = std::get_if<int16_t>(&in)) return sd_bus_message_append_basic(m, 'n', n);
  if (auto i = std::get_if<int32_t>(&in)) return sd_bus_message_append_basic(m, 'i', i);
  return AppendVariant(m, *std::get<const Variant*>(in)) == S_OK ? 0 : -EINVAL;
}

bool Read(sd_bus_message* m, const TypedOut& out) {
  if (auto text = std::get_if<Bstr*>(&out)) {
    const char* utf8 = nullptr;
    if (sd_bus_message_read_basic(m, 's', &utf8) <= 0) return false;
    auto bstr = Bstr::FromUtf8(utf8);
    if (!bstr) return false;
    **text = std::move(*bstr);
    return true;
  }
  if (auto n = std::get_if<int16_t*>(&out)) return sd_bus_message_read_basic(m, 'n', *n) > 0;
  if (auto i = std::get_if<int32_t*>(&out)) return sd_bus_message_read_basic(m, 'i', *i) > 0;
  return ReadVariant(m, std::get<Variant*>(out)) == S_OK;
}

}  // namespace

HRESULT TypedCall(sd_bus* bus, const std::string& path, const char* interface, const char* member,
                  const std::vector<TypedIn>& ins, const std::vector<TypedOut>& outs) {
  sd_bus_message* call = nullptr;
  sd_bus_message* reply = nullptr;
  int r = sd_bus_message_new_method_call(bus, &call, nullptr, path.c_str(), interface, member);
  for (const TypedIn& in : ins) {
    if (r >= 0) r = Append(call, in);
  }
  if (r >= 0) r = sd_bus_call(bus, call, 0, nullptr, &reply);
  HRESULT hr = E_FAIL;
  if (r >= 0 && sd_bus_message_read_basic(reply, 'i', &hr) > 0) {
    for (const TypedOut& out : outs) {
      if (!Read(reply, out)) hr = E_FAIL;
    }
  }
  sd_bus_message_unref(call);
  sd_bus_message_unref(reply);
  return r < 0 ? E_FAIL : hr;
}

}  // namespace vorlix
