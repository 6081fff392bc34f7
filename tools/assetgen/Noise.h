// Deterministic random numbers and coherent noise for the asset generator.
//
// Everything the generator makes must come out byte-identical on every run,
// so nothing here touches the C library's rand() or <random>'s
// implementation-defined distributions: the generator is a fixed PCG32 and
// the noise lattice is hashed from integer coordinates and a seed.
#pragma once

#include <cmath>
#include <cstdint>

namespace assetgen {

// PCG32 (O'Neill's permuted congruential generator, XSH-RR output).
class Rng {
 public:
  explicit Rng(uint64_t Seed, uint64_t Stream = 0x5851f42d4c957f2dULL);
  uint32_t Next();
  // Uniform in [0, 1).
  float Uniform() { return float(Next() >> 8) * (1.0f / 16777216.0f); }
  // Uniform in [Lo, Hi).
  float Range(float Lo, float Hi) { return Lo + (Hi - Lo) * Uniform(); }
  // Uniform integer 0 .. N-1 (N > 0); the tiny modulo bias is irrelevant here.
  int Below(int N) { return int(Next() % uint32_t(N)); }
  // Triangular noise in (-1, 1): the sum of two uniforms, used for dithering.
  float Triangular() { return Uniform() + Uniform() - 1.0f; }

 private:
  uint64_t State_;
  uint64_t Inc_;
};

// A 32-bit integer hash (lowbias32 by Chris Wellons) used for lattice noise.
inline uint32_t Hash32(uint32_t X) {
  X ^= X >> 16;
  X *= 0x7feb352dU;
  X ^= X >> 15;
  X *= 0x846ca68bU;
  X ^= X >> 16;
  return X;
}
inline uint32_t Hash3(int X, int Y, uint32_t Seed) {
  return Hash32(uint32_t(X) * 0x8da6b343U ^ Hash32(uint32_t(Y) * 0xd8163841U ^ Seed));
}

// Smooth gradient noise in about [-1, 1]. Period, when > 0, makes the lattice
// wrap every Period cells on both axes (for tiling textures).
float GradientNoise(float X, float Y, uint32_t Seed, int Period = 0);
// Fractal sum of Octaves layers of gradient noise, each at twice the frequency
// and Gain times the amplitude of the one before; normalised to about [-1, 1].
float Fbm(float X, float Y, uint32_t Seed, int Octaves, float Gain = 0.5f, int Period = 0);
// Ridged fractal noise in [0, 1]: bright thin ridges where the noise crosses 0.
float Ridged(float X, float Y, uint32_t Seed, int Octaves);

// Worley (cellular) noise: distances to the nearest and second nearest feature
// point, one point per unit cell.
struct Cellular {
  float F1;
  float F2;
};
Cellular Worley(float X, float Y, uint32_t Seed);

inline float Clamp01(float V) { return V < 0.0f ? 0.0f : (V > 1.0f ? 1.0f : V); }
inline float Lerp(float A, float B, float T) { return A + (B - A) * T; }
inline float SmoothStep(float E0, float E1, float X) {
  float T = Clamp01((X - E0) / (E1 - E0));
  return T * T * (3.0f - 2.0f * T);
}

constexpr float kPi = 3.14159265358979323846f;

}  // namespace assetgen
