// The timeline's machinery and scenes driven frame by frame: time windows,
// scene loops, fades, scrolls and the catch-up step. The frame end is
// replaced by a counter (SceneEndFrame), the clock by the virtual clock.
#include <gtest/gtest.h>

#include <vector>

#include "ShowFixture.h"
#include "engine/core/Timer.h"
#include "show/3d/Mesh.h"
#include "show/Effects2D.h"
#include "show/Timeline.h"

using showtest::ShowScreen;

namespace {

int EndFrames = 0;
uint32_t FrameMs = 0;  // virtual milliseconds each counted frame takes
void CountEndFrame() {
  ++EndFrames;
  ++FrameCount;
  KvAdvanceVirtualClock(FrameMs);
}

// Show time in milliseconds since Timer.Start; the virtual clock starts at
// an arbitrary non-zero point to keep its own origin out of the picture.
constexpr uint32_t ClockOrigin = 5000;
void ShowTimeMs(uint32_t Ms) { KvSetVirtualClock(ClockOrigin + Ms); }

// Every picture 1 x 1 black (keyed draws leave nothing), every object empty
// and drawing nothing, the virtual clock running, frames counted.
class TimelineRig {
 public:
  explicit TimelineRig(int Depth) : Shown(Depth) {
    KvUseVirtualClock(true);
    KvSetVirtualClock(ClockOrigin);
    Timer = new TTimerKv(240);
    Timer->Start();
    for (TBufferKv** P : Pictures()) *P = new TBufferKv(Display, 1, 1, false);
    for (ObjRec* O : {&ObjSphere, &ObjSky, &ObjCrv, &ObjCone, &ObjCropCir, &ObjTW}) *O = ObjRec();
    SceneEndFrame = CountEndFrame;
    EndFrames = 0;
    FrameMs = 0;
    FrameCount = 0;
    TrailsOn = false;
    Movers[0] = Mover();
    Movers[1] = Mover();
    Screen->SetFont("", 32);
  }
  ~TimelineRig() {
    SceneEndFrame = EndFrame;
    for (TBufferKv** P : Pictures()) {
      delete *P;
      *P = nullptr;
    }
    delete Timer;
    Timer = nullptr;
    KvUseVirtualClock(false);
  }
  static std::vector<TBufferKv**> Pictures() {
    return {
#define NERITH_ASSET_Picture(Name, File) &Name,
#include "show/AssetTable.h"
    };
  }
  // Replaces a picture by a W x H one filled with Colour.
  static void Paint(TBufferKv*& Picture, int W, int H, uint32_t Colour) {
    delete Picture;
    Picture = new TBufferKv(Display, W, H, false);
    Picture->Clear(Colour);
  }

 private:
  ShowScreen Shown;
};

// Moves every star far off to the side: each is respawned, none is drawn.
void StarsOffScreen() {
  for (int i = 1; i <= StarCount; ++i) Stars[i] = StarRec{100000.0f, 0.0f, 0.0f};
}

const SceneDef& Scene(int Number) { return Scenes[Number - 1]; }

}  // namespace

TEST(InWindow, ReadingOnABoundaryBelongsToNeitherWindow) {
  TimelineRig Rig(32);
  // 50 x 0.88 = 44 and 0 x 0.88 = 0 are exact, so a reading can sit on them.
  ShowTimeMs(44000);
  EXPECT_FALSE(InWindow(44, 50));
  EXPECT_FALSE(InWindow(50, 66));
  ShowTimeMs(43999);
  EXPECT_TRUE(InWindow(44, 50));
  EXPECT_FALSE(InWindow(50, 66));
  ShowTimeMs(44001);
  EXPECT_FALSE(InWindow(44, 50));
  EXPECT_TRUE(InWindow(50, 66));
  ShowTimeMs(0);
  EXPECT_FALSE(InWindow(0, 44));
  ShowTimeMs(1);
  EXPECT_TRUE(InWindow(0, 44));
  // 293 x 0.88 = 257.84 is not a float: the nearest reading below is inside.
  ShowTimeMs(257840);
  EXPECT_EQ(InWindow(278, 293), 257.84f < 293 * 0.88L);
  ShowTimeMs(257841);
  EXPECT_FALSE(InWindow(278, 293));
}

namespace {
std::vector<uint32_t> ClockScript;
size_t ClockReads = 0;
uint32_t ScriptedClock() {
  const uint32_t V = ClockScript[std::min(ClockReads, ClockScript.size() - 1)];
  ++ClockReads;
  return V;
}
}  // namespace

TEST(InWindow, UpperBoundIsCheckedAgainstASecondReading) {
  KvUseVirtualClock(false);
  ClockScript = {0, 38000, 39000};  // Start, first reading, second reading
  ClockReads = 0;
  KvSetClockSource(ScriptedClock);
  TTimerKv T(240);
  T.Start();
  Timer = &T;
  // 38.00 s lies in 0 .. 38.72 s, but the second reading, 39.00 s, does not.
  EXPECT_FALSE(InWindow(0, 44));
  EXPECT_EQ(ClockReads, 3u);
  // Below the lower bound the clock is read once.
  ClockScript = {0, 1000};
  ClockReads = 0;
  T.Start();
  EXPECT_FALSE(InWindow(2, 3));
  EXPECT_EQ(ClockReads, 2u);
  Timer = nullptr;
  KvSetClockSource(nullptr);
}

TEST(Timeline, SceneWhoseWindowHasPassedAppliesItsSettingsAndDrawsNothing) {
  TimelineRig Rig(32);
  kvtest::FillRandom(*Screen, 3);
  const uint64_t Before = kvtest::Checksum(*Screen);
  TrailsOn = true;
  Movers[1].Value = 77;
  ShowTimeMs(59000);  // scene 3 ended at 58.08 s
  RunScene(Scene(3));
  EXPECT_EQ(EndFrames, 0);
  EXPECT_EQ(CurrentScene, 3);
  EXPECT_FALSE(TrailsOn);
  EXPECT_EQ(ObjSky.Texture, Screen);
  EXPECT_EQ(Movers[1].Value, 0);
  EXPECT_EQ(kvtest::Checksum(*Screen), Before);
}

TEST(Timeline, ReadingOnTheBoundaryOfTwoScenesStartsTheLaterOne) {
  TimelineRig Rig(32);
  StarsOffScreen();
  FrameMs = 40;
  ShowTimeMs(44000);
  RunScene(Scene(2));
  EXPECT_EQ(EndFrames, 0);
  RunScene(Scene(3));
  // Frames at 44.00, 44.04, ... up to the last before 58.08 s.
  EXPECT_EQ(EndFrames, 352);
}

TEST(Timeline, Scene3BlendsTheGradient127TimesThenOnceAtAlphaZero) {
  for (int Depth : {16, 32}) {
    SCOPED_TRACE(Depth);
    TimelineRig Rig(Depth);
    const uint32_t White = PackColor(255, 255, 255);
    const uint32_t Start = PackColor(200, 40, 0);
    TimelineRig::Paint(GradientPic, 1, 1, White);
    Screen->PutPixel(0, 0, Start);
    Scene(3).Settings();

    ShowTimeMs(49000);  // before the fade window (57 x 0.88 = 50.16 s)
    for (int i = 0; i < 3; ++i) {
      StarsOffScreen();
      Scene(3).Frame();
    }
    EXPECT_EQ(Movers[1].Value, 0);
    EXPECT_EQ(kvtest::GetPixel(*Screen, 0, 0), Start);

    ShowTimeMs(52000);
    for (int i = 0; i < 200; ++i) {
      StarsOffScreen();
      Scene(3).Frame();
    }
    uint32_t Expect = Start;
    for (int A = 2; A <= 254; A += 2) Expect = showtest::BlendPixel(White, Expect, uint8_t(A), Depth);
    EXPECT_EQ(Movers[1].Value, 256);
    EXPECT_EQ(kvtest::GetPixel(*Screen, 0, 0), Expect);
    EXPECT_EQ(EndFrames, 203);
  }
}

namespace {
uint32_t PixelAtEndFrame = 0;
void RecordEndFrame() {
  PixelAtEndFrame = kvtest::GetPixel(*Screen, 0, 0);
  CountEndFrame();
}
}  // namespace

TEST(Timeline, Scene6FadePasses256AndMinus1AndBlendsAfterTheFrameEnd) {
  TimelineRig Rig(32);
  const uint32_t White = PackColor(255, 255, 255);
  TimelineRig::Paint(BackdropPic, 1, 1, White);
  SceneEndFrame = RecordEndFrame;
  Scene(6).Settings();
  int Level = 0, Step = 1;
  bool Saw256 = false, SawMinus1 = false;
  for (int Frame = 1; Frame <= 520; ++Frame) {
    Screen->PutPixel(0, 0, 0);
    Scene(6).Frame();
    // The blend comes after EndFrame: the presented frame did not have it.
    ASSERT_EQ(PixelAtEndFrame, 0u) << Frame;
    Level += Step;
    if (Level < 0 || Level > 255) Step = -Step;
    ASSERT_EQ(Movers[1].Value, Level) << Frame;
    const uint32_t Got = kvtest::GetPixel(*Screen, 0, 0);
    if (Level == 256) {
      Saw256 = true;
      EXPECT_EQ(Got, 0u) << "alpha 0 at level 256";
    } else if (Level == -1) {
      SawMinus1 = true;
      EXPECT_EQ(Got, 0xFEFEFEu) << "alpha 255 at level -1";
    } else {
      ASSERT_EQ(Got, showtest::BlendPixel(White, 0, uint8_t(Level), 32)) << Frame;
    }
  }
  EXPECT_TRUE(Saw256);
  EXPECT_TRUE(SawMinus1);
}

TEST(Timeline, GreetingsLastLineReachesY30After725Frames) {
  TimelineRig Rig(32);
  const uint32_t Water = PackColor(0, 0, 90);
  TimelineRig::Paint(WaterPic, 640, 480, Water);
  ShowTimeMs(190000);  // inside scene 12, before its closing fade
  Scene(12).Settings();
  for (int i = 0; i < 725; ++i) Scene(12).Frame();
  EXPECT_EQ(Movers[0].Value + 1020, 30);
  Scene(12).Frame();  // draws the last line at y 30
  int TextRowsBelow = 0, TextRowsInCell = 0;
  for (int Y = 34; Y < 480; ++Y) {
    bool Text = false;
    for (int X = 0; X < 640; ++X) {
      const uint32_t P = kvtest::GetPixel(*Screen, X, Y);
      const bool Panel = X >= 10 && X <= 260 && Y >= 210;
      if (P != Water && !(Panel && P == 0)) Text = true;
    }
    if (Text) (Y < 62 ? TextRowsInCell : TextRowsBelow)++;
  }
  EXPECT_GT(TextRowsInCell, 10);
  EXPECT_EQ(TextRowsBelow, 0);
}

TEST(Timeline, Scene1CatchUpStepBelow14FramesPerSecond) {
  TimelineRig Rig(32);
  StarsOffScreen();
  ShowTimeMs(10000);
  Movers[0] = Mover{460, -1};
  FrameCount = 139;  // 13.9 frames per second: two steps
  Scene(1).Frame();
  EXPECT_EQ(Movers[0].Value, 458);
  FrameCount = 140;  // exactly 14: one step
  Scene(1).Frame();
  EXPECT_EQ(Movers[0].Value, 457);
  // A clock that has not moved says nothing about the rate: one step.
  ShowTimeMs(0);
  FrameCount = 0;
  Scene(1).Frame();
  EXPECT_EQ(Movers[0].Value, 456);
}

TEST(Timeline, Scene2ZoomStopsAtFullSize) {
  TimelineRig Rig(32);
  StarsOffScreen();
  Scene(2).Settings();
  for (int i = 0; i < 89; ++i) Scene(2).Frame();
  EXPECT_EQ(Movers[0].Value, 178);
  for (int i = 0; i < 20; ++i) Scene(2).Frame();
  EXPECT_EQ(Movers[0].Value, 180);
}

// EndFrame's trail blend, one frame at a time: a single lit pixel spreads
// to the neighbour at the offset of the new TrailPos.
TEST(EndFrame, TrailCycleVisitsAllNineOffsets) {
  TimelineRig Rig(32);
  SceneEndFrame = EndFrame;
  TrailsOn = true;
  TrailPos = 0;
  const int Expect[9][2] = {{0, -1}, {1, -1}, {-1, 0}, {0, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}, {-1, -1}};
  for (int k = 0; k < 9; ++k) {
    SCOPED_TRACE(k);
    Screen->Clear(0);
    Screen->PutPixel(320, 240, PackColor(255, 255, 255));
    ShowTimeMs(100000);  // an average rate far under the cap: no waiting
    EndFrame();
    EXPECT_EQ(TrailPos, uint8_t(k == 8 ? 0 : 2 * (k + 1)));
    for (int DY = -1; DY <= 1; ++DY)
      for (int DX = -1; DX <= 1; ++DX) {
        if (DX == 0 && DY == 0) continue;
        const bool Lit = kvtest::GetPixel(*Screen, 320 + DX, 240 + DY) != 0;
        EXPECT_EQ(Lit, DX == Expect[k][0] && DY == Expect[k][1]) << DX << "," << DY;
      }
  }
  // Off: no blend, and the position stays where it was.
  TrailsOn = false;
  Screen->Clear(0);
  Screen->PutPixel(320, 240, PackColor(255, 255, 255));
  EndFrame();
  EXPECT_EQ(TrailPos, 0);
  EXPECT_EQ(kvtest::GetPixel(*Screen, 319, 239), 0u);
}
