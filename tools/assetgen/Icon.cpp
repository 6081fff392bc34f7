// The desktop icon (see Icon.h).
#include "Icon.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "Noise.h"
#include "Pictures.h"

namespace assetgen {

namespace {

// Signed distance from (X, Y) to a rounded square [Lo, Hi]^2 with corner
// radius R: negative inside.
float RoundedSquareDistance(float X, float Y, float Lo, float Hi, float R) {
  const float C = (Lo + Hi) * 0.5f, Half = (Hi - Lo) * 0.5f - R;
  const float Qx = std::fabs(X - C) - Half, Qy = std::fabs(Y - C) - Half;
  const float Outside = std::hypot(std::max(Qx, 0.0f), std::max(Qy, 0.0f));
  return Outside + std::min(std::max(Qx, Qy), 0.0f) - R;
}

// Mean of each Factor x Factor block.
Image BoxDown(const Image& Big, int Factor) {
  const int W = Big.W / Factor, H = Big.H / Factor;
  const float Norm = 1.0f / float(Factor * Factor);
  Image Out(W, H);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      Rgb Sum;
      for (int J = 0; J < Factor; ++J)
        for (int I = 0; I < Factor; ++I) Sum = Sum + Big.At(X * Factor + I, Y * Factor + J);
      Out.At(X, Y) = Sum * Norm;
    }
  return Out;
}

Mask BoxDown(const Mask& Big, int Factor) {
  const int W = Big.W / Factor, H = Big.H / Factor;
  Mask Out(W, H);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      float Sum = 0.0f;
      for (int J = 0; J < Factor; ++J)
        for (int I = 0; I < Factor; ++I) Sum += Big.Get(X * Factor + I, Y * Factor + J);
      Out.At(X, Y) = Sum / float(Factor * Factor);
    }
  return Out;
}

}  // namespace

IconPicture MakeIcon(int Size) {
  if (Size < 16 || Size > 1024) throw std::runtime_error("icon size out of range: " + std::to_string(Size));
  // The art is laid out on a 512-unit grid and drawn at least twice the
  // asked size, so that small icons are filtered, not aliased.
  const int Factor = std::max(2, (512 + Size - 1) / Size);
  const int Big = Size * Factor;
  const float U = float(Big) / 512.0f;

  // The tile: inset like other hicolor icons, so it does not look larger
  // than its neighbours in a menu.
  const float Lo = 24.0f * U, Hi = 488.0f * U, Radius = 92.0f * U, Rim = 5.0f * U;
  Image Art(Big, Big);
  Mask Cover(Big, Big);
  const float Centre = float(Big) * 0.5f;
  for (int Y = 0; Y < Big; ++Y)
    for (int X = 0; X < Big; ++X) {
      const float Px = float(X) + 0.5f, Py = float(Y) + 0.5f;
      const float D = RoundedSquareDistance(Px, Py, Lo, Hi, Radius);
      const float T = Clamp01((Py - Lo) / (Hi - Lo));
      Rgb C = Mix(C8(16, 34, 78), C8(3, 7, 22), T);
      // A soft blue light behind the letter, like the logo's glow.
      const float R2 = ((Px - Centre) * (Px - Centre) + (Py - Centre) * (Py - Centre)) / (180.0f * U * 180.0f * U);
      C = Screen(C, C8(60, 150, 255) * (0.35f * std::exp(-R2)));
      // A pale rim keeps the dark tile apart from a dark desktop.
      C = Mix(C, C8(110, 175, 240), 0.55f * Clamp01(1.0f - std::fabs(D + Rim) / Rim));
      Art.At(X, Y) = C;
      Cover.At(X, Y) = Clamp01(0.5f - D);
    }

  const Image Letter = LogoLettering("N", Big, Big, 300.0f * U);
  for (int Y = 0; Y < Big; ++Y)
    for (int X = 0; X < Big; ++X) Art.At(X, Y) = Screen(Art.At(X, Y), Letter.At(X, Y));

  QuantizeOptions Q;
  Q.DitherSeed = 0x1C0u + uint64_t(Size);
  IconPicture Out;
  Out.Color = Quantize(BoxDown(Art, Factor), Q);
  const Mask Alpha = BoxDown(Cover, Factor);
  Out.Alpha.resize(Alpha.V.size());
  for (size_t I = 0; I < Alpha.V.size(); ++I) Out.Alpha[I] = uint8_t(std::lround(Clamp01(Alpha.V[I]) * 255.0f));
  return Out;
}

}  // namespace assetgen
