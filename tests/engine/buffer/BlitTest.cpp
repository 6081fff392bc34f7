// Blits: clipping, the documented values of add / blend / keyed blend at
// each depth (on every path, over rows long enough for the wide kernels),
// blits of a buffer onto itself, blur, the keyed device copy with its lost
// and busy answers, and video-memory buffers with scratch rows.
#include <gtest/gtest.h>

#include <climits>

#include "Draw2d.h"
#include "FaultDevice.h"

using d2::Image;
using d2::Op;

namespace {

constexpr int Wide = 37;  // a vector or two and an odd tail at every depth

class BlitDepth : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override { Display = kvtest::MakeDisplay(GetParam()); }
  std::unique_ptr<TBufferKv> Make(int W, int H, bool Video = false) {
    return std::make_unique<TBufferKv>(Display.get(), W, H, Video);
  }
  int Depth() const { return GetParam(); }
  std::unique_ptr<TKelvra> Display;
  d2::PathGuard Guard;
};

INSTANTIATE_TEST_SUITE_P(Depths, BlitDepth, ::testing::Values(15, 16, 24, 32));

// Every operation at a range of positions, extremes included, matches the
// model pixel for pixel (the model clips as documented, in 64 bits).
TEST_P(BlitDepth, ClippedPositionsMatchTheModel) {
  auto Src = Make(23, 17), Dst = Make(40, 30);
  const int32_t Pos[] = {INT32_MIN, INT32_MIN + 5, -100, -23, -22, -1, 0, 1, 17, 29, 30, 39, 40, 41, INT32_MAX - 3,
                         INT32_MAX};
  uint32_t Seed = 1;
  for (KvPath Path : d2::Paths()) {
    KvForcePath(Path);
    for (int32_t X : Pos)
      for (int32_t Y : Pos)
        for (Op Kind : {Op::Add, Op::Alpha, Op::AlphaKeyed}) {
          kvtest::FillRandom(*Src, Seed++);
          kvtest::FillRandom(*Dst, Seed++);
          Image Want = d2::Snapshot(*Dst);
          d2::ModelBlit(Kind, Depth(), d2::Snapshot(*Src), Want, X, Y, 77, kvtest::GetPixel(*Src, 3, 3));
          if (Kind == Op::Add) Src->DrawAdd(Dst.get(), X, Y);
          if (Kind == Op::Alpha) Src->DrawAlpha(Dst.get(), X, Y, 77);
          if (Kind == Op::AlphaKeyed) Src->DrawAlphaKeyed(Dst.get(), X, Y, 77, kvtest::GetPixel(*Src, 3, 3));
          ASSERT_EQ(d2::Snapshot(*Dst).P, Want.P) << d2::PathName(Path) << " op " << int(Kind) << " at " << X << ","
                                                  << Y;
        }
  }
}

TEST_P(BlitDepth, DocumentedClipCases) {
  auto Dst = Make(64, 48);
  auto Src = Make(100, 100);
  d2::FillAll(*Src, 1);
  auto Changed = [&] {
    int N = 0;
    for (uint32_t V : d2::Snapshot(*Dst).P) N += V != 0;
    return N;
  };
  Src->DrawAdd(Dst.get(), Dst->MaxX + 1, 0);
  EXPECT_EQ(Changed(), 0);
  Src->DrawAdd(Dst.get(), Dst->MaxX, 0);  // exactly one column
  EXPECT_EQ(Changed(), Dst->Height);
  for (int y = 0; y < Dst->Height; ++y) EXPECT_EQ(kvtest::GetPixel(*Dst, Dst->MaxX, y), 1u);

  d2::FillAll(*Dst, 0);
  Src->DrawAdd(Dst.get(), -100, -100);
  EXPECT_EQ(Changed(), 0);
  Src->DrawAdd(Dst.get(), -99, -99);  // only the source's bottom-right pixel
  EXPECT_EQ(Changed(), 1);
  EXPECT_EQ(kvtest::GetPixel(*Dst, 0, 0), 1u);

  // A larger source at -10, -10 covers the destination from column / row 10.
  kvtest::FillRandom(*Src, 5);
  d2::FillAll(*Dst, 0);
  Src->DrawAdd(Dst.get(), -10, -10);
  for (int y = 0; y < Dst->Height; ++y)
    for (int x = 0; x < Dst->Width; ++x) ASSERT_EQ(kvtest::GetPixel(*Dst, x, y), kvtest::GetPixel(*Src, x + 10, y + 10));
}

// One source value onto one destination value across a whole row, on every
// path; returns the destination pixels (all must agree).
uint32_t RowResult(TBufferKv& Src, TBufferKv& Dst, uint32_t S, uint32_t D, Op Kind, uint8_t Alpha = 0,
                   uint32_t Key = 0) {
  uint32_t Result = 0;
  for (KvPath Path : d2::Paths()) {
    KvForcePath(Path);
    d2::FillAll(Src, S);
    d2::FillAll(Dst, D);
    if (Kind == Op::Add) Src.DrawAdd(&Dst, 0, 0);
    if (Kind == Op::Alpha) Src.DrawAlpha(&Dst, 0, 0, Alpha);
    if (Kind == Op::AlphaKeyed) Src.DrawAlphaKeyed(&Dst, 0, 0, Alpha, Key);
    const Image I = d2::Snapshot(Dst);
    for (uint32_t V : I.P) EXPECT_EQ(V, I.P[0]) << d2::PathName(Path);
    if (Path == KvPath::Reference) Result = I.P[0];
    EXPECT_EQ(I.P[0], Result) << d2::PathName(Path);
  }
  return Result;
}

TEST(BlitValues, Depth16) {
  auto Display = kvtest::MakeDisplay(16);
  d2::PathGuard Guard;
  TBufferKv Src(Display.get(), Wide, 2, false), Dst(Display.get(), Wide, 2, false);
  EXPECT_EQ(RowResult(Src, Dst, 0xF800, 0x0800, Op::Add), 0xF800u);  // red saturates at 31
  EXPECT_EQ(RowResult(Src, Dst, 0x0020, 0x07E0, Op::Add), 0x07E0u);
  EXPECT_EQ(RowResult(Src, Dst, 0x0001, 0x001F, Op::Add), 0x001Fu);
  EXPECT_EQ(RowResult(Src, Dst, 0xFFFF, 0x1234, Op::Alpha, 7), 0x1234u);  // 7 div 8 = 0
  EXPECT_EQ(RowResult(Src, Dst, 0xFFFF, 0x0000, Op::Alpha, 255), 0xF7BEu);
  // A key with an upper bit set never matches a 16-bit pixel.
  EXPECT_EQ(RowResult(Src, Dst, 0xFFFF, 0, Op::AlphaKeyed, 255, 0x1FFFF), 0xF7BEu);
  EXPECT_EQ(RowResult(Src, Dst, 0xFFFF, 0x1234, Op::AlphaKeyed, 255, 0xFFFF), 0x1234u);
}

TEST(BlitValues, Depth15) {
  auto Display = kvtest::MakeDisplay(15);
  d2::PathGuard Guard;
  TBufferKv Src(Display.get(), Wide, 2, false), Dst(Display.get(), Wide, 2, false);
  EXPECT_EQ(RowResult(Src, Dst, 0x7C00, 0x0400, Op::Add), 0x7C00u);
  EXPECT_EQ(RowResult(Src, Dst, 0x0020, 0x03E0, Op::Add), 0x03E0u);  // green stays out of bit 15
  EXPECT_EQ(RowResult(Src, Dst, 0x7FFF, 0x0000, Op::Alpha, 255), 0x7BDEu);  // 31 -> 30 in every channel
  EXPECT_EQ(RowResult(Src, Dst, 0x0000, 0x7FFF, Op::Alpha, 128), 0x3DEFu);  // 31 + floor(-31 x 16 / 32) = 15
}

TEST(BlitValues, Depth32) {
  auto Display = kvtest::MakeDisplay(32);
  d2::PathGuard Guard;
  TBufferKv Src(Display.get(), Wide, 2, false), Dst(Display.get(), Wide, 2, false);
  EXPECT_EQ(RowResult(Src, Dst, 0x80000000, 0x90000000, Op::Add), 0xFF000000u);  // the top byte too
  EXPECT_EQ(RowResult(Src, Dst, 0xFF00FF, 0x000000, Op::Alpha, 128), 0x7F007Fu);
  EXPECT_EQ(RowResult(Src, Dst, 0x000000, 0xFF00FF, Op::Alpha, 128), 0x7F007Fu);
  EXPECT_EQ(RowResult(Src, Dst, 0xFFFFFF, 0x000000, Op::Alpha, 255), 0xFEFEFEu);
  EXPECT_EQ(RowResult(Src, Dst, 0x123456, 0xAB654321, Op::Alpha, 0), 0x654321u);  // top byte cleared
  // Key 0 leaves out 0 and 0xFF000000 alike, and the top byte stays.
  EXPECT_EQ(RowResult(Src, Dst, 0x00000000, 0xAB101010, Op::AlphaKeyed, 200, 0), 0xAB101010u);
  EXPECT_EQ(RowResult(Src, Dst, 0xFF000000, 0xAB101010, Op::AlphaKeyed, 200, 0), 0xAB101010u);
  EXPECT_EQ(RowResult(Src, Dst, 0xFF000000, 0xAB101010, Op::AlphaKeyed, 200, 0xEE000000), 0xAB101010u);
  EXPECT_EQ(RowResult(Src, Dst, 0x000001, 0x000000, Op::AlphaKeyed, 255, 0), 0x000000u);
}

TEST(BlitValues, Depth24) {
  auto Display = kvtest::MakeDisplay(24);
  d2::PathGuard Guard;
  TBufferKv Src(Display.get(), Wide, 2, false), Dst(Display.get(), Wide, 2, false);
  EXPECT_EQ(RowResult(Src, Dst, 0x80FF01, 0x90017F, Op::Add), 0xFFFF80u);
  EXPECT_EQ(RowResult(Src, Dst, 0xFFFFFF, 0x000000, Op::Alpha, 255), 0xFEFEFEu);
  // The three bytes against the key's low 24 bits.
  EXPECT_EQ(RowResult(Src, Dst, 0x102030, 0x000000, Op::AlphaKeyed, 255, 0xFF102030), 0x000000u);
  EXPECT_EQ(RowResult(Src, Dst, 0x102031, 0x000000, Op::AlphaKeyed, 255, 0x102030), 0x0F1F30u);
}

// 24-bit keying where only some bytes of a pixel match the key's: every
// pixel position of a 16-pixel group, on every path.
TEST(BlitValues, Depth24KeyNeedsAllThreeBytes) {
  auto Display = kvtest::MakeDisplay(24);
  d2::PathGuard Guard;
  TBufferKv Src(Display.get(), Wide, 1, false), Dst(Display.get(), Wide, 1, false);
  const uint32_t Key = 0x405060;
  const uint32_t Near[] = {0x405060, 0x405061, 0x415060, 0x405160, 0x000060, 0x405000, 0x605040};
  for (KvPath Path : d2::Paths()) {
    KvForcePath(Path);
    for (int x = 0; x < Wide; ++x) d2::Poke(Src, x, 0, Near[x % 7]);
    d2::FillAll(Dst, 0x808080);
    Src.DrawAlphaKeyed(&Dst, 0, 0, 128, Key);
    for (int x = 0; x < Wide; ++x) {
      const uint32_t S = Near[x % 7];
      EXPECT_EQ(kvtest::GetPixel(Dst, x, 0), S == Key ? 0x808080u : d2::ModelAlpha(24, S, 0x808080, 128))
          << d2::PathName(Path) << " x " << x;
    }
  }
}

// The frame added onto itself one row higher: each row gets the row below
// as it was; the last row is unchanged.
TEST_P(BlitDepth, SelfAddOneRowUp) {
  for (KvPath Path : d2::Paths()) {
    KvForcePath(Path);
    auto B = Make(53, 20);
    kvtest::FillRandom(*B, 99);
    const Image Before = d2::Snapshot(*B);
    B->DrawAdd(B.get(), 0, -1);
    const Image After = d2::Snapshot(*B);
    for (int y = 0; y < B->Height; ++y)
      for (int x = 0; x < B->Width; ++x) {
        const uint32_t Want =
            y < B->MaxY ? d2::ModelAdd(Depth(), Before.At(x, y + 1), Before.At(x, y)) : Before.At(x, y);
        ASSERT_EQ(After.At(x, y), Want) << d2::PathName(Path) << " " << x << "," << y;
      }
  }
}

// A buffer blended / added onto itself at each of the nine trail offsets
// reads exactly what the documented pixel order gives, on every path.
TEST_P(BlitDepth, SelfBlitsAtTrailOffsets) {
  auto B = Make(45, 13);
  for (KvPath Path : d2::Paths()) {
    KvForcePath(Path);
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx)
        for (Op Kind : {Op::Add, Op::Alpha, Op::AlphaKeyed}) {
          kvtest::FillRandom(*B, uint32_t(1000 + dx * 10 + dy));
          const uint32_t Key = kvtest::GetPixel(*B, 5, 5);
          Image Want = d2::Snapshot(*B);
          d2::ModelBlit(Kind, Depth(), Want, Want, dx, dy, 20, Key);
          if (Kind == Op::Add) B->DrawAdd(B.get(), dx, dy);
          if (Kind == Op::Alpha) B->DrawAlpha(B.get(), dx, dy, 20);
          if (Kind == Op::AlphaKeyed) B->DrawAlphaKeyed(B.get(), dx, dy, 20, Key);
          ASSERT_EQ(d2::Snapshot(*B).P, Want.P) << d2::PathName(Path) << " " << dx << "," << dy << " op " << int(Kind);
        }
  }
}

// Video-memory buffers go through their scratch rows; the results are
// those of system memory, for either end and for a buffer onto itself.
TEST_P(BlitDepth, ScratchRowsGiveTheSameResult) {
  for (KvPath Path : d2::Paths()) {
    KvForcePath(Path);
    for (int Case = 0; Case < 3; ++Case) {
      auto SrcV = Make(31, 9, Case != 1), DstV = Make(40, 12, Case != 0);
      ASSERT_EQ(SrcV->HasScratchRow, Case != 1);
      auto SrcS = Make(31, 9), DstS = Make(40, 12);
      for (Op Kind : {Op::Add, Op::Alpha, Op::AlphaKeyed}) {
        for (auto* B : {SrcV.get(), SrcS.get()}) kvtest::FillRandom(*B, 7);
        for (auto* B : {DstV.get(), DstS.get()}) kvtest::FillRandom(*B, 8);
        auto Run = [&](TBufferKv& S, TBufferKv& D, int32_t X, int32_t Y) {
          if (Kind == Op::Add) S.DrawAdd(&D, X, Y);
          if (Kind == Op::Alpha) S.DrawAlpha(&D, X, Y, 99);
          if (Kind == Op::AlphaKeyed) S.DrawAlphaKeyed(&D, X, Y, 99, kvtest::GetPixel(S, 2, 2));
        };
        Run(*SrcV, *DstV, 13, -3);
        Run(*SrcS, *DstS, 13, -3);
        EXPECT_EQ(kvtest::Checksum(*DstV), kvtest::Checksum(*DstS)) << d2::PathName(Path) << " case " << Case;
        // Onto itself, in the same row (the order-dependent case) and one row down.
        for (int32_t Y : {0, 1}) {
          Run(*DstV, *DstV, 1, Y);
          Run(*DstS, *DstS, 1, Y);
          EXPECT_EQ(kvtest::Checksum(*DstV), kvtest::Checksum(*DstS)) << d2::PathName(Path) << " self " << Y;
        }
      }
    }
  }
}

// --- blur --------------------------------------------------------------------

TEST_P(BlitDepth, BlurMatchesTheModel) {
  for (KvPath Path : d2::Paths()) {
    KvForcePath(Path);
    // 517: rows longer than the fast kernels' chunks, with a remainder.
    for (int W : {1, 2, 7, 33, 200, 517}) {
      auto B = Make(W, 11);
      kvtest::FillRandom(*B, uint32_t(W), true);
      Image Want = d2::Snapshot(*B);
      d2::ModelBlur(Depth(), Want);
      B->Blur();
      ASSERT_EQ(d2::Snapshot(*B).P, Want.P) << d2::PathName(Path) << " width " << W;
    }
  }
}

TEST(Blur, UniformColoursAndTheSinglePixelExample) {
  d2::PathGuard Guard;
  for (KvPath Path : d2::Paths()) {
    KvForcePath(Path);
    {
      auto Display = kvtest::MakeDisplay(15);
      TBufferKv B(Display.get(), 40, 6, false);
      d2::FillAll(B, 0x739C);  // unchanged by the mask
      B.Blur();
      for (uint32_t V : d2::Snapshot(B).P) ASSERT_EQ(V, 0x739Cu);
    }
    auto Display = kvtest::MakeDisplay(32);
    TBufferKv B(Display.get(), 40, 6, false);
    d2::FillAll(B, 0xFCFCFC);
    B.Blur();
    for (uint32_t V : d2::Snapshot(B).P) ASSERT_EQ(V, 0xFCFCFCu);
    d2::FillAll(B, 0xFFFFFF);
    B.Blur();
    for (uint32_t V : d2::Snapshot(B).P) ASSERT_EQ(V, 0xFCFCFCu);

    TBufferKv E(Display.get(), 8, 8, false);
    d2::Poke(E, 3, 3, 0xFCFCFC);
    E.Blur();
    const struct {
      int X, Y;
      uint32_t V;
    } Want[] = {{3, 2, 0x3F3F3F}, {2, 3, 0x3F3F3F}, {3, 3, 0x1E1E1E}, {4, 2, 0x0F0F0F}, {2, 4, 0x0F0F0F},
                {4, 3, 0x0A0A0A}, {3, 4, 0x0A0A0A}, {4, 4, 0x040404}, {5, 2, 0x030303}, {2, 5, 0x030303},
                {5, 3, 0x020202}, {3, 5, 0x020202}, {5, 4, 0x010101}, {4, 5, 0x010101}};
    Image I = d2::Snapshot(E);
    for (const auto& P : Want) {
      EXPECT_EQ(I.At(P.X, P.Y), P.V) << d2::PathName(Path) << " " << P.X << "," << P.Y;
      I.At(P.X, P.Y) = 0;
    }
    for (uint32_t V : I.P) EXPECT_EQ(V, 0u) << d2::PathName(Path);
  }
}

// --- keyed device copy -----------------------------------------------------

TEST_P(BlitDepth, DrawKeyedCopiesAllButTheKey) {
  auto Src = Make(20, 10), Dst = Make(30, 25);
  for (int32_t X : {INT32_MIN, -20, -19, -5, 0, 12, 29, 30, 31, INT32_MAX})
    for (int32_t Y : {INT32_MIN, -10, -3, 0, 24, 25, INT32_MAX}) {
      kvtest::FillRandom(*Src, 3);
      for (int x = 0; x < 20; x += 3) d2::Poke(*Src, x, x % 10, 0);  // key pixels
      kvtest::FillRandom(*Dst, 4);
      const Image S = d2::Snapshot(*Src);
      Image Want = d2::Snapshot(*Dst);
      for (int y = 0; y < S.H; ++y)
        for (int x = 0; x < S.W; ++x) {
          const int64_t DX = int64_t(X) + x, DY = int64_t(Y) + y;
          if (DX >= 0 && DY >= 0 && DX < Want.W && DY < Want.H && S.At(x, y) != 0) Want.At(int(DX), int(DY)) = S.At(x, y);
        }
      Src->DrawKeyed(Dst.get(), X, Y, 0);
      ASSERT_EQ(d2::Snapshot(*Dst).P, Want.P) << X << "," << Y;
    }
}

// Only pixels equal to the whole key are left out: values that share the
// key's low bits but not its high ones are copied, and a key with bits above
// the pixel's size leaves nothing out.
TEST_P(BlitDepth, DrawKeyedComparesTheWholeKey) {
  const int Bits = Depth() == 15 ? 16 : Depth();
  const uint32_t Key = Bits == 16 ? 0x1234u : 0x123456u;
  std::vector<uint32_t> Values = {Key, Key ^ 1u, Key ^ 0x200u, 0u};
  if (Bits >= 24) Values.push_back(Key ^ 0x10000u);
  if (Bits == 32) Values.insert(Values.end(), {Key | 0x01000000u, Key | 0x80000000u});
  const uint32_t Above = Bits == 32 ? 0x80000000u : 1u << Bits;
  auto Src = Make(Wide, 1), Dst = Make(Wide, 1);
  for (const uint32_t K : {Key, Key | Above}) {
    for (int x = 0; x < Wide; ++x) d2::Poke(*Src, x, 0, Values[size_t(x) % Values.size()]);
    d2::FillAll(*Dst, 0x0808);
    Src->DrawKeyed(Dst.get(), 0, 0, K);
    for (int x = 0; x < Wide; ++x) {
      const uint32_t S = Values[size_t(x) % Values.size()];
      EXPECT_EQ(kvtest::GetPixel(*Dst, x, 0), S == K ? 0x0808u : S) << std::hex << "key " << K << " pixel " << S;
    }
  }
}

class FaultBlit : public ::testing::Test {
 protected:
  void SetUp() override {
    kvtest::InstallFaultDeviceFactory(32);
    Display = std::make_unique<TSelfKelvra>(64, 48, "fault");
    Device = kvtest::LastFaultDevice();
    ASSERT_TRUE(Device);
    Src = std::make_unique<TBufferKv>(Display.get(), 8, 8, false);
    Dst = std::make_unique<TBufferKv>(Display.get(), 16, 16, false);
    d2::FillAll(*Src, 0x00FF00);
    Device->ResetCounts();
  }
  void TearDown() override {
    Src.reset();
    Dst.reset();
    Display.reset();
    kvtest::ResetDeviceFactory();
  }
  std::unique_ptr<TKelvra> Display;
  std::shared_ptr<kvtest::FaultDevice> Device;
  std::unique_ptr<TBufferKv> Src, Dst;
};

TEST_F(FaultBlit, DrawKeyedRepeatsWhileBusy) {
  Device->Inject(kvtest::FaultOp::KeyedCopy, {KVERR_WASSTILLDRAWING, KVERR_WASSTILLDRAWING});
  Src->DrawKeyed(Dst.get(), 2, 3, 0);
  EXPECT_EQ(Device->Calls(kvtest::FaultOp::KeyedCopy), 3);
  EXPECT_EQ(Device->PassedThrough(kvtest::FaultOp::KeyedCopy), 1);
  EXPECT_EQ(kvtest::GetPixel(*Dst, 2, 3), 0x00FF00u);
  EXPECT_EQ(Device->Restores(), 0);
}

TEST_F(FaultBlit, DrawKeyedRestoresTheSourceAndSkipsWhenLost) {
  Device->Inject(kvtest::FaultOp::KeyedCopy, {KVERR_SURFACELOST});
  Src->DrawKeyed(Dst.get(), 2, 3, 0);
  EXPECT_EQ(Device->Calls(kvtest::FaultOp::KeyedCopy), 1);
  ASSERT_GE(Device->Restores(), 1);
  EXPECT_EQ(Device->RestoredSurfaces()[0], Src->Surface.get());
  EXPECT_EQ(kvtest::GetPixel(*Dst, 2, 3), 0u);  // skipped this time
  Src->DrawKeyed(Dst.get(), 2, 3, 0);           // and drawn the next
  EXPECT_EQ(kvtest::GetPixel(*Dst, 2, 3), 0x00FF00u);
}

TEST_F(FaultBlit, DrawKeyedAtTheRightEdgeDrawsNothing) {
  Src->DrawKeyed(Dst.get(), Dst->Width, 0, 7);
  for (uint32_t V : d2::Snapshot(*Dst).P) EXPECT_EQ(V, 0u);
  EXPECT_EQ(Src->Surface->ColorKey, 7u);  // the key is set even for an empty copy
  Src->DrawKeyed(Dst.get(), Dst->Width + 1, 0, 0);
  EXPECT_EQ(Device->Calls(kvtest::FaultOp::KeyedCopy), 1);  // only the first reached the device
}

}  // namespace
