// TBufferKv::LoadPicture: a decoded picture (8-bit RGB) into the buffer, at
// the buffer's depth. Shared by the picture loaders (ImageLoad.cpp) and the
// browser build, which gets its pictures already decoded from the asset pack.
//
// Depends on: BufferKv.h, ImageDecode.h (KvPicture), PixelFormat.h
// (PackColorDepth). No libraries.
#include <algorithm>

#include "BufferKv.h"
#include "ImageDecode.h"
#include "PixelFormat.h"

namespace {

// PackColor is an "or" of one term per component, so three tables of 256
// terms made with PackColorDepth pack any colour with two "or"s.
struct PackTables {
  uint32_t R[256], G[256], B[256];
  explicit PackTables(int Depth) {
    for (int i = 0; i < 256; ++i) {
      R[i] = PackColorDepth(Depth, uint8_t(i), 0, 0);
      G[i] = PackColorDepth(Depth, 0, uint8_t(i), 0);
      B[i] = PackColorDepth(Depth, 0, 0, uint8_t(i));
    }
  }
};

// Packs W RGB pixels into a row of BytesPerPixel-byte pixels (2: the low 16
// bits; 3: bytes B, G, R; 4: the 32-bit value), little-endian.
template <int BytesPerPixel>
void PackRowRgb(const uint8_t* Rgb, uint8_t* Row, int32_t W, const PackTables& T) {
  for (int32_t x = 0; x < W; ++x, Rgb += 3, Row += BytesPerPixel) {
    const uint32_t V = T.R[Rgb[0]] | T.G[Rgb[1]] | T.B[Rgb[2]];
    Row[0] = uint8_t(V);
    Row[1] = uint8_t(V >> 8);
    if (BytesPerPixel >= 3) Row[2] = uint8_t(V >> 16);
    if (BytesPerPixel == 4) Row[3] = uint8_t(V >> 24);
  }
}

}  // namespace

void TBufferKv::LoadPicture(const KvPicture& Picture, bool VideoMem) {
  if (Picture.Width != Width || Picture.Height != Height || InVideoMemory != VideoMem) {
    FreeSurface();
    MakeSurface(Picture.Width, Picture.Height, VideoMem);
  }

  void (*PackRow)(const uint8_t*, uint8_t*, int32_t, const PackTables&) = nullptr;
  switch (Depth) {
    case 15:
    case 16: PackRow = PackRowRgb<2>; break;
    case 24: PackRow = PackRowRgb<3>; break;
    case 32: PackRow = PackRowRgb<4>; break;
    default: return;  // no pixel layout to copy into
  }
  const PackTables Tables(Depth);
  const size_t Stride = size_t(Picture.Width) * 3;
  for (int32_t y = 0; y < Height && y < Picture.Height; ++y)
    PackRow(Picture.Rgb.data() + size_t(y) * Stride, Rows[size_t(y)], std::min(Width, Picture.Width), Tables);
}

