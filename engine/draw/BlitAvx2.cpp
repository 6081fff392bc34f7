// AVX2 row kernels: the SSE2 kernels' methods on 256-bit vectors (16 pixels
// of 16 bits, 8 of 32 bits, 32 bytes per step), plus three of their own: the
// textured span, which gathers its texels with vpgatherdd; the 32-bit blur,
// whose left-neighbour chain goes four pixels a step; and the 32-bit trail
// one pixel to the right, eight rows at once.
//
// This file is compiled with -mavx2 and runs only after the processor test.
// It therefore calls no template of the standard library and defines nothing
// outside its unnamed namespace but the two entry points below: a shared
// copy of anything compiled here could be picked by the linker for callers
// on a processor without AVX2.
//
// Kept on narrower kernels, because they gain nothing here:
//   24-bit keyed blend  (the SSE2 byte-pattern kernel; 48-byte steps do not
//                        fit 256-bit vectors)
//   24-bit textured span (no 3-byte scatter; the reference span)
#include "RowKernels.h"

#if defined(__AVX2__)
#include <immintrin.h>

namespace kv {
namespace {

const KernelSet& Ref() { return ReferenceKernels(); }

inline __m256i LoadU(const uint8_t* P) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(P)); }
inline void StoreU(uint8_t* P, __m256i V) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(P), V); }
inline __m256i Splat16(uint32_t V) { return _mm256_set1_epi16(short(uint16_t(V))); }
inline __m256i Select(__m256i Mask, __m256i A, __m256i B) { return _mm256_blendv_epi8(B, A, Mask); }

// ===========================================================================
// DrawAdd (see BlitSse2.cpp for the method)
// ===========================================================================

inline __m256i AddTop(__m256i S, __m256i D, __m256i TopMask) {
  return _mm256_and_si256(_mm256_adds_epu16(_mm256_and_si256(S, TopMask), _mm256_and_si256(D, TopMask)), TopMask);
}

inline __m256i Add565x16(__m256i S, __m256i D) {
  const __m256i Top5 = _mm256_set1_epi16(short(0xF800)), Top6 = _mm256_set1_epi16(short(0xFC00));
  const __m256i R = AddTop(S, D, Top5);
  const __m256i G = _mm256_srli_epi16(AddTop(_mm256_slli_epi16(S, 5), _mm256_slli_epi16(D, 5), Top6), 5);
  const __m256i B = _mm256_srli_epi16(_mm256_adds_epu16(_mm256_slli_epi16(S, 11), _mm256_slli_epi16(D, 11)), 11);
  return _mm256_or_si256(_mm256_or_si256(R, G), B);
}

inline __m256i Add555x16(__m256i S, __m256i D) {
  const __m256i Top5 = _mm256_set1_epi16(short(0xF800));
  const __m256i R = _mm256_srli_epi16(AddTop(_mm256_slli_epi16(S, 1), _mm256_slli_epi16(D, 1), Top5), 1);
  const __m256i G = _mm256_srli_epi16(AddTop(_mm256_slli_epi16(S, 6), _mm256_slli_epi16(D, 6), Top5), 6);
  const __m256i B = _mm256_srli_epi16(_mm256_adds_epu16(_mm256_slli_epi16(S, 11), _mm256_slli_epi16(D, 11)), 11);
  return _mm256_or_si256(_mm256_or_si256(R, G), B);
}

template <__m256i (*Op)(__m256i, __m256i), int RefIndex>
void AddRow16(const uint8_t* S, uint8_t* D, int32_t N) {
  int32_t i = 0;
  for (; i + 16 <= N; i += 16) StoreU(D + 2 * i, Op(LoadU(S + 2 * i), LoadU(D + 2 * i)));
  if (i < N) Ref().Add[RefIndex](S + 2 * i, D + 2 * i, N - i);
}

template <int Bpp>
void AddRowBytes(const uint8_t* S, uint8_t* D, int32_t N) {
  const int64_t Bytes = int64_t(N) * Bpp;
  int64_t b = 0;
  for (; b + 32 <= Bytes; b += 32) StoreU(D + b, _mm256_adds_epu8(LoadU(S + b), LoadU(D + b)));
  // The bytes left over (a 24-bit vector may end inside a pixel).
  for (; b < Bytes; ++b) D[b] = AddByte(S[b], D[b]);
}

// ===========================================================================
// DrawAlpha
// ===========================================================================

inline __m256i BlendSmall(__m256i S, __m256i D, __m256i A) {
  return _mm256_add_epi16(D, _mm256_srai_epi16(_mm256_mullo_epi16(_mm256_sub_epi16(S, D), A), 5));
}

inline __m256i Alpha565x16(__m256i S, __m256i D, __m256i A) {
  const __m256i M6 = _mm256_set1_epi16(63), M5 = _mm256_set1_epi16(31);
  const __m256i R = BlendSmall(_mm256_srli_epi16(S, 11), _mm256_srli_epi16(D, 11), A);
  const __m256i G =
      BlendSmall(_mm256_and_si256(_mm256_srli_epi16(S, 5), M6), _mm256_and_si256(_mm256_srli_epi16(D, 5), M6), A);
  const __m256i B = BlendSmall(_mm256_and_si256(S, M5), _mm256_and_si256(D, M5), A);
  return _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(R, 11), _mm256_slli_epi16(G, 5)), B);
}

inline __m256i Alpha555x16(__m256i S, __m256i D, __m256i A) {
  const __m256i M5 = _mm256_set1_epi16(31);
  const __m256i R =
      BlendSmall(_mm256_and_si256(_mm256_srli_epi16(S, 10), M5), _mm256_and_si256(_mm256_srli_epi16(D, 10), M5), A);
  const __m256i G =
      BlendSmall(_mm256_and_si256(_mm256_srli_epi16(S, 5), M5), _mm256_and_si256(_mm256_srli_epi16(D, 5), M5), A);
  const __m256i B = BlendSmall(_mm256_and_si256(S, M5), _mm256_and_si256(D, M5), A);
  return _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(R, 10), _mm256_slli_epi16(G, 5)), B);
}

// d + floor((s - d) x A / 256) per byte, as mulhi((s - d) x 2, A x 128).
// Unpack and pack both work within 128-bit halves, so the order survives.
inline __m256i BlendBytes(__m256i S, __m256i D, __m256i A128) {
  const __m256i Z = _mm256_setzero_si256();
  const __m256i SL = _mm256_unpacklo_epi8(S, Z), SH = _mm256_unpackhi_epi8(S, Z);
  const __m256i DL = _mm256_unpacklo_epi8(D, Z), DH = _mm256_unpackhi_epi8(D, Z);
  const __m256i TL = _mm256_sub_epi16(SL, DL), TH = _mm256_sub_epi16(SH, DH);
  const __m256i RL = _mm256_add_epi16(DL, _mm256_mulhi_epi16(_mm256_add_epi16(TL, TL), A128));
  const __m256i RH = _mm256_add_epi16(DH, _mm256_mulhi_epi16(_mm256_add_epi16(TH, TH), A128));
  return _mm256_packus_epi16(RL, RH);
}

template <__m256i (*Op)(__m256i, __m256i, __m256i), int RefIndex>
void AlphaRow16(const uint8_t* S, uint8_t* D, int32_t N, uint32_t Alpha) {
  const __m256i A = _mm256_set1_epi16(short(Alpha >> 3));
  int32_t i = 0;
  for (; i + 16 <= N; i += 16) StoreU(D + 2 * i, Op(LoadU(S + 2 * i), LoadU(D + 2 * i), A));
  if (i < N) Ref().Alpha[RefIndex](S + 2 * i, D + 2 * i, N - i, Alpha);
}

void AlphaRow888(const uint8_t* S, uint8_t* D, int32_t N, uint32_t Alpha) {
  const __m256i A = _mm256_set1_epi16(short(Alpha * 128));
  const int64_t Bytes = int64_t(N) * 3;
  int64_t b = 0;
  for (; b + 32 <= Bytes; b += 32) StoreU(D + b, BlendBytes(LoadU(S + b), LoadU(D + b), A));
  // The bytes left over: a vector may end inside a pixel.
  for (; b < Bytes; ++b) D[b] = uint8_t(BlendChannel(S[b], D[b], int(Alpha), 256));
}

void AlphaRow8888(const uint8_t* S, uint8_t* D, int32_t N, uint32_t Alpha) {
  const __m256i A = _mm256_set1_epi16(short(Alpha * 128));
  const __m256i Low24 = _mm256_set1_epi32(0xFFFFFF);
  int32_t i = 0;
  for (; i + 8 <= N; i += 8)
    StoreU(D + 4 * i, _mm256_and_si256(BlendBytes(LoadU(S + 4 * i), LoadU(D + 4 * i), A), Low24));
  if (i < N) Ref().Alpha[3](S + 4 * i, D + 4 * i, N - i, Alpha);
}

// ===========================================================================
// DrawAlphaKeyed
// ===========================================================================

template <__m256i (*Op)(__m256i, __m256i, __m256i), int RefIndex>
void AlphaKeyedRow16(const uint8_t* S, uint8_t* D, int32_t N, uint32_t Alpha, uint32_t Key) {
  if (Key > 0xFFFFu) {  // no 16-bit pixel equals a key with an upper bit set
    AlphaRow16<Op, RefIndex>(S, D, N, Alpha);
    return;
  }
  const __m256i A = _mm256_set1_epi16(short(Alpha >> 3));
  const __m256i K = Splat16(Key);
  int32_t i = 0;
  for (; i + 16 <= N; i += 16) {
    const __m256i Sv = LoadU(S + 2 * i), Dv = LoadU(D + 2 * i);
    StoreU(D + 2 * i, Select(_mm256_cmpeq_epi16(Sv, K), Dv, Op(Sv, Dv, A)));
  }
  if (i < N) Ref().AlphaKeyed[RefIndex](S + 2 * i, D + 2 * i, N - i, Alpha, Key);
}

void AlphaKeyedRow8888(const uint8_t* S, uint8_t* D, int32_t N, uint32_t Alpha, uint32_t Key) {
  const __m256i A = _mm256_set1_epi16(short(Alpha * 128));
  const __m256i Low24 = _mm256_set1_epi32(0xFFFFFF);
  const __m256i K = _mm256_set1_epi32(int(Key & 0xFFFFFFu));
  int32_t i = 0;
  for (; i + 8 <= N; i += 8) {
    const __m256i Sv = LoadU(S + 4 * i), Dv = LoadU(D + 4 * i);
    const __m256i Keyed = _mm256_cmpeq_epi32(_mm256_and_si256(Sv, Low24), K);
    StoreU(D + 4 * i, Select(Keyed, Dv, _mm256_and_si256(BlendBytes(Sv, Dv, A), Low24)));
  }
  if (i < N) Ref().AlphaKeyed[3](S + 4 * i, D + 4 * i, N - i, Alpha, Key);
}

// ===========================================================================
// Blur: Q of the three known neighbours with vectors, the left-neighbour
// chain scalar (see BlitSse2.cpp for why that is exact)
// ===========================================================================

constexpr int BlurChunk = 128;

template <int Index>
uint32_t BlurRow16(const uint8_t* Up, uint8_t* Cur, const uint8_t* Down, int32_t N, uint32_t Left,
                   uint32_t RightOfLast) {
  const uint32_t M2 = BlurMask[Index] >> 2;
  const __m256i VM2 = Splat16(M2);
  uint16_t Q[BlurChunk];
  uint32_t P = Left;
  for (int32_t x0 = 0; x0 < N; x0 += BlurChunk) {
    const int n = N - x0 < BlurChunk ? int(N - x0) : BlurChunk;
    uint8_t* C = Cur + 2 * int64_t(x0);
    const uint8_t* U = Up + 2 * int64_t(x0);
    const uint8_t* Dn = Down + 2 * int64_t(x0);
    const uint32_t LastRight = x0 + n < N ? Load16(C + 2 * n) : RightOfLast;
    int x = 0;
    for (; x + 16 < n; x += 16) {  // right neighbours x+1 .. x+16 inside the chunk
      const __m256i R = _mm256_and_si256(_mm256_srli_epi16(LoadU(C + 2 * (x + 1)), 2), VM2);
      const __m256i Uv = _mm256_and_si256(_mm256_srli_epi16(LoadU(U + 2 * x), 2), VM2);
      const __m256i Dv = _mm256_and_si256(_mm256_srli_epi16(LoadU(Dn + 2 * x), 2), VM2);
      StoreU(reinterpret_cast<uint8_t*>(Q + x), _mm256_add_epi16(_mm256_add_epi16(R, Uv), Dv));
    }
    for (; x < n; ++x) {
      const uint32_t R = x + 1 < n ? Load16(C + 2 * (x + 1)) : LastRight;
      Q[x] = uint16_t(((R >> 2) & M2) + ((Load16(U + 2 * x) >> 2) & M2) + ((Load16(Dn + 2 * x) >> 2) & M2));
    }
    for (x = 0; x < n; ++x) {
      P = ((P >> 2) & M2) + Q[x];
      Store16(C + 2 * x, P);
    }
  }
  return P;
}

template <int Bpp>
uint32_t BlurRowBytes(const uint8_t* Up, uint8_t* Cur, const uint8_t* Down, int32_t N, uint32_t Left,
                      uint32_t RightOfLast) {
  constexpr uint32_t M2 = 0xFCFCFCu >> 2;
  const __m256i M = _mm256_set1_epi8(0x3F);
  uint8_t Q[BlurChunk * Bpp + 1];
  uint32_t P = Left;
  for (int32_t x0 = 0; x0 < N; x0 += BlurChunk) {
    const int n = N - x0 < BlurChunk ? int(N - x0) : BlurChunk;
    uint8_t* C = Cur + int64_t(x0) * Bpp;
    const uint8_t* U = Up + int64_t(x0) * Bpp;
    const uint8_t* Dn = Down + int64_t(x0) * Bpp;
    const uint32_t LastRight = x0 + n < N ? (Bpp == 3 ? Load24(C + n * Bpp) : Load32(C + n * Bpp)) : RightOfLast;
    const int Bytes = n * Bpp, Vectorable = (n - 1) * Bpp;
    int b = 0;
    for (; b + 32 <= Vectorable; b += 32) {
      const __m256i R = _mm256_and_si256(_mm256_srli_epi16(LoadU(C + b + Bpp), 2), M);
      const __m256i Uv = _mm256_and_si256(_mm256_srli_epi16(LoadU(U + b), 2), M);
      const __m256i Dv = _mm256_and_si256(_mm256_srli_epi16(LoadU(Dn + b), 2), M);
      StoreU(Q + b, _mm256_add_epi8(_mm256_add_epi8(R, Uv), Dv));
    }
    for (; b < Bytes; ++b) {
      const int x = b / Bpp, c = b % Bpp;
      const uint8_t R = x + 1 < n ? C[b + Bpp] : uint8_t(LastRight >> (8 * c));
      Q[b] = uint8_t(((R >> 2) & 0x3F) + ((U[b] >> 2) & 0x3F) + ((Dn[b] >> 2) & 0x3F));
    }
    for (int x = 0; x < n; ++x) {
      P = ((P >> 2) & M2) + (Bpp == 3 ? Load24(Q + x * Bpp) : Load32(Q + x * Bpp) & 0xFFFFFFu);
      if (Bpp == 3) Store24(C + x * Bpp, P);
      else Store32(C + x * Bpp, P);
    }
  }
  return P;
}

// ===========================================================================
// Span fill
// ===========================================================================

// Span fills: a polygon's spans are mostly a few pixels long, so the end of
// a span is one more store that overlaps the one before (the same colour
// written twice) rather than a pixel-at-a-time loop.
inline void StoreU128(uint8_t* P, __m128i V) { _mm_storeu_si128(reinterpret_cast<__m128i*>(P), V); }

void FillRow16(uint8_t* D, int32_t N, uint32_t Color) {
  const __m256i V = Splat16(Color);
  if (N >= 16) {
    int32_t i = 0;
    for (; i + 16 <= N; i += 16) StoreU(D + 2 * i, V);
    if (i < N) StoreU(D + 2 * (N - 16), V);
  } else if (N >= 8) {
    StoreU128(D, _mm256_castsi256_si128(V));
    StoreU128(D + 2 * (N - 8), _mm256_castsi256_si128(V));
  } else {
    for (int32_t i = 0; i < N; ++i) Store16(D + 2 * i, Color);
  }
}

void FillRow32(uint8_t* D, int32_t N, uint32_t Color) {
  const __m256i V = _mm256_set1_epi32(int(Color));
  if (N >= 8) {
    int32_t i = 0;
    for (; i + 8 <= N; i += 8) StoreU(D + 4 * i, V);
    if (i < N) StoreU(D + 4 * (N - 8), V);
  } else if (N >= 4) {
    StoreU128(D, _mm256_castsi256_si128(V));
    StoreU128(D + 4 * (N - 4), _mm256_castsi256_si128(V));
  } else {
    for (int32_t i = 0; i < N; ++i) Store32(D + 4 * i, Color);
  }
}

// 32 pixels of 3 bytes are three whole 256-bit vectors of the pattern.
void FillRow24(uint8_t* D, int32_t N, uint32_t Color) {
  uint8_t Pattern[96];
  for (int j = 0; j < 32; ++j) Store24(Pattern + 3 * j, Color);
  const __m256i P0 = LoadU(Pattern), P1 = LoadU(Pattern + 32), P2 = LoadU(Pattern + 64);
  int32_t i = 0;
  for (; i + 32 <= N; i += 32) {
    uint8_t* Dp = D + 3 * int64_t(i);
    StoreU(Dp, P0);
    StoreU(Dp + 32, P1);
    StoreU(Dp + 64, P2);
  }
  for (; i < N; ++i) Store24(D + 3 * int64_t(i), Color);
}

// 32 bits: the chain four pixels a step. Per channel a blurred pixel is
//   p[x] = floor(p[x-1] / 4) + q[x],   q = the three known neighbours' (n >> 2) summed (at most 189),
// since the masks only clear the two bits the shift drops. Nested floors
// merge, so four steps are one:
//   p[x+j] = floor((p[x-1] + T[j]) / 4^j),   T[j] = 4 q[x] + 16 q[x+1] + .. + 4^j q[x+j-1],
// and p + T[4] is at most 255 + 189 x 340 = 64515: each channel fits a
// 16-bit lane. The vectors work out T for every group of four and, once the
// chain has run, the four pixels from their group's base; the scalar chain
// in between is one add, shift and mask per four pixels.
constexpr int BlurGroups = 64;  // four pixels each

inline uint64_t Widen888(uint32_t P) {
  return uint64_t(P & 0xFFu) | uint64_t(P & 0xFF00u) << 8 | uint64_t(P & 0xFF0000u) << 16;
}
inline uint32_t Narrow888(uint64_t W) {
  return uint32_t(W & 0xFFu) | uint32_t(W >> 8 & 0xFF00u) | uint32_t(W >> 16 & 0xFF0000u);
}

uint32_t BlurRow8888(const uint8_t* Up, uint8_t* Cur, const uint8_t* Down, int32_t N, uint32_t Left,
                     uint32_t RightOfLast) {
  alignas(32) uint64_t T12[2 * BlurGroups], T34[2 * BlurGroups], Base[BlurGroups];
  const __m256i M = _mm256_set1_epi32(0x3F3F3F), Zero = _mm256_setzero_si256();
  const __m256i W12 = _mm256_setr_epi16(4, 4, 4, 4, 16, 16, 16, 16, 4, 4, 4, 4, 16, 16, 16, 16);
  const __m256i W34 = _mm256_setr_epi16(64, 64, 64, 64, 256, 256, 256, 256, 64, 64, 64, 64, 256, 256, 256, 256);
  // mulhi by 2^(16 - 2j): p + T[j] shifted right by 2j within each lane.
  const __m256i S12 = _mm256_setr_epi16(1 << 14, 1 << 14, 1 << 14, 1 << 14, 1 << 12, 1 << 12, 1 << 12, 1 << 12,
                                        1 << 14, 1 << 14, 1 << 14, 1 << 14, 1 << 12, 1 << 12, 1 << 12, 1 << 12);
  const __m256i S34 = _mm256_setr_epi16(1 << 10, 1 << 10, 1 << 10, 1 << 10, 1 << 8, 1 << 8, 1 << 8, 1 << 8,
                                        1 << 10, 1 << 10, 1 << 10, 1 << 10, 1 << 8, 1 << 8, 1 << 8, 1 << 8);
  const __m256i Shift = _mm256_setr_epi32(1, 2, 3, 4, 5, 6, 7, 7);
  constexpr uint64_t Lanes = 0x00FF00FF00FFull;
  uint64_t P = Widen888(Left);
  int32_t x0 = 0;
  // Eight pixels a step; the last step of the row takes RightOfLast for its
  // last right neighbour. A row's remainder goes to the reference.
  while (N - x0 >= 8) {
    const int n = N - x0 < 8 * (BlurGroups / 2) ? (N - x0) & ~7 : 8 * (BlurGroups / 2);
    uint8_t* C = Cur + 4 * int64_t(x0);
    for (int x = 0; x < n; x += 8) {
      __m256i R;
      if (x0 + x + 8 < N) {
        R = LoadU(C + 4 * (x + 1));
      } else {  // the row's last eight pixels: nothing may be read past the row
        R = _mm256_permutevar8x32_epi32(LoadU(C + 4 * x), Shift);
        R = _mm256_insert_epi32(R, int(RightOfLast), 7);
      }
      const __m256i Q = _mm256_add_epi32(
          _mm256_add_epi32(_mm256_and_si256(_mm256_srli_epi32(R, 2), M),
                           _mm256_and_si256(_mm256_srli_epi32(LoadU(Up + 4 * (int64_t(x0) + x)), 2), M)),
          _mm256_and_si256(_mm256_srli_epi32(LoadU(Down + 4 * (int64_t(x0) + x)), 2), M));
      // Per 128-bit lane one group: [q0 | q1] and [q2 | q3] in 16-bit channels.
      const __m256i A = _mm256_mullo_epi16(_mm256_unpacklo_epi8(Q, Zero), W12);
      const __m256i B = _mm256_mullo_epi16(_mm256_unpackhi_epi8(Q, Zero), W34);
      const __m256i TA = _mm256_add_epi16(A, _mm256_bslli_epi128(A, 8));  // [T1 | T2]
      const __m256i TB = _mm256_add_epi16(_mm256_add_epi16(B, _mm256_bslli_epi128(B, 8)),
                                          _mm256_shuffle_epi32(TA, 0xEE));  // [T3 | T4]
      _mm256_store_si256(reinterpret_cast<__m256i*>(T12 + x / 2), TA);
      _mm256_store_si256(reinterpret_cast<__m256i*>(T34 + x / 2), TB);
    }
    const int Groups = n / 4;
    for (int g = 0; g < Groups; ++g) {
      Base[g] = P;
      P = (P + T34[2 * g + 1]) >> 8 & Lanes;
    }
    for (int x = 0; x < n; x += 8) {
      const __m256i Bv = _mm256_permute4x64_epi64(
          _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Base + x / 4))), 0x50);
      const __m256i P12 = _mm256_mulhi_epu16(
          _mm256_add_epi16(Bv, _mm256_load_si256(reinterpret_cast<const __m256i*>(T12 + x / 2))), S12);
      const __m256i P34 = _mm256_mulhi_epu16(
          _mm256_add_epi16(Bv, _mm256_load_si256(reinterpret_cast<const __m256i*>(T34 + x / 2))), S34);
      StoreU(C + 4 * x, _mm256_packus_epi16(P12, P34));
    }
    x0 += n;
  }
  const uint32_t Last = Narrow888(P);
  if (x0 == N) return Last;
  return Ref().Blur[3](Up + 4 * int64_t(x0), Cur + 4 * int64_t(x0), Down + 4 * int64_t(x0), N - x0, Last,
                       RightOfLast);
}

// ===========================================================================
// The trail one pixel to the right at 32 bits, eight rows at once
// ===========================================================================

// Eight 32-bit lanes of eight vectors transposed: row r's column c becomes
// vector c's lane r.
inline void Transpose8x8(__m256i V[8]) {
  __m256i T[8];
  for (int i = 0; i < 8; i += 2) {
    T[i] = _mm256_unpacklo_epi32(V[i], V[i + 1]);
    T[i + 1] = _mm256_unpackhi_epi32(V[i], V[i + 1]);
  }
  __m256i U[8];
  for (int i = 0; i < 8; i += 4) {
    U[i] = _mm256_unpacklo_epi64(T[i], T[i + 2]);
    U[i + 1] = _mm256_unpackhi_epi64(T[i], T[i + 2]);
    U[i + 2] = _mm256_unpacklo_epi64(T[i + 1], T[i + 3]);
    U[i + 3] = _mm256_unpackhi_epi64(T[i + 1], T[i + 3]);
  }
  for (int i = 0; i < 4; ++i) {
    V[i] = _mm256_permute2x128_si256(U[i], U[i + 4], 0x20);
    V[i + 4] = _mm256_permute2x128_si256(U[i], U[i + 4], 0x31);
  }
}

// Each row's pixels blend, in order, the pixel just written left of them:
//   p[x] = (p[x-1] x A + d[x] x (256 - A)) >> 8 per channel, top byte 0,
// as the in-order kernel computes it. Blocks of 8 x 8 pixels are turned so
// that a vector holds one column of the eight rows, each channel in a
// 16-bit lane; the chain is then one multiply, add and shift per column.
void AlphaRowsOneRight8888x8(uint8_t* const D[8], int32_t N, uint32_t Alpha) {
  const __m256i A = _mm256_set1_epi16(short(Alpha & 255u)), B = _mm256_set1_epi16(short(256u - (Alpha & 255u)));
  const __m256i Rgb = _mm256_set1_epi32(0xFFFFFF);
  __m256i Lo, Hi;  // rows 0..3 and 4..7 of the chain, 16 bits a channel
  {
    __m256i Start = _mm256_setr_epi32(int(Load32(D[0] - 4)), int(Load32(D[1] - 4)), int(Load32(D[2] - 4)),
                                      int(Load32(D[3] - 4)), int(Load32(D[4] - 4)), int(Load32(D[5] - 4)),
                                      int(Load32(D[6] - 4)), int(Load32(D[7] - 4)));
    Start = _mm256_and_si256(Start, Rgb);
    Lo = _mm256_cvtepu8_epi16(_mm256_castsi256_si128(Start));
    Hi = _mm256_cvtepu8_epi16(_mm256_extracti128_si256(Start, 1));
  }
  int32_t x = 0;
  for (; x + 8 <= N; x += 8) {
    __m256i V[8];
    for (int r = 0; r < 8; ++r) V[r] = LoadU(D[r] + 4 * int64_t(x));
    Transpose8x8(V);
    for (int c = 0; c < 8; ++c) {
      const __m256i Col = _mm256_and_si256(V[c], Rgb);
      const __m256i DLo = _mm256_mullo_epi16(_mm256_cvtepu8_epi16(_mm256_castsi256_si128(Col)), B);
      const __m256i DHi = _mm256_mullo_epi16(_mm256_cvtepu8_epi16(_mm256_extracti128_si256(Col, 1)), B);
      Lo = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(Lo, A), DLo), 8);
      Hi = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(Hi, A), DHi), 8);
      // packus works within 128-bit halves: put rows 0..7 back in order.
      V[c] = _mm256_permute4x64_epi64(_mm256_packus_epi16(Lo, Hi), 0xD8);
    }
    Transpose8x8(V);
    for (int r = 0; r < 8; ++r) StoreU(D[r] + 4 * int64_t(x), V[r]);
  }
  if (x == N) return;
  // The last columns a row at a time, from where each chain stands.
  alignas(32) uint32_t Last[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(Last), _mm256_permute4x64_epi64(_mm256_packus_epi16(Lo, Hi), 0xD8));
  TrailRowsTail8888(D, 8, Last, x, N, Alpha);
}

// ===========================================================================
// Textured span: 8 texels per step through vpgatherdd
// ===========================================================================

// Integer part toward zero of eight 16.16 values, clamped into 0 .. Max.
inline __m256i TexelIndex8(__m256i Coord, __m256i Max) {
  const __m256i Bias = _mm256_and_si256(_mm256_srai_epi32(Coord, 31), _mm256_set1_epi32(0xFFFF));
  const __m256i I = _mm256_srai_epi32(_mm256_add_epi32(Coord, Bias), 16);
  return _mm256_min_epi32(_mm256_max_epi32(I, _mm256_setzero_si256()), Max);
}

// Byte offsets of eight texels: row x Pitch + column x Bpp. Every offset is
// below Src.Bytes, which the caller checked to be below 2^31.
template <int Bpp>
inline __m256i TexelOffsets(__m256i U, __m256i V, const TexSource& Src) {
  const __m256i Tu = TexelIndex8(U, _mm256_set1_epi32(Src.MaxX));
  const __m256i Tv = TexelIndex8(V, _mm256_set1_epi32(Src.MaxY));
  const __m256i Col = Bpp == 4 ? _mm256_slli_epi32(Tu, 2) : _mm256_add_epi32(Tu, Tu);
  return _mm256_add_epi32(_mm256_mullo_epi32(Tv, _mm256_set1_epi32(Src.Pitch)), Col);
}

inline int32_t WrapMul(int32_t A, uint32_t B) { return int32_t(uint32_t(A) * B); }
inline int32_t WrapAdd(int32_t A, int32_t B) { return int32_t(uint32_t(A) + uint32_t(B)); }

void TexSpan8888(uint8_t* Row, int32_t X0, int32_t X1, int32_t U, int32_t V, int32_t DU, int32_t DV,
                 const TexSource& Src, uint32_t Key) {
  const int32_t N = X1 - X0 + 1;
  int32_t i = 0;
  if (Src.Bytes <= 0x7FFFFFFFu) {
    const __m256i Lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    __m256i Uv = _mm256_add_epi32(_mm256_set1_epi32(U), _mm256_mullo_epi32(Lane, _mm256_set1_epi32(DU)));
    __m256i Vv = _mm256_add_epi32(_mm256_set1_epi32(V), _mm256_mullo_epi32(Lane, _mm256_set1_epi32(DV)));
    const __m256i DU8 = _mm256_set1_epi32(WrapMul(DU, 8)), DV8 = _mm256_set1_epi32(WrapMul(DV, 8));
    const __m256i Low24 = _mm256_set1_epi32(0xFFFFFF), K = _mm256_set1_epi32(int(Key & 0xFFFFFFu));
    const int* Base = reinterpret_cast<const int*>(Src.Bits);
    uint8_t* D = Row + 4 * int64_t(X0);
    for (; i + 8 <= N; i += 8) {
      const __m256i Texel = _mm256_i32gather_epi32(Base, TexelOffsets<4>(Uv, Vv, Src), 1);
      const __m256i Keyed = _mm256_cmpeq_epi32(_mm256_and_si256(Texel, Low24), K);
      // Read, blend, write back rather than a masked store: vpmaskmovd to
      // memory is microcoded and slow on AMD processors. The span's pixels
      // are ours, and a keyed pixel gets back its own value.
      uint8_t* Dp = D + 4 * i;
      StoreU(Dp, _mm256_blendv_epi8(Texel, LoadU(Dp), Keyed));
      Uv = _mm256_add_epi32(Uv, DU8);
      Vv = _mm256_add_epi32(Vv, DV8);
    }
  }
  if (i < N)
    Ref().TexSpan[3](Row, X0 + i, X1, WrapAdd(U, WrapMul(DU, uint32_t(i))), WrapAdd(V, WrapMul(DV, uint32_t(i))), DU,
                     DV, Src, Key);
}

// 16-bit texels: a 4-byte gather at the texel's offset, or two bytes lower
// for the texture's very last texel so that nothing past it is read.
template <int RefIndex>
void TexSpan16(uint8_t* Row, int32_t X0, int32_t X1, int32_t U, int32_t V, int32_t DU, int32_t DV,
               const TexSource& Src, uint32_t Key) {
  const int32_t N = X1 - X0 + 1;
  int32_t i = 0;
  if (Src.Bytes <= 0x7FFFFFFFu && Src.Bytes >= 4) {
    const __m256i Lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    __m256i Uv = _mm256_add_epi32(_mm256_set1_epi32(U), _mm256_mullo_epi32(Lane, _mm256_set1_epi32(DU)));
    __m256i Vv = _mm256_add_epi32(_mm256_set1_epi32(V), _mm256_mullo_epi32(Lane, _mm256_set1_epi32(DV)));
    const __m256i DU8 = _mm256_set1_epi32(WrapMul(DU, 8)), DV8 = _mm256_set1_epi32(WrapMul(DV, 8));
    const __m256i LastWord = _mm256_set1_epi32(int(Src.Bytes - 4));
    const __m256i Low16 = _mm256_set1_epi32(0xFFFF);
    const __m256i K = _mm256_set1_epi32(int(Key));  // a key above 0xFFFF matches no texel
    const int* Base = reinterpret_cast<const int*>(Src.Bits);
    uint8_t* D = Row + 2 * int64_t(X0);
    for (; i + 8 <= N; i += 8) {
      const __m256i Offset = TexelOffsets<2>(Uv, Vv, Src);
      const __m256i Safe = _mm256_min_epi32(Offset, LastWord);
      const __m256i Shift = _mm256_slli_epi32(_mm256_sub_epi32(Offset, Safe), 3);  // 0 or 16 bits
      const __m256i Texel =
          _mm256_and_si256(_mm256_srlv_epi32(_mm256_i32gather_epi32(Base, Safe, 1), Shift), Low16);
      const __m256i Keyed = _mm256_cmpeq_epi32(Texel, K);
      // Eight 32-bit lanes -> eight 16-bit values in the low half.
      const __m128i T16 = _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packus_epi32(Texel, Texel), 0x08));
      const __m128i K16 = _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packs_epi32(Keyed, Keyed), 0x08));
      __m128i* Dp = reinterpret_cast<__m128i*>(D + 2 * i);
      _mm_storeu_si128(Dp, _mm_blendv_epi8(T16, _mm_loadu_si128(Dp), K16));
      Uv = _mm256_add_epi32(Uv, DU8);
      Vv = _mm256_add_epi32(Vv, DV8);
    }
  }
  if (i < N)
    Ref().TexSpan[RefIndex](Row, X0 + i, X1, WrapAdd(U, WrapMul(DU, uint32_t(i))),
                            WrapAdd(V, WrapMul(DV, uint32_t(i))), DU, DV, Src, Key);
}

KernelSet MakeAvx2() {
  KernelSet K = Sse2Kernels();
  K.Add[0] = AddRow16<Add555x16, 0>;
  K.Add[1] = AddRow16<Add565x16, 1>;
  K.Add[2] = AddRowBytes<3>;
  K.Add[3] = AddRowBytes<4>;
  K.Alpha[0] = AlphaRow16<Alpha555x16, 0>;
  K.Alpha[1] = AlphaRow16<Alpha565x16, 1>;
  K.Alpha[2] = AlphaRow888;
  K.Alpha[3] = AlphaRow8888;
  K.AlphaKeyed[0] = AlphaKeyedRow16<Alpha555x16, 0>;
  K.AlphaKeyed[1] = AlphaKeyedRow16<Alpha565x16, 1>;
  K.AlphaKeyed[3] = AlphaKeyedRow8888;  // [2]: the SSE2 kernel
  K.Blur[0] = BlurRow16<0>;
  K.Blur[1] = BlurRow16<1>;
  K.Blur[2] = BlurRowBytes<3>;
  K.Blur[3] = BlurRow8888;
  K.Fill[0] = FillRow16;
  K.Fill[1] = FillRow16;
  K.Fill[2] = FillRow24;
  K.Fill[3] = FillRow32;
  K.TexSpan[0] = TexSpan16<0>;
  K.TexSpan[1] = TexSpan16<1>;
  K.TexSpan[3] = TexSpan8888;  // [2]: the reference span
  return K;
}

}  // namespace

const KernelSet& Avx2Kernels() {
  static const KernelSet Set = MakeAvx2();
  return Set;
}

void Avx2EndState() { _mm256_zeroupper(); }

bool AlphaRowsOneRight8(int Index, uint8_t* const D[8], int32_t N, uint32_t Alpha) {
  if (Index != 3) return false;
  AlphaRowsOneRight8888x8(D, N, Alpha);
  return true;
}

}  // namespace kv

#else

namespace kv {
const KernelSet& Avx2Kernels() { return Sse2Kernels(); }
void Avx2EndState() {}
bool AlphaRowsOneRight8(int, uint8_t* const*, int32_t, uint32_t) { return false; }
}  // namespace kv

#endif
