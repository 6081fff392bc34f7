// RGB to studio-range YUV 4:2:0 and to packed BGR0.
#include "PixelConvert.h"

#include <cstddef>

namespace {
// The BT.601 studio-range rows, scaled by 256 (the classic integer form).
inline uint8_t LumaOf(int R, int G, int B) { return uint8_t(((66 * R + 129 * G + 25 * B + 128) >> 8) + 16); }
inline uint8_t CbOf(int R, int G, int B) { return uint8_t(((-38 * R - 74 * G + 112 * B + 128) >> 8) + 128); }
inline uint8_t CrOf(int R, int G, int B) { return uint8_t(((112 * R - 94 * G - 18 * B + 128) >> 8) + 128); }
}  // namespace

void RgbToYuv420(const uint8_t* Rgb, int Width, int Height, uint8_t* Y, int PitchY, uint8_t* Cb, int PitchCb,
                 uint8_t* Cr, int PitchCr) {
  const int RowBytes = Width * 3;
  for (int Row = 0; Row < Height; Row += 2) {
    const uint8_t* P0 = Rgb + size_t(Row) * RowBytes;
    const uint8_t* P1 = P0 + RowBytes;
    uint8_t* Y0 = Y + size_t(Row) * PitchY;
    uint8_t* Y1 = Y0 + PitchY;
    uint8_t* U = Cb + size_t(Row / 2) * PitchCb;
    uint8_t* V = Cr + size_t(Row / 2) * PitchCr;
    for (int X = 0; X < Width; X += 2, P0 += 6, P1 += 6) {
      Y0[X] = LumaOf(P0[0], P0[1], P0[2]);
      Y0[X + 1] = LumaOf(P0[3], P0[4], P0[5]);
      Y1[X] = LumaOf(P1[0], P1[1], P1[2]);
      Y1[X + 1] = LumaOf(P1[3], P1[4], P1[5]);
      const int R = (P0[0] + P0[3] + P1[0] + P1[3] + 2) >> 2;
      const int G = (P0[1] + P0[4] + P1[1] + P1[4] + 2) >> 2;
      const int B = (P0[2] + P0[5] + P1[2] + P1[5] + 2) >> 2;
      U[X / 2] = CbOf(R, G, B);
      V[X / 2] = CrOf(R, G, B);
    }
  }
}

void RgbToBgr0(const uint8_t* Rgb, int Width, int Height, uint8_t* Out, int Pitch) {
  for (int Row = 0; Row < Height; ++Row) {
    const uint8_t* P = Rgb + size_t(Row) * Width * 3;
    uint8_t* D = Out + size_t(Row) * Pitch;
    for (int X = 0; X < Width; ++X, P += 3, D += 4) {
      D[0] = P[2];
      D[1] = P[1];
      D[2] = P[0];
      D[3] = 0;
    }
  }
}
