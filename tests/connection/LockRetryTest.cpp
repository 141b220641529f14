// The lock-retry policy. The attempt loop that the record writers run under it is tested with
// them, against a real lock (tests/records).
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

}  // namespace
}  // namespace vorlix
