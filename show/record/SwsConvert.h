// RGB to studio-range BT.709 yuv420p through libswscale: its SIMD
// conversion is faster than RgbToYuv420 at 1080 and 2160 lines, and within
// one step of it (bench_record, BM_SwsRgbToYuv420Bt709, counter max_diff).
//
// Depends on: libswscale.
#pragma once

#include <cstdint>

struct SwsContext;

class SwsBt709 {
 public:
  // Frames of Width x Height (even); Ok() says whether libswscale took them.
  SwsBt709(int Width, int Height);
  ~SwsBt709();
  SwsBt709(const SwsBt709&) = delete;
  SwsBt709& operator=(const SwsBt709&) = delete;
  bool Ok() const { return Context != nullptr; }

  // Rgb: Width x Height x 3 bytes, as RgbToYuv420 takes it.
  void Convert(const uint8_t* Rgb, uint8_t* Y, int PitchY, uint8_t* Cb, int PitchCb, uint8_t* Cr, int PitchCr);

 private:
  int Width, Height;
  SwsContext* Context = nullptr;
};
