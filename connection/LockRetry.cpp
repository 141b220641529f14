#include "connection/LockRetry.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <thread>

namespace vorlix {
namespace {

// The failure codes that mean a lock held by another user, or a file or table in use. Our
// engine raises 3260 and 3262; the others are kept so that the policy stays the same for any
// engine numbered alike.
constexpr std::array<int32_t, 17> kLockCodes = {3009, 3046, 3158, 3164, 3186, 3187,
                                                3188, 3189, 3202, 3211, 3212, 3218,
                                                3225, 3260, 3261, 3262, 3624};

}  // namespace

void SleepFor(std::chrono::milliseconds pause) {
  std::this_thread::sleep_for(pause);
}

bool RetryAfterLockError(const CDaoException& failure, const Sleeper& sleep) {
  if (std::find(kLockCodes.begin(), kLockCodes.end(), failure.Code()) == kLockCodes.end()) {
    return false;
  }
  sleep(std::chrono::milliseconds(std::rand() % 490 + 10));
  return true;
}

}  // namespace vorlix
