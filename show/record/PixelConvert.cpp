// RGB to studio-range YUV 4:2:0 and to packed BGR0.
#include "PixelConvert.h"

#include <algorithm>
#include <cstddef>
#include <vector>

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

// Where the compiler can make a copy for AVX2 beside the plain one (picked
// once, when the program loads), the luma rows get both: the same integer
// arithmetic either way, 16 or 32 bytes a step.
#if defined(__x86_64__) && defined(__ELF__) && (defined(__GNUC__) || defined(__clang__))
#define KV_ALSO_AVX2 __attribute__((target_clones("avx2", "default")))
#else
#define KV_ALSO_AVX2
#endif

namespace {

// Every step below is a loop the compiler turns into vector code: RGB is
// read with a stride of 3, which it can take apart, but not the 2 x 2 blocks'
// stride of 6. So chroma goes by whole rows: the block sums at every column
// (the block starting there), the chroma of each (of which the even
// columns are the blocks), then every second one.

KV_ALSO_AVX2 void LumaRow(const Rows& K, const uint8_t* __restrict P, int Width, uint8_t* __restrict Y) {
  const int K0 = K.Y[0], K1 = K.Y[1], K2 = K.Y[2], Shift = K.Shift, Round = 1 << (Shift - 1);
  for (int X = 0; X < Width; ++X, P += 3) Y[X] = uint8_t(((K0 * P[0] + K1 * P[1] + K2 * P[2] + Round) >> Shift) + 16);
}

// Sums[i] = the 2 x 2 sum of byte i of rows P0, P1 and of the pixel after it.
KV_ALSO_AVX2 void BlockSums(const uint8_t* __restrict P0, const uint8_t* __restrict P1, int Count,
                            uint16_t* __restrict Sums) {
  for (int I = 0; I < Count; ++I) Sums[I] = uint16_t(P0[I] + P1[I] + P0[I + 3] + P1[I + 3]);
}

KV_ALSO_AVX2 void ChromaRow(const Rows& K, const uint16_t* __restrict Sums, int Count, uint8_t* __restrict Cb,
                            uint8_t* __restrict Cr) {
  const int B0 = K.Cb[0], B1 = K.Cb[1], B2 = K.Cb[2], R0 = K.Cr[0], R1 = K.Cr[1], R2 = K.Cr[2];
  const int Shift = K.Shift, Round = 1 << (Shift - 1);
  for (int X = 0; X < Count; ++X, Sums += 3) {
    const int R = (Sums[0] + 2) >> 2, G = (Sums[1] + 2) >> 2, B = (Sums[2] + 2) >> 2;
    Cb[X] = uint8_t(((B0 * R + B1 * G + B2 * B + Round) >> Shift) + 128);
    Cr[X] = uint8_t(((R0 * R + R1 * G + R2 * B + Round) >> Shift) + 128);
  }
}

KV_ALSO_AVX2 void EvenOnes(const uint8_t* __restrict In, int Count, uint8_t* __restrict Out) {
  for (int X = 0; X < Count; ++X) Out[X] = In[2 * X];
}

}  // namespace

void RgbToYuv420(const uint8_t* Rgb, int Width, int Height, uint8_t* Y, int PitchY, uint8_t* Cb, int PitchCb,
                 uint8_t* Cr, int PitchCr, YuvMatrix Matrix) {
  const Rows& K = Matrix == YuvMatrix::Bt709 ? Bt709Rows : Bt601Rows;
  const int RowBytes = Width * 3;
  // Blocks start at the even columns 0 .. Width - 2.
  const int Starts = Width - 1;
  std::vector<uint16_t> Sums(size_t(std::max(Starts, 0)) * 3);
  std::vector<uint8_t> CbAll(size_t(std::max(Starts, 0))), CrAll(CbAll.size());
  for (int Row = 0; Row < Height; Row += 2) {
    const uint8_t* P0 = Rgb + size_t(Row) * RowBytes;
    const uint8_t* P1 = P0 + RowBytes;
    LumaRow(K, P0, Width, Y + size_t(Row) * PitchY);
    LumaRow(K, P1, Width, Y + size_t(Row + 1) * PitchY);
    if (Starts <= 0) continue;
    BlockSums(P0, P1, Starts * 3, Sums.data());
    ChromaRow(K, Sums.data(), Starts, CbAll.data(), CrAll.data());
    EvenOnes(CbAll.data(), Width / 2, Cb + size_t(Row / 2) * PitchCb);
    EvenOnes(CrAll.data(), Width / 2, Cr + size_t(Row / 2) * PitchCr);
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
