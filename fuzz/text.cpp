// Fuzz target of TextOut: arbitrary bytes (every Latin-1 code), positions
// anywhere in the int32 range and any colour value, on small buffers of every
// depth and a few cell heights. Nothing outside the surface may be touched
// (AddressSanitizer sees its edges), no row outside the text's cell either,
// and the drawing must be repeatable.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "engine/core/Kelvra.h"
#include "engine/core/Platform.h"
#include "engine/draw/BufferKv.h"
#include "engine/platform/headless/HeadlessDevice.h"

namespace {

constexpr int Depths[] = {15, 16, 24, 32};
constexpr int32_t Heights[] = {1, 7, 16, 45};
constexpr int32_t W = 23, H = 11;

struct Surfaces {
  std::unique_ptr<TKelvra> Display[4];
  // Per depth and cell height: a buffer of W x H with that font set.
  std::unique_ptr<TBufferKv> Buffer[4][4];
};

Surfaces& Get() {
  static Surfaces* S = [] {
    auto* N = new Surfaces;
    for (int d = 0; d < 4; ++d) {
      const int Depth = Depths[d];
      KvSetDeviceFactory([Depth] { return KvMakeHeadlessDevice(Depth); });
      N->Display[d] = std::make_unique<TSelfKelvra>(64, 64, "fuzz text");
      for (int h = 0; h < 4; ++h) {
        N->Buffer[d][h] = std::make_unique<TBufferKv>(N->Display[d].get(), W, H, false);
        N->Buffer[d][h]->SetFont("", Heights[h]);
      }
    }
    return N;
  }();
  return *S;
}

template <class T>
T Take(const uint8_t*& P, size_t& Left) {
  T V{};
  const size_t N = Left < sizeof(T) ? Left : sizeof(T);
  std::memcpy(&V, P, N);
  P += N;
  Left -= N;
  return V;
}

std::vector<uint8_t> Snapshot(TBufferKv& B) {
  B.MapSurface();
  std::vector<uint8_t> Bytes;
  for (int32_t y = 0; y < B.Height; ++y) {
    const uint8_t* Row = static_cast<const uint8_t*>(B.Rows[y]);
    Bytes.insert(Bytes.end(), Row, Row + size_t(B.Width) * B.BytesPerPixel);
  }
  return Bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  Surfaces& S = Get();
  const uint8_t* P = Data;
  size_t Left = Size;
  const uint8_t Pick = Take<uint8_t>(P, Left);
  TBufferKv& B = *S.Buffer[Pick & 3][(Pick >> 2) & 3];
  // Small positions most of the time (so glyphs land on the buffer), the
  // whole int32 range when the flag bit says so.
  int32_t X = Take<int32_t>(P, Left), Y = Take<int32_t>(P, Left);
  if (!(Pick & 0x10)) X = int8_t(X) % 40, Y = int8_t(Y) % 60;
  const uint32_t Colour = Take<uint32_t>(P, Left);
  const std::string Text(reinterpret_cast<const char*>(P), Left);

  B.Clear(0);
  const std::vector<uint8_t> Before = Snapshot(B);
  B.TextOut(X, Y, Text, Colour);
  const std::vector<uint8_t> Once = Snapshot(B);
  const int32_t CellHeight = Heights[(Pick >> 2) & 3];
  const size_t RowBytes = size_t(W) * B.BytesPerPixel;
  for (int32_t y = 0; y < H; ++y)
    if (int64_t(y) < Y || int64_t(y) >= int64_t(Y) + CellHeight)
      Check(std::memcmp(&Once[y * RowBytes], &Before[y * RowBytes], RowBytes) == 0);
  // Drawing the same text again over a cleared buffer gives the same pixels.
  B.Clear(0);
  B.TextOut(X, Y, Text, Colour);
  Check(Snapshot(B) == Once);
  // Text entirely above or below the buffer leaves it as it was.
  B.Clear(0);
  B.TextOut(X, -1000, Text, Colour);
  B.TextOut(X, H, Text, Colour);
  Check(Snapshot(B) == Before);
  return 0;
}
