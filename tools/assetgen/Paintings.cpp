// The painted pictures: dusk gradient, nebula backdrop, water caustics, fire
// plasma, and the two glow sprites (see Pictures.h).
#include <algorithm>
#include <cmath>

#include "Noise.h"
#include "Pictures.h"

namespace assetgen {

namespace {
QuantizeOptions Dithered(uint64_t Seed) {
  QuantizeOptions Q;
  Q.DitherSeed = Seed;
  return Q;
}
}  // namespace

Image8 MakeGradientPic() {
  const int W = 640, H = 480;
  // Dusk: deep blue at the top through violet to a warm orange horizon.
  const std::vector<RampStop> Sky = {{0.0f, C8(4, 8, 34)},      {0.22f, C8(16, 20, 72)},  {0.45f, C8(62, 30, 118)},
                                     {0.64f, C8(140, 48, 138)}, {0.8f, C8(222, 92, 96)},  {0.92f, C8(250, 150, 70)},
                                     {1.0f, C8(255, 190, 96)}};
  Image Img(W, H);
  for (int Y = 0; Y < H; ++Y) {
    for (int X = 0; X < W; ++X) {
      float U = (float(X) - W * 0.5f) / float(H);
      float V = float(Y) / float(H - 1);
      // Thin bands of cloud stretched along the horizon bend the ramp a little.
      float Cloud = Fbm(float(X) / 260.0f, float(Y) / 38.0f, 0x6a7d1u, 4, 0.55f);
      float T = V + 0.035f * Cloud * SmoothStep(0.25f, 0.8f, V);
      Rgb C = Ramp(Sky, T);
      // A low sun just below the bottom edge warms the lower middle.
      float Dx = U, Dy = (float(Y) - 560.0f) / float(H);
      float Sun = std::exp(-(Dx * Dx * 2.2f + Dy * Dy * 5.0f));
      C = Screen(C, C8(255, 170, 90) * (0.55f * Sun));
      // Darken the top corners a little (vignette) so the centre reads brighter.
      float Vig = 1.0f - 0.25f * SmoothStep(0.3f, 1.0f, std::sqrt(U * U * 1.2f + (V - 0.7f) * (V - 0.7f)));
      Img.At(X, Y) = C * Vig;
    }
  }
  return Quantize(Img, Dithered(0x20001));
}

Image8 MakeBallPic() {
  const int N = 20;
  const float C = (N - 1) * 0.5f;  // 9.5: the glow reaches zero on the border
  Image Img(N, N);
  for (int Y = 0; Y < N; ++Y)
    for (int X = 0; X < N; ++X) {
      float D = std::sqrt((X - C) * (X - C) + (Y - C) * (Y - C)) / C;
      if (D >= 1.0f) continue;
      float Fall = 1.0f - D;
      float Halo = Fall * Fall;
      float Core = std::exp(-D * D * 22.0f);
      Rgb Col = C8(255, 150, 60) * (0.75f * Halo) + C8(255, 235, 200) * (0.9f * Core);
      Img.At(X, Y) = {Clamp01(Col.R), Clamp01(Col.G), Clamp01(Col.B)};
    }
  QuantizeOptions Q;
  Q.BlackCut = 3.0f / 255.0f;
  return Quantize(Img, Q);
}

Image8 MakeStarPic() {
  const int N = 32;
  const float C = 15.5f;
  const float Len = 14.5f;  // spikes end a pixel inside the border
  Image Img(N, N);
  for (int Y = 0; Y < N; ++Y)
    for (int X = 0; X < N; ++X) {
      float Dx = std::fabs(X - C), Dy = std::fabs(Y - C);
      float R = std::sqrt(Dx * Dx + Dy * Dy);
      float Core = std::exp(-R * R / 5.0f);
      float Halo = std::pow(Clamp01(1.0f - R / 11.0f), 2.5f) * 0.35f;
      // Four long spikes along the axes, four short ones on the diagonals.
      float Axis = std::exp(-Dy * Dy / 0.7f) * std::pow(Clamp01(1.0f - Dx / Len), 1.6f) +
                   std::exp(-Dx * Dx / 0.7f) * std::pow(Clamp01(1.0f - Dy / Len), 1.6f);
      float Du = std::fabs(Dx - Dy) * 0.7071f, Dv = (Dx + Dy) * 0.7071f;
      float Diag = std::exp(-Du * Du / 0.5f) * std::pow(Clamp01(1.0f - Dv / 8.0f), 2.0f) * 0.45f;
      Rgb Col = C8(255, 255, 255) * Core + C8(150, 200, 255) * (Halo + 0.85f * Axis + Diag);
      Img.At(X, Y) = {Clamp01(Col.R), Clamp01(Col.G), Clamp01(Col.B)};
    }
  // Nothing may touch the border: the sprite is added onto the screen.
  for (int I = 0; I < N; ++I) Img.At(I, 0) = Img.At(I, N - 1) = Img.At(0, I) = Img.At(N - 1, I) = Rgb{};
  QuantizeOptions Q;
  Q.BlackCut = 3.0f / 255.0f;
  return Quantize(Img, Q);
}

Image8 MakeFirePic() {
  const int N = 256;
  // Black through red and orange to a white-yellow core.
  const std::vector<RampStop> Heat = {{0.0f, C8(20, 2, 0)},     {0.18f, C8(95, 10, 2)},   {0.38f, C8(200, 40, 4)},
                                      {0.55f, C8(250, 110, 12)}, {0.72f, C8(255, 185, 40)}, {0.88f, C8(255, 232, 120)},
                                      {1.0f, C8(255, 252, 220)}};
  Image Img(N, N);
  for (int Y = 0; Y < N; ++Y)
    for (int X = 0; X < N; ++X) {
      // The show maps the middle half (64 .. 191) onto its objects: the
      // plasma is built around the centre at that scale.
      float Px = (float(X) - 127.5f) / 64.0f, Py = (float(Y) - 127.5f) / 64.0f;
      float R = std::sqrt(Px * Px + Py * Py);
      float A = std::atan2(Py, Px);
      // Domain warp gives the curling flame tongues.
      float Wx = Fbm(Px * 1.6f + 3.1f, Py * 1.6f, 0x3001u, 4);
      float Wy = Fbm(Px * 1.6f, Py * 1.6f - 7.3f, 0x3002u, 4);
      float Qx = Px + 0.55f * Wx, Qy = Py + 0.55f * Wy;
      float Turb = Fbm(Qx * 2.2f, Qy * 2.2f, 0x3003u, 5, 0.55f);
      float Fil = Ridged(Qx * 1.8f + 11.0f, Qy * 1.8f, 0x3004u, 4);
      float Tongues = 0.5f + 0.5f * std::sin(A * 5.0f + R * 3.0f + Turb * 4.0f);
      float H = 1.05f - 0.42f * R + 0.32f * Turb + 0.34f * (Fil - 0.45f) + 0.12f * (Tongues - 0.5f) * R;
      Img.At(X, Y) = Ramp(Heat, Clamp01(H));
    }
  return Quantize(Img, Dithered(0x30001));
}

Image8 MakeBackdropPic() {
  const int W = 640, H = 480;
  const std::vector<RampStop> Gas = {{0.0f, C8(4, 3, 14)},      {0.35f, C8(26, 10, 52)},  {0.55f, C8(64, 22, 96)},
                                     {0.7f, C8(52, 64, 128)},   {0.85f, C8(130, 92, 170)}, {1.0f, C8(215, 150, 200)}};
  Image Img(W, H);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      float Px = float(X) / 300.0f, Py = float(Y) / 300.0f;
      // A warped fbm of a warped fbm: soft billows folded into each other.
      float Ax = Fbm(Px, Py, 0x4001u, 4), Ay = Fbm(Px + 5.2f, Py + 1.3f, 0x4002u, 4);
      float Bx = Fbm(Px + 1.1f * Ax + 1.7f, Py + 1.1f * Ay + 9.2f, 0x4003u, 4);
      float By = Fbm(Px + 1.1f * Ax + 8.3f, Py + 1.1f * Ay + 2.8f, 0x4004u, 4);
      float Gasv = Fbm(Px + 1.3f * Bx, Py + 1.3f * By, 0x4005u, 6, 0.5f);
      // A brighter band runs diagonally through the middle of the frame.
      float Band = std::exp(-std::pow((float(X) * 0.6f - float(Y) + 40.0f) / 260.0f, 2.0f));
      float T = Clamp01(0.42f + 0.7f * Gasv + 0.22f * Band);
      Rgb Col = Ramp(Gas, T);
      // Teal light where the warp folds, dark dust lanes along ridges.
      Col = Screen(Col, C8(20, 110, 130) * (0.4f * SmoothStep(0.2f, 0.7f, std::fabs(Bx)) * Band));
      float Dust = Ridged(Px * 2.0f + Bx, Py * 2.0f + By, 0x4006u, 4);
      Col = Col * (1.0f - 0.5f * SmoothStep(0.6f, 0.95f, Dust));
      Img.At(X, Y) = Col;
    }
  // Stars: small soft points, a few with a tint.
  Rng R(0x4010u);
  for (int I = 0; I < 380; ++I) {
    float Sx = R.Range(0.0f, float(W)), Sy = R.Range(0.0f, float(H));
    float B = std::pow(R.Uniform(), 3.0f) * 0.9f + 0.08f;
    float Sigma = 0.45f + 0.5f * B;
    Rgb Tint = R.Below(4) == 0 ? C8(255, 210, 170) : (R.Below(3) == 0 ? C8(170, 200, 255) : C8(235, 235, 255));
    for (int Y = int(Sy) - 3; Y <= int(Sy) + 3; ++Y)
      for (int X = int(Sx) - 3; X <= int(Sx) + 3; ++X) {
        if (X < 0 || Y < 0 || X >= W || Y >= H) continue;
        float D2 = (X + 0.5f - Sx) * (X + 0.5f - Sx) + (Y + 0.5f - Sy) * (Y + 0.5f - Sy);
        Rgb& P = Img.At(X, Y);
        P = Screen(P, Tint * (B * std::exp(-D2 / (2.0f * Sigma * Sigma))));
      }
  }
  // Keep it mid-dark: the sprites are drawn over it.
  for (Rgb& P : Img.P) P = P * 0.85f;
  return Quantize(Img, Dithered(0x40001));
}

Image8 MakeWaterPic() {
  const int W = 640, H = 480;
  Image Img(W, H);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      float Px = float(X), Py = float(Y);
      // Caustics: the edges of a warped cellular pattern, at two scales.
      float Wx = Fbm(Px / 150.0f, Py / 150.0f, 0x5001u, 3) * 22.0f;
      float Wy = Fbm(Px / 150.0f + 4.0f, Py / 150.0f, 0x5002u, 3) * 22.0f;
      Cellular A = Worley((Px + Wx) / 58.0f, (Py + Wy) / 58.0f, 0x5003u);
      Cellular B = Worley((Px - Wy * 0.7f) / 31.0f + 3.0f, (Py + Wx * 0.7f) / 31.0f, 0x5004u);
      float La = std::exp(-(A.F2 - A.F1) * 13.0f);
      float Lb = std::exp(-(B.F2 - B.F1) * 10.0f);
      float Light = 0.7f * La * std::sqrt(La) + 0.35f * Lb * std::sqrt(Lb);
      // Deep water, a little lighter towards the top where the light comes
      // in; dark enough that the grey credits text reads over it.
      float V = float(Y) / float(H - 1);
      float Depth = Fbm(Px / 320.0f, Py / 320.0f, 0x5005u, 3);
      Rgb Base = Mix(C8(10, 58, 84), C8(4, 28, 56), V) * (0.85f + 0.2f * Depth);
      // The light on the bottom fades with the depth of the water.
      Rgb Col = Base + C8(40, 125, 135) * (Light * (0.95f - 0.35f * V));
      Img.At(X, Y) = Col;
    }
  // Soften a touch, as light through water is never razor sharp.
  Img = Blur(Img, 0.7f);
  return Quantize(Img, Dithered(0x50001));
}

}  // namespace assetgen
