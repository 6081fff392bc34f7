// The generated pictures: each decodes with its own library at the size the
// show places it at, keyed and added sprites stay transparent (exact black)
// at their borders, and the backgrounds suit their use.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "AssetTestUtil.h"

using namespace assettest;

namespace {

enum class Format { Png, Jpeg, Bmp };

struct ShowPicture {
  const char* Name;
  Format Fmt;
  int MinW, MaxW, MinH, MaxH;
  bool Keyed;  // drawn keyed or added: black is transparent
};

// Sizes from the show's layout: backgrounds fill the 640 x 480 screen, the
// logo spans the width, sprites are small squares.
const ShowPicture kPictures[] = {
    {"GFX/nerith.png", Format::Png, 640, 640, 64, 96, true},
    {"GFX/gradiente.png", Format::Png, 640, 640, 480, 480, false},
    {"GFX/ball.png", Format::Png, 16, 24, 16, 24, true},
    {"GFX/fire11.jpg", Format::Jpeg, 256, 256, 256, 256, false},
    {"GFX/mp056.jpg", Format::Jpeg, 640, 640, 480, 480, false},
    {"GFX/star.bmp", Format::Bmp, 24, 40, 24, 40, true},
    {"GFX/water.jpg", Format::Jpeg, 640, 640, 480, 480, false},
    {"GFX/tw_nr.png", Format::Png, 400, 560, 48, 80, true},
    {"GFX/code.png", Format::Png, 160, 240, 24, 32, true},
    {"GFX/music.png", Format::Png, 160, 240, 24, 32, true},
    {"GFX/gfx.png", Format::Png, 160, 240, 24, 32, true},
    {"GFX/corvel.png", Format::Png, 440, 560, 100, 140, true},
    {"GFX/corvel_M.png", Format::Png, 560, 620, 260, 300, true},
};

class Pictures : public ::testing::Test {
 protected:
  void SetUp() override {
    if (AssetDir().empty()) GTEST_SKIP() << "the build was configured without the asset generator (NERITH_ASSETS=OFF)";
  }
  // Loads a picture by its format's own decoder, failing the test if it does not decode.
  static Picture Load(const ShowPicture& S) {
    std::string Bytes = Slurp(AssetDir() + "/" + S.Name);
    Picture P;
    std::string Why;
    bool Ok = false;
    // The show tells formats apart by their first bytes, not by the name.
    if (S.Fmt == Format::Png) {
      EXPECT_EQ(Bytes.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0) << S.Name;
      Ok = DecodePng(Bytes, P, Why);
    } else if (S.Fmt == Format::Jpeg) {
      EXPECT_EQ(Bytes.compare(0, 2, "\xff\xd8"), 0) << S.Name;
      Ok = DecodeJpeg(Bytes, P, Why);
    } else {
      EXPECT_EQ(Bytes.compare(0, 2, "BM"), 0) << S.Name;
      Ok = DecodeBmp(Bytes, P, Why);
    }
    EXPECT_TRUE(Ok) << S.Name << ": " << Why;
    return P;
  }
  static const ShowPicture& Named(const std::string& Name) {
    for (const ShowPicture& S : kPictures)
      if (Name == S.Name) return S;
    throw std::runtime_error(Name + " is not one of the show's pictures");
  }
};

double Luma(const uint8_t* P) { return 0.299 * P[0] + 0.587 * P[1] + 0.114 * P[2]; }

TEST_F(Pictures, EachDecodesAtTheSizeTheShowPlacesIt) {
  for (const ShowPicture& S : kPictures) {
    Picture P = Load(S);
    EXPECT_GE(P.W, S.MinW) << S.Name;
    EXPECT_LE(P.W, S.MaxW) << S.Name;
    EXPECT_GE(P.H, S.MinH) << S.Name;
    EXPECT_LE(P.H, S.MaxH) << S.Name;
  }
  // The two sprites are square.
  Picture Ball = Load(Named("GFX/ball.png")), Star = Load(Named("GFX/star.bmp"));
  EXPECT_EQ(Ball.W, Ball.H);
  EXPECT_EQ(Star.W, Star.H);
}

TEST_F(Pictures, KeyedPicturesAreTransparentAtTheBorderAndLitInside) {
  for (const ShowPicture& S : kPictures) {
    if (!S.Keyed) continue;
    Picture P = Load(S);
    ASSERT_GT(P.W, 2) << S.Name;
    int BorderLit = 0, Lit = 0;
    for (int X = 0; X < P.W; ++X) BorderLit += !P.Black(X, 0) + !P.Black(X, P.H - 1);
    for (int Y = 0; Y < P.H; ++Y) BorderLit += !P.Black(0, Y) + !P.Black(P.W - 1, Y);
    for (int Y = 0; Y < P.H; ++Y)
      for (int X = 0; X < P.W; ++X) Lit += !P.Black(X, Y);
    EXPECT_EQ(BorderLit, 0) << S.Name << ": border pixels that are not exact black";
    // Not an empty picture: something visible covers a fair part of it.
    EXPECT_GT(Lit, P.W * P.H / 50) << S.Name;
    EXPECT_LT(Lit, P.W * P.H) << S.Name << " has no transparent pixel at all";
  }
}

TEST_F(Pictures, GlowSpritesAreBrightestInTheMiddle) {
  for (const char* Name : {"GFX/ball.png", "GFX/star.bmp"}) {
    Picture P = Load(Named(Name));
    double Centre = Luma(P.At(P.W / 2, P.H / 2));
    double Max = 0.0;
    for (int Y = 0; Y < P.H; ++Y)
      for (int X = 0; X < P.W; ++X) Max = std::max(Max, Luma(P.At(X, Y)));
    EXPECT_GT(Centre, 200.0) << Name;
    EXPECT_GE(Centre, Max - 30.0) << Name;
    // Half way out it is clearly dimmer than the core.
    EXPECT_LT(Luma(P.At(P.W / 2 + P.W / 4, P.H / 2 + P.H / 4)), Centre * 0.5) << Name;
  }
}

TEST_F(Pictures, WaterIsOpaqueEverywhere) {
  // Drawn with the black key: a pure black pixel would be a hole.
  Picture P = Load(Named("GFX/water.jpg"));
  int Holes = 0;
  double Sum = 0.0;
  for (int Y = 0; Y < P.H; ++Y)
    for (int X = 0; X < P.W; ++X) {
      Holes += P.Black(X, Y);
      Sum += Luma(P.At(X, Y));
    }
  EXPECT_EQ(Holes, 0);
  // Dark enough that the grey (127) credits text stands out over it.
  EXPECT_LT(Sum / (P.W * P.H), 90.0);
  EXPECT_GT(Sum / (P.W * P.H), 15.0);
}

TEST_F(Pictures, BackdropIsMidDark) {
  Picture P = Load(Named("GFX/mp056.jpg"));
  double Sum = 0.0;
  for (int Y = 0; Y < P.H; ++Y)
    for (int X = 0; X < P.W; ++X) Sum += Luma(P.At(X, Y));
  double Mean = Sum / (P.W * P.H);
  EXPECT_GT(Mean, 15.0);
  EXPECT_LT(Mean, 100.0);
}

TEST_F(Pictures, GradientRunsSmoothlyFromDarkBlueToWarmOrange) {
  Picture P = Load(Named("GFX/gradiente.png"));
  // Row means over the middle half of the width.
  std::vector<double> R(size_t(P.H)), G(size_t(P.H)), B(size_t(P.H)), L(size_t(P.H));
  for (int Y = 0; Y < P.H; ++Y) {
    for (int X = P.W / 4; X < 3 * P.W / 4; ++X) {
      const uint8_t* Px = P.At(X, Y);
      R[size_t(Y)] += Px[0], G[size_t(Y)] += Px[1], B[size_t(Y)] += Px[2];
    }
    double N = P.W / 2;
    R[size_t(Y)] /= N, G[size_t(Y)] /= N, B[size_t(Y)] /= N;
    L[size_t(Y)] = 0.299 * R[size_t(Y)] + 0.587 * G[size_t(Y)] + 0.114 * B[size_t(Y)];
  }
  // Top: dark and blue. Bottom: bright and warm.
  EXPECT_GT(B[2], R[2]);
  EXPECT_LT(L[2], 40.0);
  EXPECT_GT(R[size_t(P.H - 3)], B[size_t(P.H - 3)] + 60.0);
  EXPECT_GT(L[size_t(P.H - 3)], 150.0);
  // No banding: neighbouring rows never jump, and the dither leaves many
  // different values in a small flat-looking patch.
  for (int Y = 1; Y < P.H; ++Y) EXPECT_LT(std::fabs(L[size_t(Y)] - L[size_t(Y - 1)]), 3.0) << "row " << Y;
  std::map<int, int> Values;
  for (int Y = 100; Y < 116; ++Y)
    for (int X = 300; X < 316; ++X) Values[P.At(X, Y)[2]]++;
  EXPECT_GE(Values.size(), 4u);
}

TEST_F(Pictures, FireIsHotInItsMiddleHalf) {
  Picture P = Load(Named("GFX/fire11.jpg"));
  double Inner = 0.0, Outer = 0.0, R = 0.0, Gc = 0.0, Bc = 0.0;
  int Ni = 0, No = 0;
  for (int Y = 0; Y < P.H; ++Y)
    for (int X = 0; X < P.W; ++X) {
      bool Mid = X >= P.W / 4 && X < 3 * P.W / 4 && Y >= P.H / 4 && Y < 3 * P.H / 4;
      const uint8_t* Px = P.At(X, Y);
      (Mid ? Inner : Outer) += Luma(Px);
      (Mid ? Ni : No)++;
      if (Mid) R += Px[0], Gc += Px[1], Bc += Px[2];
    }
  EXPECT_GT(Inner / Ni, Outer / No + 20.0);
  // Warm: red over green over blue.
  EXPECT_GT(R, Gc);
  EXPECT_GT(Gc, Bc);
}

TEST_F(Pictures, MemberHandlesLeaveTheRoleRowsClear) {
  // The picture is drawn at (20, 180); the show writes role labels at
  // y 215, 290, 360 and 430 from x 30 on, over transparent (black) rows.
  Picture P = Load(Named("GFX/corvel_M.png"));
  const int LabelY[4] = {215, 290, 360, 430};
  for (int Row = 0; Row < 4; ++Row) {
    int Top = LabelY[Row] - 180;
    int Lit = 0;
    for (int Y = Top + 2; Y < std::min(P.H, Top + 28); ++Y)
      for (int X = 10; X < 330; ++X) Lit += !P.Black(X, Y);
    EXPECT_EQ(Lit, 0) << "role row " << Row;
    // And a handle stands just above the row.
    int Handle = 0;
    for (int Y = std::max(0, Top - 30); Y < Top; ++Y)
      for (int X = 10; X < 200; ++X) Handle += !P.Black(X, Y);
    EXPECT_GT(Handle, 300) << "handle above role row " << Row;
  }
}

}  // namespace
