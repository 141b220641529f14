// CVorlixModule: the server process's module. It keeps the lock count that holds the process
// alive, and the idle monitor that ends it once the count has stayed 0 for the idle time-out.
// The monitor ends the process only by posting the quit message: it makes QuitFd() readable,
// and the event loop on the main thread, which watches that fd, then stops.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "server/ModuleLock.h"

namespace vorlix {

class CVorlixModule {
 public:
  struct Timing {
    std::chrono::milliseconds idleTimeout{5000};
    // Wait after the class objects are revoked, so clients that raced the shutdown see it.
    std::chrono::milliseconds pause{1000};
  };

  // Throws std::system_error when the quit fd cannot be made. The default timing is the
  // server's: 5000 ms idle time-out, 1000 ms pause.
  CVorlixModule();
  explicit CVorlixModule(Timing timing);
  // Stops the monitor thread if it runs.
  ~CVorlixModule();
  CVorlixModule(const CVorlixModule&) = delete;
  CVorlixModule& operator=(const CVorlixModule&) = delete;

  // The count every object and LockServer lock holds; dropping to 0 starts an idle period.
  ModuleLock& Lock() { return lock_; }

  // Starts the monitor. A process that never receives an object ends after one idle time-out
  // too, so the first idle period starts here: a client that dies before creating an object
  // leaves no server behind.
  void StartMonitor();

  // Readable once the quit message is posted; the event loop watches it.
  int QuitFd() const { return quitFd_; }
  void PostQuit();

  // Sleeps for the pause.
  void Pause() const;

 private:
  void Idle();
  void Signal();
  // Waits for the shutdown event, at most timeout (forever when it is zero); true when it came.
  bool WaitEvent(std::chrono::milliseconds timeout);
  void Monitor();

  const Timing timing_;
  ModuleLock lock_;
  int quitFd_ = -1;

  // The shutdown event: auto-reset, so each wait consumes one signal.
  std::mutex mutex_;
  std::condition_variable changed_;
  bool signalled_ = false;
  bool activity_ = false;
  bool stopping_ = false;
  std::thread monitor_;
};

}  // namespace vorlix
