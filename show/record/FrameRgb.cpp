// Display pixels to RGB, nearest-neighbour enlargement.
//
// Each row is unpacked by the engine (KvRowToRgb, the same unpacking as the
// PNG dump, so a lossless recording holds the dumped pictures) straight into
// the first output row, widened in place from the right when Scale > 1, and
// copied down Scale - 1 times.
#include "FrameRgb.h"

#include <cstring>

void FrameToRgb(const KvFrameCopy& Frame, int Scale, uint8_t* Rgb) {
  const size_t RowBytes = size_t(Frame.Width) * Scale * 3;
  for (int Y = 0; Y < Frame.Height; ++Y) {
    const uint8_t* Src = Frame.Pixels.get() + size_t(Y) * Frame.Pitch;
    uint8_t* Row = Rgb + size_t(Y) * Scale * RowBytes;
    KvRowToRgb(Src, Frame.Width, Frame.Depth, Row);
    if (Scale > 1) {
      // From the right, so that no pixel is overwritten before it is copied.
      for (int X = Frame.Width - 1; X >= 0; --X) {
        const uint8_t R = Row[X * 3], G = Row[X * 3 + 1], B = Row[X * 3 + 2];
        uint8_t* Out = Row + size_t(X) * Scale * 3;
        for (int S = 0; S < Scale; ++S, Out += 3) {
          Out[0] = R;
          Out[1] = G;
          Out[2] = B;
        }
      }
    }
    for (int S = 1; S < Scale; ++S) std::memcpy(Row + S * RowBytes, Row, RowBytes);
  }
}
