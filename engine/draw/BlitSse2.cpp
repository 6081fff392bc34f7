// SSE2 row kernels: 8 pixels of 16 bits, 4 of 32 bits or 16 bytes per step.
// Each gives the reference kernel's bytes exactly; the pieces of a row that
// do not fill a vector go to the reference kernel.
//
//   DrawAdd     per-channel saturation with unsigned saturating 16-bit adds
//               (15/16) or byte adds (24/32)
//   DrawAlpha   per-channel d + floor((s - d) x A / N) in 16-bit lanes
//   keyed       the same with a per-pixel select (24-bit: a byte-pattern
//               compare folded to whole pixels through movemask)
//   Blur        the three known neighbours summed 8 pixels / 16 bytes at a
//               time; the left-neighbour chain stays scalar (see BlurRow16).
//               32 bits keeps the reference kernel, which measured faster
//   Fill        16-byte stores of the repeated pixel
//   TexSpan     no gather in SSE2: the reference span
//   the trail   DrawAlpha onto itself one pixel right: four rows' chains in
//               the lanes of one vector (AlphaRowsOneRight4), two such
//               blocks stepped in turn (AlphaRowsOneRight8Sse2)
#include "RowKernels.h"
#include "SimdIntrinsics.h"

#if defined(KV_SIMD_SSE2)

namespace kv {
namespace {

const KernelSet& Ref() { return ReferenceKernels(); }

inline __m128i LoadU(const uint8_t* P) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(P)); }
inline void StoreU(uint8_t* P, __m128i V) { _mm_storeu_si128(reinterpret_cast<__m128i*>(P), V); }
inline __m128i Splat16(uint32_t V) { return _mm_set1_epi16(short(uint16_t(V))); }
// Where Mask is all ones take A, else B.
inline __m128i Select(__m128i Mask, __m128i A, __m128i B) {
  return _mm_or_si128(_mm_and_si128(Mask, A), _mm_andnot_si128(Mask, B));
}

// ===========================================================================
// DrawAdd
// ===========================================================================

// A channel shifted to the top of its 16-bit lane saturates at 0xFFFF
// exactly when its sum passes the channel maximum; masking then leaves the
// maximum. So min(s + d, max) per channel is three saturating adds.
inline __m128i AddTop(__m128i S, __m128i D, __m128i TopMask) {
  return _mm_and_si128(_mm_adds_epu16(_mm_and_si128(S, TopMask), _mm_and_si128(D, TopMask)), TopMask);
}

inline __m128i Add565x8(__m128i S, __m128i D) {
  const __m128i Top5 = _mm_set1_epi16(short(0xF800)), Top6 = _mm_set1_epi16(short(0xFC00));
  const __m128i R = AddTop(S, D, Top5);
  const __m128i G = _mm_srli_epi16(AddTop(_mm_slli_epi16(S, 5), _mm_slli_epi16(D, 5), Top6), 5);
  const __m128i B = _mm_srli_epi16(_mm_adds_epu16(_mm_slli_epi16(S, 11), _mm_slli_epi16(D, 11)), 11);
  return _mm_or_si128(_mm_or_si128(R, G), B);
}

inline __m128i Add555x8(__m128i S, __m128i D) {
  const __m128i Top5 = _mm_set1_epi16(short(0xF800));
  const __m128i R = _mm_srli_epi16(AddTop(_mm_slli_epi16(S, 1), _mm_slli_epi16(D, 1), Top5), 1);
  const __m128i G = _mm_srli_epi16(AddTop(_mm_slli_epi16(S, 6), _mm_slli_epi16(D, 6), Top5), 6);
  const __m128i B = _mm_srli_epi16(_mm_adds_epu16(_mm_slli_epi16(S, 11), _mm_slli_epi16(D, 11)), 11);
  return _mm_or_si128(_mm_or_si128(R, G), B);
}

template <__m128i (*Op)(__m128i, __m128i), int RefIndex>
void AddRow16(const uint8_t* S, uint8_t* D, int32_t N) {
  int32_t i = 0;
  for (; i + 8 <= N; i += 8) StoreU(D + 2 * i, Op(LoadU(S + 2 * i), LoadU(D + 2 * i)));
  if (i < N) Ref().Add[RefIndex](S + 2 * i, D + 2 * i, N - i);
}

// 24 and 32 bits: every byte of the row saturates on its own.
template <int Bpp>
void AddRowBytes(const uint8_t* S, uint8_t* D, int32_t N) {
  const int64_t Bytes = int64_t(N) * Bpp;
  int64_t b = 0;
  for (; b + 16 <= Bytes; b += 16) StoreU(D + b, _mm_adds_epu8(LoadU(S + b), LoadU(D + b)));
  // The bytes left over (a 24-bit vector may end inside a pixel).
  for (; b < Bytes; ++b) D[b] = AddByte(S[b], D[b]);
}

// ===========================================================================
// DrawAlpha
// ===========================================================================

// d + floor((s - d) x A / 32) for 5/6-bit channels in 16-bit lanes:
// (s - d) x A fits in 16 bits and the arithmetic shift rounds toward -inf.
inline __m128i BlendSmall(__m128i S, __m128i D, __m128i A) {
  return _mm_add_epi16(D, _mm_srai_epi16(_mm_mullo_epi16(_mm_sub_epi16(S, D), A), 5));
}

inline __m128i Alpha565x8(__m128i S, __m128i D, __m128i A) {
  const __m128i M6 = _mm_set1_epi16(63), M5 = _mm_set1_epi16(31);
  const __m128i R = BlendSmall(_mm_srli_epi16(S, 11), _mm_srli_epi16(D, 11), A);
  const __m128i G = BlendSmall(_mm_and_si128(_mm_srli_epi16(S, 5), M6), _mm_and_si128(_mm_srli_epi16(D, 5), M6), A);
  const __m128i B = BlendSmall(_mm_and_si128(S, M5), _mm_and_si128(D, M5), A);
  return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(R, 11), _mm_slli_epi16(G, 5)), B);
}

inline __m128i Alpha555x8(__m128i S, __m128i D, __m128i A) {
  const __m128i M5 = _mm_set1_epi16(31);
  const __m128i R = BlendSmall(_mm_and_si128(_mm_srli_epi16(S, 10), M5), _mm_and_si128(_mm_srli_epi16(D, 10), M5), A);
  const __m128i G = BlendSmall(_mm_and_si128(_mm_srli_epi16(S, 5), M5), _mm_and_si128(_mm_srli_epi16(D, 5), M5), A);
  const __m128i B = BlendSmall(_mm_and_si128(S, M5), _mm_and_si128(D, M5), A);
  return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(R, 10), _mm_slli_epi16(G, 5)), B);
}

// d + floor((s - d) x A / 256) for 16 bytes, as (s x A + d x (256 - A)) >> 8:
// the same floor (d is whole), and the sum stays below 2^16 because the two
// weights add up to 256, so plain 16-bit multiplies do. (A multiply-high
// form costs the same here but three instructions each in wasm SIMD.)
struct ByteWeights {
  __m128i A, B;
};
inline ByteWeights WeightsOf(uint32_t Alpha) { return {Splat16(Alpha), Splat16(256u - Alpha)}; }

inline __m128i BlendBytes(__m128i S, __m128i D, const ByteWeights& W) {
  const __m128i Z = _mm_setzero_si128();
  const __m128i RL =
      _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(S, Z), W.A), _mm_mullo_epi16(_mm_unpacklo_epi8(D, Z), W.B));
  const __m128i RH =
      _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(S, Z), W.A), _mm_mullo_epi16(_mm_unpackhi_epi8(D, Z), W.B));
  return _mm_packus_epi16(_mm_srli_epi16(RL, 8), _mm_srli_epi16(RH, 8));
}

template <__m128i (*Op)(__m128i, __m128i, __m128i), int RefIndex>
void AlphaRow16(const uint8_t* S, uint8_t* D, int32_t N, uint32_t Alpha) {
  const __m128i A = _mm_set1_epi16(short(Alpha >> 3));
  int32_t i = 0;
  for (; i + 8 <= N; i += 8) StoreU(D + 2 * i, Op(LoadU(S + 2 * i), LoadU(D + 2 * i), A));
  if (i < N) Ref().Alpha[RefIndex](S + 2 * i, D + 2 * i, N - i, Alpha);
}

// 24 bits: the row is a stream of independent channel bytes.
void AlphaRow888(const uint8_t* S, uint8_t* D, int32_t N, uint32_t Alpha) {
  const ByteWeights A = WeightsOf(Alpha);
  const int64_t Bytes = int64_t(N) * 3;
  int64_t b = 0;
  for (; b + 16 <= Bytes; b += 16) StoreU(D + b, BlendBytes(LoadU(S + b), LoadU(D + b), A));
  // The bytes left over: a vector may end inside a pixel.
  for (; b < Bytes; ++b) D[b] = uint8_t(BlendChannel(S[b], D[b], int(Alpha), 256));
}

// 32 bits: as 24, with the top byte of every result cleared.
void AlphaRow8888(const uint8_t* S, uint8_t* D, int32_t N, uint32_t Alpha) {
  const ByteWeights A = WeightsOf(Alpha);
  const __m128i Low24 = _mm_set1_epi32(0xFFFFFF);
  int32_t i = 0;
  for (; i + 4 <= N; i += 4)
    StoreU(D + 4 * i, _mm_and_si128(BlendBytes(LoadU(S + 4 * i), LoadU(D + 4 * i), A), Low24));
  if (i < N) Ref().Alpha[3](S + 4 * i, D + 4 * i, N - i, Alpha);
}

// ===========================================================================
// DrawAlphaKeyed
// ===========================================================================

template <__m128i (*Op)(__m128i, __m128i, __m128i), int RefIndex>
void AlphaKeyedRow16(const uint8_t* S, uint8_t* D, int32_t N, uint32_t Alpha, uint32_t Key) {
  // The key is compared as a 32-bit number: with an upper bit set no 16-bit
  // pixel matches, and the plain blend is the answer.
  if (Key > 0xFFFFu) {
    AlphaRow16<Op, RefIndex>(S, D, N, Alpha);
    return;
  }
  const __m128i A = _mm_set1_epi16(short(Alpha >> 3));
  const __m128i K = Splat16(Key);
  int32_t i = 0;
  for (; i + 8 <= N; i += 8) {
    const __m128i Sv = LoadU(S + 2 * i), Dv = LoadU(D + 2 * i);
    StoreU(D + 2 * i, Select(_mm_cmpeq_epi16(Sv, K), Dv, Op(Sv, Dv, A)));
  }
  if (i < N) Ref().AlphaKeyed[RefIndex](S + 2 * i, D + 2 * i, N - i, Alpha, Key);
}

void AlphaKeyedRow8888(const uint8_t* S, uint8_t* D, int32_t N, uint32_t Alpha, uint32_t Key) {
  const ByteWeights A = WeightsOf(Alpha);
  const __m128i Low24 = _mm_set1_epi32(0xFFFFFF);
  const __m128i K = _mm_set1_epi32(int(Key & 0xFFFFFFu));
  int32_t i = 0;
  for (; i + 4 <= N; i += 4) {
    const __m128i Sv = LoadU(S + 4 * i), Dv = LoadU(D + 4 * i);
    const __m128i Keyed = _mm_cmpeq_epi32(_mm_and_si128(Sv, Low24), K);
    StoreU(D + 4 * i, Select(Keyed, Dv, _mm_and_si128(BlendBytes(Sv, Dv, A), Low24)));
  }
  if (i < N) Ref().AlphaKeyed[3](S + 4 * i, D + 4 * i, N - i, Alpha, Key);
}

// Bits 0..15 of Bits as a byte mask (byte j all ones when bit j is set).
inline __m128i ExpandBits16(uint32_t Bits) {
  const __m128i Sel = _mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
  const __m128i V = _mm_unpacklo_epi64(_mm_set1_epi8(char(Bits & 0xFF)), _mm_set1_epi8(char((Bits >> 8) & 0xFF)));
  return _mm_cmpeq_epi8(_mm_and_si128(V, Sel), Sel);
}

// 24 bits, 16 pixels (48 bytes, three vectors) per step: the source bytes
// are compared with the key's bytes repeated every three; a pixel is keyed
// when all three of its byte bits are set in the 48-bit movemask.
void AlphaKeyedRow888(const uint8_t* S, uint8_t* D, int32_t N, uint32_t Alpha, uint32_t Key) {
  const ByteWeights A = WeightsOf(Alpha);
  uint8_t Pattern[48];
  for (int j = 0; j < 16; ++j) Store24(Pattern + 3 * j, Key);
  const __m128i K0 = LoadU(Pattern), K1 = LoadU(Pattern + 16), K2 = LoadU(Pattern + 32);
  constexpr uint64_t FirstByteOfPixel = 0x249249249249ull;  // bits 0, 3, 6, ... 45
  constexpr uint64_t All48 = 0xFFFFFFFFFFFFull;
  int32_t i = 0;
  for (; i + 16 <= N; i += 16) {
    const uint8_t* Sp = S + 3 * i;
    uint8_t* Dp = D + 3 * i;
    const __m128i S0 = LoadU(Sp), S1 = LoadU(Sp + 16), S2 = LoadU(Sp + 32);
    const __m128i D0 = LoadU(Dp), D1 = LoadU(Dp + 16), D2 = LoadU(Dp + 32);
    const uint64_t Eq = uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(S0, K0)))) |
                        uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(S1, K1)))) << 16 |
                        uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(S2, K2)))) << 32;
    const uint64_t Pixel = Eq & (Eq >> 1) & (Eq >> 2) & FirstByteOfPixel;
    const uint64_t Keep = Pixel | Pixel << 1 | Pixel << 2;  // bytes of keyed pixels
    if (Keep == All48) continue;
    StoreU(Dp, Select(ExpandBits16(uint32_t(Keep)), D0, BlendBytes(S0, D0, A)));
    StoreU(Dp + 16, Select(ExpandBits16(uint32_t(Keep >> 16)), D1, BlendBytes(S1, D1, A)));
    StoreU(Dp + 32, Select(ExpandBits16(uint32_t(Keep >> 32)), D2, BlendBytes(S2, D2, A)));
  }
  if (i < N) Ref().AlphaKeyed[2](S + 3 * i, D + 3 * i, N - i, Alpha, Key);
}

// ===========================================================================
// Blur
// ===========================================================================
//
// p(x) = (m(left) + m(right) + m(up) + m(down)) >> 2, with m the channel
// mask. Every masked value has its channels' low bits clear, so the shift
// distributes: p(x) = m(left)>>2 + Q(x), Q(x) = m(right)>>2 + m(up)>>2 +
// m(down)>>2, and m(v)>>2 = (v >> 2) & (mask >> 2). Q needs only pixels
// that are final (up) or untouched (right, down), so it is computed a chunk
// at a time with vectors; the left neighbour is the pixel just blurred, a
// serial chain of shift, and, add per pixel that no lane layout breaks.

constexpr int BlurChunk = 64;

// Q for 16-bit pixels x = 0 .. n-1 of the chunk; Right[x] = Cur[x + 1],
// the chunk's last right neighbour being LastRight.
template <int Index>
void BlurQ16(const uint8_t* Up, const uint8_t* Cur, const uint8_t* Down, int n, uint32_t LastRight, uint16_t* Q) {
  const uint32_t M2 = BlurMask[Index] >> 2;
  const __m128i VM2 = Splat16(M2);
  int x = 0;
  for (; x + 8 < n; x += 8) {  // right neighbours x+1 .. x+8 inside the chunk
    const __m128i R = _mm_and_si128(_mm_srli_epi16(LoadU(Cur + 2 * (x + 1)), 2), VM2);
    const __m128i U = _mm_and_si128(_mm_srli_epi16(LoadU(Up + 2 * x), 2), VM2);
    const __m128i D = _mm_and_si128(_mm_srli_epi16(LoadU(Down + 2 * x), 2), VM2);
    StoreU(reinterpret_cast<uint8_t*>(Q + x), _mm_add_epi16(_mm_add_epi16(R, U), D));
  }
  for (; x < n; ++x) {
    const uint32_t R = x + 1 < n ? Load16(Cur + 2 * (x + 1)) : LastRight;
    Q[x] = uint16_t(((R >> 2) & M2) + ((Load16(Up + 2 * x) >> 2) & M2) + ((Load16(Down + 2 * x) >> 2) & M2));
  }
}

template <int Index>
uint32_t BlurRow16(const uint8_t* Up, uint8_t* Cur, const uint8_t* Down, int32_t N, uint32_t Left,
                   uint32_t RightOfLast) {
  const uint32_t M2 = BlurMask[Index] >> 2;
  uint16_t Q[BlurChunk];
  uint32_t P = Left;
  for (int32_t x0 = 0; x0 < N; x0 += BlurChunk) {
    const int n = N - x0 < BlurChunk ? int(N - x0) : BlurChunk;
    const uint32_t LastRight = x0 + n < N ? Load16(Cur + 2 * (x0 + n)) : RightOfLast;
    BlurQ16<Index>(Up + 2 * x0, Cur + 2 * x0, Down + 2 * x0, n, LastRight, Q);
    uint8_t* C = Cur + 2 * x0;
    for (int x = 0; x < n; ++x) {
      P = ((P >> 2) & M2) + Q[x];
      Store16(C + 2 * x, P);
    }
  }
  return P;
}

// 24 and 32 bits: with mask 0xFCFCFC every channel byte of m(v)>>2 is at most
// 63, so three of them sum to at most 189 and bytes never carry: Q is a
// byte-wise sum, computed over the row's bytes without regard to pixels.
template <int Bpp>
void BlurQBytes(const uint8_t* Up, const uint8_t* Cur, const uint8_t* Down, int n, uint32_t LastRight, uint8_t* Q) {
  const __m128i M = _mm_set1_epi8(0x3F);
  const int Bytes = n * Bpp;
  const int Vectorable = (n - 1) * Bpp;  // bytes whose right neighbour lies in Cur
  int b = 0;
  for (; b + 16 <= Vectorable; b += 16) {
    const __m128i R = _mm_and_si128(_mm_srli_epi16(LoadU(Cur + b + Bpp), 2), M);
    const __m128i U = _mm_and_si128(_mm_srli_epi16(LoadU(Up + b), 2), M);
    const __m128i D = _mm_and_si128(_mm_srli_epi16(LoadU(Down + b), 2), M);
    StoreU(Q + b, _mm_add_epi8(_mm_add_epi8(R, U), D));
  }
  for (; b < Bytes; ++b) {
    const int x = b / Bpp, c = b % Bpp;
    const uint8_t R = x + 1 < n ? Cur[b + Bpp] : uint8_t(LastRight >> (8 * c));
    Q[b] = uint8_t(((R >> 2) & 0x3F) + ((Up[b] >> 2) & 0x3F) + ((Down[b] >> 2) & 0x3F));
  }
}

template <int Bpp>
uint32_t BlurRowBytes(const uint8_t* Up, uint8_t* Cur, const uint8_t* Down, int32_t N, uint32_t Left,
                      uint32_t RightOfLast) {
  constexpr uint32_t M2 = 0xFCFCFCu >> 2;  // the top byte of a 32-bit result is 0
  uint8_t Q[BlurChunk * Bpp + 1];
  uint32_t P = Left;
  for (int32_t x0 = 0; x0 < N; x0 += BlurChunk) {
    const int n = N - x0 < BlurChunk ? int(N - x0) : BlurChunk;
    uint8_t* C = Cur + int64_t(x0) * Bpp;
    const uint32_t LastRight = x0 + n < N ? (Bpp == 3 ? Load24(C + n * Bpp) : Load32(C + n * Bpp)) : RightOfLast;
    BlurQBytes<Bpp>(Up + int64_t(x0) * Bpp, C, Down + int64_t(x0) * Bpp, n, LastRight, Q);
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

// The last piece of a row is one more store, overlapping the one before it
// (the same pixels again): the 3D fills' rows are short, and a pixel loop
// for their ends cost as much as the rest.
inline void StoreLow64(uint8_t* P, __m128i V) { _mm_storel_epi64(reinterpret_cast<__m128i*>(P), V); }

void FillRow16(uint8_t* D, int32_t N, uint32_t Color) {
  const __m128i V = Splat16(Color);
  if (N >= 8) {
    int32_t i = 0;
    for (; i + 8 <= N; i += 8) StoreU(D + 2 * i, V);
    if (i < N) StoreU(D + 2 * (N - 8), V);
  } else if (N >= 4) {
    StoreLow64(D, V);
    StoreLow64(D + 2 * (N - 4), V);
  } else {
    for (int32_t i = 0; i < N; ++i) Store16(D + 2 * i, Color);
  }
}

void FillRow32(uint8_t* D, int32_t N, uint32_t Color) {
  const __m128i V = _mm_set1_epi32(int(Color));
  if (N >= 4) {
    int32_t i = 0;
    for (; i + 4 <= N; i += 4) StoreU(D + 4 * i, V);
    if (i < N) StoreU(D + 4 * (N - 4), V);
  } else if (N >= 2) {
    StoreLow64(D, V);
    StoreLow64(D + 4 * (N - 2), V);
  } else if (N == 1) {
    Store32(D, Color);
  }
}

// 16 pixels of 3 bytes are three whole vectors of the repeated pattern.
void FillRow24(uint8_t* D, int32_t N, uint32_t Color) {
  uint8_t Pattern[48];
  for (int j = 0; j < 16; ++j) Store24(Pattern + 3 * j, Color);
  const __m128i P0 = LoadU(Pattern), P1 = LoadU(Pattern + 16), P2 = LoadU(Pattern + 32);
  int32_t i = 0;
  for (; i + 16 <= N; i += 16) {
    uint8_t* Dp = D + 3 * i;
    StoreU(Dp, P0);
    StoreU(Dp + 16, P1);
    StoreU(Dp + 32, P2);
  }
  for (; i < N; ++i) Store24(D + 3 * i, Color);
}

KernelSet MakeSse2() {
  KernelSet K = Ref();
  K.Add[0] = AddRow16<Add555x8, 0>;
  K.Add[1] = AddRow16<Add565x8, 1>;
  K.Add[2] = AddRowBytes<3>;
  K.Add[3] = AddRowBytes<4>;
  K.Alpha[0] = AlphaRow16<Alpha555x8, 0>;
  K.Alpha[1] = AlphaRow16<Alpha565x8, 1>;
  K.Alpha[2] = AlphaRow888;
  K.Alpha[3] = AlphaRow8888;
  K.AlphaKeyed[0] = AlphaKeyedRow16<Alpha555x8, 0>;
  K.AlphaKeyed[1] = AlphaKeyedRow16<Alpha565x8, 1>;
  K.AlphaKeyed[2] = AlphaKeyedRow888;
  K.AlphaKeyed[3] = AlphaKeyedRow8888;
  K.Blur[0] = BlurRow16<0>;
  K.Blur[1] = BlurRow16<1>;
  K.Blur[2] = BlurRowBytes<3>;
  // 32 bits: the reference's own chain (and, add, shift) is as short as
  // this one, and it has no Q row to write and read back; measured faster.
  K.Blur[3] = Ref().Blur[3];
  K.Fill[0] = FillRow16;
  K.Fill[1] = FillRow16;
  K.Fill[2] = FillRow24;
  K.Fill[3] = FillRow32;
  return K;  // TexSpan: the reference span (no gather before AVX2)
}

// ===========================================================================
// The trail one pixel right, four rows at once
// ===========================================================================

// Four 32-bit lanes of four vectors transposed: row r's column c becomes
// vector c's lane r.
inline void Transpose4x4(__m128i V[4]) {
  const __m128i T0 = _mm_unpacklo_epi32(V[0], V[1]), T1 = _mm_unpackhi_epi32(V[0], V[1]);
  const __m128i T2 = _mm_unpacklo_epi32(V[2], V[3]), T3 = _mm_unpackhi_epi32(V[2], V[3]);
  V[0] = _mm_unpacklo_epi64(T0, T2);
  V[1] = _mm_unpackhi_epi64(T0, T2);
  V[2] = _mm_unpacklo_epi64(T1, T3);
  V[3] = _mm_unpackhi_epi64(T1, T3);
}

// Each row's pixels blend, in order, the pixel just written left of them:
//   p[x] = (p[x-1] x A + d[x] x (256 - A)) >> 8 per channel, top byte 0,
// as the in-order kernel computes it (the sum stays below 2^16, as the two
// weights add up to 256). Blocks of 4 x 4 pixels are turned so that a vector
// holds one column of the four rows, each channel in a 16-bit lane; the
// chain is one multiply, add and shift per column.
void AlphaRowsOneRight8888x4(uint8_t* const D[4], int32_t N, uint32_t Alpha) {
  const __m128i A = Splat16(Alpha & 255u), B = Splat16(256u - (Alpha & 255u));
  const __m128i Rgb = _mm_set1_epi32(0xFFFFFF), Zero = _mm_setzero_si128();
  const __m128i Start = _mm_and_si128(
      _mm_setr_epi32(int(Load32(D[0] - 4)), int(Load32(D[1] - 4)), int(Load32(D[2] - 4)), int(Load32(D[3] - 4))),
      Rgb);
  __m128i Lo = _mm_unpacklo_epi8(Start, Zero), Hi = _mm_unpackhi_epi8(Start, Zero);  // rows 0, 1 and 2, 3
  int32_t x = 0;
  for (; x + 4 <= N; x += 4) {
    __m128i V[4];
    for (int r = 0; r < 4; ++r) V[r] = LoadU(D[r] + 4 * int64_t(x));
    Transpose4x4(V);
    for (int c = 0; c < 4; ++c) {
      const __m128i Col = _mm_and_si128(V[c], Rgb);
      const __m128i DLo = _mm_mullo_epi16(_mm_unpacklo_epi8(Col, Zero), B);
      const __m128i DHi = _mm_mullo_epi16(_mm_unpackhi_epi8(Col, Zero), B);
      Lo = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(Lo, A), DLo), 8);
      Hi = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(Hi, A), DHi), 8);
      V[c] = _mm_packus_epi16(Lo, Hi);
    }
    Transpose4x4(V);
    for (int r = 0; r < 4; ++r) StoreU(D[r] + 4 * int64_t(x), V[r]);
  }
  if (x == N) return;
  // The last columns a row at a time, from where each chain stands.
  alignas(16) uint32_t Last[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(Last), _mm_packus_epi16(Lo, Hi));
  TrailRowsTail8888(D, 4, Last, x, N, Alpha);
}

// The same over eight rows as two blocks of four, their columns stepped in
// turn: each block's chain waits on a multiply per column, so the two blocks'
// chains overlap where one block alone would leave the multiplier idle.
void AlphaRowsOneRight8888x8(uint8_t* const D[8], int32_t N, uint32_t Alpha) {
  const __m128i A = Splat16(Alpha & 255u), B = Splat16(256u - (Alpha & 255u));
  const __m128i Rgb = _mm_set1_epi32(0xFFFFFF), Zero = _mm_setzero_si128();
  __m128i Lo[2], Hi[2];  // per block: rows 0, 1 and 2, 3 of the chain
  for (int k = 0; k < 2; ++k) {
    uint8_t* const* Q = D + 4 * k;
    const __m128i Start = _mm_and_si128(
        _mm_setr_epi32(int(Load32(Q[0] - 4)), int(Load32(Q[1] - 4)), int(Load32(Q[2] - 4)), int(Load32(Q[3] - 4))),
        Rgb);
    Lo[k] = _mm_unpacklo_epi8(Start, Zero);
    Hi[k] = _mm_unpackhi_epi8(Start, Zero);
  }
  int32_t x = 0;
  for (; x + 4 <= N; x += 4) {
    __m128i V[2][4];
    for (int k = 0; k < 2; ++k) {
      for (int r = 0; r < 4; ++r) V[k][r] = LoadU(D[4 * k + r] + 4 * int64_t(x));
      Transpose4x4(V[k]);
    }
    for (int c = 0; c < 4; ++c)
      for (int k = 0; k < 2; ++k) {
        const __m128i Col = _mm_and_si128(V[k][c], Rgb);
        const __m128i DLo = _mm_mullo_epi16(_mm_unpacklo_epi8(Col, Zero), B);
        const __m128i DHi = _mm_mullo_epi16(_mm_unpackhi_epi8(Col, Zero), B);
        Lo[k] = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(Lo[k], A), DLo), 8);
        Hi[k] = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(Hi[k], A), DHi), 8);
        V[k][c] = _mm_packus_epi16(Lo[k], Hi[k]);
      }
    for (int k = 0; k < 2; ++k) {
      Transpose4x4(V[k]);
      for (int r = 0; r < 4; ++r) StoreU(D[4 * k + r] + 4 * int64_t(x), V[k][r]);
    }
  }
  if (x == N) return;
  alignas(16) uint32_t Last[8];
  for (int k = 0; k < 2; ++k)
    _mm_store_si128(reinterpret_cast<__m128i*>(Last + 4 * k), _mm_packus_epi16(Lo[k], Hi[k]));
  TrailRowsTail8888(D, 8, Last, x, N, Alpha);
}

}  // namespace

const KernelSet& Sse2Kernels() {
  static const KernelSet Set = MakeSse2();
  return Set;
}

bool AlphaRowsOneRight4(int Index, uint8_t* const D[4], int32_t N, uint32_t Alpha) {
  if (Index != 3) return false;
  AlphaRowsOneRight8888x4(D, N, Alpha);
  return true;
}

bool AlphaRowsOneRight8Sse2(int Index, uint8_t* const D[8], int32_t N, uint32_t Alpha) {
  if (Index != 3) return false;
  AlphaRowsOneRight8888x8(D, N, Alpha);
  return true;
}

}  // namespace kv

#else  // no SSE2 (nor SIMDe): the reference kernels

namespace kv {
const KernelSet& Sse2Kernels() { return ReferenceKernels(); }
bool AlphaRowsOneRight4(int, uint8_t* const*, int32_t, uint32_t) { return false; }
bool AlphaRowsOneRight8Sse2(int, uint8_t* const*, int32_t, uint32_t) { return false; }
}  // namespace kv

#endif
