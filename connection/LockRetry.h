// The lock-retry policy of the record writers: an engine failure that says another user holds
// a lock is worth a short pause and another attempt; any other failure is final.
#pragma once

#include <chrono>
#include <functional>

#include "engine/DaoException.h"

namespace vorlix {

// Pauses the calling thread. The connection takes one so that tests can see the pause asked
// for without waiting.
using Sleeper = std::function<void(std::chrono::milliseconds)>;

// The real pause.
void SleepFor(std::chrono::milliseconds pause);

// Attempts a record writer makes in one call: the first and up to 19 repetitions.
inline constexpr int kLockAttempts = 20;

// For a failure with one of the seventeen lock codes, sleeps (rand() mod 490) + 10 ms through
// sleep and answers true; for any other code answers false without sleeping. The generator is
// never seeded, so a server's pauses follow rand()'s default sequence. Records nothing.
bool RetryAfterLockError(const CDaoException& failure, const Sleeper& sleep);

// Runs attempt until it returns, at most kLockAttempts times, pausing through the policy after
// each lock failure. Returns attempt's result, or false when every attempt ended in a lock
// failure (nothing recorded). Any other engine failure propagates, for the caller's capture.
template <typename Attempt>
bool RetryOnLock(Attempt attempt, const Sleeper& sleep) {
  for (int i = 0; i < kLockAttempts; ++i) {
    try {
      return attempt();
    } catch (const CDaoException& failure) {
      if (!RetryAfterLockError(failure, sleep)) throw;
    }
  }
  return false;
}

}  // namespace vorlix
