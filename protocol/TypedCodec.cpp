#include "protocol/TypedCodec.h"

#include <cerrno>
#include <type_traits>

#include "protocol/BusIn.h"
#include "protocol/BusOut.h"
#include "protocol/VariantCodec.h"

namespace vorlix {

namespace {

// Out is BusOut or WireWriter (BusOut.h).
template <typename Out>
int AppendTypedTo(Out& out, const TypedIn& in, bool packArrays) {
  if (auto text = std::get_if<const Bstr*>(&in)) {
    const int r = AppendText(out, **text);
    return r == -EDOM ? -EINVAL : r;
  }
  if (auto n = std::get_if<int16_t>(&in)) return out.Basic('n', n);
  if (auto i = std::get_if<int32_t>(&in)) return out.Basic('i', i);
  const Variant& value = *std::get<const Variant*>(in);
  return (packArrays ? AppendVariantPacked(out, value) : AppendVariant(out, value)) == S_OK
             ? 0
             : -EINVAL;
}

template <typename In>
HRESULT ReadTypedFrom(In& in, const TypedOut& out) {
  if (auto text = std::get_if<Bstr*>(&out)) {
    const char* utf8 = nullptr;
    if (in.Basic('s', &utf8) <= 0) return E_INVALIDARG;
    auto bstr = Bstr::FromUtf8(utf8);
    if (!bstr) return E_INVALIDARG;
    **text = std::move(*bstr);
    return S_OK;
  }
  if (auto n = std::get_if<int16_t*>(&out)) return in.Basic('n', *n) > 0 ? S_OK : E_INVALIDARG;
  if (auto i = std::get_if<int32_t*>(&out)) return in.Basic('i', *i) > 0 ? S_OK : E_INVALIDARG;
  if (auto packed = std::get_if<PackedBytes*>(&out)) {
    if constexpr (std::is_same_v<In, BusIn>) {
      return ReadPacked(in.m, *packed);
    } else {
      return E_INVALIDARG;
    }
  }
  if constexpr (std::is_same_v<In, BusIn>) {
    return ReadVariant(in.m, std::get<Variant*>(out));
  } else {
    return ReadVariant(in, std::get<Variant*>(out));
  }
}

}  // namespace

int AppendTyped(sd_bus_message* m, const TypedIn& in, bool packArrays) {
  BusOut out{m};
  return AppendTypedTo(out, in, packArrays);
}

int AppendTyped(WireWriter& out, const TypedIn& in) {
  return AppendTypedTo(out, in, false);
}

HRESULT ReadTyped(sd_bus_message* m, const TypedOut& out) {
  BusIn in{m};
  return ReadTypedFrom(in, out);
}

HRESULT ReadTyped(WireReader& in, const TypedOut& out) {
  return ReadTypedFrom(in, out);
}

}  // namespace vorlix
