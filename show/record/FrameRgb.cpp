// Display pixels to RGB, nearest-neighbour enlargement: each row unpacked
// and widened by the engine (KvRowToRgb, the same unpacking as the PNG dump,
// so a lossless recording holds the dumped pictures), then copied down
// Scale - 1 times.
#include "FrameRgb.h"

#include <cstring>

void FrameToRgb(const KvFrameCopy& Frame, int Scale, uint8_t* Rgb) {
  const size_t RowBytes = size_t(Frame.Width) * Scale * 3;
  for (int Y = 0; Y < Frame.Height; ++Y) {
    uint8_t* Row = Rgb + size_t(Y) * Scale * RowBytes;
    KvRowToRgb(Frame.Pixels.get() + size_t(Y) * Frame.Pitch, Frame.Width, Frame.Depth, Row, Scale);
    for (int S = 1; S < Scale; ++S) std::memcpy(Row + S * RowBytes, Row, RowBytes);
  }
}
