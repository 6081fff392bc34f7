// The show's frame loop on the virtual clock: the 25 fps cap, trails,
// Escape and the quit message; and the show's random numbers and paths.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "KvTest.h"
#include "engine/core/Platform.h"
#include "engine/platform/headless/HeadlessDevice.h"
#include "engine/platform/headless/HeadlessTestHooks.h"
#include "show/FrameOutput.h"
#include "show/Options.h"
#include "show/RunClock.h"
#include "show/Show.h"

namespace {

class FrameLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    Options = ShowOptions();
    KvUseVirtualClock(true);
    KvSetVirtualClock(100000);
    Display = kvtest::MakeDisplay(32, 64, 48).release();
    Screen = new TBufferKv(Display, 64, 48, false);
    Timer = new TTimerKv(240);
    Timer->Start();
    Input = new TInputKv(Display);
    FrameCount = 0;
    TrailPos = 0;
    TrailsOn = false;
  }
  void TearDown() override {
    delete Input;
    delete Timer;
    delete Screen;
    delete Display;
    Input = nullptr;
    Timer = nullptr;
    Screen = nullptr;
    Display = nullptr;
    KvUseVirtualClock(false);
    KvSetDeviceFactory(nullptr);
  }
  static double Rate() { return double(FrameCount) / double(Timer->Elapsed()); }
};

// A machine that draws in no time: the cap holds every frame back until the
// average is down to 25 per second, and no longer than that.
TEST_F(FrameLoop, FastMachineIsCappedAtTwentyFiveOnAverage) {
  KvAdvanceVirtualClock(1);  // an elapsed time of 0 is no reason to wait
  for (int i = 0; i < 300; ++i) {
    const uint32_t Before = FrameCount;
    EndFrame();
    ASSERT_EQ(FrameCount, Before + 1);
    // Waited for: FrameCount - 1 frames at most 25 per elapsed second.
    ASSERT_LE(double(FrameCount - 1) / double(Timer->Elapsed()), 25.0) << "frame " << FrameCount;
  }
  // Never more than a millisecond of oversleep per frame slot.
  EXPECT_LE(Timer->Elapsed(), 299.0f / 25.0f + 0.002f);
  EXPECT_LE(Rate(), 25.0 * 300.0 / 299.0);
}

TEST_F(FrameLoop, SlowMachineNeverWaits) {
  for (int i = 0; i < 100; ++i) {
    KvAdvanceVirtualClock(100);  // a 10 fps machine
    const uint32_t Before = KvMilliseconds();
    EndFrame();
    ASSERT_EQ(KvMilliseconds(), Before) << "EndFrame waited at frame " << FrameCount;
  }
  EXPECT_EQ(FrameCount, 100u);
}

TEST_F(FrameLoop, AfterASlowStretchFramesRunUncappedUntilTheAverageCatchesUp) {
  KvAdvanceVirtualClock(5000);  // five seconds of loading, no frame counted
  // The first 126 frames find (FrameCount) / 5 s <= 25 and go at once.
  for (int i = 0; i < 126; ++i) {
    const uint32_t Before = KvMilliseconds();
    EndFrame();
    ASSERT_EQ(KvMilliseconds(), Before) << "frame " << FrameCount;
  }
  // Frame 127 is the first held back: 126 frames in 5 s is above 25.
  const uint32_t Before = KvMilliseconds();
  EndFrame();
  EXPECT_GE(KvMilliseconds() - Before, 40u);
  EXPECT_LE(Rate() * (FrameCount - 1) / FrameCount, 25.0);
}

TEST_F(FrameLoop, TrailsBlendTheFrameOntoItself) {
  KvAdvanceVirtualClock(100);
  TrailsOn = true;
  TrailPos = 16;  // the next blend uses (-1, -1)
  Screen->Clear(0);
  Screen->Rows[20][30 * 4 + 2] = 0xFF;  // one red pixel at (30, 20)
  const uint64_t Before = kvtest::Checksum(*Screen);
  EndFrame();
  EXPECT_EQ(TrailPos, 0);
  EXPECT_NE(kvtest::Checksum(*Screen), Before);
  // Blended one pixel up and left: (29, 19) picked some red up.
  EXPECT_GT(Screen->Rows[19][29 * 4 + 2], 0);
}

TEST_F(FrameLoop, PresentsEveryFrame) {
  KvAdvanceVirtualClock(100);
  Screen->Clear(0x00112233);
  EndFrame();
  EXPECT_EQ(KvHeadlessPresentCount(*Display->DirectDraw), 1u);
  KvFrameCopy Frame;
  ASSERT_TRUE(KvHeadlessLastFrame(*Display->DirectDraw, &Frame));
  EXPECT_EQ(Frame.Pixels[0], 0x33);
  EXPECT_EQ(Frame.Pixels[2], 0x11);
}

TEST_F(FrameLoop, EscapeEndsTheShowWithStatusZero) {
  KvAdvanceVirtualClock(100);
  EndFrame();  // not pressed: the frame returns
  KvHeadlessSetKey(*Display->DirectDraw, 1, true);
  EXPECT_EXIT(EndFrame(), ::testing::ExitedWithCode(0), "");
}

TEST_F(FrameLoop, QuitMessageEndsTheShowAtTheFrameThatReachesIt) {
  KvAdvanceVirtualClock(100);
  KvHeadlessPostMessage(*Display->DirectDraw, KvMessage{KvMessageKind::Other, 1});
  KvHeadlessPostMessage(*Display->DirectDraw, KvMessage{KvMessageKind::Other, 2});
  Display->DirectDraw->PostQuit();
  EXPECT_EXIT(
      {
        for (int i = 1; i <= 5; ++i) {
          EndFrame();
          std::fprintf(stderr, "[returned %d]", i);
        }
      },
      ::testing::ExitedWithCode(0), "^\\[returned 1\\]\\[returned 2\\]$");
}

TEST(Random, SeededSequencesRepeatAndStayInRange) {
  SeedRandom(42);
  std::vector<int32_t> First;
  for (int i = 0; i < 100; ++i) First.push_back(Random(1000));
  SeedRandom(42);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(Random(1000), First[size_t(i)]);
  SeedRandom(43);
  int Same = 0;
  for (int i = 0; i < 100; ++i) Same += Random(1000) == First[size_t(i)];
  EXPECT_LT(Same, 10);
  for (uint32_t Seed : {0u, 1u, 0xFFFFFFFFu}) {
    SeedRandom(Seed);
    for (int i = 0; i < 1000; ++i) {
      const int32_t R = Random(7);
      ASSERT_GE(R, 0);
      ASSERT_LT(R, 7);
    }
    const int32_t Big = Random(0x7FFFFFFF);
    EXPECT_GE(Big, 0);
  }
  EXPECT_EQ(Random(1), 0);
  EXPECT_EQ(Random(0), 0);
  EXPECT_EQ(Random(-5), 0);
}

// Chi-square over 10 cells: with 100,000 draws a fair generator stays far
// below 27.9 (p = 0.001, 9 degrees of freedom).
TEST(Random, UniformOverTheRange) {
  SeedRandom(2001);
  int Cells[10] = {};
  const int Draws = 100000;
  for (int i = 0; i < Draws; ++i) ++Cells[Random(10)];
  double Chi = 0;
  for (int C : Cells) Chi += (C - Draws / 10.0) * (C - Draws / 10.0) / (Draws / 10.0);
  EXPECT_LT(Chi, 27.9);
  // With a range of 3 x 2^29, plain modulo would give the values below
  // 2^32 - 2 x range three chances against two for the rest: the lower half
  // of the range would come up 56.25 % of the time instead of 50 %.
  SeedRandom(7);
  const int32_t Range = 0x60000000;
  int Low = 0;
  for (int i = 0; i < Draws; ++i) Low += Random(Range) < Range / 2;
  EXPECT_NEAR(Low, Draws / 2, 1500);
}

TEST(AssetPaths, BackslashesBecomeSlashesUnderTheRoot) {
  SetAssetRoot("");
  EXPECT_EQ(AssetPath("GFX\\nerith.png"), "GFX/nerith.png");
  SetAssetRoot("/opt/nerith");
  EXPECT_EQ(AssetPath("ASC\\sky.asc"), "/opt/nerith/ASC/sky.asc");
  SetAssetRoot("/opt/nerith/");
  EXPECT_EQ(AssetPath("SND\\Nerith.mp3"), "/opt/nerith/SND/Nerith.mp3");
  SetAssetRoot("");
}

}  // namespace

// A live run with --start 0.4 s: frames 1 .. 9 (drawn at 40 .. 360 ms on the
// virtual clock) are shown to nobody and do not wait; frame 10, the landing,
// is drawn at exactly 400 ms on the virtual clock too (the offline run's
// frame) and presented; then the live clock takes over from 400 ms.
TEST(FrameLoopStart, CatchesUpUnseenThenGoesOnLive) {
  Options = ShowOptions();
  Options.Headless = true;
  Options.StartMs = 400;
  PrepareRunClock();
  ASSERT_TRUE(CatchingUp());
  Display = kvtest::MakeDisplay(32, 64, 48).release();
  Screen = new TBufferKv(Display, 64, 48, false);
  Timer = new TTimerKv(240);
  Timer->Start();
  FrameCount = 0;
  OpenFrameOutputs();
  BeginRunClock();
  KvDevice& Device = *Display->DirectDraw;
  for (uint32_t Frame = 1; Frame <= 9; ++Frame) {
    ASSERT_EQ(ShowTimeMs(), 40 * Frame);
    EndFrame();
    EXPECT_EQ(KvHeadlessPresentCount(Device), 0u) << Frame;
  }
  EXPECT_TRUE(CatchingUp());
  ASSERT_EQ(ShowTimeMs(), 400u);
  EndFrame();
  EXPECT_EQ(KvHeadlessPresentCount(Device), 1u);
  EXPECT_FALSE(CatchingUp());
  EXPECT_FALSE(KvVirtualClockActive());
  const uint32_t Live = ShowTimeMs();
  EXPECT_GE(Live, 400u);
  EXPECT_LT(Live, 400u + 200u);  // the clock went on from 400 ms, not from its own zero
  CloseFrameOutputs(false);
  delete Timer;
  delete Screen;
  delete Display;
  Timer = nullptr;
  Screen = nullptr;
  Display = nullptr;
  KvSetClockSource(nullptr);
  KvSetDeviceFactory(nullptr);
}

// A live run paused: the show clock stands still (so the cap lets no frame
// through to catch up later) and goes on from the same reading; Escape still
// ends a paused show. An offline run has no real time to stop.
TEST(FrameLoopPause, ShowClockStandsStillAndGoesOnFromWhereItStood) {
  Options = ShowOptions();
  PrepareRunClock();
  Timer = new TTimerKv(240);
  Timer->Start();
  KvSleep(30);
  PauseShow(true);
  ASSERT_TRUE(ShowPaused());
  const uint32_t Stood = ShowTimeMs();
  EXPECT_GE(Stood, 30u);
  KvSleep(150);
  EXPECT_EQ(ShowTimeMs(), Stood);
  PauseShow(false);
  EXPECT_FALSE(ShowPaused());
  KvSleep(20);
  const uint32_t After = ShowTimeMs();
  EXPECT_GE(After, Stood + 20);
  EXPECT_LT(After, Stood + 120);  // not the 150 ms spent paused
  delete Timer;
  Timer = nullptr;
  KvSetClockSource(nullptr);

  Options.Offline = true;
  PrepareRunClock();
  PauseShow(true);
  EXPECT_FALSE(ShowPaused());
  KvUseVirtualClock(false);
}

// A paused show's frame does not end until the show plays on; Escape,
// pressed meanwhile, ends it.
TEST(FrameLoopPauseDeathTest, PausedFrameWaitsAndEscapeEndsIt) {
  EXPECT_EXIT(
      {
        Options = ShowOptions();
        PrepareRunClock();
        Display = kvtest::MakeDisplay(32, 64, 48).release();
        Screen = new TBufferKv(Display, 64, 48, false);
        Timer = new TTimerKv(240);
        Timer->Start();
        Input = new TInputKv(Display);
        OpenFrameOutputs();
        PauseShow(true);
        std::thread Viewer([] {
          std::this_thread::sleep_for(std::chrono::milliseconds(200));
          KvHeadlessSetKey(*Display->DirectDraw, 1, true);
        });
        Viewer.detach();
        EndFrame();
        std::exit(3);  // a paused frame that returned
      },
      ::testing::ExitedWithCode(0), "");
}
