// Span fill and rotozoom: HLine's clipped runs, the textured square and the
// unrotated rotozoom placed pixel for pixel, the key rules, and corners
// that are NaN, infinite or huge.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <vector>

#include "Draw2d.h"
#include "FaultDevice.h"

namespace {

class SpanDepth : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    Display = kvtest::MakeDisplay(GetParam());
    B = std::make_unique<TBufferKv>(Display.get(), 640, 480, false);
  }
  // Columns of row Y holding V, as [first, last]; {-1, -1} when none; and
  // whether every other pixel of the buffer is 0.
  std::pair<int, int> Run(int Y, uint32_t V) {
    int First = -1, Last = -1;
    for (int x = 0; x < B->Width; ++x)
      if (kvtest::GetPixel(*B, x, Y) == V) {
        if (First < 0) First = x;
        Last = x;
      }
    return {First, Last};
  }
  size_t NonZero() {
    size_t N = 0;
    for (uint32_t V : d2::Snapshot(*B).P) N += V != 0;
    return N;
  }
  std::unique_ptr<TKelvra> Display;
  std::unique_ptr<TBufferKv> B;
  d2::PathGuard Guard;
};

INSTANTIATE_TEST_SUITE_P(Depths, SpanDepth, ::testing::Values(15, 16, 24, 32));

TEST_P(SpanDepth, HLineRuns) {
  for (KvPath Path : d2::Paths()) {
    KvForcePath(Path);
    B->Clear(0);
    B->HLine(5, 2, 10, 0x11);
    EXPECT_EQ(Run(10, 0x11), std::make_pair(2, 5));
    B->HLine(-3, -1, 0, 0x12);
    EXPECT_EQ(Run(0, 0x12), std::make_pair(-1, -1));
    B->HLine(-3, 0, 0, 0x13);
    EXPECT_EQ(Run(0, 0x13), std::make_pair(0, 0));
    B->HLine(630, 700, 1, 0x14);
    EXPECT_EQ(Run(1, 0x14), std::make_pair(630, 639));
    B->HLine(0, 10, B->Height, 0x15);
    B->HLine(0, 10, -1, 0x15);
    B->HLine(INT32_MIN, INT32_MAX, 3, 0x16);
    EXPECT_EQ(Run(3, 0x16), std::make_pair(0, 639));
    B->HLine(INT32_MAX, INT32_MAX, 4, 0x17);
    B->HLine(INT32_MIN, INT32_MIN, 4, 0x17);
    EXPECT_EQ(NonZero(), size_t(4 + 1 + 10 + 640)) << d2::PathName(Path);
    // Every length and start, against a plain loop.
    for (int Len = 1; Len < 70; ++Len) {
      B->HLine(Len, 2 * Len - 1, 20 + Len, 0x7);
      ASSERT_EQ(Run(20 + Len, 0x7), std::make_pair(Len, 2 * Len - 1)) << d2::PathName(Path);
      ASSERT_EQ(kvtest::GetPixel(*B, 2 * Len, 20 + Len), 0u);
    }
  }
}

// The polygon fill's batch of rows gives what HLine gives row by row: rows
// above and below the buffer skipped, spans in either order, clipped, empty
// at the right edge, and every length the fast fills split differently.
TEST_P(SpanDepth, HLineRowsIsHLineRowByRow) {
  std::vector<int32_t> X1(480), X2(480);
  for (int Y = 0; Y < 480; ++Y) {
    X1[size_t(Y)] = (Y * 37) % 700 - 30;
    X2[size_t(Y)] = X1[size_t(Y)] + (Y % 3 == 0 ? -(Y % 41) : Y % 41);
  }
  X1[7] = X2[7] = 640;  // touches the right edge only
  X1[8] = INT32_MIN, X2[8] = INT32_MAX;
  for (bool Video : {false, true}) {
    for (KvPath Path : d2::Paths()) {
      KvForcePath(Path);
      TBufferKv Want(Display.get(), 640, 480, Video);
      Want.Clear(0);
      for (int Y = 0; Y < 480; ++Y) Want.HLine(X1[size_t(Y)], X2[size_t(Y)], Y, 0x5A);
      B = std::make_unique<TBufferKv>(Display.get(), 640, 480, Video);
      B->Clear(0);
      B->HLineRows(X1.data(), X2.data(), -5, 999, 0x5A);  // clamped to the buffer's rows
      EXPECT_EQ(d2::Snapshot(*B).P, d2::Snapshot(Want).P) << d2::PathName(Path) << " video " << Video;
      B->Clear(0);
      B->HLineRows(X1.data(), X2.data(), 100, 99, 0x5A);
      EXPECT_EQ(NonZero(), 0u);
    }
  }
}

TEST(HLine, Depth24BytesAndVideoMemory) {
  auto Display = kvtest::MakeDisplay(24);
  for (bool Video : {false, true}) {
    TBufferKv B(Display.get(), 40, 3, Video);
    EXPECT_EQ(B.InVideoMemory, Video);
    B.HLine(3, 38, 1, 0x00112233);
    const uint8_t* P = B.Rows[1];
    for (int x = 0; x < 40; ++x) {
      const bool In = x >= 3 && x <= 38;
      EXPECT_EQ(P[3 * x], In ? 0x33 : 0) << x;
      EXPECT_EQ(P[3 * x + 1], In ? 0x22 : 0) << x;
      EXPECT_EQ(P[3 * x + 2], In ? 0x11 : 0) << x;
    }
  }
}

TEST(HLine, VideoMemoryLostAndBusy) {
  kvtest::InstallFaultDeviceFactory(16);
  {
    TSelfKelvra Display(64, 48, "fault");
    auto Device = kvtest::LastFaultDevice();
    TBufferKv B(&Display, 16, 4, true);
    ASSERT_TRUE(B.InVideoMemory);
    Device->ResetCounts();
    Device->Inject(kvtest::FaultOp::ColorFill, {KVERR_WASSTILLDRAWING});
    B.HLine(0, 3, 1, 0x1234);
    EXPECT_EQ(Device->Calls(kvtest::FaultOp::ColorFill), 2);
    EXPECT_EQ(kvtest::GetPixel(B, 3, 1), 0x1234u);
    EXPECT_EQ(kvtest::GetPixel(B, 4, 1), 0u);
    Device->Inject(kvtest::FaultOp::ColorFill, {KVERR_SURFACELOST});
    B.HLine(0, 3, 2, 0x1234);
    EXPECT_EQ(kvtest::GetPixel(B, 0, 2), 0u);
    EXPECT_GE(Device->Restores(), 1);
  }
  kvtest::ResetDeviceFactory();
}

TexVertex Corner(float X, float Y, float U, float V) {
  TexVertex T;
  T.X = X;
  T.Y = Y;
  T.U = U;
  T.V = V;
  return T;
}

// The square (10,10)-(20,20) covers rows 10..19, each from column 10 to 20.
TEST_P(SpanDepth, TexturedSquare) {
  auto Tex = std::make_unique<TBufferKv>(Display.get(), 16, 16, false);
  d2::FillAll(*Tex, 0x5);
  const TexVertex Square[] = {Corner(10, 10, 0, 0), Corner(20, 10, 15, 0), Corner(20, 20, 15, 15),
                              Corner(10, 20, 0, 15)};
  for (KvPath Path : d2::Paths()) {
    KvForcePath(Path);
    B->Clear(0);
    B->TexturePoly(Tex.get(), Square, 4, 0);
    for (int y = 0; y < 30; ++y) EXPECT_EQ(Run(y, 0x5), y >= 10 && y < 20 ? std::make_pair(10, 20) : std::make_pair(-1, -1)) << y;
    EXPECT_EQ(NonZero(), size_t(10 * 11)) << d2::PathName(Path);
  }
}

// The unrotated rotozoom of a 64 x 64 picture lands at (288, 208) .. (351,
// 271) unchanged, plus column 352 repeating texel column 63.
TEST_P(SpanDepth, RotoZoomUnrotatedCopiesThePicture) {
  auto Pic = std::make_unique<TBufferKv>(Display.get(), 64, 64, false);
  for (KvPath Path : d2::Paths()) {
    KvForcePath(Path);
    kvtest::FillRandom(*Pic, 17, true);
    // The key: a value the picture does not hold (bit 15 at depth 15 never is).
    const uint32_t Key = GetParam() == 15 ? 0x8000 : GetParam() == 16 ? 0x10000 : 0x1000000;
    B->Clear(0);
    Pic->RotoZoom(B.get(), 320, 240, 1.0f, 0.0f, Key);
    const d2::Image P = d2::Snapshot(*Pic), D = d2::Snapshot(*B);
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 640; ++x) {
        uint32_t Want = 0;
        if (y >= 208 && y <= 271 && x >= 288 && x <= 352) Want = P.At(x <= 351 ? x - 288 : 63, y - 208);
        ASSERT_EQ(D.At(x, y), Want) << d2::PathName(Path) << " " << x << "," << y;
      }
  }
}

TEST_P(SpanDepth, RotoZoomScaleZeroAndPolygonsBelowDrawNothing) {
  auto Pic = std::make_unique<TBufferKv>(Display.get(), 64, 64, false);
  d2::FillAll(*Pic, 0x9);
  Pic->RotoZoom(B.get(), 320, 240, 0.0f, 30.0f, 0);
  EXPECT_EQ(NonZero(), 0u);
  const TexVertex Below[] = {Corner(10, 480, 0, 0), Corner(100, 480, 5, 0), Corner(50, 490, 5, 5)};
  B->TexturePoly(Pic.get(), Below, 3, 0);
  const TexVertex Touching[] = {Corner(10, 479.5f, 0, 0), Corner(100, 479.5f, 5, 0), Corner(50, 490, 5, 5)};
  B->TexturePoly(Pic.get(), Touching, 3, 0);  // ceil(479.5) = 480: below too
  EXPECT_EQ(NonZero(), 0u);
}

// Texels equal to the key are left out, by each pixel size's rule.
TEST_P(SpanDepth, KeyedTexels) {
  auto Pic = std::make_unique<TBufferKv>(Display.get(), 8, 8, false);
  kvtest::FillRandom(*Pic, 3);
  for (int i = 0; i < 8; ++i) d2::Poke(*Pic, i, i, 0);
  if (GetParam() == 32) d2::Poke(*Pic, 1, 0, 0xFF000000);  // top byte ignored
  for (KvPath Path : d2::Paths()) {
    KvForcePath(Path);
    d2::FillAll(*B, 0x3);
    const TexVertex Q[] = {Corner(0, 0, 0, 0), Corner(8, 0, 8, 0), Corner(8, 8, 8, 8), Corner(0, 8, 0, 8)};
    B->TexturePoly(Pic.get(), Q, 4, 0);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        const uint32_t T = kvtest::GetPixel(*Pic, x, y);
        const bool Keyed = GetParam() == 32 ? (T & 0xFFFFFF) == 0 : T == 0;
        EXPECT_EQ(kvtest::GetPixel(*B, x, y), Keyed ? 0x3u : T) << d2::PathName(Path) << " " << x << "," << y;
      }
  }
}

// Texture coordinates outside the source take its edge texels.
TEST_P(SpanDepth, OutsideTextureCoordinatesClamp) {
  auto Pic = std::make_unique<TBufferKv>(Display.get(), 5, 4, false);
  kvtest::FillRandom(*Pic, 8);
  const uint32_t Key = 0x80000000;  // matches nothing
  for (KvPath Path : d2::Paths()) {
    KvForcePath(Path);
    const TexVertex Low[] = {Corner(0, 0, -1e6f, -50), Corner(40, 0, -1e6f, -50), Corner(40, 3, -1e6f, -50)};
    B->Clear(0);
    B->TexturePoly(Pic.get(), Low, 3, Key);
    EXPECT_EQ(kvtest::GetPixel(*B, 39, 0), kvtest::GetPixel(*Pic, 0, 0)) << d2::PathName(Path);
    const TexVertex High[] = {Corner(0, 0, 9e9f, 1e5f), Corner(40, 0, 9e9f, 1e5f), Corner(40, 3, 9e9f, 1e5f)};
    B->TexturePoly(Pic.get(), High, 3, Key);
    EXPECT_EQ(kvtest::GetPixel(*B, 39, 0), kvtest::GetPixel(*Pic, 4, 3)) << d2::PathName(Path);
  }
}

// NaN and infinite corners draw nothing; huge ones are clipped. Neither
// may crash or write outside the buffer (sanitizer builds check that).
TEST_P(SpanDepth, BadCornersAreSafe) {
  auto Pic = std::make_unique<TBufferKv>(Display.get(), 16, 16, false);
  d2::FillAll(*Pic, 0x9);
  const float NaN = std::numeric_limits<float>::quiet_NaN(), Inf = std::numeric_limits<float>::infinity();
  const TexVertex Bad[][3] = {
      {Corner(NaN, 0, 0, 0), Corner(100, 100, 5, 5), Corner(0, 100, 0, 5)},
      {Corner(0, Inf, 0, 0), Corner(100, 100, 5, 5), Corner(0, 100, 0, 5)},
      {Corner(0, 0, 0, -Inf), Corner(100, 100, 5, 5), Corner(0, 100, 0, 5)},
  };
  for (const auto& T : Bad) B->TexturePoly(Pic.get(), T, 3, 0);
  Pic->RotoZoom(B.get(), 320, 240, NaN, 10, 0);
  Pic->RotoZoom(B.get(), 320, 240, 1, Inf, 0);
  Pic->RotoZoom(B.get(), 320, 240, Inf, 0, 0);
  EXPECT_EQ(NonZero(), 0u);

  for (KvPath Path : d2::Paths()) {
    KvForcePath(Path);
    const TexVertex Huge[][4] = {
        {Corner(-3e9f, -3e9f, 0, 0), Corner(3e9f, -3e9f, 16, 0), Corner(3e9f, 3e9f, 16, 16), Corner(-3e9f, 3e9f, 0, 16)},
        {Corner(-1e30f, 10, 0, 0), Corner(1e30f, 10, 1e30f, 0), Corner(1e30f, 400, 16, -1e30f), Corner(5, 1e38f, 0, 16)},
        {Corner(300, -1e20f, 0, 0), Corner(310, 1e20f, 16, 0), Corner(320, 200.5f, 16, 16), Corner(290, 0, 3, 16)},
        {Corner(-40000, 5, 0, 0), Corner(40000, 5, 2e9f, -2e9f), Corner(40000, 30, 16, 16), Corner(-40000, 30, 0, 16)},
    };
    for (const auto& T : Huge) B->TexturePoly(Pic.get(), T, 4, 0);
    Pic->RotoZoom(B.get(), INT32_MAX, INT32_MIN, 1e20f, 33, 0);
    Pic->RotoZoom(B.get(), 320, 240, 1e9f, 45, 0);
    Pic->RotoZoom(B.get(), 320, 240, -3, 1e30f, 0);
  }
  // The first huge square covers the whole buffer with texels of 0x9.
  const d2::Image I = d2::Snapshot(*B);
  for (uint32_t V : I.P) ASSERT_TRUE(V == 0x9 || V == 0);
  EXPECT_EQ(I.At(320, 240), 0x9u);
}

TEST_P(SpanDepth, FewerThanThreeCornersDrawNothing) {
  auto Pic = std::make_unique<TBufferKv>(Display.get(), 4, 4, false);
  d2::FillAll(*Pic, 0x9);
  const TexVertex T[] = {Corner(0, 0, 0, 0), Corner(100, 100, 3, 3), Corner(0, 100, 0, 3)};
  B->TexturePoly(Pic.get(), T, 2, 0);
  B->TexturePoly(Pic.get(), T, 0, 0);
  B->TexturePoly(Pic.get(), T, -5, 0);
  B->TexturePoly(nullptr, T, 3, 0);
  EXPECT_EQ(NonZero(), 0u);
}

}  // namespace
