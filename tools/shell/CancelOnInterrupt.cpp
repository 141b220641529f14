#include "tools/shell/CancelOnInterrupt.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <iostream>

#include "client/CancelCall.h"
#include "client/ClientError.h"

namespace vorlix::shell {

CancelOnInterrupt::CancelOnInterrupt(const DispatchProxy& object) : object_(object) {
  // Blocked before the watcher starts, so that it and this thread both leave SIGINT to the
  // signalfd.
  sigset_t interrupt;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  pthread_sigmask(SIG_BLOCK, &interrupt, &previous_);
  signals_ = signalfd(-1, &interrupt, SFD_CLOEXEC);
  done_ = eventfd(0, EFD_CLOEXEC);
  // Without them Ctrl-C is merely held back until the call ends.
  if (signals_ >= 0 && done_ >= 0) watcher_ = std::thread([this] { Watch(); });
}

CancelOnInterrupt::~CancelOnInterrupt() {
  if (watcher_.joinable()) {
    const uint64_t one = 1;
    while (write(done_, &one, sizeof one) < 0 && errno == EINTR) {
    }
    watcher_.join();
  }
  // A Ctrl-C still pending was for the call just ended: unblocked, it would end the shell.
  sigset_t interrupt;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  const timespec now = {};
  while (sigtimedwait(&interrupt, nullptr, &now) == SIGINT) {
  }
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  if (signals_ >= 0) close(signals_);
  if (done_ >= 0) close(done_);
}

void CancelOnInterrupt::Watch() {
  pollfd fds[] = {{signals_, POLLIN, 0}, {done_, POLLIN, 0}};
  while (poll(fds, 2, -1) >= 0 || errno == EINTR) {
    if (fds[1].revents) return;
    if (!fds[0].revents) continue;
    signalfd_siginfo info;
    if (read(signals_, &info, sizeof info) != sizeof info) continue;
    bool cancelled = false;
    if (FAILED(CancelCall(object_, &cancelled))) {
      std::cerr << "vorlix: cannot cancel the call: " << LastClientError() << '\n';
    }
  }
}

}  // namespace vorlix::shell
