// Display pixels to RGB, nearest-neighbour enlargement.
//
// The unpacking is UnpackColorDepth's, read into tables once per depth so
// that the row loop is table look-ups: at 15 and 16 bits one entry per
// pixel value; at 24 and 32 bits one table per byte, as each channel there
// is one byte of the pixel (the lossless recording test holds this to the
// PNG dump at 16 and 32 bits).
#include "FrameRgb.h"

#include <array>
#include <cstring>
#include <mutex>

#include <kelvra/buffer/PixelFormat.h>

namespace {

struct Rgb3 {
  uint8_t R, G, B;
};

struct Tables {
  std::array<Rgb3, 65536> Word{};             // 15, 16 bits
  std::array<Rgb3, 256> Byte0{}, Byte1{}, Byte2{};  // 24, 32 bits
};

const Tables& TablesFor(int Depth) {
  static Tables Made[4];
  static std::once_flag Once[4];
  const int Slot = Depth == 15 ? 0 : Depth == 16 ? 1 : Depth == 24 ? 2 : 3;
  std::call_once(Once[Slot], [&] {
    Tables& T = Made[Slot];
    if (Depth <= 16) {
      for (uint32_t V = 0; V < 65536; ++V) UnpackColorDepth(Depth, V, T.Word[V].R, T.Word[V].G, T.Word[V].B);
    } else {
      for (uint32_t V = 0; V < 256; ++V) {
        UnpackColorDepth(Depth, V, T.Byte0[V].R, T.Byte0[V].G, T.Byte0[V].B);
        UnpackColorDepth(Depth, V << 8, T.Byte1[V].R, T.Byte1[V].G, T.Byte1[V].B);
        UnpackColorDepth(Depth, V << 16, T.Byte2[V].R, T.Byte2[V].G, T.Byte2[V].B);
      }
    }
  });
  return Made[Slot];
}

inline void Put(uint8_t*& Out, const Rgb3& C, int Scale) {
  for (int S = 0; S < Scale; ++S, Out += 3) {
    Out[0] = C.R;
    Out[1] = C.G;
    Out[2] = C.B;
  }
}

void WordRow(const Tables& T, const uint8_t* Src, int Width, int Scale, uint8_t* Out) {
  for (int X = 0; X < Width; ++X, Src += 2) Put(Out, T.Word[Src[0] | Src[1] << 8], Scale);
}

// At 32 bits the fourth byte is not colour and is left out, as the PNG dump
// leaves it out.
template <int Bytes, int FixedScale>
void ByteRow(const Tables& T, const uint8_t* Src, int Width, int Scale, uint8_t* Out) {
  if (FixedScale) Scale = FixedScale;
  for (int X = 0; X < Width; ++X, Src += Bytes) {
    const Rgb3 &A = T.Byte0[Src[0]], &B = T.Byte1[Src[1]], &C = T.Byte2[Src[2]];
    Put(Out, Rgb3{uint8_t(A.R | B.R | C.R), uint8_t(A.G | B.G | C.G), uint8_t(A.B | B.B | C.B)}, Scale);
  }
}

}  // namespace

void FrameToRgb(const KvFrameCopy& Frame, int Scale, uint8_t* Rgb) {
  const Tables& T = TablesFor(Frame.Depth);
  const size_t RowBytes = size_t(Frame.Width) * Scale * 3;
  for (int Y = 0; Y < Frame.Height; ++Y) {
    const uint8_t* Src = Frame.Pixels.get() + size_t(Y) * Frame.Pitch;
    uint8_t* Row = Rgb + size_t(Y) * Scale * RowBytes;
    if (Frame.Depth <= 16)
      WordRow(T, Src, Frame.Width, Scale, Row);
    else if (Frame.Depth == 24)
      Scale == 1 ? ByteRow<3, 1>(T, Src, Frame.Width, 1, Row) : ByteRow<3, 0>(T, Src, Frame.Width, Scale, Row);
    else
      Scale == 1 ? ByteRow<4, 1>(T, Src, Frame.Width, 1, Row) : ByteRow<4, 0>(T, Src, Frame.Width, Scale, Row);
    for (int S = 1; S < Scale; ++S) std::memcpy(Row + S * RowBytes, Row, RowBytes);
  }
}
