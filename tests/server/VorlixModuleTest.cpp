// The module's idle monitor with short time-outs: it posts the quit message only after the lock
// count has stayed 0 for a whole idle period.
#include <gtest/gtest.h>
#include <poll.h>

#include "server/VorlixModule.h"

namespace vorlix {
namespace {

using namespace std::chrono_literals;

constexpr CVorlixModule::Timing kShort{50ms, 0ms};

// Whether the quit message arrives within the wait.
bool QuitWithin(const CVorlixModule& module, std::chrono::milliseconds wait) {
  pollfd fd{module.QuitFd(), POLLIN, 0};
  return poll(&fd, 1, static_cast<int>(wait.count())) == 1;
}

TEST(VorlixModuleTest, ServerThatNeverGetsAnObjectEnds) {
  CVorlixModule module(kShort);
  module.StartMonitor();
  EXPECT_TRUE(QuitWithin(module, 5s));
}

TEST(VorlixModuleTest, HeldLockKeepsTheServerUntilReleased) {
  CVorlixModule module(kShort);
  module.Lock().Lock();
  module.StartMonitor();
  EXPECT_FALSE(QuitWithin(module, 300ms));
  EXPECT_EQ(module.Lock().Unlock(), 0);
  EXPECT_TRUE(QuitWithin(module, 5s));
}

TEST(VorlixModuleTest, ObjectCreatedInsideTheIdlePeriodKeepsTheServer) {
  CVorlixModule module({300ms, 0ms});
  module.StartMonitor();
  module.Lock().Lock();
  EXPECT_FALSE(QuitWithin(module, 600ms));
  module.Lock().Unlock();
  EXPECT_TRUE(QuitWithin(module, 5s));
}

TEST(VorlixModuleTest, ModuleWithoutMonitorNeverQuitsByItself) {
  CVorlixModule module(kShort);
  module.Lock().Lock();
  module.Lock().Unlock();
  EXPECT_FALSE(QuitWithin(module, 200ms));
  module.PostQuit();
  EXPECT_TRUE(QuitWithin(module, 0ms));
}

}  // namespace
}  // namespace vorlix
