// Display pixels to 8-bit RGB: KvRowToRgb and KvFrameRgb (Platform.h).
//
// The unpacking is each format's (PixelTraits.h), read into tables once per
// depth so that the row loop is table look-ups: at 15 and 16 bits one entry
// per pixel value; at 24 and 32 bits one table per byte, as each channel
// there is one byte of the pixel. The PNG dump, the recorder and the
// browser's test hashes all go through here, so they agree by construction.
#include <array>
#include <mutex>

#include "Platform.h"
#include "../draw/PixelTraits.h"

namespace {

struct Rgb3 {
  uint8_t R, G, B;
};

struct Tables {
  std::array<Rgb3, 65536> Word{};                   // 15, 16 bits
  std::array<Rgb3, 256> Byte0{}, Byte1{}, Byte2{};  // 24, 32 bits
};

template <class Px>
void FillWordTable(Tables& T) {
  for (uint32_t V = 0; V < 65536; ++V) Px::Unpack(V, T.Word[V].R, T.Word[V].G, T.Word[V].B);
}

const Tables& TablesFor(int Depth) {
  static Tables Made[4];
  static std::once_flag Once[4];
  const int Slot = Depth == 15 ? 0 : Depth == 16 ? 1 : Depth == 24 ? 2 : 3;
  std::call_once(Once[Slot], [&] {
    Tables& T = Made[Slot];
    if (Depth == 15) {
      FillWordTable<kv::Pixel15>(T);
    } else if (Depth == 16) {
      FillWordTable<kv::Pixel16>(T);
    } else {
      for (uint32_t V = 0; V < 256; ++V) {
        kv::Pixel24::Unpack(V, T.Byte0[V].R, T.Byte0[V].G, T.Byte0[V].B);
        kv::Pixel24::Unpack(V << 8, T.Byte1[V].R, T.Byte1[V].G, T.Byte1[V].B);
        kv::Pixel24::Unpack(V << 16, T.Byte2[V].R, T.Byte2[V].G, T.Byte2[V].B);
      }
    }
  });
  return Made[Slot];
}

inline void Put(uint8_t*& Out, const Rgb3& C) {
  Out[0] = C.R;
  Out[1] = C.G;
  Out[2] = C.B;
  Out += 3;
}

void WordRow(const Tables& T, const uint8_t* Src, int32_t Width, uint8_t* Out) {
  for (int32_t X = 0; X < Width; ++X, Src += 2) Put(Out, T.Word[Src[0] | Src[1] << 8]);
}

// At 32 bits the fourth byte is not colour and is left out.
template <int Bytes>
void ByteRow(const Tables& T, const uint8_t* Src, int32_t Width, uint8_t* Out) {
  for (int32_t X = 0; X < Width; ++X, Src += Bytes) {
    const Rgb3 &A = T.Byte0[Src[0]], &B = T.Byte1[Src[1]], &C = T.Byte2[Src[2]];
    Put(Out, Rgb3{uint8_t(A.R | B.R | C.R), uint8_t(A.G | B.G | C.G), uint8_t(A.B | B.B | C.B)});
  }
}

}  // namespace

void KvRowToRgb(const uint8_t* Src, int32_t Width, int32_t Depth, uint8_t* Out) {
  const Tables& T = TablesFor(Depth);
  if (Depth <= 16)
    WordRow(T, Src, Width, Out);
  else if (Depth == 24)
    ByteRow<3>(T, Src, Width, Out);
  else
    ByteRow<4>(T, Src, Width, Out);
}

std::vector<uint8_t> KvFrameRgb(const KvFrameCopy& Frame) {
  return KvFrameRgb(Frame.Pixels.get(), Frame.Width, Frame.Height, Frame.Pitch, Frame.Depth);
}

std::vector<uint8_t> KvFrameRgb(const uint8_t* Pixels, int32_t Width, int32_t Height, int32_t Pitch, int32_t Depth) {
  if (!Pixels || Width <= 0 || Height <= 0) return {};
  std::vector<uint8_t> Rgb(size_t(Width) * Height * 3);
  for (int32_t Y = 0; Y < Height; ++Y) KvRowToRgb(Pixels + size_t(Y) * Pitch, Width, Depth, &Rgb[size_t(Y) * Width * 3]);
  return Rgb;
}
