// The lock-retry policy and the attempt loop that the record writers run under it.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "connection/LockRetry.h"

namespace vorlix {
namespace {

using std::chrono::milliseconds;

class LockRetryTest : public ::testing::Test {
 protected:
  std::vector<milliseconds> pauses_;
  Sleeper sleep_ = [this](milliseconds pause) { pauses_.push_back(pause); };
};

TEST_F(LockRetryTest, OnlyTheSeventeenLockCodesPauseBetween10And499Ms) {
  for (int32_t code : {3009, 3046, 3158, 3164, 3186, 3187, 3188, 3189, 3202, 3211, 3212, 3218, 3225,
                       3260, 3261, 3262, 3624})
    EXPECT_TRUE(RetryAfterLockError(CDaoException(code, "locked"), sleep_)) << code;
  for (int32_t code : {0, 3000, 3021, 3051, 3259, 3263, 3623, 3625})
    EXPECT_FALSE(RetryAfterLockError(CDaoException(code, "final"), sleep_)) << code;
  ASSERT_EQ(pauses_.size(), 17u);
  for (milliseconds pause : pauses_) {
    EXPECT_GE(pause.count(), 10);
    EXPECT_LT(pause.count(), 500);
  }
}

TEST_F(LockRetryTest, LockFailuresAreRetriedUpToTwentyAttempts) {
  int attempts = 0;
  auto lockedUntil = [&](int free) {
    return [&attempts, free] {
      if (++attempts < free) throw CDaoException(dao_error::kRecordLocked, "locked");
      return true;
    };
  };
  EXPECT_TRUE(RetryOnLock(lockedUntil(4), sleep_));
  EXPECT_EQ(pauses_.size(), 3u);
  attempts = 0;
  EXPECT_FALSE(RetryOnLock(lockedUntil(21), sleep_));
  EXPECT_EQ(attempts, 20);
  EXPECT_EQ(pauses_.size(), 23u);
}

TEST_F(LockRetryTest, OtherFailuresReachTheCallerAtOnce) {
  int attempts = 0;
  EXPECT_THROW(RetryOnLock(
                   [&]() -> bool {
                     ++attempts;
                     throw CDaoException(dao_error::kDuplicateValue, "duplicate");
                   },
                   sleep_),
               CDaoException);
  EXPECT_EQ(attempts, 1);
  EXPECT_TRUE(pauses_.empty());
}

}  // namespace
}  // namespace vorlix
