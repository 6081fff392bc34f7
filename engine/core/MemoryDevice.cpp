// KvMemoryDevice: the surfaces, fills, keyed copies, message queue and key
// state that the headless and browser devices share (MemoryDevice.h).
#include "MemoryDevice.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "../draw/SimdIntrinsics.h"

namespace {

int BytesForDepth(int Depth) {
  switch (Depth) {
    case 15:
    case 16:
      return 2;
    case 24:
      return 3;
    case 32:
      return 4;
    default:
      return Depth > 0 ? (Depth + 7) / 8 : 1;
  }
}

// Surfaces larger than this are refused as out of memory rather than tried.
constexpr int64_t MaxSurfaceBytes = int64_t(1) << 31;

KvResult MakeSurface(int32_t Width, int32_t Height, int Bpp, bool Video, KvSurfaceRef* Out) {
  if (Width <= 0 || Height <= 0) return KVERR_INVALIDPARAMS;
  const int64_t Pitch = int64_t(Width) * Bpp;
  const int64_t Bytes = Pitch * Height;
  if (Bytes > MaxSurfaceBytes) return KVERR_OUTOFMEMORY;
  auto Surface = std::make_shared<KvSurface>();
  Surface->Storage.reset(new (std::nothrow) uint8_t[size_t(Bytes)]);
  if (!Surface->Storage) return KVERR_OUTOFMEMORY;
  std::memset(Surface->Storage.get(), 0, size_t(Bytes));
  Surface->Pixels = Surface->Storage.get();
  Surface->Width = Width;
  Surface->Height = Height;
  Surface->Pitch = int32_t(Pitch);
  Surface->BytesPerPixel = Bpp;
  Surface->VideoMemory = Video;
  *Out = std::move(Surface);
  return KV_OK;
}

inline uint32_t ReadPixel(const uint8_t* P, int Bpp) {
  switch (Bpp) {
    case 2:
      return uint32_t(P[0]) | uint32_t(P[1]) << 8;
    case 3:
      return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16;
    case 4:
      return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
    default:
      return P[0];
  }
}

inline void WritePixel(uint8_t* P, int Bpp, uint32_t Value) {
  for (int i = 0; i < Bpp; ++i) P[i] = uint8_t(Value >> (8 * i));
}

// Keyed copies leave out exactly the pixels equal to the whole key: a key
// with bits above the pixel's size equals no pixel, and the row is copied.

#if defined(KV_SIMD_SSE2) && defined(__wasm__)
#define KV_KEYED_WASM_SIMD 1
// 16 bytes of 2- or 4-byte pixels a step, merged under the compare's mask.
// Only for WebAssembly: there the plain loop below ran twenty times slower
// than this (a 640 x 480 copy at 32 bits: 848 against 41 us in V8), while
// GCC's own vector code for it is faster on x86. Returns the pixels done:
// none where the row is copied onto itself less than a vector to the right,
// as loading ahead would then miss pixels the loop has just written.
template <typename Pixel>
size_t KeyedRowSse2(const uint8_t* S, uint8_t* D, size_t Count, Pixel K) {
  if (D > S && size_t(D - S) < 16) return 0;
  const __m128i Key = sizeof(Pixel) == 4 ? _mm_set1_epi32(int(K)) : _mm_set1_epi16(short(K));
  size_t i = 0;
  for (; i + 16 / sizeof(Pixel) <= Count; i += 16 / sizeof(Pixel), S += 16, D += 16) {
    const __m128i Sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S));
    const __m128i Dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(D));
    const __m128i Keep = sizeof(Pixel) == 4 ? _mm_cmpeq_epi32(Sv, Key) : _mm_cmpeq_epi16(Sv, Key);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(D), _mm_or_si128(_mm_and_si128(Keep, Dv), _mm_andnot_si128(Keep, Sv)));
  }
  return i;
}
#endif

// One row for 2- and 4-byte pixels: a branch-free select.
template <typename Pixel>
void KeyedRow(const uint8_t* Src, uint8_t* Dest, size_t Count, uint32_t Key) {
  if (Key > Pixel(~Pixel(0))) {
    std::memcpy(Dest, Src, Count * sizeof(Pixel));
    return;
  }
  const Pixel K = Pixel(Key);
  size_t i = 0;
#if defined(KV_KEYED_WASM_SIMD)
  i = KeyedRowSse2<Pixel>(Src, Dest, Count, K);
#endif
  const Pixel* S = reinterpret_cast<const Pixel*>(Src);
  Pixel* D = reinterpret_cast<Pixel*>(Dest);
  for (; i < Count; ++i) D[i] = S[i] != K ? S[i] : D[i];
}

inline uint32_t Load32(const uint8_t* P) {
  uint32_t V;
  std::memcpy(&V, P, 4);
  return V;
}
inline void Store32(uint8_t* P, uint32_t V) { std::memcpy(P, &V, 4); }
// All ones when the 24-bit pixel P differs from the key.
inline uint32_t TakeMask(uint32_t P, uint32_t Key) { return 0u - uint32_t(P != Key); }

#if defined(KV_SIMD_SSSE3)
#define KV_KEYED_SSSE3 1
// Sixteen 3-byte pixels (48 bytes) a step: byte shuffles spread them into
// four vectors of 32-bit pixels for the compare, and the four lane masks are
// shuffled back into three byte masks for the select. On x86 compiled for
// SSSE3 only here and called only after the processor test; it uses
// intrinsics alone (nothing shared with other code). Returns the pixels done.
#if defined(KV_SIMD_SSSE3_ALWAYS)
#define KV_SSSE3_FUNCTION
#else
#define KV_SSSE3_FUNCTION __attribute__((target("ssse3")))
#endif
KV_SSSE3_FUNCTION size_t KeyedRow24Ssse3(const uint8_t* S, uint8_t* D, size_t Count, uint32_t Key) {
  const __m128i Spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m128i SpreadHigh = _mm_setr_epi8(4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15, -1);
  const __m128i K = _mm_set1_epi32(int(Key));
  // Byte b of a 16-byte run takes the mask of lane b div 3 (lanes of 4 bytes).
  const __m128i Lanes0 = _mm_setr_epi8(0, 0, 0, 4, 4, 4, 8, 8, 8, 12, 12, 12, -1, -1, -1, -1);      // pixels 0-3
  const __m128i Lanes1a = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 0, 0, 4);  // 4, 5
  const __m128i Lanes1b = _mm_setr_epi8(4, 4, 8, 8, 8, 12, 12, 12, -1, -1, -1, -1, -1, -1, -1, -1);  // 5-7
  const __m128i Lanes2a = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 0, 0, 0, 4, 4, 4, 8, 8);      // 8-10
  const __m128i Lanes2b = _mm_setr_epi8(8, 12, 12, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);  // 10, 11
  const __m128i Lanes3 = _mm_setr_epi8(-1, -1, -1, -1, 0, 0, 0, 4, 4, 4, 8, 8, 8, 12, 12, 12);      // 12-15
  size_t i = 0;
  for (; i + 16 <= Count; i += 16, S += 48, D += 48) {
    const __m128i S0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S));
    const __m128i S1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S + 16));
    const __m128i S2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S + 32));
    const __m128i M0 = _mm_cmpeq_epi32(_mm_shuffle_epi8(S0, Spread), K);
    const __m128i M1 = _mm_cmpeq_epi32(_mm_shuffle_epi8(_mm_alignr_epi8(S1, S0, 12), Spread), K);
    const __m128i M2 = _mm_cmpeq_epi32(_mm_shuffle_epi8(_mm_alignr_epi8(S2, S1, 8), Spread), K);
    const __m128i M3 = _mm_cmpeq_epi32(_mm_shuffle_epi8(S2, SpreadHigh), K);
    const __m128i Keep0 = _mm_or_si128(_mm_shuffle_epi8(M0, Lanes0), _mm_shuffle_epi8(M1, Lanes1a));
    const __m128i Keep1 = _mm_or_si128(_mm_shuffle_epi8(M1, Lanes1b), _mm_shuffle_epi8(M2, Lanes2a));
    const __m128i Keep2 = _mm_or_si128(_mm_shuffle_epi8(M2, Lanes2b), _mm_shuffle_epi8(M3, Lanes3));
    __m128i* Dp = reinterpret_cast<__m128i*>(D);
    const __m128i D0 = _mm_loadu_si128(Dp), D1 = _mm_loadu_si128(Dp + 1), D2 = _mm_loadu_si128(Dp + 2);
    _mm_storeu_si128(Dp, _mm_or_si128(_mm_and_si128(Keep0, D0), _mm_andnot_si128(Keep0, S0)));
    _mm_storeu_si128(Dp + 1, _mm_or_si128(_mm_and_si128(Keep1, D1), _mm_andnot_si128(Keep1, S1)));
    _mm_storeu_si128(Dp + 2, _mm_or_si128(_mm_and_si128(Keep2, D2), _mm_andnot_si128(Keep2, S2)));
  }
  return i;
}

bool HasSsse3() {
#if defined(KV_SIMD_SSSE3_ALWAYS)
  return true;
#else
  static const bool Has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
  }();
  return Has;
#endif
}
#endif

// One row of 3-byte pixels (bytes B, G, R). Four pixels are three 32-bit
// words; each word is merged under a byte mask, so no pixel costs a branch
// (keys are scattered through pictures) and no store overlaps the next load.
void KeyedRow24(const uint8_t* S, uint8_t* D, size_t Count, uint32_t Key) {
  if (Key > 0xFFFFFFu) {
    std::memcpy(D, S, Count * 3);
    return;
  }
  size_t i = 0;
#ifdef KV_KEYED_SSSE3
  if (HasSsse3()) {
    i = KeyedRow24Ssse3(S, D, Count, Key);
    S += 3 * i;
    D += 3 * i;
  }
#endif
  for (; i + 4 <= Count; i += 4, S += 12, D += 12) {
    const uint32_t S0 = Load32(S), S1 = Load32(S + 4), S2 = Load32(S + 8);
    const uint32_t M0 = TakeMask(S0 & 0xFFFFFFu, Key);
    const uint32_t M1 = TakeMask((S0 >> 24 | S1 << 8) & 0xFFFFFFu, Key);
    const uint32_t M2 = TakeMask((S1 >> 16 | S2 << 16) & 0xFFFFFFu, Key);
    const uint32_t M3 = TakeMask(S2 >> 8, Key);
    const uint32_t W0 = (M0 & 0x00FFFFFFu) | (M1 & 0xFF000000u);
    const uint32_t W1 = (M1 & 0x0000FFFFu) | (M2 & 0xFFFF0000u);
    const uint32_t W2 = (M2 & 0x000000FFu) | (M3 & 0xFFFFFF00u);
    Store32(D, (Load32(D) & ~W0) | (S0 & W0));
    Store32(D + 4, (Load32(D + 4) & ~W1) | (S1 & W1));
    Store32(D + 8, (Load32(D + 8) & ~W2) | (S2 & W2));
  }
  for (; i < Count; ++i, S += 3, D += 3)
    if (ReadPixel(S, 3) != Key) std::memcpy(D, S, 3);
}


// Any other pixel size.
void KeyedRowBytes(const uint8_t* S, uint8_t* D, size_t Count, int Bpp, uint32_t Key) {
  for (size_t i = 0; i < Count; ++i, S += Bpp, D += Bpp)
    if (ReadPixel(S, Bpp) != Key) std::memcpy(D, S, size_t(Bpp));
}

}  // namespace

uint32_t KvMemoryDevice::CreateWindow(const char*, int32_t Width, int32_t Height, bool) {
  return (Width > 0 && Height > 0) ? 1u : 0u;
}
void KvMemoryDevice::DestroyWindow() {}

KvResult KvMemoryDevice::CreateScreen(int32_t Width, int32_t Height, int32_t Depth, bool FullScreen,
                                      KvSurfaceRef* Primary, KvSurfaceRef* Back) {
  ScreenDepth = FullScreen ? Depth : DesktopDepth;
  const int Bpp = BytesForDepth(ScreenDepth);
  KvResult Result = MakeSurface(Width, Height, Bpp, true, Primary);
  if (Result == KV_OK) Result = MakeSurface(Width, Height, Bpp, !FullScreen ? false : true, Back);
  return Result;
}
void KvMemoryDevice::ReleaseScreen() {}

KvResult KvMemoryDevice::GetPixelFormat(KvPixelFormat* Format) {
  Format->RGBBitCount = ScreenDepth == 15 ? 16 : uint32_t(ScreenDepth);
  switch (ScreenDepth) {
    case 15:
      Format->GreenMask = 0x3E0;
      break;
    case 16:
      Format->GreenMask = 0x7E0;
      break;
    case 24:
    case 32:
      Format->GreenMask = 0xFF00;
      break;
    default:
      Format->GreenMask = 0;
      break;
  }
  return KV_OK;
}

KvResult KvMemoryDevice::CreateSurface(int32_t Width, int32_t Height, bool VideoMemory, KvSurfaceRef* Out) {
  return MakeSurface(Width, Height, BytesForDepth(ScreenDepth), VideoMemory, Out);
}

KvResult KvMemoryDevice::Restore(KvSurface& Surface) {
  Surface.Lost = false;
  return KV_OK;
}

KvResult KvMemoryDevice::ColorFill(KvSurface& Dest, const KvRect* Rect, uint32_t Color) {
  KvRect R = Rect ? *Rect : KvRect{0, 0, Dest.Width, Dest.Height};
  if (R.Left < 0) R.Left = 0;
  if (R.Top < 0) R.Top = 0;
  if (R.Right > Dest.Width) R.Right = Dest.Width;
  if (R.Bottom > Dest.Height) R.Bottom = Dest.Height;
  if (R.Left >= R.Right || R.Top >= R.Bottom) return KVERR_INVALIDPARAMS;
  const int Bpp = Dest.BytesPerPixel;
  const size_t Count = size_t(R.Right - R.Left);
  for (int32_t y = R.Top; y < R.Bottom; ++y) {
    uint8_t* P = Dest.Pixels + size_t(y) * Dest.Pitch + size_t(R.Left) * Bpp;
    if (Bpp == 2)
      std::fill_n(reinterpret_cast<uint16_t*>(P), Count, uint16_t(Color));
    else if (Bpp == 4)
      std::fill_n(reinterpret_cast<uint32_t*>(P), Count, Color);
    else
      for (size_t x = 0; x < Count; ++x, P += Bpp) WritePixel(P, Bpp, Color);
  }
  return KV_OK;
}

KvResult KvMemoryDevice::KeyedCopy(KvSurface& Dest, int32_t X, int32_t Y, KvSurface& Src,
                                   const KvRect& SrcRect, uint32_t Key) {
  const int Bpp = Dest.BytesPerPixel;
  if (Src.BytesPerPixel != Bpp) return KVERR_INVALIDPARAMS;
  // Clip the source rectangle to the source and the destination.
  int64_t Left = SrcRect.Left, Top = SrcRect.Top, Right = SrcRect.Right, Bottom = SrcRect.Bottom;
  int64_t DX = X, DY = Y;
  if (Left < 0) DX -= Left, Left = 0;
  if (Top < 0) DY -= Top, Top = 0;
  if (DX < 0) Left -= DX, DX = 0;
  if (DY < 0) Top -= DY, DY = 0;
  if (Right > Src.Width) Right = Src.Width;
  if (Bottom > Src.Height) Bottom = Src.Height;
  if (Right - Left > Dest.Width - DX) Right = Left + (Dest.Width - DX);
  if (Bottom - Top > Dest.Height - DY) Bottom = Top + (Dest.Height - DY);
  if (Left >= Right || Top >= Bottom) return KVERR_INVALIDPARAMS;
  const size_t Count = size_t(Right - Left);
  for (int64_t y = Top; y < Bottom; ++y) {
    const uint8_t* S = Src.Pixels + size_t(y) * Src.Pitch + size_t(Left) * Bpp;
    uint8_t* D = Dest.Pixels + size_t(DY + (y - Top)) * Dest.Pitch + size_t(DX) * Bpp;
    switch (Bpp) {
      case 2:
        KeyedRow<uint16_t>(S, D, Count, Key);
        break;
      case 3:
        KeyedRow24(S, D, Count, Key);
        break;
      case 4:
        KeyedRow<uint32_t>(S, D, Count, Key);
        break;
      default:
        KeyedRowBytes(S, D, Count, Bpp, Key);
        break;
    }
  }
  Src.ColorKey = Key;
  return KV_OK;
}

KvResult KvMemoryDevice::BltStatus(KvSurface&) { return KV_OK; }

bool KvMemoryDevice::PeekMessage(KvMessage* Message) {
  if (Queue.empty()) return false;
  *Message = Queue.front();
  Queue.pop_front();
  return true;
}
void KvMemoryDevice::PostQuit() { Queue.push_back(KvMessage{KvMessageKind::Quit, 0}); }

bool KvMemoryDevice::KeyboardState(uint8_t State[256]) {
  std::memcpy(State, Keys, 256);
  return true;
}
