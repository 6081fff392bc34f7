// Primitives: PutPixel's layouts, Line's documented pixel lists in both
// directions, ClipLine results, FillRect's half-open rectangle with the
// device's lost and busy answers, Bezier, and extreme inputs.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <set>
#include <utility>

#include "Draw2d.h"
#include "FaultDevice.h"

namespace {

using Pixels = std::set<std::pair<int, int>>;

// The positions of non-zero pixels.
Pixels Lit(const TBufferKv& B) {
  Pixels P;
  const d2::Image I = d2::Snapshot(B);
  for (int y = 0; y < I.H; ++y)
    for (int x = 0; x < I.W; ++x)
      if (I.At(x, y)) P.insert({x, y});
  return P;
}

class PrimDepth : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    Display = kvtest::MakeDisplay(GetParam());
    B = std::make_unique<TBufferKv>(Display.get(), 640, 480, false);
  }
  std::unique_ptr<TKelvra> Display;
  std::unique_ptr<TBufferKv> B;
};

INSTANTIATE_TEST_SUITE_P(Depths, PrimDepth, ::testing::Values(15, 16, 24, 32));

TEST_P(PrimDepth, PutPixelClipsAndWritesTheLastPixel) {
  B->PutPixel(B->Width, 0, 1);
  B->PutPixel(0, -1, 1);
  B->PutPixel(INT32_MIN, INT32_MAX, 1);
  EXPECT_TRUE(Lit(*B).empty());
  B->PutPixel(B->MaxX, B->MaxY, 0x00112233);
  const uint32_t Want = GetParam() <= 16 ? 0x2233u : 0x112233u;
  EXPECT_EQ(kvtest::GetPixel(*B, B->MaxX, B->MaxY), Want);
  EXPECT_EQ(Lit(*B).size(), 1u);
}

TEST(PutPixel, LayoutsInMemory) {
  {
    auto Display = kvtest::MakeDisplay(24);
    TBufferKv B(Display.get(), 4, 2, false);
    B.PutPixel(1, 1, 0x00112233);
    const uint8_t* P = B.Rows[1] + 3;
    EXPECT_EQ(P[0], 0x33);
    EXPECT_EQ(P[1], 0x22);
    EXPECT_EQ(P[2], 0x11);
    EXPECT_EQ(P[3], 0);  // the next pixel is untouched
  }
  {
    auto Display = kvtest::MakeDisplay(16);
    TBufferKv B(Display.get(), 4, 2, false);
    B.PutPixel(1, 0, 0xABCD1234);  // only the low 16 bits
    EXPECT_EQ(kvtest::GetPixel(B, 1, 0), 0x1234u);
    EXPECT_EQ(kvtest::GetPixel(B, 2, 0), 0u);
  }
  {
    auto Display = kvtest::MakeDisplay(32);
    TBufferKv B(Display.get(), 4, 2, false);
    B.PutPixel(3, 1, 0xFF000001);  // all 32 bits
    EXPECT_EQ(kvtest::GetPixel(B, 3, 1), 0xFF000001u);
  }
}

TEST_P(PrimDepth, LinePixelListsInBothDirections) {
  struct Case {
    int X1, Y1, X2, Y2;
    Pixels Want;
  } Cases[] = {
      {0, 0, 4, 2, {{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}}},
      {4, 2, 0, 0, {{4, 2}, {3, 1}, {2, 1}, {1, 0}, {0, 0}}},
      {0, 0, 5, 1, {{0, 0}, {1, 0}, {2, 0}, {3, 1}, {4, 1}, {5, 1}}},
      {0, 0, 3, 3, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}},
      {7, 9, 7, 9, {{7, 9}}},
      {-10, 5, 10, 5, {{0, 5}, {1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}, {6, 5}, {7, 5}, {8, 5}, {9, 5}, {10, 5}}},
      {-5, -5, -1, 100, {}},
  };
  for (const Case& C : Cases) {
    B->Clear(0);
    B->Line(C.X1, C.Y1, C.X2, C.Y2, 0x1F);
    EXPECT_EQ(Lit(*B), C.Want) << C.X1 << "," << C.Y1 << " -> " << C.X2 << "," << C.Y2;
  }
}

TEST_P(PrimDepth, ClipLineResults) {
  int32_t X1 = -100, Y1 = 0, X2 = 100, Y2 = 100;
  EXPECT_FALSE(B->ClipLine(X1, Y1, X2, Y2));
  EXPECT_EQ(X1, 0);
  EXPECT_EQ(Y1, 50);
  EXPECT_EQ(X2, 100);
  EXPECT_EQ(Y2, 100);

  X1 = -100, Y1 = -100, X2 = 1000, Y2 = 1000;
  EXPECT_FALSE(B->ClipLine(X1, Y1, X2, Y2));
  EXPECT_EQ(std::make_pair(X1, Y1), std::make_pair(0, 0));
  EXPECT_EQ(std::make_pair(X2, Y2), std::make_pair(479, 479));

  // The same diagonal from one end of int32 to the other: the products need
  // more than 64 bits and must still give the exact crossing.
  X1 = INT32_MIN, Y1 = INT32_MIN, X2 = INT32_MAX, Y2 = INT32_MAX;
  EXPECT_FALSE(B->ClipLine(X1, Y1, X2, Y2));
  EXPECT_EQ(std::make_pair(X1, Y1), std::make_pair(0, 0));
  EXPECT_EQ(std::make_pair(X2, Y2), std::make_pair(479, 479));

  X1 = -5, Y1 = -5, X2 = -1, Y2 = 100;  // both left: rejected
  EXPECT_TRUE(B->ClipLine(X1, Y1, X2, Y2));
}

// Random segments, many with end points far outside: the clipper either
// rejects or returns points inside the buffer, and Line never writes
// outside it (the buffer's memory is checked by the sanitizer builds).
TEST_P(PrimDepth, ExtremeLinesStayInside) {
  std::mt19937 Rng(42);
  const int32_t Far[] = {INT32_MIN, INT32_MIN + 1, -1000000000, -70000, -1, 0, 300, 639, 640, 70000, INT32_MAX};
  auto Pick = [&]() -> int32_t {
    return Rng() % 2 ? Far[Rng() % (sizeof(Far) / sizeof(Far[0]))] : int32_t(Rng() % 2000) - 700;
  };
  for (int i = 0; i < 20000; ++i) {
    int32_t X1 = Pick(), Y1 = Pick(), X2 = Pick(), Y2 = Pick();
    const int32_t A = X1, Bv = Y1, C = X2, D = Y2;
    if (!B->ClipLine(X1, Y1, X2, Y2)) {
      ASSERT_TRUE(X1 >= 0 && X1 <= B->MaxX && Y1 >= 0 && Y1 <= B->MaxY) << A << "," << Bv << " " << C << "," << D;
      ASSERT_TRUE(X2 >= 0 && X2 <= B->MaxX && Y2 >= 0 && Y2 <= B->MaxY) << A << "," << Bv << " " << C << "," << D;
    }
    B->Line(A, Bv, C, D, 0x7);
  }
}

TEST_P(PrimDepth, FillRectHalfOpen) {
  B->FillRect(10, 10, 0, 0, 0x3);
  Pixels Want;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) Want.insert({x, y});
  EXPECT_EQ(Lit(*B), Want);
  B->Clear(0);
  B->FillRect(5, 5, 5, 20, 0x3);
  EXPECT_TRUE(Lit(*B).empty());
  B->FillRect(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, 0x3);
  EXPECT_EQ(Lit(*B).size(), size_t(640 * 480));
  B->Clear(0);
  B->FillRect(-5, -5, -1, 3, 0x3);
  B->FillRect(641, 0, 700, 3, 0x3);
  EXPECT_TRUE(Lit(*B).empty());
}

TEST(FillRect, Depth24Bytes) {
  auto Display = kvtest::MakeDisplay(24);
  TBufferKv B(Display.get(), 8, 4, false);
  B.FillRect(1, 1, 3, 2, 0x00112233);
  const uint8_t* P = B.Rows[1] + 3;
  const uint8_t Want[] = {0x33, 0x22, 0x11, 0x33, 0x22, 0x11, 0, 0, 0};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(P[i], Want[i]) << i;
}

TEST(FillRect, LostSkipsAndBusyRepeats) {
  kvtest::InstallFaultDeviceFactory(32);
  {
    TSelfKelvra Display(64, 48, "fault");
    auto Device = kvtest::LastFaultDevice();
    TBufferKv B(&Display, 16, 16, false);
    Device->ResetCounts();
    Device->Inject(kvtest::FaultOp::ColorFill, {KVERR_WASSTILLDRAWING, KVERR_WASSTILLDRAWING});
    B.FillRect(0, 0, 2, 2, 0x55);
    EXPECT_EQ(Device->Calls(kvtest::FaultOp::ColorFill), 3);
    EXPECT_EQ(kvtest::GetPixel(B, 1, 1), 0x55u);

    Device->Inject(kvtest::FaultOp::ColorFill, {KVERR_SURFACELOST});
    B.FillRect(4, 4, 6, 6, 0x66);
    EXPECT_EQ(kvtest::GetPixel(B, 4, 4), 0u);  // skipped
    ASSERT_GE(Device->Restores(), 1);
    EXPECT_EQ(Device->RestoredSurfaces()[0], B.Surface.get());
    B.FillRect(4, 4, 6, 6, 0x66);
    EXPECT_EQ(kvtest::GetPixel(B, 4, 4), 0x66u);
  }
  kvtest::ResetDeviceFactory();
}

TEST_P(PrimDepth, BezierSegments) {
  // Segments 1: the start point, then one straight line from end to start.
  B->Bezier(3, 4, 40, 17, 100, -50, -60, 90, 1, 0x1);
  auto Line = std::make_unique<TBufferKv>(Display.get(), 640, 480, false);
  Line->Line(40, 17, 3, 4, 0x1);
  EXPECT_EQ(Lit(*B), Lit(*Line));

  B->Clear(0);
  B->Bezier(3, 4, 40, 17, 100, -50, -60, 90, 0, 0x1);
  B->Bezier(3, 4, 40, 17, 100, -50, -60, 90, -3, 0x1);
  EXPECT_TRUE(Lit(*B).empty());

  // Control points on a line: points 0, 10, 20, 30 on row 0.
  B->Bezier(0, 0, 30, 0, 10, 0, 20, 0, 3, 0x1);
  Pixels Want;
  for (int x = 0; x <= 30; ++x) Want.insert({x, 0});
  EXPECT_EQ(Lit(*B), Want);
}

// B(0.5) = (5, 0.5), which rounds half to even: row 0. Rounding half up
// would give (5, 1) and another set of pixels.
TEST_P(PrimDepth, BezierRoundsHalfToEven) {
  B->Bezier(0, 0, 10, 1, 0, 0, 10, 1, 2, 0x1);
  Pixels Want;
  for (int x = 0; x <= 7; ++x) Want.insert({x, 0});
  for (int x = 8; x <= 10; ++x) Want.insert({x, 1});
  EXPECT_EQ(Lit(*B), Want);
}

TEST_P(PrimDepth, BezierWithHugeControlPoints) {
  B->Bezier(INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN, 50, 0x1);
  B->Bezier(10, 10, 20, 20, INT32_MAX, 0, 0, INT32_MAX, 200, 0x1);
  B->Bezier(0, 0, 639, 479, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, 64, 0x1);
  SUCCEED() << "no crash and nothing written outside (sanitizer builds)";
  EXPECT_FALSE(Lit(*B).empty());
}

}  // namespace
