// The names of the wire, and the wire format that the server, the C++ client and the Python
// module (clients/python/vorlix) all follow. The wire is the D-Bus protocol, peer to peer over
// the per-user socket.
//
// Objects and members:
//   /Vorlix                        Vorlix.IActivator     GetClassObject(s clsid) -> (i hr, o path)
//                                  Vorlix.IServerStatus  GetStatus() -> (u pid, t started,
//                                                          u clients, u objects, u locks,
//                                                          as databases)
//                                  Vorlix.IWireOptions   PackArrays() -> ()
//   /Vorlix/<Class>                Vorlix.IClassFactory  CreateInstance(s iid) -> (i hr, o path)
//                                                        LockServer(b lock) -> (i hr)
//   /Vorlix/<Class>/<n>            Vorlix.IUnknown       QueryInterface(s iid) -> (i hr)
//                                                        AddRef() -> (u count), Release() -> (u)
//                                  Vorlix.IDispatch      GetTypeInfoCount() -> (i hr, u count)
//                                                        GetTypeInfo(u index, u lcid) -> (i, s)
//                                                        GetIDsOfNames(as names, u lcid) -> (i, ai)
//                                                        Invoke(i dispid, a(qv) args)
//                                                          -> (i hr, (qv) result, a(qv) outs,
//                                                              u argErr)
//                                  Vorlix.<Interface>    each method of the interface table
//
// Typed methods: each [in] parameter in declared order, the reply the HRESULT then each [out]
// and [out, retval] in declared order: BSTR "s" (UTF-8, so text holding U+0000 goes up to it),
// VARIANT_BOOL and short "n", long "i", VARIANT "(qv)", a packed batch "(ayah)" (its bytes, or
// the descriptor of a sealed memory file holding them: protocol/PackedTransfer.h).
//
// A VARIANT is "(qv)": its VARTYPE and a payload whose signature the VARTYPE fixes:
//   VT_EMPTY, VT_NULL                 y (0)
//   VT_I2, VT_BOOL, VT_I1             n
//   VT_I4, VT_INT, VT_ERROR           i
//   VT_R4, VT_R8, VT_DATE             d
//   VT_CY, VT_I8                      x
//   VT_BSTR                           s (UTF-8), or aq (UTF-16 code units) for text holding
//                                     U+0000 or an unpaired surrogate
//   VT_DECIMAL                        (yyut) scale, sign, high 32 bits, low 64 bits
//   VT_UI1 y, VT_UI2 q, VT_UI4 and VT_UINT u, VT_UI8 t
//   VT_ARRAY | t                      (a(ii)aE): (lower bound, count) per dimension, first
//                                     dimension first, then the elements in array order, E the
//                                     element payload: (qv) for VT_VARIANT, y for bytes, s for
//                                     VT_BSTR (UTF-8 only)
// Any other VARTYPE, or a payload that does not match its VARTYPE or its bounds, is refused
// with DISP_E_BADVARTYPE or E_INVALIDARG in the reply.
//
// A connection that calls PackArrays gets every VARIANT array the server answers with packed:
// the payload "ay", holding the bytes of "(a(ii)aE)" marshalled on their own (from offset 0),
// which a reader decodes in one piece. Either side reads a packed array wherever an array may
// come; a connection that never asks sees none.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/InterfaceTable.h"

namespace vorlix {

inline constexpr char kRootPath[] = "/Vorlix";
inline constexpr char kActivatorInterface[] = "Vorlix.IActivator";
// What vorlix-server --status asks a running server: its pid, its start (microseconds since
// 1970, UTC), the clients but the asking one, their objects and LockServer locks, and the open
// databases' names.
inline constexpr char kStatusInterface[] = "Vorlix.IServerStatus";
inline constexpr char kStatusSignature[] = "utuuuas";
// Asked once by a client that reads packed arrays (above).
inline constexpr char kWireOptionsInterface[] = "Vorlix.IWireOptions";
inline constexpr char kPackArrays[] = "PackArrays";
inline constexpr char kClassFactoryInterface[] = "Vorlix.IClassFactory";
inline constexpr char kUnknownInterface[] = "Vorlix.IUnknown";
inline constexpr char kDispatchInterface[] = "Vorlix.IDispatch";
// An interface of the table is "Vorlix." and its name; a class's ProgID alike.
inline constexpr char kNamePrefix[] = "Vorlix.";

inline constexpr char kVariantSignature[] = "(qv)";
inline constexpr char kInvokeSignature[] = "ia(qv)";
inline constexpr char kInvokeReplySignature[] = "i(qv)a(qv)u";
inline constexpr char kGetIDsOfNamesSignature[] = "asu";
inline constexpr char kGetTypeInfoSignature[] = "uu";

// "/Vorlix/<Class>", the class object's path.
inline std::string ClassObjectPath(const CoClass& coClass) {
  return std::string(kRootPath) + "/" + std::string(coClass.name);
}

// "/Vorlix/<Class>/<n>", the path of the class's instance number n.
inline std::string InstancePath(const CoClass& coClass, uint64_t n) {
  return ClassObjectPath(coClass) + "/" + std::to_string(n);
}

}  // namespace vorlix
