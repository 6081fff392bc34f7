// TexturePoly and RotoZoom against a model written from the rules in
// Span.cpp's banner alone: it walks every edge row by row and every span
// pixel by pixel with plain integer arithmetic (no skipping of rows above or
// pixels left of the buffer, no shared helpers, no kernels). The reference
// and the SIMD paths share the engine's set-up, so only a model of its own
// can catch a fault there. The polygons are turned, have sub-pixel corners
// and hang off the left, right and top of a small buffer; the textures are
// noise with a few keyed texels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "Draw2d.h"

namespace {

struct ModelCorner {
  float X, Y, U, V;
};

// trunc(Value x 65536) of a value the test keeps well inside the int32 range.
int32_t ToFixed(float Value) { return int32_t(Value * 65536.0f); }

struct ModelEdges {
  std::vector<int32_t> X[2], U[2], V[2];
};

void ModelScanEdge(ModelEdges& E, int MaxY, const ModelCorner& A, const ModelCorner& B) {
  const float Dy = B.Y - A.Y;
  const float SlopeX = Dy != 0 ? (B.X - A.X) / Dy : 0.0f;
  const float SlopeU = Dy != 0 ? (B.U - A.U) / Dy : 0.0f;
  const float SlopeV = Dy != 0 ? (B.V - A.V) / Dy : 0.0f;
  const bool Up = A.Y > B.Y;
  const ModelCorner& S = Up ? B : A;
  const float EndY = Up ? A.Y : B.Y;
  const int Side = Up ? 1 : 0;
  const int First = int(std::ceil(S.Y)), Last = int(std::ceil(EndY)) - 1;
  const float Dr = float(First) - S.Y;
  int32_t X = ToFixed(Dr * SlopeX + S.X), U = ToFixed(Dr * SlopeU + S.U), V = ToFixed(Dr * SlopeV + S.V);
  const int32_t StepX = ToFixed(SlopeX), StepU = ToFixed(SlopeU), StepV = ToFixed(SlopeV);
  for (int Row = First; Row <= Last; ++Row) {
    if (Row > MaxY) break;
    if (Row >= 0) {
      E.X[Side][size_t(Row)] = X / 65536;
      E.U[Side][size_t(Row)] = U;
      E.V[Side][size_t(Row)] = V;
    }
    X += StepX;
    U += StepU;
    V += StepV;
  }
}

// Is texel T left out under Key at this depth?
bool Keyed(int Depth, uint32_t T, uint32_t Key) {
  if (Depth == 15 || Depth == 16) return T == Key;
  return (T & 0xFFFFFF) == (Key & 0xFFFFFF);  // 24: the three bytes; 32: the top byte ignored
}

void ModelTexturePoly(d2::Image& D, const d2::Image& Tex, const std::vector<ModelCorner>& C, int Depth,
                      uint32_t Key) {
  ModelEdges E;
  for (int s = 0; s < 2; ++s) {
    E.X[s].assign(size_t(D.H), 0);
    E.U[s].assign(size_t(D.H), 0);
    E.V[s].assign(size_t(D.H), 0);
  }
  const int MaxX = D.W - 1, MaxY = D.H - 1;
  for (size_t i = 0; i < C.size(); ++i) ModelScanEdge(E, MaxY, C[i], C[(i + 1) % C.size()]);
  float YMin = C[0].Y, YMax = C[0].Y;
  for (const ModelCorner& P : C) {
    YMin = std::min(YMin, P.Y);
    YMax = std::max(YMax, P.Y);
  }
  if (YMin == YMax) return;
  const int First = std::max(int(std::ceil(YMin)), 0), Last = std::min(int(std::ceil(YMax)) - 1, MaxY);
  for (int y = First; y <= Last; ++y) {
    int Start = E.X[0][size_t(y)], End = E.X[1][size_t(y)];
    int32_t U0 = E.U[0][size_t(y)], V0 = E.V[0][size_t(y)], U1 = E.U[1][size_t(y)], V1 = E.V[1][size_t(y)];
    if (End < Start) {
      std::swap(Start, End);
      std::swap(U0, U1);
      std::swap(V0, V1);
    }
    if (End < 0 || Start > MaxX) continue;
    const int N = End - Start;
    const int32_t DU = N ? (U1 - U0) / N : 0, DV = N ? (V1 - V0) / N : 0;
    End = std::min(End, MaxX);
    if (End - Start <= 0) continue;
    int32_t U = U0, V = V0;
    for (int x = Start; x <= End; ++x, U += DU, V += DV) {
      if (x < 0) continue;
      const int Tu = std::min(std::max(U / 65536, 0), Tex.W - 1);
      const int Tv = std::min(std::max(V / 65536, 0), Tex.H - 1);
      const uint32_t T = Tex.At(Tu, Tv);
      if (!Keyed(Depth, T, Key)) D.At(x, y) = T;
    }
  }
}

// RotoZoom's corners: the source's corners turned and scaled about its
// centre (W shr 1, H shr 1) and placed at (CentreX, CentreY); cos and sin
// in double, rounded once to single.
std::vector<ModelCorner> ModelRotoCorners(int W, int H, int CentreX, int CentreY, float Scale, float Angle) {
  const float Theta = Angle / 180.0f * float(3.14159265358979323846);
  const float A = float(std::cos(double(Theta))) * Scale, B = float(std::sin(double(Theta))) * Scale;
  std::vector<ModelCorner> C;
  for (const auto& [X, Y] : {std::pair<int, int>{0, 0}, {W, 0}, {W, H}, {0, H}}) {
    const float Dx = float(X) - float(W >> 1), Dy = float(Y) - float(H >> 1);
    C.push_back({float(CentreX) + Dx * A - Dy * B, float(CentreY) + Dx * B + Dy * A, float(X), float(Y)});
  }
  return C;
}

class SpanModel : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    Display = kvtest::MakeDisplay(GetParam());
    Tex = std::make_unique<TBufferKv>(Display.get(), 19, 13, false);
    // Noise over every bit the pixel holds (at 32 bits the top byte too,
    // which the key test must ignore).
    const uint32_t Mask = GetParam() == 15 ? 0x7FFF : GetParam() == 16 ? 0xFFFF : GetParam() == 24 ? 0xFFFFFF : ~0u;
    std::mt19937 Gen(uint32_t(GetParam()) * 7919u);
    for (int y = 0; y < Tex->Height; ++y)
      for (int x = 0; x < Tex->Width; ++x) d2::Poke(*Tex, x, y, Gen() & Mask);
    Key = kvtest::GetPixel(*Tex, 5, 4);
    for (int i = 0; i < 12; ++i) d2::Poke(*Tex, int(Gen() % 19), int(Gen() % 13), Key ^ (GetParam() == 32 ? 0xAB000000 : 0));
  }

  // The engine's picture on every path against the model's.
  void ExpectModel(const std::vector<ModelCorner>& Corners, const char* What) {
    d2::Image Want = Background();
    ModelTexturePoly(Want, d2::Snapshot(*Tex), Corners, GetParam(), Key);
    std::vector<TexVertex> V(Corners.size());
    for (size_t i = 0; i < Corners.size(); ++i) {
      V[i].X = Corners[i].X;
      V[i].Y = Corners[i].Y;
      V[i].U = Corners[i].U;
      V[i].V = Corners[i].V;
    }
    for (KvPath Path : d2::Paths()) {
      KvForcePath(Path);
      auto D = Target();
      D->TexturePoly(Tex.get(), V.data(), int32_t(V.size()), Key);
      ExpectSame(*D, Want, What, Path);
    }
  }

  std::unique_ptr<TBufferKv> Target() {
    auto D = std::make_unique<TBufferKv>(Display.get(), 48, 40, false);
    d2::FillAll(*D, 0x15);
    return D;
  }
  d2::Image Background() { return d2::Snapshot(*Target()); }

  static void ExpectSame(const TBufferKv& D, const d2::Image& Want, const char* What, KvPath Path) {
    const d2::Image Got = d2::Snapshot(D);
    int Drawn = 0, Wrong = 0, FirstX = -1, FirstY = -1;
    for (int y = 0; y < Want.H; ++y)
      for (int x = 0; x < Want.W; ++x) {
        Drawn += Want.At(x, y) != 0x15;
        if (Got.At(x, y) != Want.At(x, y) && Wrong++ == 0) FirstX = x, FirstY = y;
      }
    EXPECT_GT(Drawn, 100) << What;  // the case really draws
    EXPECT_EQ(Wrong, 0) << What << " on " << d2::PathName(Path) << ", first at " << FirstX << "," << FirstY;
  }

  std::unique_ptr<TKelvra> Display;
  std::unique_ptr<TBufferKv> Tex;
  uint32_t Key = 0;
  d2::PathGuard Guard;
};

INSTANTIATE_TEST_SUITE_P(Depths, SpanModel, ::testing::Values(15, 16, 24, 32));

TEST_P(SpanModel, TurnedSubPixelPolygonsHangingOffTheBuffer) {
  // Off the left, right and top edges at once, in both corner orders.
  std::vector<ModelCorner> Quad = {
      {-9.3f, 4.7f, 0.4f, 0.2f}, {30.6f, -11.2f, 18.7f, 0.6f}, {61.8f, 21.4f, 19.0f, 13.0f}, {14.1f, 37.9f, 0.1f, 12.8f}};
  ExpectModel(Quad, "quad");
  std::reverse(Quad.begin(), Quad.end());
  ExpectModel(Quad, "quad, other order");
  // A thin sliver and a five-cornered polygon reaching past the bottom.
  ExpectModel({{-20.5f, 3.25f, 0, 0}, {70.75f, 9.5f, 19, 6.5f}, {-3.1f, 14.9f, 2, 13}}, "sliver");
  ExpectModel({{10.5f, -3.5f, 9, 0}, {52.2f, 8.1f, 19, 5}, {40.4f, 47.3f, 14, 13}, {3.3f, 44.6f, 1, 12}, {-8.8f, 12.2f, 0, 2}},
              "pentagon");
}

TEST_P(SpanModel, RotoZoomSetUpAtSeveralAnglesAndScales) {
  const struct {
    int Cx, Cy;
    float Scale, Angle;
  } Cases[] = {{24, 20, 3.1f, 17.0f}, {5, 31, 2.6f, -63.5f}, {40, 3, 4.2f, 141.25f}, {24, 20, 1.0f, 90.0f},
               {30, 25, 2.25f, 359.9f}};
  for (const auto& C : Cases) {
    const std::vector<ModelCorner> Corners = ModelRotoCorners(Tex->Width, Tex->Height, C.Cx, C.Cy, C.Scale, C.Angle);
    d2::Image Want = Background();
    ModelTexturePoly(Want, d2::Snapshot(*Tex), Corners, GetParam(), Key);
    for (KvPath Path : d2::Paths()) {
      KvForcePath(Path);
      auto D = Target();
      Tex->RotoZoom(D.get(), C.Cx, C.Cy, C.Scale, C.Angle, Key);
      const std::string What = "angle " + std::to_string(C.Angle);
      ExpectSame(*D, Want, What.c_str(), Path);
    }
  }
}

}  // namespace
