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
    // What the call acts on and whom it serves: Stop finds it by either.
    const void* object = nullptr;
    const void* client = nullptr;
  };

  // One instance at a time serves the process's loop.
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

  // For long work of a call, now and then: once the call has run for a slice since it last
  // started or resumed, lets the loop serve what is waiting and resumes it. True when the call
  // has been asked to stop, or the server is ending (Drain); then it does not pause. Outside
  // the server's loop it does nothing and answers false.
  static bool Yield();

  // Asks every call under way whose object or client is tag to stop: their next Yield answers
  // true. Answers whether there was one.
  static bool Stop(const void* tag);

 private:
  struct Fiber;

  // The call running now, if any.
  static Fiber* running_;
  // The instance serving the loop, for Stop.
  static PausableCalls* serving_;

  static void Enter();
  static int OnTimer(sd_event_source* source, uint64_t usec, void* fiber);
  // Switches to fiber until it pauses or ends; an ended fiber's finished runs, and its stack is
  // kept for the next call.
  void Resume(Fiber* fiber);
  // Returns fiber's call to the loop until its timer fires after usec; false, without
  // pausing, when no timer can be had.
  bool Suspend(Fiber& fiber, uint64_t usec);

  sd_event* event_;
  bool draining_ = false;
  // Paused calls and kept stacks (those whose call has ended).
  std::vector<std::unique_ptr<Fiber>> fibers_;
};

}  // namespace vorlix
