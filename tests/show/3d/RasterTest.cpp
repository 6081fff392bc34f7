// Polygon rasterizers: row coverage, span rules, every depth, texture
// reads, the scratch row and corners that must not crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <random>

#include "KvTest.h"
#include "engine/draw/FastPath.h"
#include "engine/draw/PixelFormat.h"
#include "show/3d/Rasterizers.h"

namespace {

TexVertex V(float X, float Y, float U = 0, float Vv = 0, uint32_t Color = 0) {
  TexVertex T;
  T.X = X;
  T.Y = Y;
  T.U = U;
  T.V = Vv;
  T.Color = Color;
  return T;
}

struct Canvas {
  std::unique_ptr<TKelvra> Display;
  std::unique_ptr<TBufferKv> B;
  Canvas(int Depth, int W = 64, int H = 64) {
    Display = kvtest::MakeDisplay(Depth);
    B = std::make_unique<TBufferKv>(Display.get(), W, H, false);
  }
  uint32_t At(int X, int Y) const { return kvtest::GetPixel(*B, X, Y); }
  // Every pixel equals Expected(x, y).
  void ExpectImage(const std::function<uint32_t(int, int)>& Expected, const char* What) const {
    int Wrong = 0;
    for (int y = 0; y < B->Height; ++y)
      for (int x = 0; x < B->Width; ++x)
        if (At(x, y) != Expected(x, y) && ++Wrong <= 5)
          ADD_FAILURE() << What << ": pixel (" << x << ", " << y << ") is " << std::hex << At(x, y) << ", expected "
                        << Expected(x, y);
    EXPECT_EQ(Wrong, 0) << What;
  }
};

constexpr int Depths[] = {15, 16, 24, 32};

TEST(Rasterizers, RowCoverageInBothWindings) {
  Canvas C(32);
  const uint32_t Red = PackColor(255, 0, 0);
  // Row r of the triangle (10,10), (20,10), (10,20) runs from 10 to 30 - r;
  // row 20, where a corner lies, belongs to no edge.
  auto Expected = [Red](int x, int y) { return y >= 10 && y <= 19 && x >= 10 && x <= 30 - y ? Red : 0u; };
  const TexVertex Clockwise[3] = {V(10, 10), V(20, 10), V(10, 20)};
  FlatPoly(C.B.get(), Clockwise, 3, Red);
  C.ExpectImage(Expected, "clockwise");
  C.B->Clear(0);
  const TexVertex Counter[3] = {V(10, 10), V(10, 20), V(20, 10)};
  FlatPoly(C.B.get(), Counter, 3, Red);
  C.ExpectImage(Expected, "counter-clockwise");
}

TEST(Rasterizers, OnePixelRowsFlatDrawnOthersSkipped) {
  // Row 10 of (10,10), (10,20), (20,20) has both ends at column 10; row r
  // runs from 10 to r.
  for (int Kind = 0; Kind < 3; ++Kind) {
    Canvas C(32);
    auto Source = std::make_unique<TBufferKv>(C.Display.get(), 4, 4, false);
    const uint32_t White = PackColor(255, 255, 255);
    Source->Clear(White);
    const TexVertex T[3] = {V(10, 10, 1, 1, White), V(10, 20, 1, 1, White), V(20, 20, 1, 1, White)};
    if (Kind == 0) FlatPoly(C.B.get(), T, 3, White);
    if (Kind == 1) GouraudPoly(C.B.get(), T, 3);
    if (Kind == 2) MapPoly(C.B.get(), Source.get(), T, 3);
    C.ExpectImage(
        [Kind, White](int x, int y) {
          if (y == 10) return Kind == 0 && x == 10 ? White : 0u;
          return y >= 11 && y <= 19 && x >= 10 && x <= y ? White : 0u;
        },
        Kind == 0 ? "flat" : Kind == 1 ? "gouraud" : "textured");
  }
}

TEST(Rasterizers, UniformGouraudKeepsItsColourAtEveryDepth) {
  for (int Depth : Depths) {
    Canvas C(Depth);
    const uint32_t Color = PackColor(200, 100, 50);
    const TexVertex T[3] = {V(3.5f, 2.25f, 0, 0, Color), V(60.7f, 20.1f, 0, 0, Color), V(12.2f, 61.9f, 0, 0, Color)};
    GouraudPoly(C.B.get(), T, 3);
    int Covered = 0, Other = 0;
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x) {
        const uint32_t P = C.At(x, y);
        if (P == Color) ++Covered;
        else if (P != 0) ++Other;
      }
    EXPECT_GT(Covered, 1000) << Depth;
    EXPECT_EQ(Other, 0) << Depth;
  }
}

TEST(Rasterizers, GouraudSpanInterpolatesAndStartsLeftOfColumnZero) {
  for (int Depth : Depths) {
    Canvas C(Depth, 200, 16);
    const uint32_t Black = PackColor(0, 0, 0), Blue = PackColor(0, 0, 255);
    // Blue runs 0 .. 255 from x = -100 to x = 155: one step per column.
    const TexVertex T[4] = {V(-100, 0, 0, 0, Black), V(155, 0, 0, 0, Blue), V(155, 10, 0, 0, Blue),
                            V(-100, 10, 0, 0, Black)};
    GouraudPoly(C.B.get(), T, 4);
    C.ExpectImage([](int x, int y) { return y < 10 && x <= 155 ? PackColor(0, 0, uint8_t(x + 100)) : 0u; },
                  "gradient");
  }
}

TEST(Rasterizers, TexturedTriangleCopiesTheUpperLeftHalf) {
  for (int Depth : Depths) {
    Canvas C(Depth, 128, 128);
    TBufferKv Source(C.Display.get(), 64, 64, false);
    kvtest::FillRandom(Source, 1234 + Depth);
    const TexVertex T[3] = {V(0, 0, 0, 0), V(64, 0, 64, 0), V(0, 64, 0, 64)};
    MapPoly(C.B.get(), &Source, T, 3);
    // Row y spans 0 .. 64 - y; texel column 64 (the width) is read as 63.
    C.ExpectImage(
        [&Source](int x, int y) {
          return y < 64 && x <= 64 - y ? kvtest::GetPixel(Source, std::min(x, 63), y) : 0u;
        },
        "upper-left half");
  }
}

TEST(Rasterizers, TexturedSpanLeftOfZeroAndPositionsOutsideTheSource) {
  Canvas C(24, 200, 16);
  TBufferKv Source(C.Display.get(), 256, 8, false);
  kvtest::FillRandom(Source, 77);
  // U runs 0 .. 255 from x = -100 to 155; V is 5 on every row.
  const TexVertex T[4] = {V(-100, 0, 0, 5), V(155, 0, 255, 5), V(155, 10, 255, 5), V(-100, 10, 0, 5)};
  MapPoly(C.B.get(), &Source, T, 4);
  C.ExpectImage([&](int x, int y) { return y < 10 && x <= 155 ? kvtest::GetPixel(Source, x + 100, 5) : 0u; },
                "left of zero");

  // Positions below 0 and past the source take its edge texels.
  C.B->Clear(0);
  const TexVertex Out[4] = {V(0, 0, -1000, -50), V(100, 0, 1000, -50), V(100, 4, 1000, 900), V(0, 4, -1000, 900)};
  MapPoly(C.B.get(), &Source, Out, 4);
  EXPECT_EQ(C.At(0, 0), kvtest::GetPixel(Source, 0, 0));
  EXPECT_EQ(C.At(100, 0), kvtest::GetPixel(Source, 255, 0));
  EXPECT_EQ(C.At(0, 3), kvtest::GetPixel(Source, 0, 7));
}

TEST(Rasterizers, SourceMayBeTheDestination) {
  Canvas C(32);
  kvtest::FillRandom(*C.B, 9);
  uint32_t Row0[21];
  for (int x = 0; x <= 20; ++x) Row0[x] = C.At(x, 0);
  // Rows 1 .. 10 each copy the row above: drawn top-down, every row reads the
  // row just written, so all of them end up as the original row 0.
  const TexVertex T[4] = {V(0, 1, 0, 0), V(20, 1, 20, 0), V(20, 11, 20, 10), V(0, 11, 0, 10)};
  MapPoly(C.B.get(), C.B.get(), T, 4);
  for (int y = 1; y <= 10; ++y)
    for (int x = 0; x <= 20; ++x) ASSERT_EQ(C.At(x, y), Row0[x]) << x << ", " << y;
}

bool Blank(const TBufferKv& B) {
  for (int y = 0; y < B.Height; ++y)
    for (int x = 0; x < B.Width; ++x)
      if (kvtest::GetPixel(B, x, y) != 0) return false;
  return true;
}

TEST(Rasterizers, ScratchRowGivesTheSamePixels) {
  for (int Depth : Depths) {
    Canvas Direct(Depth, 100, 100);
    TBufferKv Scratch(Direct.Display.get(), 100, 100, false);
    Scratch.ScratchRow.reset(new uint8_t[size_t(Scratch.Pitch)]());
    Scratch.HasScratchRow = true;
    TBufferKv Source(Direct.Display.get(), 32, 32, false);
    kvtest::FillRandom(Source, 5);
    for (TBufferKv* B : {Direct.B.get(), &Scratch}) {
      const TexVertex G[3] = {V(-20, 5, 0, 0, PackColor(255, 0, 0)), V(90, 30, 0, 0, PackColor(0, 255, 0)),
                              V(10, 95, 0, 0, PackColor(0, 0, 255))};
      GouraudPoly(B, G, 3);
      const TexVertex M[3] = {V(50, -10, 0, 0), V(120, 60, 31, 5), V(30, 80, 3, 31)};
      MapPoly(B, &Source, M, 3);
    }
    EXPECT_FALSE(Blank(Scratch)) << Depth;
    EXPECT_EQ(kvtest::Checksum(*Direct.B), kvtest::Checksum(Scratch)) << Depth;
  }
}

TEST(Rasterizers, EmptyAndBadPolygonsDrawNothing) {
  Canvas C(16);
  const uint32_t Red = PackColor(255, 0, 0);
  TBufferKv Source(C.Display.get(), 8, 8, false);
  Source.Clear(Red);
  const float NaN = std::numeric_limits<float>::quiet_NaN(), Inf = std::numeric_limits<float>::infinity();
  const TexVertex Cases[][3] = {
      {V(1, 5), V(30, 5), V(10, 5)},           // all on one row
      {V(1, 7.2f), V(30, 7.5f), V(10, 7.9f)},  // no whole row inside
      {V(1, 64), V(30, 70), V(10, 80)},        // below the last row
      {V(1, -30), V(30, -20), V(10, -0.5f)},   // above row 0
      {V(NaN, 5), V(30, 20), V(10, 40)},       // not a number
      {V(1, 5), V(30, Inf), V(10, 40)},        // infinite
      {V(1, 5), V(-Inf, 20), V(10, 40)},
  };
  int Index = 0;
  for (const auto& T : Cases) {
    FlatPoly(C.B.get(), T, 3, Red);
    GouraudPoly(C.B.get(), T, 3);
    MapPoly(C.B.get(), &Source, T, 3);
    EXPECT_TRUE(Blank(*C.B)) << "case " << Index++;
  }
  // Texture positions that are not finite or lie beyond the 16.16 range.
  const TexVertex BadUV[][3] = {
      {V(1, 5, NaN, 0), V(30, 20), V(10, 40)},
      {V(1, 5, 0, 1e30f), V(30, 20), V(10, 40)},
      {V(1, 5, -Inf, 0), V(30, 20), V(10, 40)},
  };
  for (const auto& T : BadUV) MapPoly(C.B.get(), &Source, T, 3);
  EXPECT_TRUE(Blank(*C.B));
  // Nothing to draw with: no buffer, no corners, no source.
  const TexVertex Fine[3] = {V(1, 5), V(30, 20), V(10, 40)};
  FlatPoly(nullptr, Fine, 3, Red);
  FlatPoly(C.B.get(), nullptr, 3, Red);
  FlatPoly(C.B.get(), Fine, 0, Red);
  MapPoly(C.B.get(), nullptr, Fine, 3);
  EXPECT_TRUE(Blank(*C.B));
}

TEST(Rasterizers, HugeCornersAreClippedNotWrapped) {
  Canvas C(32);
  const uint32_t Green = PackColor(0, 255, 0);
  TBufferKv Source(C.Display.get(), 8, 8, false);
  Source.Clear(Green);
  // The visible part of (10,10), (1e30,10), (10,1e30) is everything right of
  // and below (10, 10).
  const TexVertex T[3] = {V(10, 10, 1, 1, Green), V(1e30f, 10, 1, 1, Green), V(10, 1e30f, 1, 1, Green)};
  auto Corner = [Green](int x, int y) { return x >= 10 && y >= 10 ? Green : 0u; };
  FlatPoly(C.B.get(), T, 3, Green);
  C.ExpectImage(Corner, "flat");
  C.B->Clear(0);
  GouraudPoly(C.B.get(), T, 3);
  C.ExpectImage(Corner, "gouraud");
  C.B->Clear(0);
  MapPoly(C.B.get(), &Source, T, 3);
  C.ExpectImage(Corner, "textured");

  // Corners past the 16.16 range on every side cover the whole buffer.
  C.B->Clear(0);
  const TexVertex Big[3] = {V(-40000, -40000), V(40000, -40000), V(0, 40000)};
  FlatPoly(C.B.get(), Big, 3, Green);
  C.ExpectImage([Green](int, int) { return Green; }, "big");
}

TEST(Rasterizers, SteepEdgesAcrossTwoRowsKeepTheirSlope) {
  // An edge 1.875 rows tall and 63750 columns wide moves 34000 columns a
  // row, more than a 32-bit 16.16 step can hold. It crosses row 1 at x =
  // -5500 and row 2 at x = 28500 (all exact in binary); the triangle covers
  // what lies right of it.
  Canvas C(32, 29000, 4);
  const uint32_t White = PackColor(255, 255, 255);
  const TexVertex T[3] = {V(-31000, 0.25f), V(32750, 2.125f), V(32750, 0.25f)};
  FlatPoly(C.B.get(), T, 3, White);
  EXPECT_EQ(C.At(0, 1), White);
  EXPECT_EQ(C.At(28499, 2), 0u);
  EXPECT_EQ(C.At(28500, 2), White);
  EXPECT_EQ(C.At(28999, 2), White);
  int Row2 = 0;
  for (int x = 0; x < C.B->Width; ++x) Row2 += C.At(x, 2) == White;
  EXPECT_EQ(Row2, 500);
}

TEST(Rasterizers, SeededRandomCornersStayInTheirBox) {
  // Corners from a mix of scales (inside, around and far beyond the buffer,
  // past the 16.16 range); every pixel drawn must lie in the corners' box.
  uint32_t Seed = 2024;
  auto Next = [&Seed] { return Seed = Seed * 1664525u + 1013904223u; };
  auto Coord = [&]() -> float {
    const float Unit = float(Next() >> 8) / float(1 << 24);  // 0 .. 1
    switch (Next() % 4) {
      case 0: return Unit * 80 - 8;
      case 1: return Unit * 400 - 200;
      case 2: return Unit * 200000 - 100000;
      default: return (Unit - 0.5f) * 2e30f;
    }
  };
  int Drawn = 0;
  for (int Depth : Depths) {
    Canvas C(Depth, 64, 48);
    TBufferKv Source(C.Display.get(), 16, 16, false);
    kvtest::FillRandom(Source, 3);
    for (int i = 0; i < 150; ++i) {
      TexVertex T[3];
      for (TexVertex& Corner : T)
        Corner = V(Coord(), Coord(), float(Next() % 40) - 10, float(Next() % 40) - 10, Next() & 0xFFFFFF);
      float X0 = T[0].X, X1 = T[0].X, Y0 = T[0].Y, Y1 = T[0].Y;
      for (const TexVertex& Corner : T) {
        X0 = std::min(X0, Corner.X), X1 = std::max(X1, Corner.X);
        Y0 = std::min(Y0, Corner.Y), Y1 = std::max(Y1, Corner.Y);
      }
      for (int Kind = 0; Kind < 3; ++Kind) {
        C.B->Clear(0);
        if (Kind == 0) FlatPoly(C.B.get(), T, 3, PackColor(255, 255, 255));
        if (Kind == 1) GouraudPoly(C.B.get(), T, 3);
        if (Kind == 2) MapPoly(C.B.get(), &Source, T, 3);
        Drawn += !Blank(*C.B);
        for (int y = 0; y < C.B->Height; ++y)
          for (int x = 0; x < C.B->Width; ++x)
            if (C.At(x, y) != 0 && (x < X0 - 1 || x > X1 + 1 || y < Y0 - 1 || y > Y1 + 1))
              FAIL() << "depth " << Depth << " kind " << Kind << " triangle " << i << " drew (" << x << ", " << y
                     << ")";
      }
    }
  }
  EXPECT_GT(Drawn, 300);  // the mix covers the buffer often enough to mean something
}

// The fast path's triangles (walked with their rows, no edge tables) against
// the reference path's general polygon walk: seeded random triangles, small
// and within the buffer, across its borders and beyond the corner box, with
// corners on whole and half rows, texture positions inside the source, on its
// far edge and outside it, a scratch row or none; every pixel must match.
TEST(Rasterizers, SeededTrianglesMatchTheReferencePath) {
  const KvPath Saved = KvActivePath();
  std::mt19937 Rng(77);
  auto Real = [&](float Lo, float Hi) { return std::uniform_real_distribution<float>(Lo, Hi)(Rng); };
  auto Coord = [&](float Extent, float Near) -> float {
    switch (Rng() % 6) {
      case 0: return std::floor(Real(-4, Extent + 4)) + (Rng() % 2) * 0.5f;  // whole and half rows
      case 1: return Real(-0.5f * Extent, 1.5f * Extent);
      case 2: return Rng() % 8 ? Near + Real(-6, 6) : Real(-40000, 40000);  // clipped
      default: return Near + Real(-5, 5);  // the show's small triangles
    }
  };
  // As the show's textured faces have them: often on the source's first or
  // last position exactly.
  auto Inside = [&](float Max) { return Rng() % 3 ? Real(0, Max) : Rng() % 2 ? Max : 0.0f; };
  int Differ = 0;
  for (int Depth : Depths) {
    Canvas Fast(Depth, 61, 47), Ref(Depth, 61, 47);
    if (Depth == 24)
      for (Canvas* C : {&Fast, &Ref}) {
        C->B->ScratchRow.reset(new uint8_t[size_t(C->B->Pitch)]());
        C->B->HasScratchRow = true;
      }
    TBufferKv Source(Fast.Display.get(), 13, 9, false);
    kvtest::FillRandom(Source, 9);
    for (int i = 0; i < 400; ++i) {
      const float NearX = Real(0, 61), NearY = Real(0, 47);
      const bool Outside = Rng() % 4 == 0;
      TexVertex T[3];
      for (TexVertex& Corner : T) {
        Corner.X = Coord(61, NearX);
        Corner.Y = Coord(47, NearY);
        Corner.U = Outside ? Real(-3, 16) : Inside(12);
        Corner.V = Outside ? Real(-3, 12) : Inside(8);
      }
      const uint32_t Color = Rng() & 0xFFFFFF;
      for (bool Reference : {false, true}) {
        KvForceReference(Reference);
        TBufferKv* B = Reference ? Ref.B.get() : Fast.B.get();
        if (i % 2) FlatPoly(B, T, 3, Color);
        else MapPoly(B, &Source, T, 3);
      }
      if (kvtest::Checksum(*Fast.B) != kvtest::Checksum(*Ref.B)) {
        ++Differ;
        ADD_FAILURE() << "depth " << Depth << " triangle " << i << " (" << T[0].X << ", " << T[0].Y << ") ("
                      << T[1].X << ", " << T[1].Y << ") (" << T[2].X << ", " << T[2].Y << ")";
        break;  // the buffers differ from here on
      }
    }
    EXPECT_FALSE(Blank(*Fast.B)) << Depth;
  }
  KvForcePath(Saved);
  EXPECT_EQ(Differ, 0);
}

}  // namespace
