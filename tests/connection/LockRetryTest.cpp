// The lock-retry policy. The attempt loop that the record writers run under it is tested with
// them, against a real lock (tests/records).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
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

// The pauses are (rand() mod 490) + 10 ms of a generator nobody seeds: C's rand() then runs as
// from srand(1), and in the C library here begins 1804289383, 846930886, 1681692777 ...
TEST_F(LockRetryTest, PausesFollowTheUnseededGenerator) {
  std::srand(1);
  for (int i = 0; i < 10; ++i)
    RetryAfterLockError(CDaoException(3260, "locked"), sleep_);
  const std::vector<milliseconds> expected = {
      milliseconds(123), milliseconds(196), milliseconds(47), milliseconds(15),  milliseconds(333),
      milliseconds(265), milliseconds(426), milliseconds(82), milliseconds(459), milliseconds(321)};
  EXPECT_EQ(pauses_, expected);
}

}  // namespace
}  // namespace vorlix
