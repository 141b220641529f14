// Ctrl-C during a call at the terminal: while a CancelOnInterrupt lives, SIGINT no longer ends
// the shell but asks the server to stop the call running on the object (client/CancelCall.h),
// whose statement then fails and is reported as any failure is. A thread of its own takes the
// signal, since the thread that waits on the call cannot make another meanwhile.
#pragma once

#include <signal.h>

#include <thread>

#include "client/DispatchProxy.h"

namespace vorlix::shell {

class CancelOnInterrupt {
 public:
  explicit CancelOnInterrupt(const DispatchProxy& object);
  // SIGINT's earlier effect returns; a Ctrl-C that came after the call is dropped.
  ~CancelOnInterrupt();
  CancelOnInterrupt(const CancelOnInterrupt&) = delete;
  CancelOnInterrupt& operator=(const CancelOnInterrupt&) = delete;

 private:
  // Waits for SIGINT or the end, cancelling at each Ctrl-C.
  void Watch();

  const DispatchProxy& object_;
  sigset_t previous_;  // the thread's signal mask before
  int signals_ = -1;   // a signalfd for SIGINT
  int done_ = -1;      // an eventfd written at the end
  std::thread watcher_;
};

}  // namespace vorlix::shell
