// The even fit's vector loop against its plain one, on noise, at the
// recorder's sizes and at an odd one that leaves the last columns to the
// plain loop.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include <kelvra/draw/FastPath.h>
#include "show/SharpFit.h"

TEST(SharpFit, VectorAcrossPassGivesThePlainOnesBytes) {
  struct Case {
    int32_t W, H, OW, OH;
    KvRect Place;
  };
  const Case Cases[] = {{640, 480, 1920, 1080, {240, 0, 1680, 1080}},
                        {640, 480, 3840, 2160, {480, 0, 3360, 2160}},
                        {10, 6, 23, 13, {1, 1, 22, 12}}};
  for (const Case& C : Cases) {
    std::vector<uint8_t> Rgb(size_t(C.W) * C.H * 3);
    uint32_t Seed = uint32_t(C.OW);
    for (uint8_t& V : Rgb) V = uint8_t((Seed = Seed * 1664525u + 1013904223u) >> 24);
    std::vector<uint8_t> Fast(size_t(C.OW) * C.OH * 3), Plain(Fast.size());
    SharpFit Fit(C.W, C.H, C.OW, C.OH, C.Place);
    Fit.Fit(Rgb.data(), Fast.data());
    KvForceReference(true);
    Fit.Fit(Rgb.data(), Plain.data());
    KvForceReference(false);
    EXPECT_TRUE(Fast == Plain) << C.OW << " x " << C.OH;
  }
}
