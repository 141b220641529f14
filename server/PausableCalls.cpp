#include "server/PausableCalls.h"

#include <sys/mman.h>
#include <unistd.h>

#include <thread>

#include "server/StackSwitch.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

namespace vorlix {
namespace {

// Reserved, not committed: only the pages a call touches are ever backed. The engine and
// SQLite run on it, with AddressSanitizer's larger frames in the debug build.
constexpr size_t kStackSize = size_t{8} << 20;
// Stacks kept for later calls; a burst of paused calls beyond this gives its stacks back.
constexpr size_t kIdleStacks = 4;
// How long a call runs before Yield lets others have the loop: short enough that other
// clients hardly notice, long enough that switching costs nothing worth counting.
constexpr std::chrono::milliseconds kSlice{25};

// AddressSanitizer must be told of every switch between stacks, or it takes the other stack's
// frames for overflows.
#if defined(__SANITIZE_ADDRESS__)
void StartSwitch(void** fake, const void* bottom, size_t size) {
  __sanitizer_start_switch_fiber(fake, bottom, size);
}
void FinishSwitch(void* fake, const void** bottom, size_t* size) {
  __sanitizer_finish_switch_fiber(fake, bottom, size);
}
#else
void StartSwitch(void**, const void*, size_t) {}
void FinishSwitch(void*, const void**, size_t*) {}
#endif

// The loop's stack, as the sanitizer last saw it when a call took over.
const void* loopBottom = nullptr;
size_t loopSize = 0;

}  // namespace

struct PausableCalls::Fiber {
  explicit Fiber(PausableCalls* owner) : owner(owner) {}
  ~Fiber() {
    sd_event_source_unref(timer);
    if (memory != MAP_FAILED) munmap(memory, kStackSize);
  }

  PausableCalls* owner;
  void* memory = MAP_FAILED;  // the stack, its lowest page a guard
  StackPoint context;         // the call's, while it is paused
  StackPoint loop;            // the loop's, while the call runs
  void* fake = nullptr;       // the sanitizer's state of the call's stack
  sd_event_source* timer = nullptr;
  Call call;
  bool ended = false;
  bool stopped = false;                         // Stop asked for it
  std::chrono::steady_clock::time_point since;  // when it last started or resumed
};

PausableCalls::Fiber* PausableCalls::running_ = nullptr;
PausableCalls* PausableCalls::serving_ = nullptr;

PausableCalls::PausableCalls(sd_event* event) : event_(sd_event_ref(event)) {
  serving_ = this;
}

PausableCalls::~PausableCalls() {
  Drain();
  fibers_.clear();
  sd_event_unref(event_);
  serving_ = nullptr;
}

void PausableCalls::Start(Call call) {
  Fiber* fiber = nullptr;
  for (auto& candidate : fibers_) {
    if (candidate->ended) fiber = candidate.get();
  }
  if (!fiber) {
    auto made = std::make_unique<Fiber>(this);
    made->memory = mmap(nullptr, kStackSize, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
    if (made->memory == MAP_FAILED) {
      // Served all the same, on this stack, where a pause sleeps.
      call.body();
      if (call.finished) call.finished();
      return;
    }
    // A call that overflows its stack faults at once instead of writing over other memory.
    mprotect(made->memory, static_cast<size_t>(sysconf(_SC_PAGESIZE)), PROT_NONE);
    // A new stack starts at Enter; a kept one goes on in Enter's loop, where its last call
    // ended.
    PrepareStack(&made->context, made->memory, kStackSize, Enter);
    fiber = made.get();
    fibers_.push_back(std::move(made));
  }
  fiber->call = std::move(call);
  fiber->ended = false;
  fiber->stopped = false;
  Resume(fiber);
}

void PausableCalls::Enter() {
  // One call a turn, on the same stack: a call started on a kept stack costs a single switch
  // there and one back, where a fresh stack would cost preparing it too.
  for (;;) {
    Fiber* fiber = running_;
    FinishSwitch(fiber->fake, &loopBottom, &loopSize);
    // The body is a server call, which answers its client itself and lets nothing escape; were
    // anything to escape, unwinding off the top of this stack would end the process.
    try {
      fiber->call.body();
    } catch (...) {
    }
    fiber->ended = true;
    StartSwitch(&fiber->fake, loopBottom, loopSize);
    SwitchStack(&fiber->context, &fiber->loop);
  }
}

void PausableCalls::Resume(Fiber* fiber) {
  Fiber* const outer = running_;
  running_ = fiber;
  fiber->since = std::chrono::steady_clock::now();
  void* fake = nullptr;
  StartSwitch(&fake, fiber->memory, kStackSize);
  SwitchStack(&fiber->loop, &fiber->context);
  FinishSwitch(fake, nullptr, nullptr);
  running_ = outer;
  if (!fiber->ended) return;
  Call done = std::move(fiber->call);
  fiber->call = Call();
  // Stacks beyond the few kept are given back once their call ends.
  size_t idle = 0;
  for (auto it = fibers_.begin(); it != fibers_.end();) {
    if ((*it)->ended && ++idle > kIdleStacks) {
      it = fibers_.erase(it);
    } else {
      ++it;
    }
  }
  if (done.finished) done.finished();
}

void PausableCalls::Drain() {
  draining_ = true;
  for (bool again = true; again;) {
    again = false;
    for (auto& fiber : fibers_) {
      if (fiber->ended || fiber.get() == running_) continue;
      sd_event_source_set_enabled(fiber->timer, SD_EVENT_OFF);
      Resume(fiber.get());
      // Resume may have given stacks back: start over.
      again = true;
      break;
    }
  }
}

int PausableCalls::OnTimer(sd_event_source*, uint64_t, void* userdata) {
  auto* fiber = static_cast<Fiber*>(userdata);
  fiber->owner->Resume(fiber);
  return 0;
}

void PausableCalls::Pause(std::chrono::milliseconds pause) {
  Fiber* fiber = running_;
  if (!fiber) {
    std::this_thread::sleep_for(pause);
    return;
  }
  if (fiber->owner->draining_) return;
  // No timer to be had: the pause still happens, though it holds up the loop.
  if (!fiber->owner->Suspend(*fiber, static_cast<uint64_t>(pause.count()) * 1000)) {
    std::this_thread::sleep_for(pause);
  }
}

bool PausableCalls::Yield() {
  Fiber* fiber = running_;
  if (!fiber) return false;
  if (fiber->stopped || fiber->owner->draining_) return true;
  if (std::chrono::steady_clock::now() - fiber->since >= kSlice) fiber->owner->Suspend(*fiber, 0);
  return fiber->stopped;
}

bool PausableCalls::Stop(const void* tag) {
  if (!serving_) return false;
  bool found = false;
  for (auto& fiber : serving_->fibers_) {
    if (fiber->ended || (fiber->call.object != tag && fiber->call.client != tag)) continue;
    fiber->stopped = true;
    found = true;
  }
  return found;
}

bool PausableCalls::Suspend(Fiber& fiber, uint64_t usec) {
  // A pause of no length is a yield: resumed as soon as the loop has served what waits, not
  // within sd-event's default window for coalescing timers (a quarter second).
  const uint64_t accuracy = usec == 0 ? 1 : 0;
  int r;
  if (fiber.timer) {
    r = sd_event_source_set_time_relative(fiber.timer, usec);
    if (r >= 0) r = sd_event_source_set_time_accuracy(fiber.timer, accuracy);
    if (r >= 0) r = sd_event_source_set_enabled(fiber.timer, SD_EVENT_ONESHOT);
  } else {
    r = sd_event_add_time_relative(event_, &fiber.timer, CLOCK_MONOTONIC, usec, accuracy, OnTimer,
                                   &fiber);
  }
  if (r < 0) return false;
  StartSwitch(&fiber.fake, loopBottom, loopSize);
  SwitchStack(&fiber.context, &fiber.loop);
  FinishSwitch(fiber.fake, &loopBottom, &loopSize);
  if (fiber.call.resumed) fiber.call.resumed();
  return true;
}

}  // namespace vorlix
