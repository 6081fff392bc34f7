// Display pixels to RGB, nearest-neighbour enlargement.
#include "FrameRgb.h"

#include <cstring>

#include "../../engine/buffer/PixelFormat.h"

namespace {
// One row unpacked, each pixel repeated Scale times.
template <int Bytes>
void UnpackRow(const uint8_t* Src, int Width, int Depth, int Scale, uint8_t* Out) {
  for (int X = 0; X < Width; ++X, Src += Bytes) {
    // Little-endian pixels; at 32 bits the fourth byte is not colour and is
    // left out, as the PNG dump leaves it out.
    uint32_t Value = Bytes == 2 ? uint32_t(Src[0] | Src[1] << 8) : uint32_t(Src[0] | Src[1] << 8 | Src[2] << 16);
    uint8_t R, G, B;
    UnpackColorDepth(Depth, Value, R, G, B);
    for (int S = 0; S < Scale; ++S, Out += 3) {
      Out[0] = R;
      Out[1] = G;
      Out[2] = B;
    }
  }
}
}  // namespace

void FrameToRgb(const KvFrameCopy& Frame, int Scale, uint8_t* Rgb) {
  const size_t RowBytes = size_t(Frame.Width) * Scale * 3;
  const int Bytes = (Frame.Depth + 7) / 8;
  for (int Y = 0; Y < Frame.Height; ++Y) {
    const uint8_t* Src = Frame.Pixels.get() + size_t(Y) * Frame.Pitch;
    uint8_t* Row = Rgb + size_t(Y) * Scale * RowBytes;
    if (Bytes == 2)
      UnpackRow<2>(Src, Frame.Width, Frame.Depth, Scale, Row);
    else if (Bytes == 3)
      UnpackRow<3>(Src, Frame.Width, Frame.Depth, Scale, Row);
    else
      UnpackRow<4>(Src, Frame.Width, Frame.Depth, Scale, Row);
    for (int S = 1; S < Scale; ++S) std::memcpy(Row + S * RowBytes, Row, RowBytes);
  }
}
