// Helpers of the 2D drawing tests: pixel images of buffers, and a model of
// the blits written straight from the formulas the engine documents (the
// packed blend, the carry-tested add), independent of the engine's kernels.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "KvTest.h"
#include "engine/draw/BufferKv.h"
#include "engine/draw/FastPath.h"

namespace d2 {

// The pixels of a buffer, row after row.
struct Image {
  int W = 0, H = 0;
  std::vector<uint32_t> P;
  uint32_t& At(int X, int Y) { return P[size_t(Y) * W + X]; }
  uint32_t At(int X, int Y) const { return P[size_t(Y) * W + X]; }
};

inline Image Snapshot(const TBufferKv& B) {
  Image I;
  I.W = B.Width;
  I.H = B.Height;
  I.P.resize(size_t(I.W) * I.H);
  for (int y = 0; y < I.H; ++y)
    for (int x = 0; x < I.W; ++x) I.At(x, y) = kvtest::GetPixel(B, x, y);
  return I;
}

// Writes a pixel value in the buffer's memory layout (test set-up only).
inline void Poke(TBufferKv& B, int X, int Y, uint32_t V) {
  uint8_t* P = B.Rows[size_t(Y)] + size_t(X) * B.BytesPerPixel;
  for (int i = 0; i < B.BytesPerPixel; ++i) P[i] = uint8_t(V >> (8 * i));
}

inline void FillAll(TBufferKv& B, uint32_t V) {
  for (int y = 0; y < B.Height; ++y)
    for (int x = 0; x < B.Width; ++x) Poke(B, x, y, V);
}

// --- the model -------------------------------------------------------------

// Saturating add, with the carry out of each channel as the saturation test
// at 15 and 16 bits, and bytes at 24 and 32.
inline uint32_t ModelAdd(int Depth, uint32_t S, uint32_t D) {
  if (Depth == 15 || Depth == 16) {
    const uint32_t RM = Depth == 15 ? 0x7C00 : 0xF800, GM = Depth == 15 ? 0x03E0 : 0x07E0, BM = 0x1F;
    uint32_t R = (S & RM) + (D & RM), G = (S & GM) + (D & GM), B = (S & BM) + (D & BM);
    if (R & ~RM) R = RM;
    if (G & ~GM) G = GM;
    if (B & ~BM) B = BM;
    return R | G | B;
  }
  const int Bytes = Depth == 24 ? 3 : 4;
  uint32_t Out = 0;
  for (int i = 0; i < Bytes; ++i) {
    const uint32_t Sum = ((S >> (8 * i)) & 255) + ((D >> (8 * i)) & 255);
    Out |= (Sum > 255 ? 255 : Sum) << (8 * i);
  }
  return Out;
}

// The packed blend: channels spread with gaps, one multiply, wrap-around.
inline uint32_t ModelAlpha(int Depth, uint32_t S, uint32_t D, uint8_t Alpha) {
  if (Depth == 15 || Depth == 16) {
    const uint32_t Mask = Depth == 15 ? 0x03E07C1Fu : 0x07E0F81Fu;
    const uint32_t A = Alpha >> 3;
    const uint32_t Es = (S | S << 16) & Mask, Ed = (D | D << 16) & Mask;
    const uint32_t R = (Ed + (((Es - Ed) * A) >> 5)) & Mask;
    return ((R >> 16) | (R & 0xFFFF)) & 0xFFFF;
  }
  const uint32_t A = Alpha;
  const uint32_t Srb = S & 0xFF00FF, Drb = D & 0xFF00FF, Sg = S & 0xFF00, Dg = D & 0xFF00;
  const uint32_t Rb = (Drb + (((Srb - Drb) * A) >> 8)) & 0xFF00FF;
  const uint32_t G = (Dg + (((Sg - Dg) * A) >> 8)) & 0xFF00;
  return Rb | G;
}

inline bool ModelKeyed(int Depth, uint32_t S, uint32_t Key) {
  if (Depth == 15 || Depth == 16) return S == Key;
  return (S & 0xFFFFFF) == (Key & 0xFFFFFF);
}

enum class Op { Add, Alpha, AlphaKeyed };

// The blit of Src onto Dst at X, Y as documented: clip, then rows top down,
// pixels left to right, each written right after its source is read. Src
// and Dst may be the same image (a blit onto itself).
inline void ModelBlit(Op Kind, int Depth, const Image& Src, Image& Dst, int32_t X, int32_t Y, uint8_t Alpha = 0,
                      uint32_t Key = 0) {
  const int64_t DMaxX = Dst.W - 1, DMaxY = Dst.H - 1;
  if (X > DMaxX || Y > DMaxY || int64_t(X) + Src.W < 0 || int64_t(Y) + Src.H < 0) return;
  const int64_t SX = X < 0 ? -int64_t(X) : 0, SY = Y < 0 ? -int64_t(Y) : 0;
  const int64_t DX = X < 0 ? 0 : X, DY = Y < 0 ? 0 : Y;
  const int64_t W = std::min<int64_t>(int64_t(X) + Src.W, Dst.W) - DX;
  const int64_t H = std::min<int64_t>(int64_t(Y) + Src.H, Dst.H) - DY;
  for (int64_t i = 0; i < H; ++i)
    for (int64_t j = 0; j < W; ++j) {
      const uint32_t S = Src.At(int(SX + j), int(SY + i));
      uint32_t& D = Dst.At(int(DX + j), int(DY + i));
      switch (Kind) {
        case Op::Add:
          D = ModelAdd(Depth, S, D);
          break;
        case Op::Alpha:
          D = ModelAlpha(Depth, S, D, Alpha);
          break;
        case Op::AlphaKeyed:
          if (!ModelKeyed(Depth, S, Key)) D = ModelAlpha(Depth, S, D, Alpha);
          break;
      }
    }
}

// The in-place blur as documented, on an image whose rows are contiguous:
// left / right are the pixels before / after in memory (the pixel itself
// beyond the two ends), up / down the pixel itself on the first / last row.
inline void ModelBlur(int Depth, Image& I) {
  const uint32_t M = Depth == 15 ? 0x739C : Depth == 16 ? 0xE71C : 0xFCFCFC;
  const size_t N = I.P.size();
  for (size_t k = 0; k < N; ++k) {
    const uint32_t Self = I.P[k];
    const uint32_t L = k > 0 ? I.P[k - 1] : Self, R = k + 1 < N ? I.P[k + 1] : Self;
    const uint32_t U = k >= size_t(I.W) ? I.P[k - I.W] : Self, D = k + I.W < N ? I.P[k + I.W] : Self;
    I.P[k] = ((L & M) + (R & M) + (U & M) + (D & M)) >> 2;
  }
}

// The paths this processor offers, narrowest first.
inline std::vector<KvPath> Paths() {
  std::vector<KvPath> P = {KvPath::Reference, KvPath::Sse2};
  if (KvHasAvx2()) P.push_back(KvPath::Avx2);
  return P;
}

inline const char* PathName(KvPath P) {
  return P == KvPath::Reference ? "reference" : P == KvPath::Sse2 ? "sse2" : "avx2";
}

// Restores the engine's own path choice when a test ends.
struct PathGuard {
  ~PathGuard() { KvForceReference(false); }
};

}  // namespace d2
