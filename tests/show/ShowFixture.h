// Test set-up shared by the show's tests: a headless display of one depth
// with the show's frame buffer, and reference arithmetic written from the
// formulas of the show's effects, written apart from the code under test.
#pragma once

#include <cstdint>
#include <memory>

#include "KvTest.h"
#include "show/Show.h"

namespace showtest {

constexpr int Depths[4] = {15, 16, 24, 32};

// A headless display of Depth installed as the show's Display, with Screen
// 640 x 480 (cleared to 0). Undone on destruction.
class ShowScreen {
 public:
  explicit ShowScreen(int Depth) {
    Owned = kvtest::MakeDisplay(Depth);
    Display = Owned.get();
    Screen = new TBufferKv(Display, 640, 480, false);
  }
  ~ShowScreen() {
    delete Screen;
    Screen = nullptr;
    Display = nullptr;
  }
  ShowScreen(const ShowScreen&) = delete;
  ShowScreen& operator=(const ShowScreen&) = delete;

 private:
  std::unique_ptr<TKelvra> Owned;
};

// Number of pixels of B that are not 0.
inline int CountLit(const TBufferKv& B) {
  int N = 0;
  for (int Y = 0; Y < B.Height; ++Y)
    for (int X = 0; X < B.Width; ++X)
      if (kvtest::GetPixel(B, X, Y) != 0) ++N;
  return N;
}

// One channel of DrawAlpha: d + floor((s - d) * A / N), with A and N of the
// depth (Alpha div 8 of 32 at 15 and 16 bits, Alpha of 256 otherwise).
inline int BlendChannel(int S, int D, uint8_t Alpha, int Depth) {
  const int A = (Depth <= 16) ? Alpha / 8 : Alpha;
  const int N = (Depth <= 16) ? 32 : 256;
  const int P = (S - D) * A;
  const int Q = (P >= 0) ? P / N : -((-P + N - 1) / N);
  return D + Q;
}

// The channel values stored at a depth: 5 bits (6 for green at 16), 8 at
// 24 and 32. Returns the packed pixel of blending pixel S over pixel D.
inline uint32_t BlendPixel(uint32_t S, uint32_t D, uint8_t Alpha, int Depth) {
  if (Depth == 15 || Depth == 16) {
    const int GreenBits = (Depth == 16) ? 6 : 5;
    const int RShift = 5 + GreenBits;
    const uint32_t GMask = (1u << GreenBits) - 1;
    const int R = BlendChannel((S >> RShift) & 31, (D >> RShift) & 31, Alpha, Depth);
    const int G = BlendChannel((S >> 5) & GMask, (D >> 5) & GMask, Alpha, Depth);
    const int B = BlendChannel(S & 31, D & 31, Alpha, Depth);
    return (uint32_t(R) << RShift) | (uint32_t(G) << 5) | uint32_t(B);
  }
  uint32_t Out = 0;
  for (int Shift = 0; Shift < 24; Shift += 8)
    Out |= uint32_t(BlendChannel((S >> Shift) & 255, (D >> Shift) & 255, Alpha, Depth)) << Shift;
  return Out;
}

}  // namespace showtest
