// ModuleLock: the server's lock count, the number of live objects plus LockServer locks. The
// server stays up while it is above 0.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

namespace vorlix {

class ModuleLock {
 public:
  // idle, when given, runs on the unlocking thread each time the count drops to 0.
  explicit ModuleLock(std::function<void()> idle = {}) : idle_(std::move(idle)) {}

  // Each returns the new count. Class objects may be called from any thread.
  int32_t Lock() { return ++count_; }
  int32_t Unlock() {
    const int32_t count = --count_;
    if (count == 0 && idle_) idle_();
    return count;
  }
  int32_t Count() const { return count_; }

 private:
  std::atomic<int32_t> count_{0};
  std::function<void()> idle_;
};

}  // namespace vorlix
