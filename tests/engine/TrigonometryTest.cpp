// KvSin and KvCos: the engine's own sine and cosine, the same bits on every
// platform. Against the C library they may differ only where its result is
// not the nearest double, so: within one unit in the last place everywhere,
// and equal once rounded to single precision for every angle RotoZoom turns
// the show's logo by (those floats are in the golden frames).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

#include "engine/core/Trigonometry.h"

namespace {

int64_t UlpDistance(double A, double B) {
  int64_t IA, IB;
  std::memcpy(&IA, &A, 8);
  std::memcpy(&IB, &B, 8);
  if (IA < 0) IA = INT64_MIN - IA;
  if (IB < 0) IB = INT64_MIN - IB;
  return IA > IB ? IA - IB : IB - IA;
}

TEST(Trigonometry, WithinOneUlpOfTheCLibraryOverSeededAngles) {
  std::mt19937_64 Random(20240611);
  std::uniform_real_distribution<double> Small(-8.0, 8.0), Large(-1.0e6, 1.0e6);
  for (int I = 0; I < 200000; ++I) {
    const double X = I % 2 ? Small(Random) : Large(Random);
    ASSERT_LE(UlpDistance(KvSin(X), std::sin(X)), 1) << std::hexfloat << X;
    ASSERT_LE(UlpDistance(KvCos(X), std::cos(X)), 1) << std::hexfloat << X;
  }
}

TEST(Trigonometry, QuadrantsAndSpecialValues) {
  EXPECT_EQ(KvSin(0.0), 0.0);
  EXPECT_TRUE(std::signbit(KvSin(-0.0)));
  EXPECT_EQ(KvCos(0.0), 1.0);
  // The nearest doubles to the multiples of pi/2 give the exact results'
  // nearest doubles: 1, about 1.2e-16, -1 ...
  const double HalfPi = 1.5707963267948966;
  EXPECT_EQ(KvSin(HalfPi), 1.0);
  EXPECT_EQ(KvSin(-HalfPi), -1.0);
  EXPECT_EQ(KvCos(2 * HalfPi), -1.0);
  EXPECT_EQ(KvSin(2 * HalfPi), 1.2246467991473532e-16);
  EXPECT_EQ(KvCos(HalfPi), 6.123233995736766e-17);
  EXPECT_TRUE(std::isnan(KvSin(std::numeric_limits<double>::infinity())));
  EXPECT_TRUE(std::isnan(KvCos(std::numeric_limits<double>::quiet_NaN())));
}

TEST(Trigonometry, ShowAnglesRoundToTheSameFloats) {
  const float Pi = float(3.14159265358979323846);
  for (int V = 0; V <= 720; ++V) {  // RotoZoom's angle steps, in half degrees
    const float Theta = float(V) * 0.5f / 180.0f * Pi;
    EXPECT_EQ(float(KvSin(double(Theta))), float(std::sin(double(Theta)))) << V;
    EXPECT_EQ(float(KvCos(double(Theta))), float(std::cos(double(Theta)))) << V;
  }
}

}  // namespace
