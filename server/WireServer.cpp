#include "server/WireServer.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "runtime/ClientFolder.h"
#include "runtime/ServerSocket.h"
#include "runtime/VariantCodec.h"
#include "server/Reply.h"
#include "server/WireSignature.h"

namespace vorlix {
namespace {

constexpr std::string_view kRoot = "/Vorlix";

bool Is(const char* value, std::string_view expected) {
  return value && expected == value;
}

// Whether the call names this interface and member; a call without an interface matches any.
bool Calls(sd_bus_message* m, std::string_view interface, std::string_view member) {
  const char* i = sd_bus_message_get_interface(m);
  return (!i || interface == i) && Is(sd_bus_message_get_member(m), member);
}

int ReplyError(sd_bus_message* m, const char* name, const std::string& text) {
  return sd_bus_reply_method_errorf(m, name, "%s", text.c_str());
}

int AppendHResult(sd_bus_message* reply, HRESULT hr) {
  return sd_bus_message_append_basic(reply, 'i', &hr);
}

int AppendCodec(sd_bus_message* reply, const Variant& value) {
  const HRESULT hr = AppendVariant(reply, value);
  return hr == S_OK ? 0 : -ENOMEM;
}

// A typed argument read as the Variant of its declared type.
HRESULT ReadTyped(sd_bus_message* m, ParamType type, Variant* value) {
  switch (type) {
    case ParamType::kBstr: {
      const char* text = nullptr;
      if (sd_bus_message_read_basic(m, 's', &text) <= 0) return E_INVALIDARG;
      std::optional<Bstr> bstr = Bstr::FromUtf8(text);
      if (!bstr) return E_INVALIDARG;
      *value = Variant::Str(std::move(*bstr));
      return S_OK;
    }
    case ParamType::kBool:
    case ParamType::kShort: {
      int16_t x = 0;
      if (sd_bus_message_read_basic(m, 'n', &x) <= 0) return E_INVALIDARG;
      *value = Variant::Signed(type == ParamType::kBool ? VT_BOOL : VT_I2, x);
      return S_OK;
    }
    case ParamType::kLong: {
      int32_t x = 0;
      if (sd_bus_message_read_basic(m, 'i', &x) <= 0) return E_INVALIDARG;
      *value = Variant::I4(x);
      return S_OK;
    }
    case ParamType::kVariant:
      break;
  }
  return ReadVariant(m, value);
}

// An out-parameter as its typed wire value; a value of another type (the method did not write
// it) goes as the type's initial value.
int AppendTyped(sd_bus_message* reply, ParamType type, const Variant& value) {
  switch (type) {
    case ParamType::kBstr: {
      // The typed form carries UTF-8 only; text that has none goes as far as it can (Invoke
      // carries it exactly).
      const std::string text = value.vt() == VT_BSTR ? value.AsBstr().UpToNul().Utf8() : "";
      return sd_bus_message_append_basic(reply, 's', text.c_str());
    }
    case ParamType::kBool:
    case ParamType::kShort: {
      const int16_t x =
          value.vt() == VT_BOOL || value.vt() == VT_I2 ? static_cast<int16_t>(value.AsSigned()) : 0;
      return sd_bus_message_append_basic(reply, 'n', &x);
    }
    case ParamType::kLong: {
      const int32_t x = value.vt() == VT_I4 ? static_cast<int32_t>(value.AsSigned()) : 0;
      return sd_bus_message_append_basic(reply, 'i', &x);
    }
    case ParamType::kVariant:
      break;
  }
  return AppendCodec(reply, value);
}

int CallTyped(IDispatch& object, const Method& method, sd_bus_message* m) {
  if (!sd_bus_message_has_signature(m, InSignature(method).c_str())) return 0;
  std::vector<Variant> args;
  HRESULT hr = S_OK;
  for (const Param& p : method.Params()) {
    if (p.kind == ParamKind::kRetval || FAILED(hr)) continue;
    Variant arg;
    if (p.kind == ParamKind::kIn) hr = ReadTyped(m, p.type, &arg);
    args.push_back(std::move(arg));
  }
  Variant result;
  std::vector<Variant> outs;
  uint32_t argErr = 0;
  if (SUCCEEDED(hr)) hr = object.Invoke(method.dispid, 0, args, &result, &outs, &argErr);
  return Respond(m, FitsInReply(result, outs), [&](sd_bus_message* reply, bool failed) {
    int r = AppendHResult(reply, failed ? E_OUTOFMEMORY : hr);
    size_t out = 0;
    for (const Param& p : method.Params()) {
      if (p.kind == ParamKind::kIn || r < 0) continue;
      const Variant none;
      const Variant& value = failed                         ? none
                             : p.kind == ParamKind::kRetval ? result
                             : out < outs.size()            ? outs[out]
                                                            : none;
      if (p.kind == ParamKind::kOut) ++out;
      r = AppendTyped(reply, p.type, value);
    }
    return r;
  });
}

int CallInvoke(IDispatch& object, sd_bus_message* m) {
  if (!sd_bus_message_has_signature(m, "ia(qv)")) return 0;
  int32_t dispid = 0;
  std::vector<Variant> args;
  HRESULT hr = sd_bus_message_read_basic(m, 'i', &dispid) > 0 &&
                       sd_bus_message_enter_container(m, 'a', "(qv)") > 0
                   ? S_OK
                   : E_INVALIDARG;
  while (hr == S_OK && sd_bus_message_at_end(m, false) == 0) {
    Variant arg;
    hr = ReadVariant(m, &arg);
    args.push_back(std::move(arg));
  }
  Variant result;
  std::vector<Variant> outs;
  uint32_t argErr = 0;
  if (hr == S_OK) hr = object.Invoke(dispid, 0, args, &result, &outs, &argErr);
  return Respond(m, FitsInReply(result, outs), [&](sd_bus_message* reply, bool failed) {
    int r = AppendHResult(reply, failed ? E_OUTOFMEMORY : hr);
    if (r >= 0) r = AppendCodec(reply, failed ? Variant() : result);
    if (r >= 0) r = sd_bus_message_open_container(reply, 'a', "(qv)");
    for (size_t i = 0; !failed && r >= 0 && i < outs.size(); ++i)
      r = AppendCodec(reply, outs[i]);
    if (r >= 0) r = sd_bus_message_close_container(reply);
    const uint32_t position = failed ? 0 : argErr;
    if (r >= 0) r = sd_bus_message_append_basic(reply, 'u', &position);
    return r;
  });
}

int CallGetIDsOfNames(IDispatch& object, sd_bus_message* m) {
  if (!sd_bus_message_has_signature(m, "asu")) return 0;
  char** names = nullptr;
  if (sd_bus_message_read_strv(m, &names) < 0) return -EINVAL;
  std::vector<Bstr> bstrs;
  HRESULT hr = S_OK;
  for (char** name = names; name && *name; ++name) {
    std::optional<Bstr> bstr = Bstr::FromUtf8(*name);
    if (!bstr) hr = E_INVALIDARG;
    bstrs.push_back(bstr.value_or(Bstr()));
    free(*name);
  }
  free(names);
  std::vector<DISPID> dispids(bstrs.size(), DISPID_UNKNOWN);
  if (hr == S_OK) hr = object.GetIDsOfNames(bstrs, 0, &dispids);
  return Respond(m, true, [&](sd_bus_message* reply, bool) {
    int r = AppendHResult(reply, hr);
    if (r >= 0) {
      r = sd_bus_message_append_array(reply, 'i', dispids.data(), dispids.size() * sizeof(DISPID));
    }
    return r;
  });
}

int ReplyIntrospection(sd_bus_message* m, const std::string& xml) {
  return sd_bus_reply_method_return(m, "s", xml.c_str());
}

std::optional<Guid> ReadGuid(sd_bus_message* m) {
  const char* text = nullptr;
  if (!sd_bus_message_has_signature(m, "s") || sd_bus_message_read_basic(m, 's', &text) <= 0) {
    return std::nullopt;
  }
  return Guid::Parse(text);
}

}  // namespace

WireServer::WireServer(CVorlixModule& module)
    : module_(module), connectionFactory_(module.Lock()), statusFactory_(module.Lock()) {}

WireServer::~WireServer() {
  // Closed without flushing: a client that stopped reading must not hold up the shutdown.
  for (auto& [key, peer] : peers_) {
    ReleaseHeld(*peer);
    sd_bus_close_unref(peer->bus);
  }
  sd_event_source_unref(accept_);
  sd_event_unref(event_);
}

IClassFactory& WireServer::FactoryOf(const CoClass& coClass) {
  if (&coClass == &kClasses[0]) return connectionFactory_;
  return statusFactory_;
}

void WireServer::BlockStopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

int WireServer::Run(int listenFd) {
  int r = sd_event_new(&event_);
  // Without a handler each signal ends the loop.
  if (r >= 0) r = sd_event_add_signal(event_, nullptr, SIGTERM, nullptr, nullptr);
  if (r >= 0) r = sd_event_add_signal(event_, nullptr, SIGINT, nullptr, nullptr);
  if (r >= 0) r = sd_event_add_io(event_, &accept_, listenFd, EPOLLIN, OnAccept, this);
  if (r >= 0) r = sd_event_add_io(event_, nullptr, module_.QuitFd(), EPOLLIN, OnQuit, this);
  if (r >= 0) r = sd_event_add_post(event_, nullptr, OnPost, this);
  if (r >= 0) r = sd_event_loop(event_);
  return r < 0 ? r : 0;
}

int WireServer::OnQuit(sd_event_source* source, int, uint32_t, void*) {
  return sd_event_exit(sd_event_source_get_event(source), 0);
}

int WireServer::OnPost(sd_event_source*, void* self) {
  // A client may send its first call in the same packet as the end of authentication; sd-bus
  // keeps it buffered without waking its own source, so every connection is processed here
  // until it has nothing left.
  for (auto& [key, peer] : static_cast<WireServer*>(self)->peers_) {
    while (sd_bus_process(peer->bus, nullptr) > 0) {
    }
  }
  return 0;
}

int WireServer::OnAccept(sd_event_source* source, int fd, uint32_t, void* self) {
  auto* server = static_cast<WireServer*>(self);
  const int client = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (client < 0) {
    // Out of descriptors, the client stays queued and the socket readable: listening on would
    // spin. A closing connection frees one and listening resumes.
    if (errno == EMFILE || errno == ENFILE) sd_event_source_set_enabled(source, SD_EVENT_OFF);
    return 0;
  }
  // sd-bus accepts any user id the client claims in EXTERNAL as long as it matches the socket's
  // credentials; who may connect at all is decided here.
  pid_t pid = 0;
  if (!PeerMayConnect(client, &pid)) {
    close(client);
    return 0;
  }
  auto peer = std::make_unique<Peer>();
  peer->server = server;
  peer->pid = pid;
  sd_id128_t id;
  int r = sd_id128_randomize(&id);
  if (r >= 0) r = sd_bus_new(&peer->bus);
  if (r >= 0) r = sd_bus_set_fd(peer->bus, client, client);
  // Once set, the descriptor is the bus's and goes with it; before that it is still ours.
  if (r < 0) close(client);
  if (r >= 0) r = sd_bus_set_server(peer->bus, 1, id);
  if (r >= 0) r = sd_bus_add_filter(peer->bus, nullptr, OnMessage, peer.get());
  if (r >= 0) r = sd_bus_attach_event(peer->bus, server->event_, SD_EVENT_PRIORITY_NORMAL);
  if (r >= 0) r = sd_bus_start(peer->bus);
  if (r < 0) {
    sd_bus_close_unref(peer->bus);
    return 0;
  }
  Peer* key = peer.get();
  server->peers_.emplace(key, std::move(peer));
  return 0;
}

int WireServer::OnMessage(sd_bus_message* m, void* userdata, sd_bus_error*) {
  Peer& peer = *static_cast<Peer*>(userdata);
  if (sd_bus_message_is_signal(m, "org.freedesktop.DBus.Local", "Disconnected")) {
    peer.server->Disconnect(peer);
    return 1;
  }
  if (!sd_bus_message_is_method_call(m, nullptr, nullptr)) return 0;
  return peer.server->Dispatch(peer, m);
}

int WireServer::OnFinishClose(sd_event_source* source, void* userdata) {
  auto* peer = static_cast<Peer*>(userdata);
  WireServer* server = peer->server;
  sd_event_source_unref(source);
  sd_bus_close_unref(peer->bus);
  server->peers_.erase(peer);
  sd_event_source_set_enabled(server->accept_, SD_EVENT_ON);
  return 0;
}

void WireServer::ReleaseHeld(Peer& peer) {
  for (auto& [path, held] : peer.objects) {
    for (uint32_t i = 0; i < held.references; ++i)
      held.object->Release();
  }
  peer.objects.clear();
  for (; peer.locks > 0; --peer.locks)
    module_.Lock().Unlock();
}

void WireServer::Disconnect(Peer& peer) {
  ReleaseHeld(peer);
  sd_event_add_defer(event_, nullptr, OnFinishClose, &peer);
}

int WireServer::Dispatch(Peer& peer, sd_bus_message* m) {
  const std::string path = sd_bus_message_get_path(m);
  const bool introspect = Calls(m, "org.freedesktop.DBus.Introspectable", "Introspect");
  if (path == kRoot) {
    return introspect ? ReplyIntrospection(m, ActivatorIntrospection()) : CallActivator(m);
  }
  for (const CoClass& coClass : kClasses) {
    const std::string classPath = std::string(kRoot) + "/" + std::string(coClass.name);
    if (path == classPath) {
      return introspect ? ReplyIntrospection(m, ClassObjectIntrospection())
                        : CallClassObject(peer, coClass, m);
    }
  }
  auto held = peer.objects.find(path);
  if (held == peer.objects.end()) return 0;
  if (introspect) {
    return ReplyIntrospection(m, InstanceIntrospection(*held->second.coClass->interface));
  }
  return CallObject(peer, path, held->second, m);
}

int WireServer::CallActivator(sd_bus_message* m) {
  if (!Calls(m, "Vorlix.IActivator", "GetClassObject")) return 0;
  const std::optional<Guid> clsid = ReadGuid(m);
  if (!clsid) return ReplyError(m, SD_BUS_ERROR_INVALID_ARGS, "a CLSID in braces expected");
  for (const CoClass& coClass : kClasses) {
    if (coClass.clsid == *clsid) {
      const std::string path = std::string(kRoot) + "/" + std::string(coClass.name);
      return sd_bus_reply_method_return(m, "io", S_OK, path.c_str());
    }
  }
  return sd_bus_reply_method_return(m, "io", CLASS_E_CLASSNOTAVAILABLE, "/");
}

int WireServer::CallClassObject(Peer& peer, const CoClass& coClass, sd_bus_message* m) {
  constexpr std::string_view kInterface = "Vorlix.IClassFactory";
  if (Calls(m, kInterface, "LockServer")) {
    int lock = 0;
    if (!sd_bus_message_has_signature(m, "b") || sd_bus_message_read_basic(m, 'b', &lock) <= 0) {
      return ReplyError(m, SD_BUS_ERROR_INVALID_ARGS, "a boolean expected");
    }
    // A connection may only give back locks it took: more would end the server under others.
    if (!lock && peer.locks == 0) return sd_bus_reply_method_return(m, "i", E_FAIL);
    const HRESULT hr = FactoryOf(coClass).LockServer(lock != 0);
    peer.locks += lock ? 1 : -1;
    return sd_bus_reply_method_return(m, "i", hr);
  }
  if (!Calls(m, kInterface, "CreateInstance")) return 0;
  const std::optional<Guid> iid = ReadGuid(m);
  if (!iid) return ReplyError(m, SD_BUS_ERROR_INVALID_ARGS, "an IID in braces expected");
  void* created = nullptr;
  HRESULT hr = FactoryOf(coClass).CreateInstance(nullptr, *iid, &created);
  if (FAILED(hr)) return sd_bus_reply_method_return(m, "io", hr, "/");
  // Every interface of these objects starts with IDispatch's members: hold it as IDispatch.
  IUnknown* unknown = static_cast<IUnknown*>(created);
  void* dispatch = nullptr;
  hr = unknown->QueryInterface(IID_IDispatch, &dispatch);
  unknown->Release();
  if (FAILED(hr)) return sd_bus_reply_method_return(m, "io", hr, "/");
  const std::string path =
      std::string(kRoot) + "/" + std::string(coClass.name) + "/" + std::to_string(nextInstance_++);
  peer.objects.emplace(path, Held{static_cast<IDispatch*>(dispatch), &coClass, 1});
  return sd_bus_reply_method_return(m, "io", S_OK, path.c_str());
}

int WireServer::CallObject(Peer& peer, const std::string& path, Held& held, sd_bus_message* m) {
  IDispatch& object = *held.object;
  if (Calls(m, "Vorlix.IUnknown", "AddRef")) {
    ++held.references;
    return sd_bus_reply_method_return(m, "u", object.AddRef());
  }
  if (Calls(m, "Vorlix.IUnknown", "Release")) {
    const uint32_t count = object.Release();
    if (--held.references == 0) peer.objects.erase(path);
    return sd_bus_reply_method_return(m, "u", count);
  }
  if (Calls(m, "Vorlix.IUnknown", "QueryInterface")) {
    const std::optional<Guid> iid = ReadGuid(m);
    if (!iid) return ReplyError(m, SD_BUS_ERROR_INVALID_ARGS, "an IID in braces expected");
    void* found = nullptr;
    const HRESULT hr = object.QueryInterface(*iid, &found);
    // The wire counts references per object, not per interface.
    if (SUCCEEDED(hr)) static_cast<IUnknown*>(found)->Release();
    return sd_bus_reply_method_return(m, "i", hr);
  }
  constexpr std::string_view kDispatch = "Vorlix.IDispatch";
  if (Calls(m, kDispatch, "GetTypeInfoCount")) {
    uint32_t count = 0;
    const HRESULT hr = object.GetTypeInfoCount(&count);
    return sd_bus_reply_method_return(m, "iu", hr, count);
  }
  if (Calls(m, kDispatch, "GetTypeInfo")) {
    uint32_t index = 0, lcid = 0;
    if (!sd_bus_message_has_signature(m, "uu") ||
        sd_bus_message_read(m, "uu", &index, &lcid) <= 0) {
      return 0;
    }
    Bstr description;
    const HRESULT hr = object.GetTypeInfo(index, lcid, &description);
    return sd_bus_reply_method_return(m, "is", hr, description.Utf8().c_str());
  }
  if (Calls(m, kDispatch, "GetIDsOfNames")) return CallGetIDsOfNames(object, m);
  // Only the interface's own methods touch files.
  EnterClientFolder(peer.pid);
  if (Calls(m, kDispatch, "Invoke")) return CallInvoke(object, m);
  const Interface& interface = *held.coClass->interface;
  const std::string name = WireInterfaceName(interface);
  for (const Method& method : interface.methods) {
    if (Calls(m, name, method.name)) return CallTyped(object, method, m);
  }
  return 0;
}

}  // namespace vorlix
