// ModuleLock: the server's lock count, the number of live objects plus LockServer locks. The
// server stays up while it is above 0.
#pragma once

#include <atomic>
#include <cstdint>

namespace vorlix {

class ModuleLock {
 public:
  // Each returns the new count. Class objects may be called from any thread.
  int32_t Lock() { return ++count_; }
  int32_t Unlock() { return --count_; }
  int32_t Count() const { return count_; }

 private:
  std::atomic<int32_t> count_{0};
};

}  // namespace vorlix
