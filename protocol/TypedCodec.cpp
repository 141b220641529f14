#include "protocol/TypedCodec.h"

#include <cerrno>

#include "protocol/BusOut.h"
#include "protocol/VariantCodec.h"

namespace vorlix {

namespace {

// Out is BusOut or WireWriter (BusOut.h).
template <typename Out>
int AppendTypedTo(Out& out, const TypedIn& in) {
  if (auto text = std::get_if<const Bstr*>(&in)) {
    const int r = AppendText(out, **text);
    return r == -EDOM ? -EINVAL : r;
  }
  if (auto n = std::get_if<int16_t>(&in)) return out.Basic('n', n);
  if (auto i = std::get_if<int32_t>(&in)) return out.Basic('i', i);
  return AppendVariant(out, *std::get<const Variant*>(in)) == S_OK ? 0 : -EINVAL;
}

}  // namespace

int AppendTyped(sd_bus_message* m, const TypedIn& in) {
  BusOut out{m};
  return AppendTypedTo(out, in);
}

int AppendTyped(WireWriter& out, const TypedIn& in) {
  return AppendTypedTo(out, in);
}

HRESULT ReadTyped(sd_bus_message* m, const TypedOut& out) {
  if (auto text = std::get_if<Bstr*>(&out)) {
    const char* utf8 = nullptr;
    if (sd_bus_message_read_basic(m, 's', &utf8) <= 0) return E_INVALIDARG;
    auto bstr = Bstr::FromUtf8(utf8);
    if (!bstr) return E_INVALIDARG;
    **text = std::move(*bstr);
    return S_OK;
  }
  if (auto n = std::get_if<int16_t*>(&out)) {
    return sd_bus_message_read_basic(m, 'n', *n) > 0 ? S_OK : E_INVALIDARG;
  }
  if (auto i = std::get_if<int32_t*>(&out)) {
    return sd_bus_message_read_basic(m, 'i', *i) > 0 ? S_OK : E_INVALIDARG;
  }
  if (auto packed = std::get_if<PackedBytes*>(&out)) return ReadPacked(m, *packed);
  return ReadVariant(m, std::get<Variant*>(out));
}

}  // namespace vorlix
