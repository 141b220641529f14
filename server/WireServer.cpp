#include "server/WireServer.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "automation/SafeArray.h"
#include "protocol/PackedTransfer.h"
#include "protocol/TypedCodec.h"
#include "protocol/VariantCodec.h"
#include "protocol/WireNames.h"
#include "protocol/WireSignature.h"
#include "server/ClientFolder.h"
#include "server/Log.h"
#include "server/Reply.h"
#include "server/ServerSocket.h"
#include "server/TypedMethods.h"

namespace vorlix {
namespace {

// "1 client", "2 clients".
std::string Count(size_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

bool Is(const char* value, std::string_view expected) {
  return value && expected == value;
}

// Whether the call names this interface and member; a call without an interface matches any.
bool Calls(sd_bus_message* m, std::string_view interface, std::string_view member) {
  const char* i = sd_bus_message_get_interface(m);
  return (!i || interface == i) && Is(sd_bus_message_get_member(m), member);
}

// The replies below answer 1: the call is answered, even when the peer has gone meanwhile.
template <typename... Values>
int Reply(sd_bus_message* m, const char* types, Values... values) {
  sd_bus_reply_method_return(m, types, values...);
  return 1;
}

int ReplyError(sd_bus_message* m, const char* name, const std::string& text) {
  sd_bus_reply_method_errorf(m, name, "%s", text.c_str());
  return 1;
}

// Answers a call whose arguments do not have the member's signature.
int ReplyWrongSignature(sd_bus_message* m, std::string_view expected) {
  return ReplyError(m, SD_BUS_ERROR_INVALID_ARGS,
                    "arguments of signature \"" + std::string(expected) + "\" expected");
}

int AppendHResult(sd_bus_message* reply, HRESULT hr) {
  return sd_bus_message_append_basic(reply, 'i', &hr);
}

int AppendCodec(sd_bus_message* reply, const Variant& value) {
  const HRESULT hr = AppendVariant(reply, value);
  return hr == S_OK ? 0 : -ENOMEM;
}

// A typed argument read as the Variant of its declared type.
HRESULT ReadArgument(sd_bus_message* m, ParamType type, Variant* value) {
  switch (type) {
    case ParamType::kBstr: {
      Bstr text;
      const HRESULT hr = ReadTyped(m, &text);
      if (hr == S_OK) *value = Variant::Str(std::move(text));
      return hr;
    }
    case ParamType::kBool:
    case ParamType::kShort: {
      int16_t x = 0;
      const HRESULT hr = ReadTyped(m, &x);
      if (hr == S_OK) *value = Variant::Signed(InfoOf(type).varType, x);
      return hr;
    }
    case ParamType::kLong: {
      int32_t x = 0;
      const HRESULT hr = ReadTyped(m, &x);
      if (hr == S_OK) *value = Variant::I4(x);
      return hr;
    }
    case ParamType::kPacked:
      return E_INVALIDARG;  // never an [in] parameter (InterfaceTable.h)
    case ParamType::kVariant:
      break;
  }
  return ReadTyped(m, value);
}

// An out-parameter as its typed wire value; a value of another type (the method did not write
// it) goes as the type's initial value.
int AppendResult(sd_bus_message* reply, ParamType type, const Variant& value) {
  switch (type) {
    case ParamType::kBstr: {
      // The typed form carries UTF-8 only; text that has none goes as far as it can (Invoke
      // carries it exactly).
      const Bstr text = value.vt() == VT_BSTR ? value.AsBstr().UpToNul() : Bstr();
      const Bstr* in = &text;
      return AppendTyped(reply, in);
    }
    case ParamType::kBool:
    case ParamType::kShort:
      return AppendTyped(reply, value.vt() == VT_BOOL || value.vt() == VT_I2
                                    ? static_cast<int16_t>(value.AsSigned())
                                    : int16_t{0});
    case ParamType::kLong:
      return AppendTyped(reply, value.vt() == VT_I4 ? static_cast<int32_t>(value.AsSigned()) : 0);
    case ParamType::kPacked: {
      static const std::vector<uint8_t> kNone;
      return AppendPacked(reply,
                          value.vt() == (VT_ARRAY | VT_UI1) ? value.AsArray().Bytes() : kNone);
    }
    case ParamType::kVariant:
      break;
  }
  return AppendCodec(reply, value);
}

// What a call of the object's own interface answered, for the log.
struct Outcome {
  HRESULT hr = E_INVALIDARG;  // a call refused for its signature answers no HRESULT
  DISPID dispid = DISPID_UNKNOWN;
  // The caller's folder when the call works in it: entered again after each pause.
  const ClientFolder* folder = nullptr;
};

// Enters the caller's folder for a method that may open a file by name. The rest never look at
// the working folder, and are spared entering it.
void EnterFolderFor(const Method* method, const ClientFolder& folder, Outcome* outcome) {
  if (!method || !method->opensFiles) return;
  folder.Enter();
  outcome->folder = &folder;
}

// One line for a call: the object, the member, what it answered and how long it took.
void LogCall(std::string_view path, const Interface& interface, bool typed, const Outcome& outcome,
             std::chrono::steady_clock::time_point start) {
  const Method* method = interface.Find(outcome.dispid);
  std::string member =
      method ? std::string(method->name) : "DISPID " + std::to_string(outcome.dispid);
  if (!typed) member = "Invoke " + member;
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  char ms[32];
  snprintf(ms, sizeof ms, "%.1f ms", took.count());
  Log("call " + std::string(path) + " " + member + ": " + HResultName(outcome.hr) + " in " + ms);
}

int CallTyped(IDispatch& object, const TypedMethod& typed, sd_bus_message* m,
              const ClientFolder& folder, Outcome* outcome) {
  outcome->dispid = typed.method->dispid;
  if (!sd_bus_message_has_signature(m, typed.inSignature.c_str())) {
    return ReplyWrongSignature(m, typed.inSignature);
  }
  const Method& method = *typed.method;
  EnterFolderFor(&method, folder, outcome);
  std::vector<Variant> args;
  HRESULT hr = S_OK;
  for (const Param& p : method.Params()) {
    if (p.kind == ParamKind::kRetval || FAILED(hr)) continue;
    Variant arg;
    if (p.kind == ParamKind::kIn) hr = ReadArgument(m, p.type, &arg);
    args.push_back(std::move(arg));
  }
  Variant result;
  std::vector<Variant> outs;
  uint32_t argErr = 0;
  if (SUCCEEDED(hr)) hr = object.Invoke(method.dispid, 0, args, &result, &outs, &argErr);
  // A packed batch too big for a reply goes in a file of its own: it is kept apart from what
  // the reply's bound counts (a method answers one at most).
  Variant packed;
  size_t at = 0;
  for (const Param& p : method.Params()) {
    if (p.kind != ParamKind::kOut) continue;
    if (p.type == ParamType::kPacked && at < outs.size()) packed = std::move(outs[at]);
    ++at;
  }
  return Respond(m, FitsInReply(result, outs), [&](sd_bus_message* reply, bool failed) {
    outcome->hr = failed ? E_OUTOFMEMORY : hr;
    int r = AppendHResult(reply, outcome->hr);
    size_t out = 0;
    for (const Param& p : method.Params()) {
      if (p.kind == ParamKind::kIn || r < 0) continue;
      const Variant none;
      const Variant& value = failed                         ? none
                             : p.kind == ParamKind::kRetval ? result
                             : p.type == ParamType::kPacked ? packed
                             : out < outs.size()            ? outs[out]
                                                            : none;
      if (p.kind == ParamKind::kOut) ++out;
      r = AppendResult(reply, p.type, value);
    }
    return r;
  });
}

int CallInvoke(IDispatch& object, const CoClass& coClass, sd_bus_message* m,
               const ClientFolder& folder, Outcome* outcome) {
  if (!sd_bus_message_has_signature(m, kInvokeSignature)) {
    return ReplyWrongSignature(m, kInvokeSignature);
  }
  int32_t dispid = 0;
  std::vector<Variant> args;
  HRESULT hr = sd_bus_message_read_basic(m, 'i', &dispid) > 0 &&
                       sd_bus_message_enter_container(m, 'a', kVariantSignature) > 0
                   ? S_OK
                   : E_INVALIDARG;
  outcome->dispid = dispid;
  if (hr == S_OK) {
    const Method* method = nullptr;
    ForEachInterface(coClass, [&](const Interface& i) {
      if (!method) method = i.Find(dispid);
    });
    EnterFolderFor(method, folder, outcome);
  }
  while (hr == S_OK && sd_bus_message_at_end(m, false) == 0) {
    // No method takes more: the rest is not even decoded.
    if (args.size() == kMaxParams) {
      hr = DISP_E_BADPARAMCOUNT;
      break;
    }
    Variant arg;
    hr = ReadVariant(m, &arg);
    args.push_back(std::move(arg));
  }
  Variant result;
  std::vector<Variant> outs;
  uint32_t argErr = 0;
  if (hr == S_OK) hr = object.Invoke(dispid, 0, args, &result, &outs, &argErr);
  return Respond(m, FitsInReply(result, outs), [&](sd_bus_message* reply, bool failed) {
    outcome->hr = failed ? E_OUTOFMEMORY : hr;
    int r = AppendHResult(reply, outcome->hr);
    if (r >= 0) r = AppendCodec(reply, failed ? Variant() : result);
    if (r >= 0) r = sd_bus_message_open_container(reply, 'a', kVariantSignature);
    for (size_t i = 0; !failed && r >= 0 && i < outs.size(); ++i)
      r = AppendCodec(reply, outs[i]);
    if (r >= 0) r = sd_bus_message_close_container(reply);
    const uint32_t position = failed ? 0 : argErr;
    if (r >= 0) r = sd_bus_message_append_basic(reply, 'u', &position);
    return r;
  });
}

int CallGetIDsOfNames(IDispatch& object, sd_bus_message* m) {
  if (!sd_bus_message_has_signature(m, kGetIDsOfNamesSignature)) {
    return ReplyWrongSignature(m, kGetIDsOfNamesSignature);
  }
  // Read one by one: sd-bus's string-vector reader grows its vector a name at a time, which is
  // quadratic in the count.
  if (sd_bus_message_enter_container(m, 'a', "s") <= 0) {
    return ReplyWrongSignature(m, kGetIDsOfNamesSignature);
  }
  std::vector<Bstr> bstrs;
  size_t count = 0;
  HRESULT hr = S_OK;
  for (const char* name = nullptr; sd_bus_message_read_basic(m, 's', &name) > 0; ++count) {
    // A method and its parameters: more names than that cannot all be found, and are not
    // even converted.
    if (count > kMaxParams) {
      hr = DISP_E_UNKNOWNNAME;
      continue;
    }
    std::optional<Bstr> bstr = Bstr::FromUtf8(name);
    if (!bstr) hr = E_INVALIDARG;
    bstrs.push_back(bstr.value_or(Bstr()));
  }
  std::vector<DISPID> dispids(count, DISPID_UNKNOWN);
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
  return Reply(m, "s", xml.c_str());
}

std::optional<Guid> ReadGuid(sd_bus_message* m) {
  const char* text = nullptr;
  if (!sd_bus_message_has_signature(m, "s") || sd_bus_message_read_basic(m, 's', &text) <= 0) {
    return std::nullopt;
  }
  return Guid::Parse(text);
}

}  // namespace

// What a call's steps need, in one allocation: each step captures just a pointer to it, which
// std::function keeps inline where a bigger capture would cost an allocation of its own.
struct WireServer::ObjectCall {
  IDispatch* object;  // a reference of the call's own: the call may outlive the peer's
  const CoClass* coClass;
  sd_bus* bus;  // referenced, as m is: the answer may go out after a pause
  sd_bus_message* m;
  const TypedMethod* method;  // null for Invoke
  std::shared_ptr<const ClientFolder> folder;
  std::weak_ptr<Peer> peer;  // expired once the client has left
  std::string path;
  std::chrono::steady_clock::time_point start;
  Outcome outcome;
};

WireServer::WireServer(CVorlixModule& module)
    : module_(module),
      connectionFactory_(module.Lock()),
      statusFactory_(module.Lock()),
      started_(std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
                   .count()) {}

WireServer::~WireServer() {
  // Calls half done are finished (OnExit did so unless the loop never ran) before the
  // connections that await their answers close.
  if (calls_) calls_->Drain();
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
  if (r >= 0) calls_ = std::make_unique<PausableCalls>(event_);
  if (r >= 0) r = sd_event_add_signal(event_, nullptr, SIGTERM, OnStopSignal, nullptr);
  if (r >= 0) r = sd_event_add_signal(event_, nullptr, SIGINT, OnStopSignal, nullptr);
  if (r >= 0) r = sd_event_add_io(event_, &accept_, listenFd, EPOLLIN, OnAccept, this);
  if (r >= 0) r = sd_event_add_io(event_, nullptr, module_.QuitFd(), EPOLLIN, OnQuit, this);
  if (r >= 0) r = sd_event_add_post(event_, nullptr, OnPost, this);
  // Paused calls are finished while the connections are still open to answer them: each bus
  // flushes and closes in an exit handler of its own, which must come after this one.
  sd_event_source* finish = nullptr;
  if (r >= 0) r = sd_event_add_exit(event_, &finish, OnExit, this);
  if (r >= 0) r = sd_event_source_set_priority(finish, SD_EVENT_PRIORITY_IMPORTANT);
  sd_event_source_set_floating(finish, 1);
  sd_event_source_unref(finish);
  if (r >= 0) r = sd_event_loop(event_);
  return r < 0 ? r : 0;
}

int WireServer::OnExit(sd_event_source*, void* self) {
  static_cast<WireServer*>(self)->calls_->Drain();
  return 0;
}

int WireServer::OnQuit(sd_event_source* source, int, uint32_t, void*) {
  Log("idle, with no object and no lock left: stopping");
  return sd_event_exit(sd_event_source_get_event(source), 0);
}

int WireServer::OnStopSignal(sd_event_source* source, const signalfd_siginfo* signal, void*) {
  Log(std::string("SIG") + sigabbrev_np(static_cast<int>(signal->ssi_signo)) + " from pid " +
      std::to_string(signal->ssi_pid) + ": stopping");
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
    if (errno == EMFILE || errno == ENFILE) {
      Log(std::string("cannot accept a client until one leaves: ") + strerror(errno));
      sd_event_source_set_enabled(source, SD_EVENT_OFF);
    }
    return 0;
  }
  // sd-bus accepts any user id the client claims in EXTERNAL as long as it matches the socket's
  // credentials; who may connect at all is decided here.
  pid_t pid = 0;
  uid_t uid = 0;
  if (!PeerMayConnect(client, &pid, &uid)) {
    Log("refused a connection from uid " + std::to_string(uid) + " (pid " + std::to_string(pid) +
        "): only this user and root are served");
    close(client);
    return 0;
  }
  auto peer = std::make_shared<Peer>();
  peer->server = server;
  peer->pid = pid;
  peer->folder = std::make_shared<const ClientFolder>(pid);
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
    Log("the connection of client pid " + std::to_string(pid) + " failed: " + strerror(-r));
    sd_bus_close_unref(peer->bus);
    return 0;
  }
  Peer* key = peer.get();
  server->peers_.emplace(key, std::move(peer));
  Log("client pid " + std::to_string(pid) + " connected (" +
      Count(server->peers_.size(), "client") + ")");
  return 0;
}

int WireServer::OnMessage(sd_bus_message* m, void* userdata, sd_bus_error*) {
  Peer& peer = *static_cast<Peer*>(userdata);
  if (sd_bus_message_is_signal(m, "org.freedesktop.DBus.Local", "Disconnected")) {
    peer.server->Disconnect(peer);
    return 1;
  }
  // Peer's members (Ping, GetMachineId) are sd-bus's own to answer.
  if (!sd_bus_message_is_method_call(m, nullptr, nullptr) ||
      Is(sd_bus_message_get_interface(m), "org.freedesktop.DBus.Peer")) {
    return 0;
  }
  peer.server->Dispatch(peer, m);
  return 1;
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
  for (auto& [path, waiting] : peer.busy) {
    for (sd_bus_message* m : waiting)
      sd_bus_message_unref(m);
  }
  peer.busy.clear();
}

void WireServer::Disconnect(Peer& peer) {
  Log("client pid " + std::to_string(peer.pid) + " left, releasing " +
      Count(peer.objects.size(), "object") + " it held (" + Count(peers_.size() - 1, "client") +
      ")");
  ReleaseHeld(peer);
  // Nobody awaits their answers: a statement stops at its next check instead of running on.
  PausableCalls::Stop(&peer);
  sd_event_add_defer(event_, nullptr, OnFinishClose, &peer);
}

void WireServer::Dispatch(Peer& peer, sd_bus_message* m) {
  const char* target = sd_bus_message_get_path(m);
  const std::string_view path = target ? target : "";
  if (CallCancel(peer, path, m)) return;
  if (auto busy = peer.busy.find(path); busy != peer.busy.end()) {
    busy->second.push_back(sd_bus_message_ref(m));
    return;
  }
  const bool introspect = Calls(m, "org.freedesktop.DBus.Introspectable", "Introspect");
  if (path == kRootPath) {
    if (introspect ? ReplyIntrospection(m, ActivatorIntrospection())
                   : CallActivator(m) || CallStatus(m)) {
      return;
    }
  } else if (auto held = peer.objects.find(path); held != peer.objects.end()) {
    if (introspect ? ReplyIntrospection(m, InstanceIntrospection(*held->second.coClass))
                   : CallObject(peer, path, held->second, m)) {
      return;
    }
  } else {
    const CoClass* coClass = nullptr;
    for (const CoClass& candidate : kClasses) {
      if (path == ClassObjectPath(candidate)) coClass = &candidate;
    }
    if (!coClass) {
      ReplyError(m, SD_BUS_ERROR_UNKNOWN_OBJECT, "no object " + std::string(path));
      return;
    }
    if (introspect ? ReplyIntrospection(m, ClassObjectIntrospection())
                   : CallClassObject(peer, *coClass, m)) {
      return;
    }
  }
  const char* interface = sd_bus_message_get_interface(m);
  const char* member = sd_bus_message_get_member(m);
  ReplyError(m, SD_BUS_ERROR_UNKNOWN_METHOD,
             std::string("no member ") + (member ? member : "") + " of interface " +
                 (interface ? interface : "(any)") + " at " + std::string(path));
}

void WireServer::StartCall(Peer& peer, std::string_view path, Held& held, sd_bus_message* m,
                           const TypedMethod* method) {
  held.object->AddRef();
  auto busy = peer.busy.try_emplace(std::string(path)).first;
  auto* call = new ObjectCall{held.object,
                              held.coClass,
                              sd_bus_ref(peer.bus),
                              sd_bus_message_ref(m),
                              method,
                              peer.folder,
                              peers_.at(&peer),
                              busy->first,
                              std::chrono::steady_clock::now(),
                              Outcome{}};
  PausableCalls::Call steps;
  steps.object = call->object;
  steps.client = &peer;
  steps.body = [call] {
    call->method
        ? CallTyped(*call->object, *call->method, call->m, *call->folder, &call->outcome)
        : CallInvoke(*call->object, *call->coClass, call->m, *call->folder, &call->outcome);
  };
  // Other clients' calls ran meanwhile, each in its own folder.
  steps.resumed = [call] {
    if (call->outcome.folder) call->folder->Enter();
  };
  // The last step, run exactly once: it owns the call from here.
  steps.finished = [this, call] {
    const std::unique_ptr<ObjectCall> ended(call);
    if (LogCalls()) {
      LogCall(ended->path, *ended->coClass->interface, ended->method != nullptr, ended->outcome,
              ended->start);
    }
    sd_bus_message_unref(ended->m);
    sd_bus_unref(ended->bus);
    ended->object->Release();
    if (auto live = ended->peer.lock()) CallEnded(*live, ended->path);
  };
  calls_->Start(std::move(steps));
}

void WireServer::CallEnded(Peer& peer, std::string_view path) {
  auto busy = peer.busy.find(path);
  if (busy == peer.busy.end()) return;
  std::vector<sd_bus_message*> waiting = std::move(busy->second);
  peer.busy.erase(busy);
  for (size_t i = 0; i < waiting.size(); ++i) {
    if (auto paused = peer.busy.find(path); paused != peer.busy.end()) {
      // One of them paused in turn: the rest wait behind it, still in order.
      paused->second.insert(paused->second.end(), waiting.begin() + i, waiting.end());
      return;
    }
    Dispatch(peer, waiting[i]);
    sd_bus_message_unref(waiting[i]);
  }
}

int WireServer::CallCancel(Peer& peer, std::string_view path, sd_bus_message* m) {
  const char* member = sd_bus_message_get_member(m);
  const bool invoke = Calls(m, kDispatchInterface, "Invoke");
  if (!invoke && !Is(member, "Cancel")) return 0;
  // The object's own connection first: a path is held by one connection only.
  auto found = peer.objects.find(path);
  const Held* held = found != peer.objects.end() ? &found->second : nullptr;
  for (auto other = peers_.begin(); !held && other != peers_.end(); ++other) {
    if (other->second->pid != peer.pid) continue;
    found = other->second->objects.find(path);
    if (found != other->second->objects.end()) held = &found->second;
  }
  if (!held || !held->coClass->extension || !held->coClass->extension->Find(kCancelDispid)) {
    return 0;
  }
  const TypedMethod* typed = nullptr;
  if (invoke) {
    int32_t dispid = 0;
    const bool cancel = sd_bus_message_has_signature(m, kInvokeSignature) &&
                        sd_bus_message_read_basic(m, 'i', &dispid) > 0 && dispid == kCancelDispid;
    sd_bus_message_rewind(m, 1);
    if (!cancel) return 0;
  } else {
    typed = FindTypedMethod(*held->coClass, sd_bus_message_get_interface(m), member);
    if (!typed || typed->method->dispid != kCancelDispid) return 0;
  }
  Outcome outcome;
  const auto start = std::chrono::steady_clock::now();
  // Cancel opens no file: the folder is never entered.
  if (typed) {
    CallTyped(*held->object, *typed, m, *peer.folder, &outcome);
  } else {
    CallInvoke(*held->object, *held->coClass, m, *peer.folder, &outcome);
  }
  if (LogCalls()) LogCall(path, *held->coClass->interface, typed != nullptr, outcome, start);
  return 1;
}

int WireServer::CallActivator(sd_bus_message* m) {
  if (!Calls(m, kActivatorInterface, "GetClassObject")) return 0;
  const std::optional<Guid> clsid = ReadGuid(m);
  if (!clsid) return ReplyError(m, SD_BUS_ERROR_INVALID_ARGS, "a CLSID in braces expected");
  for (const CoClass& coClass : kClasses) {
    if (coClass.clsid == *clsid) {
      return Reply(m, "io", S_OK, ClassObjectPath(coClass).c_str());
    }
  }
  return Reply(m, "io", CLASS_E_CLASSNOTAVAILABLE, "/");
}

int WireServer::CallStatus(sd_bus_message* m) {
  if (!Calls(m, kStatusInterface, "GetStatus")) return 0;
  uint32_t objects = 0, locks = 0;
  std::vector<std::string> databases;
  for (const auto& [key, peer] : peers_) {
    objects += static_cast<uint32_t>(peer->objects.size());
    locks += static_cast<uint32_t>(peer->locks);
    for (const auto& [path, held] : peer->objects) {
      if (held.coClass != &kClasses[0]) continue;
      // The DBConnection class's objects are ConnectionObjects, held as their IDBConnection.
      auto* object = static_cast<ConnectionObject*>(static_cast<IDBConnection*>(held.object));
      const std::string name = object->Connection().OpenDatabaseName();
      if (!name.empty()) databases.push_back(name);
    }
  }
  sd_bus_message* reply = nullptr;
  const uint32_t pid = static_cast<uint32_t>(getpid());
  const uint32_t clients = static_cast<uint32_t>(peers_.size() - 1);  // not the asking one
  int r = sd_bus_message_new_method_return(m, &reply);
  if (r >= 0) r = sd_bus_message_append(reply, "utuuu", pid, started_, clients, objects, locks);
  if (r >= 0) r = sd_bus_message_open_container(reply, 'a', "s");
  for (size_t i = 0; r >= 0 && i < databases.size(); ++i)
    r = sd_bus_message_append_basic(reply, 's', databases[i].c_str());
  if (r >= 0) r = sd_bus_message_close_container(reply);
  if (r >= 0) sd_bus_send(nullptr, reply, nullptr);
  sd_bus_message_unref(reply);
  return 1;
}

int WireServer::CallClassObject(Peer& peer, const CoClass& coClass, sd_bus_message* m) {
  if (Calls(m, kClassFactoryInterface, "LockServer")) {
    int lock = 0;
    if (!sd_bus_message_has_signature(m, "b") || sd_bus_message_read_basic(m, 'b', &lock) <= 0) {
      return ReplyError(m, SD_BUS_ERROR_INVALID_ARGS, "a boolean expected");
    }
    // A connection may only give back locks it took: more would end the server under others.
    if (!lock && peer.locks == 0) return Reply(m, "i", E_FAIL);
    const HRESULT hr = FactoryOf(coClass).LockServer(lock != 0);
    peer.locks += lock ? 1 : -1;
    return Reply(m, "i", hr);
  }
  if (!Calls(m, kClassFactoryInterface, "CreateInstance")) return 0;
  const std::optional<Guid> iid = ReadGuid(m);
  if (!iid) return ReplyError(m, SD_BUS_ERROR_INVALID_ARGS, "an IID in braces expected");
  void* created = nullptr;
  HRESULT hr = FactoryOf(coClass).CreateInstance(nullptr, *iid, &created);
  if (FAILED(hr)) return Reply(m, "io", hr, "/");
  // Every interface of these objects starts with IDispatch's members: hold it as IDispatch.
  IUnknown* unknown = static_cast<IUnknown*>(created);
  void* dispatch = nullptr;
  hr = unknown->QueryInterface(IID_IDispatch, &dispatch);
  unknown->Release();
  if (FAILED(hr)) return Reply(m, "io", hr, "/");
  const std::string path = InstancePath(coClass, nextInstance_++);
  peer.objects.emplace(path, Held{static_cast<IDispatch*>(dispatch), &coClass, 1});
  return Reply(m, "io", S_OK, path.c_str());
}

int WireServer::CallObject(Peer& peer, std::string_view path, Held& held, sd_bus_message* m) {
  IDispatch& object = *held.object;
  // The interface's own methods first: they are what clients call most.
  const TypedMethod* typed =
      FindTypedMethod(*held.coClass, sd_bus_message_get_interface(m), sd_bus_message_get_member(m));
  if (typed || Calls(m, kDispatchInterface, "Invoke")) {
    StartCall(peer, path, held, m, typed);
    return 1;
  }
  if (Calls(m, kUnknownInterface, "AddRef")) {
    ++held.references;
    return Reply(m, "u", object.AddRef());
  }
  if (Calls(m, kUnknownInterface, "Release")) {
    const uint32_t count = object.Release();
    if (--held.references == 0) peer.objects.erase(peer.objects.find(path));
    return Reply(m, "u", count);
  }
  if (Calls(m, kUnknownInterface, "QueryInterface")) {
    const std::optional<Guid> iid = ReadGuid(m);
    if (!iid) return ReplyError(m, SD_BUS_ERROR_INVALID_ARGS, "an IID in braces expected");
    void* found = nullptr;
    const HRESULT hr = object.QueryInterface(*iid, &found);
    // The wire counts references per object, not per interface.
    if (SUCCEEDED(hr)) static_cast<IUnknown*>(found)->Release();
    return Reply(m, "i", hr);
  }
  if (Calls(m, kDispatchInterface, "GetTypeInfoCount")) {
    uint32_t count = 0;
    const HRESULT hr = object.GetTypeInfoCount(&count);
    return Reply(m, "iu", hr, count);
  }
  if (Calls(m, kDispatchInterface, "GetTypeInfo")) {
    uint32_t index = 0, lcid = 0;
    if (!sd_bus_message_has_signature(m, kGetTypeInfoSignature) ||
        sd_bus_message_read(m, kGetTypeInfoSignature, &index, &lcid) <= 0) {
      return ReplyWrongSignature(m, kGetTypeInfoSignature);
    }
    Bstr description;
    const HRESULT hr = object.GetTypeInfo(index, lcid, &description);
    return Reply(m, "is", hr, description.Utf8().c_str());
  }
  if (Calls(m, kDispatchInterface, "GetIDsOfNames")) return CallGetIDsOfNames(object, m);
  return 0;
}

}  // namespace vorlix
