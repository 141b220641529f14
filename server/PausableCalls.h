// PausableCalls: runs calls on stacks of their own, so that a call may pause (the record
// writers' wait between lock-retry attempts) without holding up the event loop. A pause arms a
// timer of the loop and returns to it; the timer resumes the call where it paused. Every other
// client is served meanwhile; ordering calls behind a paused one is the caller's business.
//
// Everything runs on the loop's thread: a call never runs concurrently with anything else.
#pragma once

#include <systemd/sd-event.h>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace vorlix {

class PausableCalls {
 public:
  struct Call {
    std::function<void()> body;
    // Runs on the call's stack each time it resumes after a pause, before the body goes on.
    std::function<void()> resumed;
    // Runs on the loop's stack once the body has returned.
    std::function<void()> finished;
  };

  explicit PausableCalls(sd_event* event);
  // Finishes every paused call first (Drain).
  ~PausableCalls();
  PausableCalls(const PausableCalls&) = delete;
  PausableCalls& operator=(const PausableCalls&) = delete;

  // Runs call.body at once, on a stack of its own, up to its end or its first pause. When no
  // stack can be had it runs on the caller's, where a pause sleeps.
  void Start(Call call);

  // Resumes every paused call and lets each run to its end with no further pause: for a
  // shutdown, which must not abandon a call half done.
  void Drain();

  // For the code of a call: pauses it for the given time when it runs under Start, and sleeps
  // the thread otherwise (a call made outside the server's loop).
  static void Pause(std::chrono::milliseconds pause);

 private:
  struct Fiber;

  // The call running now, if any.
  static Fiber* running_;

  static void Enter();
  static int OnTimer(sd_event_source* source, uint64_t usec, void* fiber);
  // Switches to fiber until it pauses or ends; an ended fiber's finished runs, and its stack is
  // kept for the next call.
  void Resume(Fiber* fiber);

  sd_event* event_;
  bool draining_ = false;
  // Paused calls and kept stacks (those whose call has ended).
  std::vector<std::unique_ptr<Fiber>> fibers_;
};

}  // namespace vorlix
