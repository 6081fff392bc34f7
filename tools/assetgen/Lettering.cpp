// Shaded lettering and the text pictures (see Pictures.h).
//
// Every text picture is built the same way: FreeType gives a coverage mask,
// the mask's blurred copy serves as a height field for a bevel, a colour ramp
// across the letters' height gives the chrome, and an outline and a glow are
// grown from the mask. Everything outside the glow is exact black, because the
// show draws these pictures keyed on black.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "Noise.h"
#include "Pictures.h"
#include "Text.h"

namespace assetgen {

namespace {

struct ChromeStyle {
  std::vector<RampStop> Body;  // colour across the ink band, 0 = top, 1 = bottom
  float Reflect = 0.18f;       // how far the bevel's slope bends the ramp (chrome look)
  float BevelSigma = 2.0f;     // softness of the bevel height field
  float BevelDepth = 6.0f;     // steepness of the bevel
  float Specular = 0.8f;
  Rgb Outline;
  float OutlineWidth = 1.5f;
  Rgb Glow;
  float GlowSigma = 6.0f;
  float GlowStrength = 0.8f;
};

// Shades Ink (coverage) into colour. BandTop and BandBottom are the rows the
// body ramp spans (usually the capital height).
Image ShadeLettering(const Mask& Ink, float BandTop, float BandBottom, const ChromeStyle& S) {
  const int W = Ink.W, H = Ink.H;
  Mask Height = Blur(Ink, S.BevelSigma);
  Mask Outer = S.OutlineWidth > 0.0f ? Dilate(Ink, S.OutlineWidth) : Ink;
  Mask Glow = S.GlowStrength > 0.0f ? Blur(Outer, S.GlowSigma) : Mask(W, H);
  // Light from the upper left, in front (y grows downwards).
  const float Lx = -0.45f, Ly = -0.65f, Lz = 0.61f;
  const float Hx = Lx, Hy = Ly, Hz = Lz + 1.0f;  // half vector with the view (0, 0, 1)
  const float Hn = std::sqrt(Hx * Hx + Hy * Hy + Hz * Hz);
  Image Out(W, H);
  for (int Y = 0; Y < H; ++Y) {
    for (int X = 0; X < W; ++X) {
      float Gx = (Height.Get(X + 1, Y) - Height.Get(X - 1, Y)) * 0.5f * S.BevelDepth;
      float Gy = (Height.Get(X, Y + 1) - Height.Get(X, Y - 1)) * 0.5f * S.BevelDepth;
      float Nx = -Gx, Ny = -Gy, Nz = 1.0f;
      float Nn = std::sqrt(Nx * Nx + Ny * Ny + Nz * Nz);
      Nx /= Nn, Ny /= Nn, Nz /= Nn;
      float Diffuse = std::max(0.0f, Nx * Lx + Ny * Ly + Nz * Lz);
      float Shine = std::pow(std::max(0.0f, (Nx * Hx + Ny * Hy + Nz * Hz) / Hn), 24.0f);
      float T = (float(Y) - BandTop) / (BandBottom - BandTop) + Ny * S.Reflect;
      Rgb Body = Ramp(S.Body, T) * (0.45f + 0.75f * Diffuse) + Rgb{1, 1, 1} * (Shine * S.Specular);
      float A = Ink.Get(X, Y);
      float O = Outer.Get(X, Y);
      Rgb C = S.Glow * std::min(1.0f, Glow.Get(X, Y) * S.GlowStrength);
      C = Mix(C, S.Outline, O);
      C = Mix(C, Body, A);
      Out.At(X, Y) = {Clamp01(C.R), Clamp01(C.G), Clamp01(C.B)};
    }
  }
  return Out;
}

// A horizontal light streak: a thin bright line with a soft halo, fading out
// towards both ends (Ends = x where it reaches zero).
void AddStreak(Image& Img, float Y, float X0, float X1, float Peak, Rgb Color, float Thickness) {
  for (int Yy = 0; Yy < Img.H; ++Yy) {
    float Dy = (float(Yy) - Y) / Thickness;
    float Across = std::exp(-Dy * Dy) * 0.8f + std::exp(-Dy * Dy * 0.08f) * 0.2f;
    for (int X = 0; X < Img.W; ++X) {
      float T = (float(X) - X0) / (X1 - X0);
      if (T <= 0.0f || T >= 1.0f) continue;
      float Along = std::pow(std::sin(T * kPi), 3.0f);
      float K = Peak * Along * Across;
      Rgb& P = Img.At(X, Yy);
      P = Screen(P, Color * K);
    }
  }
}

// A four-pointed twinkle centred at (Cx, Cy).
void AddTwinkle(Image& Img, float Cx, float Cy, float Size, float Peak, Rgb Color) {
  int R = int(Size) + 2;
  for (int Y = int(Cy) - R; Y <= int(Cy) + R; ++Y)
    for (int X = int(Cx) - R; X <= int(Cx) + R; ++X) {
      if (X < 0 || Y < 0 || X >= Img.W || Y >= Img.H) continue;
      float Dx = std::fabs(float(X) - Cx), Dy = std::fabs(float(Y) - Cy);
      float Core = std::exp(-(Dx * Dx + Dy * Dy) / 3.0f);
      float Arms = std::exp(-Dy * Dy * 1.5f) * Clamp01(1.0f - Dx / Size) + std::exp(-Dx * Dx * 1.5f) * Clamp01(1.0f - Dy / Size);
      Rgb& P = Img.At(X, Y);
      P = Screen(P, Color * (Peak * std::min(1.0f, Core + 0.8f * Arms)));
    }
}

// A line that tapers from thickness T0 at X0 to a point at X1, added to a
// coverage mask: underlines and rules that are shaded like the letters.
void AddTaperedLine(Mask& Ink, float X0, float X1, float Y, float T0) {
  for (int X = std::max(0, int(X0)); X < std::min(Ink.W, int(std::ceil(X1))); ++X) {
    float U = (float(X) + 0.5f - X0) / (X1 - X0);
    if (U < 0.0f || U > 1.0f) continue;
    float Half = 0.5f * T0 * (1.0f - U);
    for (int Y2 = int(Y - Half) - 2; Y2 <= int(Y + Half) + 2; ++Y2) {
      if (Y2 < 0 || Y2 >= Ink.H) continue;
      float Cov = Clamp01(Half + 0.5f - std::fabs(float(Y2) + 0.5f - Y));
      Ink.At(X, Y2) = std::max(Ink.At(X, Y2), Cov);
    }
  }
}

// Picks the em size that makes Text's ink exactly TargetInkHeight rows of
// capitals high (measured on "H", so descenders do not count).
float EmForCapHeight(FontFace Face, float TargetCapHeight) {
  TextStyle S;
  S.Face = Face;
  S.PixelHeight = 100.0f;
  TextMask T = RenderText("H", S, 0);
  float Cap = float(T.InkBottom - T.InkTop + 1);
  return 100.0f * TargetCapHeight / Cap;
}

// Icy chrome of the show's name: white-blue top, a dark steel horizon a little
// above the middle, pale cyan below.
ChromeStyle IcyStyle() {
  ChromeStyle S;
  S.Body = {{-0.2f, C8(255, 255, 255)}, {0.05f, C8(235, 248, 255)}, {0.38f, C8(120, 175, 230)},
            {0.47f, C8(22, 48, 105)},   {0.55f, C8(40, 95, 170)},   {0.8f, C8(150, 215, 255)},
            {1.2f, C8(235, 252, 255)}};
  S.Outline = C8(18, 50, 120);
  S.Glow = C8(60, 150, 255);
  return S;
}

// The group's violet chrome.
ChromeStyle VioletStyle() {
  ChromeStyle S;
  S.Body = {{-0.2f, C8(255, 250, 255)}, {0.08f, C8(245, 225, 255)}, {0.42f, C8(175, 120, 235)},
            {0.5f, C8(50, 20, 95)},     {0.58f, C8(110, 60, 190)},  {0.85f, C8(225, 180, 255)},
            {1.2f, C8(255, 240, 255)}};
  S.Outline = C8(45, 15, 85);
  S.Glow = C8(150, 70, 255);
  return S;
}

// Fades the outermost Margin pixels to black: the show draws these pictures
// keyed or added, so a lit border pixel would show the picture's edge.
void ClearBorder(Image& Img, int Margin) {
  for (int Y = 0; Y < Img.H; ++Y)
    for (int X = 0; X < Img.W; ++X) {
      int D = std::min(std::min(X, Img.W - 1 - X), std::min(Y, Img.H - 1 - Y));
      if (D >= Margin) continue;
      Img.At(X, Y) = Img.At(X, Y) * (float(D) / float(Margin));
    }
}

QuantizeOptions KeyedOutput(uint64_t Seed) {
  QuantizeOptions Q;
  Q.DitherSeed = Seed;
  Q.BlackCut = 10.0f / 255.0f;
  return Q;
}

// Places Text's ink horizontally centred on CenterX with the capitals' top at
// CapTop; returns the mask and the capital band rows.
struct Line {
  Mask Ink;
  float CapTop, CapBottom;
  int InkLeft, InkRight;
};
Line SetLine(int W, int H, const std::string& Text, const TextStyle& Style, float CenterX, float CapTop) {
  TextStyle CapS = Style;
  TextMask Cap = RenderText("H", CapS, 0);
  float CapHeight = float(Cap.InkBottom - Cap.InkTop + 1);
  TextMask T = RenderText(Text, Style, 0);
  // The capital "H" sits on the baseline: its ink top is CapHeight above it.
  int X = int(std::lround(CenterX - T.M.W * 0.5f));
  int Y = int(std::lround(CapTop + CapHeight)) - T.BaselineY;
  Line L;
  L.Ink = Mask(W, H);
  StampMax(L.Ink, T.M, X, Y);
  L.CapTop = CapTop;
  L.CapBottom = CapTop + CapHeight;
  L.InkLeft = X;
  L.InkRight = X + T.M.W;
  return L;
}

}  // namespace

Image8 MakeLogoPic() {
  const int W = 640, H = 80;
  TextStyle S;
  S.Face = FontFace::SansBold;
  S.PixelHeight = EmForCapHeight(S.Face, 50.0f);
  S.StretchX = 1.45f;
  S.Tracking = 14.0f;
  Line L = SetLine(W, H, "NERITH", S, W * 0.5f, 15.0f);
  ChromeStyle St = IcyStyle();
  St.BevelSigma = 2.2f;
  St.BevelDepth = 7.0f;
  St.OutlineWidth = 1.6f;
  St.GlowSigma = 5.5f;
  St.GlowStrength = 1.1f;
  Image Img = ShadeLettering(L.Ink, L.CapTop, L.CapBottom, St);
  // A light streak through the horizon of the letters, reaching out both sides.
  float Mid = L.CapTop + (L.CapBottom - L.CapTop) * 0.47f;
  AddStreak(Img, Mid, 12.0f, 628.0f, 0.85f, C8(120, 200, 255), 1.1f);
  AddTwinkle(Img, float(L.InkLeft) + 3.0f, L.CapTop + 1.0f, 11.0f, 1.0f, C8(220, 240, 255));
  AddTwinkle(Img, float(L.InkRight) - 4.0f, L.CapBottom - 2.0f, 9.0f, 0.9f, C8(220, 240, 255));
  ClearBorder(Img, 2);
  return Quantize(Img, KeyedOutput(0x10601));
}

Image LogoLettering(const std::string& Text, int W, int H, float CapHeight) {
  TextStyle S;
  S.Face = FontFace::SansBold;
  S.PixelHeight = EmForCapHeight(S.Face, CapHeight);
  S.StretchX = 1.2f;
  Line L = SetLine(W, H, Text, S, W * 0.5f, (float(H) - CapHeight) * 0.5f);
  // The logo's proportions (bevel, outline and glow against a 50-row cap
  // height), scaled to this cap height.
  const float K = CapHeight / 50.0f;
  ChromeStyle St = IcyStyle();
  St.BevelSigma = 2.2f * K;
  St.BevelDepth = 7.0f;
  St.OutlineWidth = 1.6f * K;
  St.GlowSigma = 5.5f * K;
  St.GlowStrength = 1.1f;
  Image Img = ShadeLettering(L.Ink, L.CapTop, L.CapBottom, St);
  const float Mid = L.CapTop + (L.CapBottom - L.CapTop) * 0.47f;
  AddStreak(Img, Mid, W * 0.04f, W * 0.96f, 0.85f, C8(120, 200, 255), 1.1f * K);
  AddTwinkle(Img, float(L.InkRight) - 4.0f * K, L.CapTop + 1.0f * K, 11.0f * K, 1.0f, C8(220, 240, 255));
  return Img;
}

Image8 MakeTitlePic() {
  const int W = 480, H = 64;
  TextStyle S;
  S.Face = FontFace::SansBold;
  S.PixelHeight = EmForCapHeight(S.Face, 30.0f);
  S.StretchX = 1.2f;
  S.Tracking = 5.0f;
  const std::string Text = "TARNWICK \xe2\x97\x86 NERITH";
  // Fit the line into the picture with room for the glow.
  int Ink = TextInkWidth(Text, S);
  if (Ink > W - 40) S.StretchX *= float(W - 40) / float(Ink);
  Line L = SetLine(W, H, Text, S, W * 0.5f, 12.0f);
  // A swoosh under the line, pointed at both ends.
  const float Under = L.CapBottom + 7.0f;
  AddTaperedLine(L.Ink, W * 0.5f, float(L.InkRight) + 6.0f, Under, 3.0f);
  {
    Mask Mirror(W, H);
    AddTaperedLine(Mirror, W * 0.5f, float(W - L.InkLeft) + 6.0f, Under, 3.0f);
    for (int Y = 0; Y < H; ++Y)
      for (int X = 0; X < W; ++X) L.Ink.At(X, Y) = std::max(L.Ink.At(X, Y), Mirror.Get(W - 1 - X, Y));
  }
  ChromeStyle St = IcyStyle();
  St.BevelSigma = 1.4f;
  St.BevelDepth = 5.0f;
  St.OutlineWidth = 1.2f;
  St.GlowSigma = 4.0f;
  St.GlowStrength = 1.0f;
  St.GlowStrength = 0.7f;
  St.GlowSigma = 3.0f;
  Image Img = ShadeLettering(L.Ink, L.CapTop, Under + 1.5f, St);
  ClearBorder(Img, 2);
  return Quantize(Img, KeyedOutput(0x10602));
}

namespace {
Image8 MakeCreditLabel(const char* Word, unsigned Seed) {
  const int W = 200, H = 28;
  TextStyle S;
  S.Face = FontFace::SerifBold;
  S.PixelHeight = EmForCapHeight(S.Face, 15.0f);
  S.Shear = 0.28f;
  S.StretchX = 1.1f;
  S.Tracking = 1.5f;
  TextMask T = RenderText(Word, S, 0);
  // Baseline at row 19 leaves room for descenders ("g") and ascenders ("f").
  const int Baseline = 19;
  Mask Ink(W, H);
  const int X0 = 6;
  StampMax(Ink, T.M, X0, Baseline - T.BaselineY);
  ChromeStyle St;
  St.Body = {{-0.3f, C8(255, 255, 225)}, {0.15f, C8(255, 236, 150)}, {0.55f, C8(255, 160, 40)},
             {0.62f, C8(190, 70, 10)},   {0.9f, C8(255, 190, 90)},   {1.3f, C8(255, 240, 190)}};
  St.Outline = C8(70, 18, 8);
  St.OutlineWidth = 1.2f;
  St.Glow = C8(255, 110, 20);
  St.GlowSigma = 2.2f;
  St.GlowStrength = 0.55f;
  St.BevelSigma = 1.0f;
  St.BevelDepth = 3.5f;
  St.Reflect = 0.12f;
  float CapTop = float(Baseline) - 15.0f;
  // An underline that runs out to the right and thins to a point.
  AddTaperedLine(Ink, float(X0 + T.M.W) - 4.0f, float(W - 6), float(Baseline) + 2.5f, 2.6f);
  Image Img = ShadeLettering(Ink, CapTop, float(Baseline) + 3.0f, St);
  ClearBorder(Img, 2);
  return Quantize(Img, KeyedOutput(0x10700 + Seed));
}
}  // namespace

Image8 MakeCodePic() { return MakeCreditLabel("code", 1); }
Image8 MakeGfxPic() { return MakeCreditLabel("gfx", 2); }
Image8 MakeMusicPic() { return MakeCreditLabel("music", 3); }

Image8 MakeGroupPic() {
  const int W = 500, H = 120;
  TextStyle S;
  S.Face = FontFace::SansBold;
  S.PixelHeight = EmForCapHeight(S.Face, 62.0f);
  S.StretchX = 1.15f;
  S.Tracking = 12.0f;
  const std::string Text = "CORVEL";
  int Ink = TextInkWidth(Text, S);
  if (Ink > W - 60) S.StretchX *= float(W - 60) / float(Ink);
  Line L = SetLine(W, H, Text, S, W * 0.5f, 29.0f);
  ChromeStyle St = VioletStyle();
  St.BevelSigma = 2.4f;
  St.BevelDepth = 7.5f;
  St.OutlineWidth = 1.8f;
  St.GlowSigma = 6.0f;
  St.GlowStrength = 1.0f;
  Image Img = ShadeLettering(L.Ink, L.CapTop, L.CapBottom, St);
  // Two thin rules frame the name, above and below.
  AddStreak(Img, L.CapTop - 12.0f, 20.0f, 480.0f, 0.9f, C8(200, 150, 255), 0.7f);
  AddStreak(Img, L.CapBottom + 12.0f, 20.0f, 480.0f, 0.9f, C8(200, 150, 255), 0.7f);
  AddTwinkle(Img, float(L.InkRight) + 6.0f, L.CapTop - 12.0f, 12.0f, 1.0f, C8(245, 225, 255));
  AddTwinkle(Img, float(L.InkLeft) - 6.0f, L.CapBottom + 12.0f, 12.0f, 1.0f, C8(245, 225, 255));
  ClearBorder(Img, 2);
  return Quantize(Img, KeyedOutput(0x10603));
}

Image8 MakeGroupPicM() {
  const int W = 600, H = 280;
  // One handle above each role row; the second row belongs to the author.
  const char* Handles[4] = {"Quillon", "Tarnwick", "Mirevel", "Orsk"};
  TextStyle S;
  S.Face = FontFace::SansBold;
  S.PixelHeight = EmForCapHeight(S.Face, 22.0f);
  S.StretchX = 1.2f;
  S.Tracking = 3.0f;
  TextMask Cap = RenderText("H", S, 0);
  const int CapHeight = Cap.InkBottom - Cap.InkTop + 1;
  Image Img(W, H);
  for (int Row = 0; Row < 4; ++Row) {
    // The baseline sits 6 rows above the label row: room for descenders and
    // the outline, while the label's own rows stay clear (transparent).
    const int Baseline = kMembersRoleRows[Row] - 6;
    TextMask T = RenderText(Handles[Row], S, 0);
    Mask Ink(W, H);
    const int X0 = 10;
    StampMax(Ink, T.M, X0, Baseline - T.BaselineY);
    // A rule from the handle towards the right, thinning to a point.
    const float RuleY = float(Baseline) - float(CapHeight) * 0.5f;
    const float RuleFrom = float(X0 + T.M.W + 8);
    AddTaperedLine(Ink, RuleFrom, 575.0f - float(Row) * 35.0f, RuleY, 3.2f);
    ChromeStyle St = VioletStyle();
    St.BevelSigma = 1.3f;
    St.BevelDepth = 4.5f;
    St.OutlineWidth = 1.4f;
    St.GlowStrength = 0.0f;
    Image Part = ShadeLettering(Ink, float(Baseline - CapHeight), float(Baseline), St);
    AddTwinkle(Part, RuleFrom - 2.0f, RuleY, 8.0f, 0.9f, C8(250, 235, 255));
    for (size_t I = 0; I < Img.P.size(); ++I) Img.P[I] = Screen(Img.P[I], Part.P[I]);
  }
  ClearBorder(Img, 2);
  return Quantize(Img, KeyedOutput(0x10604));
}

}  // namespace assetgen
