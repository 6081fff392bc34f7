// Nearest-neighbour fitting of frames into the output size.
#include "FrameFit.h"

#include <cstring>
#include <vector>

#include "Options.h"

void OutputFrameSize(int32_t FrameWidth, int32_t FrameHeight, int32_t* Width, int32_t* Height) {
  if (Options.OutWidth > 0 && Options.OutHeight > 0) {
    *Width = Options.OutWidth;
    *Height = Options.OutHeight;
  } else {
    *Width = FrameWidth * Options.Scale;
    *Height = FrameHeight * Options.Scale;
  }
}

KvRect OutputFramePlace(int32_t FrameWidth, int32_t FrameHeight) {
  int32_t W = 0, H = 0;
  OutputFrameSize(FrameWidth, FrameHeight, &W, &H);
  return KvLetterbox(W, H, FrameWidth, FrameHeight, Options.IntegerScale);
}

void FitPixels(const uint8_t* Src, int32_t Width, int32_t Height, int32_t SrcPitch, int32_t Bpp, uint8_t* Dest,
               int32_t OutWidth, int32_t OutHeight, int32_t DestPitch, const KvRect& Place) {
  const int32_t PlaceW = Place.Right - Place.Left;
  const int32_t PlaceH = Place.Bottom - Place.Top;
  // Source byte offset of every output column of the picture: the centre of
  // output pixel x, (x + 1/2) * Width / PlaceW, rounded down.
  std::vector<size_t> Column(size_t(PlaceW > 0 ? PlaceW : 0));
  for (int32_t X = 0; X < PlaceW; ++X)
    Column[size_t(X)] = size_t((2 * int64_t(X) + 1) * Width / (2 * int64_t(PlaceW))) * size_t(Bpp);
  const size_t RowBytes = size_t(OutWidth) * size_t(Bpp);
  const uint8_t* LastSource = nullptr;
  for (int32_t Y = 0; Y < OutHeight; ++Y) {
    uint8_t* D = Dest + size_t(Y) * size_t(DestPitch);
    const int32_t InY = Y - Place.Top;
    if (InY < 0 || InY >= PlaceH) {
      std::memset(D, 0, RowBytes);
      LastSource = nullptr;
      continue;
    }
    const uint8_t* S = Src + size_t((2 * int64_t(InY) + 1) * Height / (2 * int64_t(PlaceH))) * size_t(SrcPitch);
    // A row drawn from the same source row as the one above is that row again.
    if (S == LastSource) {
      std::memcpy(D, D - DestPitch, RowBytes);
      continue;
    }
    LastSource = S;
    std::memset(D, 0, size_t(Place.Left) * size_t(Bpp));
    uint8_t* P = D + size_t(Place.Left) * size_t(Bpp);
    switch (PlaceW == Width ? 0 : Bpp) {  // a fixed size lets the copy be two or four moves
      case 0:  // 1:1 across
        std::memcpy(P, S, size_t(Width) * size_t(Bpp));
        P += size_t(Width) * size_t(Bpp);
        break;
      case 2:
        for (int32_t X = 0; X < PlaceW; ++X, P += 2) std::memcpy(P, S + Column[size_t(X)], 2);
        break;
      case 3:
        for (int32_t X = 0; X < PlaceW; ++X, P += 3) std::memcpy(P, S + Column[size_t(X)], 3);
        break;
      case 4:
        for (int32_t X = 0; X < PlaceW; ++X, P += 4) std::memcpy(P, S + Column[size_t(X)], 4);
        break;
      default:
        for (int32_t X = 0; X < PlaceW; ++X, P += Bpp) std::memcpy(P, S + Column[size_t(X)], size_t(Bpp));
    }
    std::memset(P, 0, size_t(OutWidth - Place.Right) * size_t(Bpp));
  }
}
