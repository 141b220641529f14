#include "server/WireServer.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <type_traits>
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

constexpr char kPeerInterface[] = "org.freedesktop.DBus.Peer";

constexpr char kUnknownObject[] = "org.freedesktop.DBus.Error.UnknownObject";
constexpr char kUnknownMethod[] = "org.freedesktop.DBus.Error.UnknownMethod";
constexpr char kInvalidArgs[] = "org.freedesktop.DBus.Error.InvalidArgs";
constexpr char kFailed[] = "org.freedesktop.DBus.Error.Failed";

// Whether the call names this interface and member; a call without an interface matches any.
bool Calls(const ReceivedCall& m, std::string_view interface, std::string_view member) {
  return (m->interface.empty() || m->interface == interface) && m->member == member;
}

// The replies below answer 1: the call is answered, even when the peer has gone meanwhile.
// Each goes through the connection's outbox, behind any reply still waiting there. values are
// numbers for the types' number letters, C strings for s and o.
template <typename... Values>
int Reply(const ReceivedCall& m, const char* types, Values... values) {
  return Respond(m, types, [&](WireWriter& reply, bool) {
    int r = 0;
    size_t i = 0;
    [[maybe_unused]] const auto put = [&](auto value) {
      const char type = types[i++];
      if (r < 0) return;
      if constexpr (std::is_pointer_v<decltype(value)>) {
        r = reply.Basic(type, value);
      } else {
        static_assert(sizeof value == 4, "a 32-bit number");
        r = reply.Basic(type, &value);
      }
    };
    (put(values), ...);
    return r;
  });
}

// Answers a call whose arguments do not have the member's signature.
int ReplyWrongSignature(const ReceivedCall& m, std::string_view expected) {
  return RespondError(m, kInvalidArgs,
                      "arguments of signature \"" + std::string(expected) + "\" expected");
}

// A reader of the call's arguments.
WireReader Arguments(const ReceivedCall& m) {
  return WireReader(m->Body(), m->signature, m->bigEndian);
}

int AppendHResult(WireWriter& reply, HRESULT hr) {
  return reply.Basic('i', &hr);
}

// value, its arrays packed for a client that asked.
int AppendCodec(WireWriter& reply, const Variant& value, bool pack) {
  const HRESULT hr = pack ? AppendVariantPacked(reply, value) : AppendVariant(reply, value);
  return hr == S_OK ? 0 : -ENOMEM;
}

// A typed argument read as the Variant of its declared type.
HRESULT ReadArgument(WireReader& m, ParamType type, Variant* value) {
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
int AppendResult(WireWriter& reply, ParamType type, const Variant& value, bool pack) {
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
  return AppendCodec(reply, value, pack);
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

int CallTyped(IDispatch& object, const TypedMethod& typed, const ReceivedCall& m,
              const ClientFolder& folder, Outcome* outcome) {
  outcome->dispid = typed.method->dispid;
  if (m->signature != typed.inSignature) return ReplyWrongSignature(m, typed.inSignature);
  const Method& method = *typed.method;
  EnterFolderFor(&method, folder, outcome);
  WireReader in = Arguments(m);
  std::vector<Variant> args;
  HRESULT hr = S_OK;
  for (const Param& p : method.Params()) {
    if (p.kind == ParamKind::kRetval || FAILED(hr)) continue;
    Variant arg;
    if (p.kind == ParamKind::kIn) hr = ReadArgument(in, p.type, &arg);
    args.push_back(std::move(arg));
  }
  Variant result;
  std::vector<Variant> outs;
  uint32_t argErr = 0;
  if (SUCCEEDED(hr)) hr = object.Invoke(method.dispid, 0, args, &result, &outs, &argErr);
  return Respond(m, typed.outSignature.c_str(), [&](WireWriter& reply, bool failed) {
    outcome->hr = failed ? E_OUTOFMEMORY : hr;
    int r = AppendHResult(reply, outcome->hr);
    size_t out = 0;
    for (const Param& p : method.Params()) {
      if (p.kind == ParamKind::kIn || r < 0) continue;
      const Variant none;
      const Variant& value = failed                         ? none
                             : p.kind == ParamKind::kRetval ? result
                             : out < outs.size()            ? outs[out]
                                                            : none;
      if (p.kind == ParamKind::kOut) ++out;
      r = AppendResult(reply, p.type, value, m.outbox->PacksArrays());
    }
    return r;
  });
}

int CallInvoke(IDispatch& object, const CoClass& coClass, const ReceivedCall& m,
               const ClientFolder& folder, Outcome* outcome) {
  if (m->signature != kInvokeSignature) return ReplyWrongSignature(m, kInvokeSignature);
  WireReader in = Arguments(m);
  int32_t dispid = 0;
  std::vector<Variant> args;
  HRESULT hr =
      in.Basic('i', &dispid) > 0 && in.Enter('a', kVariantSignature) > 0 ? S_OK : E_INVALIDARG;
  outcome->dispid = dispid;
  if (hr == S_OK) {
    const Method* method = nullptr;
    ForEachInterface(coClass, [&](const Interface& i) {
      if (!method) method = i.Find(dispid);
    });
    EnterFolderFor(method, folder, outcome);
  }
  while (hr == S_OK && in.AtEnd() == 0) {
    // No method takes more: the rest is not even decoded.
    if (args.size() == kMaxParams) {
      hr = DISP_E_BADPARAMCOUNT;
      break;
    }
    Variant arg;
    hr = ReadVariant(in, &arg);
    args.push_back(std::move(arg));
  }
  Variant result;
  std::vector<Variant> outs;
  uint32_t argErr = 0;
  if (hr == S_OK) hr = object.Invoke(dispid, 0, args, &result, &outs, &argErr);
  return Respond(m, kInvokeReplySignature, [&](WireWriter& reply, bool failed) {
    outcome->hr = failed ? E_OUTOFMEMORY : hr;
    int r = AppendHResult(reply, outcome->hr);
    const bool pack = m.outbox->PacksArrays();
    if (r >= 0) r = AppendCodec(reply, failed ? Variant() : result, pack);
    if (r >= 0) r = reply.Open('a', kVariantSignature);
    for (size_t i = 0; !failed && r >= 0 && i < outs.size(); ++i)
      r = AppendCodec(reply, outs[i], pack);
    if (r >= 0) r = reply.Close();
    const uint32_t position = failed ? 0 : argErr;
    if (r >= 0) r = reply.Basic('u', &position);
    return r;
  });
}

int CallGetIDsOfNames(IDispatch& object, const ReceivedCall& m) {
  if (m->signature != kGetIDsOfNamesSignature) {
    return ReplyWrongSignature(m, kGetIDsOfNamesSignature);
  }
  WireReader in = Arguments(m);
  if (in.Enter('a', "s") <= 0) return ReplyWrongSignature(m, kGetIDsOfNamesSignature);
  std::vector<Bstr> bstrs;
  size_t count = 0;
  HRESULT hr = S_OK;
  int r;
  for (const char* name = nullptr; (r = in.Basic('s', &name)) > 0; ++count) {
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
  if (r < 0) return ReplyWrongSignature(m, kGetIDsOfNamesSignature);
  std::vector<DISPID> dispids(count, DISPID_UNKNOWN);
  if (hr == S_OK) hr = object.GetIDsOfNames(bstrs, 0, &dispids);
  return Respond(m, "iai", [&](WireWriter& reply, bool) {
    int r = AppendHResult(reply, hr);
    if (r >= 0) r = reply.Array('i', dispids.data(), dispids.size() * sizeof(DISPID));
    return r;
  });
}

// Answers a member of org.freedesktop.DBus.Peer.
void CallPeer(const ReceivedCall& m) {
  if (Calls(m, kPeerInterface, "Ping")) {
    Reply(m, "");
    return;
  }
  if (Calls(m, kPeerInterface, "GetMachineId")) {
    sd_id128_t id;
    char text[SD_ID128_STRING_MAX];
    if (sd_id128_get_machine(&id) < 0) {
      RespondError(m, kFailed, "this machine has no id");
      return;
    }
    Reply(m, "s", sd_id128_to_string(id, text));
    return;
  }
  RespondError(m, kUnknownMethod, "no member " + std::string(m->member) + " of " + kPeerInterface);
}

int ReplyIntrospection(const ReceivedCall& m, const std::string& xml) {
  return Reply(m, "s", xml.c_str());
}

std::optional<Guid> ReadGuid(const ReceivedCall& m) {
  WireReader in = Arguments(m);
  const char* text = nullptr;
  if (m->signature != "s" || in.Basic('s', &text) <= 0) return std::nullopt;
  return Guid::Parse(text);
}

}  // namespace

// What a call's steps need, in one allocation: each step captures just a pointer to it, which
// std::function keeps inline where a bigger capture would cost an allocation of its own.
struct WireServer::ObjectCall {
  IDispatch* object;  // a reference of the call's own: the call may outlive the peer's
  const CoClass* coClass;
  ReceivedCall m;             // with its outbox: the answer may go out after a pause
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
  for (auto& [key, peer] : peers_)
    ReleaseHeld(*peer);
  peers_.clear();
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
  // Paused calls are finished while the connections are still open to answer them.
  if (r >= 0) r = sd_event_add_exit(event_, nullptr, OnExit, this);
  if (r >= 0) r = sd_event_loop(event_);
  return r < 0 ? r : 0;
}

int WireServer::OnExit(sd_event_source*, void* self) {
  auto* server = static_cast<WireServer*>(self);
  server->calls_->Drain();
  // A client that stopped reading gets no more of the server's last moments than this.
  constexpr int kFlushWithinMs = 5000;
  for (auto& [key, peer] : server->peers_)
    peer->outbox->Flush(kFlushWithinMs);
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
  // Who may connect at all is decided here; the handshake then checks that the client names
  // the user its socket says it is.
  pid_t pid = 0;
  uid_t uid = 0;
  if (!PeerMayConnect(client, &pid, &uid)) {
    Log("refused a connection from uid " + std::to_string(uid) + " (pid " + std::to_string(pid) +
        "): only this user and root are served");
    close(client);
    return 0;
  }
  auto peer = std::make_shared<Peer>();
  Peer* key = peer.get();
  peer->server = server;
  peer->pid = pid;
  peer->folder = std::make_shared<const ClientFolder>(pid);
  peer->outbox = std::make_shared<Outbox>(client, server->event_);
  peer->inbox = std::make_unique<Inbox>(
      client, uid, server->event_, *peer->outbox,
      [key](std::unique_ptr<const WireMessage> m) { key->server->OnMessage(*key, std::move(m)); },
      [key](const std::string& why) { key->server->Disconnect(*key, why); });
  if (const int r = peer->inbox->Start(); r < 0) {
    Log("the connection of client pid " + std::to_string(pid) + " failed: " + strerror(-r));
    return 0;
  }
  server->peers_.emplace(key, std::move(peer));
  Log("client pid " + std::to_string(pid) + " connected (" +
      Count(server->peers_.size(), "client") + ")");
  return 0;
}

void WireServer::OnMessage(Peer& peer, std::unique_ptr<const WireMessage> message) {
  // Replies and signals from a client ask for nothing; types still to come are ignored.
  if (message->type != MessageType::kMethodCall) return;
  ReceivedCall m{std::move(message), peer.outbox};
  if (m->interface == kPeerInterface) {
    CallPeer(m);
    return;
  }
  Dispatch(peer, std::move(m));
}

int WireServer::OnFinishClose(sd_event_source* source, void* userdata) {
  auto* peer = static_cast<Peer*>(userdata);
  WireServer* server = peer->server;
  sd_event_source_unref(source);
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
  peer.busy.clear();
}

void WireServer::Disconnect(Peer& peer, const std::string& why) {
  const std::string count = Count(peer.objects.size(), "object") + " it held (" +
                            Count(peers_.size() - 1, "client") + ")";
  if (why.empty()) {
    Log("client pid " + std::to_string(peer.pid) + " left, releasing " + count);
  } else {
    Log("closed the connection of client pid " + std::to_string(peer.pid) + ": " + why +
        "; releasing " + count);
  }
  ReleaseHeld(peer);
  // Nobody awaits their answers: a statement stops at its next check instead of running on.
  PausableCalls::Stop(&peer);
  sd_event_add_defer(event_, nullptr, OnFinishClose, &peer);
}

void WireServer::Dispatch(Peer& peer, ReceivedCall m) {
  const std::string_view path = m->path;
  if (CallCancel(peer, path, m)) return;
  if (auto busy = peer.busy.find(path); busy != peer.busy.end()) {
    busy->second.push_back(std::move(m));
    return;
  }
  const bool introspect = Calls(m, "org.freedesktop.DBus.Introspectable", "Introspect");
  if (path == kRootPath) {
    if (introspect ? ReplyIntrospection(m, ActivatorIntrospection())
                   : CallActivator(m) || CallStatus(m) || CallWireOptions(m)) {
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
      RespondError(m, kUnknownObject, "no object " + std::string(path));
      return;
    }
    if (introspect ? ReplyIntrospection(m, ClassObjectIntrospection())
                   : CallClassObject(peer, *coClass, m)) {
      return;
    }
  }
  RespondError(m, kUnknownMethod,
               "no member " + std::string(m->member) + " of interface " +
                   (m->interface.empty() ? std::string("(any)") : std::string(m->interface)) +
                   " at " + std::string(path));
}

void WireServer::StartCall(Peer& peer, std::string_view path, Held& held, ReceivedCall m,
                           const TypedMethod* method) {
  held.object->AddRef();
  auto busy = peer.busy.try_emplace(std::string(path)).first;
  auto* call =
      new ObjectCall{held.object, held.coClass,     std::move(m), method,
                     peer.folder, peers_.at(&peer), busy->first,  std::chrono::steady_clock::now(),
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
    ended->object->Release();
    if (auto live = ended->peer.lock()) CallEnded(*live, ended->path);
  };
  calls_->Start(std::move(steps));
}

void WireServer::CallEnded(Peer& peer, std::string_view path) {
  auto busy = peer.busy.find(path);
  if (busy == peer.busy.end()) return;
  std::vector<ReceivedCall> waiting = std::move(busy->second);
  peer.busy.erase(busy);
  for (size_t i = 0; i < waiting.size(); ++i) {
    if (auto paused = peer.busy.find(path); paused != peer.busy.end()) {
      // One of them paused in turn: the rest wait behind it, still in order.
      paused->second.insert(paused->second.end(), std::make_move_iterator(waiting.begin() + i),
                            std::make_move_iterator(waiting.end()));
      return;
    }
    Dispatch(peer, std::move(waiting[i]));
  }
}

int WireServer::CallCancel(Peer& peer, std::string_view path, const ReceivedCall& m) {
  const bool invoke = Calls(m, kDispatchInterface, "Invoke");
  if (!invoke && m->member != "Cancel") return 0;
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
    WireReader in = Arguments(m);
    int32_t dispid = 0;
    const bool cancel =
        m->signature == kInvokeSignature && in.Basic('i', &dispid) > 0 && dispid == kCancelDispid;
    if (!cancel) return 0;
  } else {
    typed = FindTypedMethod(*held->coClass, m->interface, m->member);
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

int WireServer::CallActivator(const ReceivedCall& m) {
  if (!Calls(m, kActivatorInterface, "GetClassObject")) return 0;
  const std::optional<Guid> clsid = ReadGuid(m);
  if (!clsid) return RespondError(m, kInvalidArgs, "a CLSID in braces expected");
  for (const CoClass& coClass : kClasses) {
    if (coClass.clsid == *clsid) {
      return Reply(m, "io", S_OK, ClassObjectPath(coClass).c_str());
    }
  }
  return Reply(m, "io", CLASS_E_CLASSNOTAVAILABLE, "/");
}

int WireServer::CallWireOptions(const ReceivedCall& m) {
  if (!Calls(m, kWireOptionsInterface, kPackArrays)) return 0;
  m.outbox->SetPacksArrays();
  return Reply(m, "");
}

int WireServer::CallStatus(const ReceivedCall& m) {
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
  const uint32_t pid = static_cast<uint32_t>(getpid());
  const uint32_t clients = static_cast<uint32_t>(peers_.size() - 1);  // not the asking one
  return Respond(m, kStatusSignature, [&](WireWriter& reply, bool) {
    int r = reply.Basic('u', &pid);
    if (r >= 0) r = reply.Basic('t', &started_);
    for (const uint32_t count : {clients, objects, locks}) {
      if (r >= 0) r = reply.Basic('u', &count);
    }
    if (r >= 0) r = reply.Open('a', "s");
    for (size_t i = 0; r >= 0 && i < databases.size(); ++i)
      r = reply.Basic('s', databases[i].c_str());
    if (r >= 0) r = reply.Close();
    return r;
  });
}

int WireServer::CallClassObject(Peer& peer, const CoClass& coClass, const ReceivedCall& m) {
  if (Calls(m, kClassFactoryInterface, "LockServer")) {
    WireReader in = Arguments(m);
    int lock = 0;
    if (m->signature != "b" || in.Basic('b', &lock) <= 0) {
      return RespondError(m, kInvalidArgs, "a boolean expected");
    }
    // A connection may only give back locks it took: more would end the server under others.
    if (!lock && peer.locks == 0) return Reply(m, "i", E_FAIL);
    const HRESULT hr = FactoryOf(coClass).LockServer(lock != 0);
    peer.locks += lock ? 1 : -1;
    return Reply(m, "i", hr);
  }
  if (!Calls(m, kClassFactoryInterface, "CreateInstance")) return 0;
  const std::optional<Guid> iid = ReadGuid(m);
  if (!iid) return RespondError(m, kInvalidArgs, "an IID in braces expected");
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

int WireServer::CallObject(Peer& peer, std::string_view path, Held& held, ReceivedCall& m) {
  IDispatch& object = *held.object;
  // The interface's own methods first: they are what clients call most.
  const TypedMethod* typed = FindTypedMethod(*held.coClass, m->interface, m->member);
  if (typed || Calls(m, kDispatchInterface, "Invoke")) {
    StartCall(peer, path, held, std::move(m), typed);
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
    if (!iid) return RespondError(m, kInvalidArgs, "an IID in braces expected");
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
    WireReader in = Arguments(m);
    uint32_t index = 0, lcid = 0;
    if (m->signature != kGetTypeInfoSignature || in.Basic('u', &index) <= 0 ||
        in.Basic('u', &lcid) <= 0) {
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
