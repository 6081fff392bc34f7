// Deterministic random numbers and coherent noise (see Noise.h).
#include "Noise.h"

namespace assetgen {

Rng::Rng(uint64_t Seed, uint64_t Stream) : State_(0), Inc_((Stream << 1u) | 1u) {
  Next();
  State_ += Seed;
  Next();
}

uint32_t Rng::Next() {
  uint64_t Old = State_;
  State_ = Old * 6364136223846793005ULL + Inc_;
  uint32_t Xorshifted = uint32_t(((Old >> 18u) ^ Old) >> 27u);
  uint32_t Rot = uint32_t(Old >> 59u);
  return (Xorshifted >> Rot) | (Xorshifted << ((32u - Rot) & 31u));
}

namespace {

// Quintic fade (Perlin's improved noise) for C2-continuous interpolation.
inline float Fade(float T) { return T * T * T * (T * (T * 6.0f - 15.0f) + 10.0f); }

inline int Wrap(int V, int Period) {
  if (Period <= 0) return V;
  int M = V % Period;
  return M < 0 ? M + Period : M;
}

// Dot product of the offset with one of 16 evenly spread unit gradients.
inline float Grad(int X, int Y, uint32_t Seed, float Dx, float Dy) {
  static const float Gx[16] = {1.0f,       0.9238795f,  0.7071068f,  0.3826834f,  0.0f,        -0.3826834f,
                               -0.7071068f, -0.9238795f, -1.0f,       -0.9238795f, -0.7071068f, -0.3826834f,
                               0.0f,       0.3826834f,  0.7071068f,  0.9238795f};
  uint32_t H = Hash3(X, Y, Seed) & 15u;
  float Cx = Gx[H];
  float Cy = Gx[(H + 4u) & 15u];
  return Cx * Dx + Cy * Dy;
}

}  // namespace

float GradientNoise(float X, float Y, uint32_t Seed, int Period) {
  float Fx = std::floor(X), Fy = std::floor(Y);
  int Ix = int(Fx), Iy = int(Fy);
  float Dx = X - Fx, Dy = Y - Fy;
  int X0 = Wrap(Ix, Period), X1 = Wrap(Ix + 1, Period);
  int Y0 = Wrap(Iy, Period), Y1 = Wrap(Iy + 1, Period);
  float N00 = Grad(X0, Y0, Seed, Dx, Dy);
  float N10 = Grad(X1, Y0, Seed, Dx - 1.0f, Dy);
  float N01 = Grad(X0, Y1, Seed, Dx, Dy - 1.0f);
  float N11 = Grad(X1, Y1, Seed, Dx - 1.0f, Dy - 1.0f);
  float U = Fade(Dx), V = Fade(Dy);
  // Gradient noise of unit gradients peaks near 0.7; scale to about [-1, 1].
  return 1.41f * Lerp(Lerp(N00, N10, U), Lerp(N01, N11, U), V);
}

float Fbm(float X, float Y, uint32_t Seed, int Octaves, float Gain, int Period) {
  float Sum = 0.0f, Amp = 1.0f, Norm = 0.0f;
  for (int O = 0; O < Octaves; ++O) {
    Sum += Amp * GradientNoise(X, Y, Seed + uint32_t(O) * 1013u, Period);
    Norm += Amp;
    Amp *= Gain;
    X *= 2.0f;
    Y *= 2.0f;
    if (Period > 0) Period *= 2;
  }
  return Sum / Norm;
}

float Ridged(float X, float Y, uint32_t Seed, int Octaves) {
  float Sum = 0.0f, Amp = 1.0f, Norm = 0.0f;
  for (int O = 0; O < Octaves; ++O) {
    float N = 1.0f - std::fabs(GradientNoise(X, Y, Seed + uint32_t(O) * 7919u));
    Sum += Amp * N * N;
    Norm += Amp;
    Amp *= 0.5f;
    X *= 2.0f;
    Y *= 2.0f;
  }
  return Sum / Norm;
}

Cellular Worley(float X, float Y, uint32_t Seed) {
  int Ix = int(std::floor(X)), Iy = int(std::floor(Y));
  float F1 = 1e9f, F2 = 1e9f;
  for (int Cy = Iy - 1; Cy <= Iy + 1; ++Cy) {
    for (int Cx = Ix - 1; Cx <= Ix + 1; ++Cx) {
      uint32_t H = Hash3(Cx, Cy, Seed);
      float Px = float(Cx) + float(H & 0xffffu) * (1.0f / 65536.0f);
      float Py = float(Cy) + float(H >> 16) * (1.0f / 65536.0f);
      float D = std::sqrt((Px - X) * (Px - X) + (Py - Y) * (Py - Y));
      if (D < F1) {
        F2 = F1;
        F1 = D;
      } else if (D < F2) {
        F2 = D;
      }
    }
  }
  return {F1, F2};
}

}  // namespace assetgen
