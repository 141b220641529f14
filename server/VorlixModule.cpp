#include "server/VorlixModule.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace vorlix {

CVorlixModule::CVorlixModule() : CVorlixModule(Timing{}) {}

CVorlixModule::CVorlixModule(Timing timing)
    : timing_(timing), lock_([this] { Idle(); }), quitFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (quitFd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

CVorlixModule::~CVorlixModule() {
  {
    std::lock_guard guard(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (monitor_.joinable()) monitor_.join();
  close(quitFd_);
}

void CVorlixModule::StartMonitor() {
  monitor_ = std::thread([this] { Monitor(); });
  Signal();
}

void CVorlixModule::PostQuit() {
  const uint64_t one = 1;
  // The counter cannot overflow from a handful of posts; a failed write would mean a closed fd.
  [[maybe_unused]] const ssize_t written = write(quitFd_, &one, sizeof one);
}

void CVorlixModule::Pause() const {
  std::this_thread::sleep_for(timing_.pause);
}

void CVorlixModule::Idle() {
  {
    std::lock_guard guard(mutex_);
    activity_ = true;
  }
  Signal();
}

void CVorlixModule::Signal() {
  {
    std::lock_guard guard(mutex_);
    signalled_ = true;
  }
  changed_.notify_all();
}

bool CVorlixModule::WaitEvent(std::chrono::milliseconds timeout) {
  std::unique_lock guard(mutex_);
  auto ready = [this] { return signalled_ || stopping_; };
  if (timeout.count() == 0) {
    changed_.wait(guard, ready);
  } else if (!changed_.wait_for(guard, timeout, ready)) {
    return false;
  }
  const bool came = signalled_;
  signalled_ = false;
  return came;
}

void CVorlixModule::Monitor() {
  for (;;) {
    if (!WaitEvent(std::chrono::milliseconds(0))) return;  // stopping
    bool signalled;
    do {
      {
        std::lock_guard guard(mutex_);
        if (stopping_) return;
        activity_ = false;
      }
      signalled = WaitEvent(timing_.idleTimeout);
    } while (signalled);
    std::lock_guard guard(mutex_);
    if (stopping_) return;
    if (!activity_ && lock_.Count() == 0) break;
  }
  PostQuit();
}

}  // namespace vorlix
