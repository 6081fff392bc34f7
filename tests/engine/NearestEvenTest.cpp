// kv::NearestEven stands in for std::nearbyint (round-to-nearest-even) in the
// 3D part and the scan converters, so it must give the same bits for every
// input: halves either side of even numbers, both signs and zeros, values
// near and past 2^52 (2^23 for float), infinities and NaN.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "engine/draw/FixedPoint.h"

namespace {

template <typename T>
bool SameBits(T A, T B) {
  if (std::isnan(A) && std::isnan(B)) return true;
  return std::memcmp(&A, &B, sizeof A) == 0;
}

template <typename T>
std::vector<T> Inputs(T Big) {
  std::vector<T> Values = {T(0), -T(0), T(0.5), T(-0.5), T(1.5), T(-1.5), T(2.5), T(-2.5), T(0.49999997),
                           T(-0.3), Big, -Big, Big / 2 + T(0.5), -(Big / 2 + T(0.5)), Big * 2 + 2, Big - 1,
                           std::numeric_limits<T>::infinity(), -std::numeric_limits<T>::infinity(),
                           std::numeric_limits<T>::quiet_NaN(), std::numeric_limits<T>::denorm_min(),
                           std::numeric_limits<T>::max(), -std::numeric_limits<T>::max()};
  std::mt19937_64 Random(7);
  std::uniform_real_distribution<T> Wide(-Big * 4, Big * 4), Near(-3000, 3000);
  for (int I = 0; I < 100000; ++I) {
    Values.push_back(Wide(Random));
    Values.push_back(Near(Random));
    Values.push_back(std::floor(Near(Random)) + T(0.5));  // exact halves
  }
  return Values;
}

TEST(NearestEven, DoubleMatchesNearbyint) {
  for (double V : Inputs(4503599627370496.0))
    ASSERT_TRUE(SameBits(kv::NearestEven(V), std::nearbyint(V))) << std::hexfloat << V;
}

TEST(NearestEven, FloatMatchesNearbyint) {
  for (float V : Inputs(8388608.0f))
    ASSERT_TRUE(SameBits(kv::NearestEven(V), std::nearbyint(V))) << std::hexfloat << V;
}

}  // namespace
