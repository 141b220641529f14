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

TEST_F(LockRetryTest, OnlyLockFailuresAreRetriedAndAtMostTwentyTimes) {
  int attempts = 0;
  auto failingUntil = [&](int attempt, int32_t code) {
    return [&attempts, attempt, code] {
      if (++attempts < attempt) throw CDaoException(code, "failed");
      return true;
    };
  };
  EXPECT_TRUE(RetryOnLock(failingUntil(4, dao_error::kRecordLocked), sleep_));
  EXPECT_EQ(pauses_.size(), 3u);
  attempts = 0;
  EXPECT_FALSE(RetryOnLock(failingUntil(21, dao_error::kTableInUse), sleep_));
  EXPECT_EQ(attempts, 20);
  EXPECT_EQ(pauses_.size(), 23u);
  attempts = 0;
  EXPECT_THROW(RetryOnLock(failingUntil(2, dao_error::kDuplicateValue), sleep_), CDaoException);
  EXPECT_EQ(attempts, 1);
  EXPECT_EQ(pauses_.size(), 23u);
}

}  // namespace
}  // namespace vorlix
