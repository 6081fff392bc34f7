// Starfield and sprite swarm: projection, rounding, respawns, colours and
// the order of the random draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "ShowFixture.h"
#include "show/3d/Object3D.h"
#include "show/Effects2D.h"

using showtest::ShowScreen;

namespace {

// The show's starfield call.
void ShowStarfield() { Starfield(Screen, 0, 0, 640, 480, 200, 1, 2, 2); }

// Every star at X 288, Y 0, Z 0: projected to x 640, inside the window test
// but outside the buffer, so it draws nothing and draws no random numbers.
void ParkAllStars() {
  for (int i = 1; i <= StarCount; ++i) Stars[i] = StarRec{288.0f, 0.0f, 0.0f};
}

}  // namespace

TEST(Starfield, StarAt100IsDrawnAt431_240InItsFarColourAtEveryDepth) {
  for (int Depth : showtest::Depths) {
    SCOPED_TRACE(Depth);
    ShowScreen S(Depth);
    for (int i = 1; i <= StarCount; ++i) Stars[i] = StarRec{100.0f, 0.0f, 0.0f};
    ShowStarfield();
    EXPECT_EQ(kvtest::GetPixel(*Screen, 431, 240), PackColor(50, 60, 70));
    EXPECT_EQ(showtest::CountLit(*Screen), 1);
    for (int i = 1; i <= StarCount; ++i) ASSERT_EQ(Stars[i].Z, 1.0f) << i;
  }
}

TEST(Starfield, ParkedStarOnTheRightEdgeDrawsNothingAndIsNotRespawned) {
  ShowScreen S(32);
  ParkAllStars();
  ShowStarfield();
  EXPECT_EQ(showtest::CountLit(*Screen), 0);
  for (int i = 1; i <= StarCount; ++i) {
    ASSERT_EQ(Stars[i].X, 288.0f);
    ASSERT_EQ(Stars[i].Z, 1.0f);
  }
}

TEST(Starfield, StarPastTheViewerIsRespawnedInTheDrawOrderAndEndsAtZ2) {
  ShowScreen S(32);
  for (int i = 1; i <= StarCount; ++i) Stars[i] = StarRec{3.0f, 0.0f, 180.4f};
  SeedRandom(5);
  ShowStarfield();
  EXPECT_EQ(showtest::CountLit(*Screen), 0);
  // Respawn places X from Random(640) - 320, then Y from Random(480) - 240,
  // star by star.
  SeedRandom(5);
  for (int i = 1; i <= StarCount; ++i) {
    const int RX = Random(640);
    const int RY = Random(480);
    ASSERT_EQ(Stars[i].X, float(RX - 320)) << i;
    ASSERT_EQ(Stars[i].Y, float(RY - 240)) << i;
    ASSERT_EQ(Stars[i].Z, 2.0f) << i;
  }
}

TEST(Starfield, RoundsHalvesToEvenAndDividesTowardZero) {
  ShowScreen S(32);
  ParkAllStars();
  Stars[1] = StarRec{0.5f, 0.0f, 0.0f};      // x 0 -> 320
  Stars[2] = StarRec{1.5f, -90.0f, 0.0f};    // x 2 -> 322; y -90 -> 140
  Stars[3] = StarRec{2.5f, 90.0f, 0.0f};     // x 2 -> 322; y 90 -> 340
  Stars[4] = StarRec{-100.0f, 180.0f, 0.0f}; // -20000 div 180 = -111 -> 209; y 440
  // Z 200.5 rounds to 200, not past Scale: drawn at the centre in the colour
  // of Z 200; depth Round(-20.5) = -20 is raised to 1.
  Stars[5] = StarRec{0.0f, -1.0f, 200.5f};   // y -1 * 200 div 1 -> 40
  ShowStarfield();
  EXPECT_NE(kvtest::GetPixel(*Screen, 320, 240), 0u);
  EXPECT_NE(kvtest::GetPixel(*Screen, 322, 140), 0u);
  EXPECT_NE(kvtest::GetPixel(*Screen, 322, 340), 0u);
  EXPECT_NE(kvtest::GetPixel(*Screen, 209, 440), 0u);
  EXPECT_EQ(kvtest::GetPixel(*Screen, 320, 40), PackColor(250, 4, 14));
  EXPECT_EQ(showtest::CountLit(*Screen), 5);
  EXPECT_EQ(Stars[5].Z, 201.5f);
}

TEST(Starfield, CentreStarStaysUntilItsDepthPassesTheScale) {
  ShowScreen S(32);
  // A parked star stays undrawn for one frame only: park the others anew.
  auto ParkOthers = [] {
    const StarRec Kept = Stars[1];
    ParkAllStars();
    Stars[1] = Kept;
  };
  Stars[1] = StarRec{0.0f, 0.0f, 199.0f};
  SeedRandom(9);
  ParkOthers();
  ShowStarfield();  // Z 199: drawn
  ParkOthers();
  ShowStarfield();  // Z 200: drawn
  EXPECT_EQ(kvtest::GetPixel(*Screen, 320, 240), PackColor(250, 4, 14));
  EXPECT_EQ(showtest::CountLit(*Screen), 1);
  EXPECT_EQ(Stars[1].Z, 201.0f);
  Screen->Clear(0);
  ParkOthers();
  ShowStarfield();  // Z 201: respawned, not drawn
  EXPECT_EQ(showtest::CountLit(*Screen), 0);
  EXPECT_EQ(Stars[1].Z, 2.0f);
}

TEST(DrawStar, ColourComesFromDepthAndWrapsPastByteRange) {
  for (int Depth : showtest::Depths) {
    SCOPED_TRACE(Depth);
    ShowScreen S(Depth);
    DrawStar(Screen, 10, 10, 190);
    DrawStar(Screen, 11, 10, 185);
    DrawStar(Screen, 12, 10, -60);
    EXPECT_EQ(kvtest::GetPixel(*Screen, 10, 10), PackColor(240, 250, 4));
    EXPECT_EQ(kvtest::GetPixel(*Screen, 11, 10), PackColor(235, 245, 255));
    EXPECT_EQ(kvtest::GetPixel(*Screen, 12, 10), PackColor(246, 0, 10));
  }
}

TEST(InitStars, PlacesEveryStarFromThreeDrawsInOrder) {
  SeedRandom(11);
  InitStars(0, 0, 640, 480, 50, 2, 2);
  SeedRandom(11);
  for (int i = 1; i <= StarCount; ++i) {
    const int RX = Random(640);
    const int RY = Random(480);
    const int RZ = Random(25);
    ASSERT_EQ(Stars[i].X, float(RX - 320)) << i;
    ASSERT_EQ(Stars[i].Y, float(RY - 240)) << i;
    ASSERT_EQ(Stars[i].Z, float(RZ)) << i;
  }
}

TEST(Swarm, InitSwarmDrawsInOrderAndStaysInItsRanges) {
  int Low = 0, High = 0, DriftLow = 0, DriftHigh = 0;
  for (uint32_t Seed = 1; Seed <= 300; ++Seed) {
    SeedRandom(Seed);
    InitSwarm();
    SeedRandom(Seed);
    for (const SwarmRec& P : Swarm) {
      int Expect[4];
      for (int k = 0; k < 3; ++k) {
        const int A = Random(250);
        const int B = Random(150);
        Expect[k] = A - B;
      }
      const int A = Random(10);
      const int B = Random(10);
      Expect[3] = A - B;
      ASSERT_EQ(P.X, Expect[0]);
      ASSERT_EQ(P.Y, Expect[1]);
      ASSERT_EQ(P.Z, Expect[2]);
      ASSERT_EQ(P.Drift, Expect[3]);
      Low = std::min({Low, P.X, P.Y, P.Z});
      High = std::max({High, P.X, P.Y, P.Z});
      DriftLow = std::min(DriftLow, P.Drift);
      DriftHigh = std::max(DriftHigh, P.Drift);
    }
  }
  EXPECT_GE(Low, -149);
  EXPECT_LE(High, 249);
  EXPECT_GE(DriftLow, -9);
  EXPECT_LE(DriftHigh, 9);
  // 12,000 points: the ends of the ranges are reached.
  EXPECT_LT(Low, -140);
  EXPECT_GT(High, 240);
  EXPECT_EQ(DriftLow, -9);
  EXPECT_EQ(DriftHigh, 9);
}

TEST(Swarm, DrawSwarmTurnsPushesAndDrawsEachPoint) {
  ShowScreen S(32);
  InitSinCos();
  EyeDistance = 100;
  TBufferKv Star(Display, 1, 1, false);
  Star.PutPixel(0, 0, PackColor(10, 20, 30));
  StarPic = &Star;

  SeedRandom(21);
  InitSwarm();
  SwarmRec Before[SwarmCount];
  std::copy(Swarm, Swarm + SwarmCount, Before);
  DrawSwarm();
  SwarmRec After[SwarmCount];
  std::copy(Swarm, Swarm + SwarmCount, After);

  // Expected from the written order: x step, y step, the two z draws, the
  // rotation, then one draw per axis for the push.
  SeedRandom(21);
  InitSwarm();
  std::vector<int> Hits(640 * 480, 0);
  for (int i = 0; i < SwarmCount; ++i) {
    float FX = float(Before[i].X), FY = float(Before[i].Y), FZ = float(Before[i].Z);
    const int M = 10 * Before[i].Drift;
    const int SX = Random(5) + 10;
    const int SY = -Random(5);
    const int Z1 = Random(5);
    const int Z2 = Random(5);
    RotatePoint(FX, FY, FZ, SX, SY, M + Z1 - Z2);
    const int PX = Random(2);
    const int PY = Random(2);
    const int PZ = Random(2);
    EXPECT_EQ(After[i].X, PX + RoundToInt32(FX) + M) << i;
    EXPECT_EQ(After[i].Y, PY + RoundToInt32(FY) + M) << i;
    EXPECT_EQ(After[i].Z, PZ + RoundToInt32(FZ) + M) << i;
    double QX = 0, QY = 0;
    ProjectPoint(QX, QY, FX, FY, FZ);
    const int X = RoundToInt32(QX), Y = RoundToInt32(QY);
    if (X >= 0 && X < 640 && Y >= 0 && Y < 480) ++Hits[Y * 640 + X];
  }
  // Each sprite pixel is added (saturating) where its point projects.
  int Lit = 0;
  for (int Y = 0; Y < 480; ++Y)
    for (int X = 0; X < 640; ++X) {
      const int N = Hits[Y * 640 + X];
      const uint32_t Expect = N ? PackColor(uint8_t(std::min(255, 10 * N)), uint8_t(std::min(255, 20 * N)),
                                            uint8_t(std::min(255, 30 * N)))
                                : 0u;
      ASSERT_EQ(kvtest::GetPixel(*Screen, X, Y), Expect) << X << "," << Y;
      Lit += N ? 1 : 0;
    }
  EXPECT_GT(Lit, 0);  // points behind the eye or far out are clipped
  StarPic = nullptr;
}
