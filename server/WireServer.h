// WireServer: serves the objects of the interface table over the wire, each accepted client's
// connection read by its inbox and written by its outbox, all on one event loop on the main
// thread, so objects are never entered concurrently.
//
// Objects belong to the connection that created them: only it can reach them, and when it
// closes every reference and LockServer lock it still holds is released and the calls it left
// running are stopped. The one exception is Cancel, which any connection of the same client
// process may call, and which is answered at once instead of queueing behind the call it
// stops. Instance paths ("/Vorlix/DBConnection/<n>") are never reused within the process.
#pragma once

#include <systemd/sd-event.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "automation/Dispatch.h"
#include "protocol/InterfaceTable.h"
#include "server/ClassFactory.h"
#include "server/ClientFolder.h"
#include "server/ConnectionObject.h"
#include "server/DaoStatus.h"
#include "server/Inbox.h"
#include "server/Outbox.h"
#include "server/PausableCalls.h"
#include "server/Reply.h"
#include "server/TypedMethods.h"
#include "server/VorlixModule.h"

namespace vorlix {

class WireServer {
 public:
  explicit WireServer(CVorlixModule& module);
  ~WireServer();
  WireServer(const WireServer&) = delete;
  WireServer& operator=(const WireServer&) = delete;

  // Accepts clients on listenFd (non-blocking, listening) until the module posts the quit
  // message or SIGTERM or SIGINT arrives, then closes every connection, releasing what they
  // held. 0, or a negative errno when the loop cannot be set up. The process must have blocked
  // SIGTERM and SIGINT in every thread (BlockStopSignals) for the loop to receive them.
  static void BlockStopSignals();
  int Run(int listenFd);

 private:
  struct Held {
    IDispatch* object;
    const CoClass* coClass;
    uint32_t references;  // the connection's references, each one of object's
  };
  struct Peer {
    WireServer* server = nullptr;
    pid_t pid = 0;  // the client's process
    // Its working folder, for the calls that open files; shared with calls that outlive it.
    std::shared_ptr<const ClientFolder> folder;
    // Keyed by path; found by a call's path without copying it.
    std::map<std::string, Held, std::less<>> objects;
    int32_t locks = 0;
    // Every reply to this client goes through it, in order; shared with calls that outlive the
    // peer, whose answers are then lost with the connection.
    std::shared_ptr<Outbox> outbox;
    std::unique_ptr<Inbox> inbox;
    // Objects with a call under way (paused, or running now), each with the calls that came
    // for it meanwhile: they are taken in order once the call ends.
    std::map<std::string, std::vector<ReceivedCall>, std::less<>> busy;
  };
  // A call of an object's own interface, from its start to its end (StartCall).
  struct ObjectCall;

  static int OnAccept(sd_event_source* source, int fd, uint32_t events, void* self);
  static int OnQuit(sd_event_source* source, int fd, uint32_t events, void* self);
  static int OnStopSignal(sd_event_source* source, const signalfd_siginfo* signal, void*);
  static int OnExit(sd_event_source* source, void* self);
  void OnMessage(Peer& peer, std::unique_ptr<const WireMessage> message);
  static int OnFinishClose(sd_event_source* source, void* peer);

  // Answers the call, or queues it behind the call under way on its object.
  void Dispatch(Peer& peer, ReceivedCall m);
  // These return 0 when the member is not theirs, and otherwise answer the call.
  int CallActivator(const ReceivedCall& m);
  int CallStatus(const ReceivedCall& m);
  int CallWireOptions(const ReceivedCall& m);
  int CallClassObject(Peer& peer, const CoClass& coClass, const ReceivedCall& m);
  // May take m over, for a call that runs once its turn comes.
  int CallObject(Peer& peer, std::string_view path, Held& held, ReceivedCall& m);
  // Answers a Cancel of an object of peer's process at once, on the loop's stack; 0 when m is
  // no such call.
  int CallCancel(Peer& peer, std::string_view path, const ReceivedCall& m);
  // Runs a call of the object's own interface as a pausable call; it answers when it ends.
  void StartCall(Peer& peer, std::string_view path, Held& held, ReceivedCall m,
                 const TypedMethod* method);
  // Once the call on path has ended: the calls queued behind it, in order.
  void CallEnded(Peer& peer, std::string_view path);
  // Releases everything peer holds; why is empty when the client left of itself. The
  // connection itself goes at the next loop iteration, outside its own callbacks.
  void Disconnect(Peer& peer, const std::string& why);
  void ReleaseHeld(Peer& peer);

  // The class object of a class of the table.
  IClassFactory& FactoryOf(const CoClass& coClass);

  CVorlixModule& module_;
  ClassFactory<ConnectionObject> connectionFactory_;
  ClassFactory<CDaoStatus> statusFactory_;
  sd_event* event_ = nullptr;
  sd_event_source* accept_ = nullptr;  // the listening socket's source
  std::unique_ptr<PausableCalls> calls_;
  // Shared with the pausable calls of each peer, which outlive a peer that goes mid-call.
  std::map<Peer*, std::shared_ptr<Peer>> peers_;
  uint64_t nextInstance_ = 1;
  const uint64_t started_;  // microseconds since 1970, UTC
};

}  // namespace vorlix
