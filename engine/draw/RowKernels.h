// Row kernels of the 2D drawing routines (internal to engine/draw).
//
// Every per-depth inner loop of the blits, the span fill and the textured
// span lives here, in three layers that must give identical bytes:
//   RowKernels.cpp  plain reference kernels, one pixel at a time
//   BlitSse2.cpp    SSE2 kernels (every x86-64 processor; NEON through
//                   SIMDe on 64-bit ARM)
//   BlitAvx2.cpp    AVX2 kernels (after the run-time processor test)
// ActiveKernels() picks the layer that KvActivePath() names; a kernel that
// gains nothing from a wider layer is the narrower layer's function.
//
// Kernels take raw row addresses and pixel counts. The public operations
// (Blit.cpp, Span.cpp) check and clip once; kernels carry no bounds tests.
// A source and destination passed to one kernel are either disjoint, or the
// same address, or the destination lies to the LEFT of the source in the same
// row: a kernel may load a group of source pixels before it stores the group
// (the blits keep the one order-dependent case, destination to the right in
// the same row, on the reference kernels).
//
// Tables are indexed by DepthIndex: 15, 16, 24, 32 -> 0, 1, 2, 3.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "PixelTraits.h"

namespace kv {

// The inline helpers below have internal linkage on purpose: BlitAvx2.cpp is
// compiled with -mavx2, and a shared (weak) copy of a helper emitted there
// could be the one the linker keeps for every caller, AVX2 instructions and
// all, on a processor without them.
namespace {

// --- depths ----------------------------------------------------------------

// 15, 16, 24, 32 -> 0..3; -1 for anything else.
inline int DepthIndex(int32_t Depth) {
  switch (Depth) {
    case 15:
      return 0;
    case 16:
      return 1;
    case 24:
      return 2;
    case 32:
      return 3;
    default:
      return -1;
  }
}

// Bytes of one pixel in memory for a depth index.
constexpr int BytesOfIndex[4] = {Pixel15::Bytes, Pixel16::Bytes, Pixel24::Bytes, Pixel32::Bytes};

}  // namespace

// --- kernel signatures -----------------------------------------------------

// Dst := saturating per-channel Src + Dst, Count pixels.
using AddRowFn = void (*)(const uint8_t* Src, uint8_t* Dst, int32_t Count);
// Dst := Dst + floor((Src - Dst) x A / N) per channel; Alpha is the caller's
// byte (the 15/16-bit kernels use Alpha div 8 of 32 themselves).
using AlphaRowFn = void (*)(const uint8_t* Src, uint8_t* Dst, int32_t Count, uint32_t Alpha);
// As AlphaRowFn, leaving Dst untouched where Src matches Key (depth's rule).
using AlphaKeyedRowFn = void (*)(const uint8_t* Src, uint8_t* Dst, int32_t Count, uint32_t Alpha, uint32_t Key);
// One row of the in-place blur. Up and Down are the rows above and below
// (the row itself on the first / last row; Up already blurred, Down not);
// Left is the blurred pixel before the row's first, RightOfLast the
// unblurred pixel after its last. Returns the row's blurred last pixel.
using BlurRowFn = uint32_t (*)(const uint8_t* Up, uint8_t* Cur, const uint8_t* Down, int32_t Count, uint32_t Left,
                               uint32_t RightOfLast);
// Count pixels := Color (low 16 / 24 / 32 bits by depth).
using FillRowFn = void (*)(uint8_t* Dst, int32_t Count, uint32_t Color);

// The texture of a textured span: pixel memory with rows Pitch bytes apart.
struct TexSource {
  const uint8_t* Bits;
  int32_t Pitch;
  int32_t MaxX, MaxY;
  size_t Bytes;  // Pitch x Height: every texel lies below Bits + Bytes
};
// Pixels X0 .. X1 (both included, 0 <= X0 <= X1) of DstRow from the texel at
// (U div 65536, V div 65536) clamped into the source, U += DU and V += DV
// (wrapping) after each pixel; texels matching Key are left out.
using TexSpanFn = void (*)(uint8_t* DstRow, int32_t X0, int32_t X1, int32_t U, int32_t V, int32_t DU, int32_t DV,
                           const TexSource& Src, uint32_t Key);

struct KernelSet {
  AddRowFn Add[4];
  AlphaRowFn Alpha[4];
  AlphaKeyedRowFn AlphaKeyed[4];
  BlurRowFn Blur[4];
  FillRowFn Fill[4];
  TexSpanFn TexSpan[4];
};

const KernelSet& ReferenceKernels();
const KernelSet& Sse2Kernels();  // the reference set where SSE2 cannot be built
const KernelSet& Avx2Kernels();  // the SSE2 set when AVX2 is not built in
// The set of KvActivePath().
const KernelSet& ActiveKernels();
// For a blit onto itself with the destination to the right in the same row:
// kernels that load each source pixel only after storing the one before.
// The reference set, with faster blends that keep that order (one pixel at
// a time, channels packed in one word); on the reference path, the
// reference set itself.
const KernelSet& InOrderKernels();
// Its blend (depth index Index) on four rows at once, four independent
// chains for the processor to overlap, each row in pixel order. The rows
// are distinct.
void AlphaRowsInOrder4(int Index, const uint8_t* const S[4], uint8_t* const D[4], int32_t N, uint32_t Alpha);

// The same blend on eight rows at once where each row's source is the pixel
// just left of its destination (D[r] - one pixel), with AVX2 (call only on
// the AVX2 path); false, and nothing done, for a depth it does not cover.
bool AlphaRowsOneRight8(int Index, uint8_t* const D[8], int32_t N, uint32_t Alpha);
// The same on four rows with SSE2 (which WebAssembly SIMD builds compile to
// wasm vectors); call only off the reference path.
bool AlphaRowsOneRight4(int Index, uint8_t* const D[4], int32_t N, uint32_t Alpha);
// The same on eight rows with SSE2, as two blocks of four whose chains overlap.
bool AlphaRowsOneRight8Sse2(int Index, uint8_t* const D[8], int32_t N, uint32_t Alpha);

// Vzeroupper after AVX2 kernels (defined in BlitAvx2.cpp).
void Avx2EndState();

namespace {

// --- reference pixels, shared by the reference kernels and the SIMD tails --

// Saturating per-channel add of two pixel values.
inline uint32_t AddPixel555(uint32_t S, uint32_t D) {
  uint32_t R = ((S >> 10) & 31) + ((D >> 10) & 31);
  uint32_t G = ((S >> 5) & 31) + ((D >> 5) & 31);
  uint32_t B = (S & 31) + (D & 31);
  R = R > 31 ? 31 : R;
  G = G > 31 ? 31 : G;
  B = B > 31 ? 31 : B;
  return R << 10 | G << 5 | B;
}
inline uint32_t AddPixel565(uint32_t S, uint32_t D) {
  uint32_t R = ((S >> 11) & 31) + ((D >> 11) & 31);
  uint32_t G = ((S >> 5) & 63) + ((D >> 5) & 63);
  uint32_t B = (S & 31) + (D & 31);
  R = R > 31 ? 31 : R;
  G = G > 63 ? 63 : G;
  B = B > 31 ? 31 : B;
  return R << 11 | G << 5 | B;
}
inline uint8_t AddByte(uint8_t S, uint8_t D) {
  const unsigned Sum = unsigned(S) + D;
  return uint8_t(Sum > 255 ? 255 : Sum);
}

// floor(V / N) for N > 0, whatever the sign of V.
inline int FloorDiv(int V, int N) { return V >= 0 ? V / N : -((-V + N - 1) / N); }
// One channel moved toward the source by A / N, rounded toward minus infinity.
inline uint32_t BlendChannel(uint32_t S, uint32_t D, int A, int N) {
  return uint32_t(int(D) + FloorDiv((int(S) - int(D)) * A, N));
}
// A is Alpha div 8 (0..31) at depths 15 and 16, Alpha (0..255) at 24 and 32.
inline uint32_t AlphaPixel555(uint32_t S, uint32_t D, int A) {
  return BlendChannel((S >> 10) & 31, (D >> 10) & 31, A, 32) << 10 |
         BlendChannel((S >> 5) & 31, (D >> 5) & 31, A, 32) << 5 | BlendChannel(S & 31, D & 31, A, 32);
}
inline uint32_t AlphaPixel565(uint32_t S, uint32_t D, int A) {
  return BlendChannel((S >> 11) & 31, (D >> 11) & 31, A, 32) << 11 |
         BlendChannel((S >> 5) & 63, (D >> 5) & 63, A, 32) << 5 | BlendChannel(S & 31, D & 31, A, 32);
}
// The three low bytes; the top byte of the result is 0.
inline uint32_t AlphaPixel888(uint32_t S, uint32_t D, int A) {
  return BlendChannel((S >> 16) & 255, (D >> 16) & 255, A, 256) << 16 |
         BlendChannel((S >> 8) & 255, (D >> 8) & 255, A, 256) << 8 | BlendChannel(S & 255, D & 255, A, 256);
}

// The trail's last columns (32 bits), after a vector run over rows D[0 ..
// Rows - 1] stopped at column From: each row's chain goes on a pixel at a
// time from where it stands (Last[r], the row's last blended pixel).
inline void TrailRowsTail8888(uint8_t* const* D, int Rows, const uint32_t* Last, int32_t From, int32_t N,
                              uint32_t Alpha) {
  const uint32_t Av = Alpha & 255u, Bv = 256u - Av;
  for (int r = 0; r < Rows; ++r) {
    uint32_t P = Last[r];
    for (int32_t i = From; i < N; ++i) {
      const uint32_t Dv = Load32(D[r] + 4 * int64_t(i));
      const uint32_t RB = (((P & 0xFF00FFu) * Av + (Dv & 0xFF00FFu) * Bv) >> 8) & 0xFF00FFu;
      const uint32_t G = (((P & 0xFF00u) * Av + (Dv & 0xFF00u) * Bv) >> 8) & 0xFF00u;
      P = RB | G;
      Store32(D[r] + 4 * int64_t(i), P);
    }
  }
}

// Masks of the blur: each channel loses its lowest two bits (three for the
// 6-bit green of depth 16), so four masked values sum without carrying into
// the next channel.
constexpr uint32_t BlurMask[4] = {0x739Cu, 0xE71Cu, 0xFCFCFCu, 0xFCFCFCu};

// Texel column / row: the 16.16 coordinate's integer part toward zero,
// clamped into 0 .. Max (coordinates outside the texture take its edge).
inline int32_t TexelIndex(int32_t Coord, int32_t Max) {
  const int32_t I = Coord / 65536;
  return I < 0 ? 0 : I > Max ? Max : I;
}

}  // namespace
}  // namespace kv
