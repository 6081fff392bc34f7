// TTimerKv over the virtual clock and a custom clock source.
#include <gtest/gtest.h>

#include "engine/core/Timer.h"

namespace {

class VirtualClock : public ::testing::Test {
 protected:
  void SetUp() override {
    KvUseVirtualClock(true);
    KvSetVirtualClock(5000);
  }
  void TearDown() override {
    KvUseVirtualClock(false);
    KvSetClockSource(nullptr);
  }
};

TEST_F(VirtualClock, UnitsAndFreshTimer) {
  TTimerKv Seconds(240), Millis(241), Other(7);
  EXPECT_EQ(Seconds.Elapsed(), 0.0f);  // before the first Start
  Seconds.Start();
  Millis.Start();
  Other.Start();
  EXPECT_EQ(Seconds.Elapsed(), 0.0f);
  KvAdvanceVirtualClock(1500);
  EXPECT_EQ(Millis.Elapsed(), 1500.0f);
  EXPECT_EQ(Seconds.Elapsed(), 1.5f);
  EXPECT_EQ(Other.Elapsed(), 1.5f);  // any other code means seconds
  KvAdvanceVirtualClock(1);
  // 1.501 s as the nearest float, from the exact quotient.
  EXPECT_EQ(Seconds.Elapsed(), static_cast<float>(1501.0L / 1000.0L));
}

TEST_F(VirtualClock, StopFreezesAndStartRestarts) {
  TTimerKv T(240);
  T.Start();
  KvAdvanceVirtualClock(250);
  T.Stop();
  KvAdvanceVirtualClock(10000);
  EXPECT_EQ(T.Elapsed(), 0.25f);
  EXPECT_EQ(T.Elapsed(), 0.25f);
  EXPECT_FALSE(T.Running);
  T.Start();
  EXPECT_EQ(T.Elapsed(), 0.0f);
  KvAdvanceVirtualClock(40);
  EXPECT_EQ(T.Elapsed(), 0.04f);
}

TEST_F(VirtualClock, NilTimerIsHarmless) {
  TimerStart(nullptr);
  TimerStop(nullptr);
  EXPECT_EQ(TimerElapsed(nullptr), 0.0f);
}

TEST_F(VirtualClock, SleepAdvancesTheVirtualClock) {
  const uint32_t Before = KvMilliseconds();
  KvSleep(17);
  EXPECT_EQ(KvMilliseconds(), Before + 17);
}

uint32_t CustomNow = 0;
uint32_t CustomClock() { return CustomNow; }

TEST(TimerWrap, CountsAcrossTheTwoToTheThirtySecondWrap) {
  KvUseVirtualClock(false);
  KvSetClockSource(CustomClock);
  CustomNow = 0xFFFFFF00u;  // 256 ms before the wrap
  TTimerKv T(241);
  T.Start();
  CustomNow += 200;
  EXPECT_EQ(T.Elapsed(), 200.0f);
  CustomNow += 100;  // wraps past 0
  EXPECT_LT(CustomNow, 0x100u);
  EXPECT_EQ(T.Elapsed(), 300.0f);
  CustomNow += 5000;
  EXPECT_EQ(T.Elapsed(), 5300.0f);
  T.Stop();
  CustomNow += 100;
  EXPECT_EQ(T.Elapsed(), 5300.0f);
  KvSetClockSource(nullptr);
}

TEST(TimerReal, MonotonicClockMovesForward) {
  KvUseVirtualClock(false);
  KvSetClockSource(nullptr);
  TTimerKv T(241);
  T.Start();
  KvSleep(20);
  const float E = T.Elapsed();
  EXPECT_GE(E, 19.0f);  // sleeping never returns early by more than the clock's tick
}

}  // namespace
