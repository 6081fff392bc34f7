// RGB to studio-range YUV 4:2:0 and to packed BGR0.
#include "PixelConvert.h"

#include <cstddef>

namespace {
// The studio-range rows in fixed point. BT.601: the classic table scaled by
// 2^8. BT.709 from Kr = 0.2126, Kb = 0.0722, luma scaled by 219/255 and
// chroma by 224/255, in 2^16 steps: at 2^8 the rounding of the chroma rows
// errs by more than one step on saturated greens. Each chroma row sums to
// 0, so grey stays at 128.
struct Rows {
  int Shift;
  int Y[3], Cb[3], Cr[3];
};
constexpr Rows Bt601Rows = {8, {66, 129, 25}, {-38, -74, 112}, {112, -94, -18}};
constexpr Rows Bt709Rows = {16, {11966, 40254, 4064}, {-6596, -22189, 28785}, {28784, -26145, -2639}};

inline uint8_t Row(const int (&K)[3], int Shift, int R, int G, int B, int Offset) {
  return uint8_t(((K[0] * R + K[1] * G + K[2] * B + (1 << (Shift - 1))) >> Shift) + Offset);
}
}  // namespace

YuvMatrix YuvMatrixFor(int Height) { return Height > 576 ? YuvMatrix::Bt709 : YuvMatrix::Bt601; }

void RgbToYuv420(const uint8_t* Rgb, int Width, int Height, uint8_t* Y, int PitchY, uint8_t* Cb, int PitchCb,
                 uint8_t* Cr, int PitchCr, YuvMatrix Matrix) {
  const Rows& K = Matrix == YuvMatrix::Bt709 ? Bt709Rows : Bt601Rows;
  auto LumaOf = [&K](int R, int G, int B) { return Row(K.Y, K.Shift, R, G, B, 16); };
  auto CbOf = [&K](int R, int G, int B) { return Row(K.Cb, K.Shift, R, G, B, 128); };
  auto CrOf = [&K](int R, int G, int B) { return Row(K.Cr, K.Shift, R, G, B, 128); };
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
