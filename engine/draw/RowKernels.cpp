// Reference row kernels: one pixel at a time, each channel taken apart and
// computed as the formulas read. They are the truth the SSE2 and AVX2
// kernels are tested against (tests/engine/buffer), and the path KELVRA_REFERENCE=1
// selects.
#include "RowKernels.h"

#include "FastPath.h"
#include "FixedPoint.h"

namespace kv {
namespace {

// --- saturating add --------------------------------------------------------

void AddRow555(const uint8_t* S, uint8_t* D, int32_t N) {
  for (int32_t i = 0; i < N; ++i, S += 2, D += 2) Store16(D, AddPixel555(Load16(S), Load16(D)));
}
void AddRow565(const uint8_t* S, uint8_t* D, int32_t N) {
  for (int32_t i = 0; i < N; ++i, S += 2, D += 2) Store16(D, AddPixel565(Load16(S), Load16(D)));
}
// Depth 24: three bytes; depth 32: all four, the top byte included.
template <int Bpp>
void AddRowBytes(const uint8_t* S, uint8_t* D, int32_t N) {
  for (int32_t i = 0; i < N; ++i, S += Bpp, D += Bpp) {
    // Read the whole source pixel before writing: S may equal D.
    uint8_t Src[Bpp];
    std::memcpy(Src, S, Bpp);
    for (int c = 0; c < Bpp; ++c) D[c] = AddByte(Src[c], D[c]);
  }
}

// --- constant-alpha blend --------------------------------------------------

void AlphaRow555(const uint8_t* S, uint8_t* D, int32_t N, uint32_t Alpha) {
  const int A = int(Alpha >> 3);
  for (int32_t i = 0; i < N; ++i, S += 2, D += 2) Store16(D, AlphaPixel555(Load16(S), Load16(D), A));
}
void AlphaRow565(const uint8_t* S, uint8_t* D, int32_t N, uint32_t Alpha) {
  const int A = int(Alpha >> 3);
  for (int32_t i = 0; i < N; ++i, S += 2, D += 2) Store16(D, AlphaPixel565(Load16(S), Load16(D), A));
}
void AlphaRow888(const uint8_t* S, uint8_t* D, int32_t N, uint32_t Alpha) {
  for (int32_t i = 0; i < N; ++i, S += 3, D += 3) Store24(D, AlphaPixel888(Load24(S), Load24(D), int(Alpha)));
}
void AlphaRow8888(const uint8_t* S, uint8_t* D, int32_t N, uint32_t Alpha) {
  for (int32_t i = 0; i < N; ++i, S += 4, D += 4) Store32(D, AlphaPixel888(Load32(S), Load32(D), int(Alpha)));
}

// --- keyed blend -----------------------------------------------------------

// 15 and 16: the 16-bit value against the whole 32-bit key, so a key with
// any upper bit set never matches.
void AlphaKeyedRow555(const uint8_t* S, uint8_t* D, int32_t N, uint32_t Alpha, uint32_t Key) {
  const int A = int(Alpha >> 3);
  for (int32_t i = 0; i < N; ++i, S += 2, D += 2) {
    const uint32_t Sv = Load16(S);
    if (Sv != Key) Store16(D, AlphaPixel555(Sv, Load16(D), A));
  }
}
void AlphaKeyedRow565(const uint8_t* S, uint8_t* D, int32_t N, uint32_t Alpha, uint32_t Key) {
  const int A = int(Alpha >> 3);
  for (int32_t i = 0; i < N; ++i, S += 2, D += 2) {
    const uint32_t Sv = Load16(S);
    if (Sv != Key) Store16(D, AlphaPixel565(Sv, Load16(D), A));
  }
}
// 24: the three bytes against the key's low 24 bits.
void AlphaKeyedRow888(const uint8_t* S, uint8_t* D, int32_t N, uint32_t Alpha, uint32_t Key) {
  const uint32_t K = Key & 0xFFFFFFu;
  for (int32_t i = 0; i < N; ++i, S += 3, D += 3) {
    const uint32_t Sv = Load24(S);
    if (Sv != K) Store24(D, AlphaPixel888(Sv, Load24(D), int(Alpha)));
  }
}
// 32: the low 24 bits of both; the source's top byte is ignored.
void AlphaKeyedRow8888(const uint8_t* S, uint8_t* D, int32_t N, uint32_t Alpha, uint32_t Key) {
  const uint32_t K = Key & 0xFFFFFFu;
  for (int32_t i = 0; i < N; ++i, S += 4, D += 4) {
    const uint32_t Sv = Load32(S);
    if ((Sv & 0xFFFFFFu) != K) Store32(D, AlphaPixel888(Sv, Load32(D), int(Alpha)));
  }
}

// --- blur ------------------------------------------------------------------

template <int Index>
uint32_t LoadPixel(const uint8_t* P) {
  if constexpr (Index <= 1) return Load16(P);
  if constexpr (Index == 2) return Load24(P);
  if constexpr (Index == 3) return Load32(P);
}
template <int Index>
void StorePixel(uint8_t* P, uint32_t V) {
  if constexpr (Index <= 1) Store16(P, V);
  if constexpr (Index == 2) Store24(P, V);
  if constexpr (Index == 3) Store32(P, V);
}

template <int Index>
uint32_t BlurRow(const uint8_t* Up, uint8_t* Cur, const uint8_t* Down, int32_t N, uint32_t Left, uint32_t RightOfLast) {
  constexpr int Bpp = BytesOfIndex[Index];
  constexpr uint32_t M = BlurMask[Index];
  uint32_t Prev = Left;
  for (int32_t x = 0; x < N; ++x) {
    const uint32_t Right = x + 1 < N ? LoadPixel<Index>(Cur + (x + 1) * Bpp) : RightOfLast;
    const uint32_t U = LoadPixel<Index>(Up + x * Bpp);
    const uint32_t D = LoadPixel<Index>(Down + x * Bpp);
    const uint32_t P = ((Prev & M) + (Right & M) + (U & M) + (D & M)) >> 2;
    StorePixel<Index>(Cur + x * Bpp, P);
    Prev = P;
  }
  return Prev;
}

// --- span fill -------------------------------------------------------------

void FillRow16(uint8_t* D, int32_t N, uint32_t Color) {
  for (int32_t i = 0; i < N; ++i, D += 2) Store16(D, Color);
}
void FillRow24(uint8_t* D, int32_t N, uint32_t Color) {
  for (int32_t i = 0; i < N; ++i, D += 3) Store24(D, Color);
}
void FillRow32(uint8_t* D, int32_t N, uint32_t Color) {
  for (int32_t i = 0; i < N; ++i, D += 4) Store32(D, Color);
}

// --- textured span ---------------------------------------------------------

template <int Index>
void TexSpan(uint8_t* Row, int32_t X0, int32_t X1, int32_t U, int32_t V, int32_t DU, int32_t DV, const TexSource& Src,
             uint32_t Key) {
  constexpr int Bpp = BytesOfIndex[Index];
  for (int32_t x = X0; x <= X1; ++x) {
    const uint8_t* T = Src.Bits + size_t(TexelIndex(V, Src.MaxY)) * size_t(Src.Pitch) +
                       size_t(TexelIndex(U, Src.MaxX)) * Bpp;
    const uint32_t Texel = LoadPixel<Index>(T);
    bool Keyed;
    if constexpr (Index <= 1) Keyed = Texel == Key;  // 32-bit compare
    else Keyed = (Texel & 0xFFFFFFu) == (Key & 0xFFFFFFu);
    if (!Keyed) std::memcpy(Row + size_t(x) * Bpp, T, Bpp);  // 32-bit: all four bytes
    U = FixedAdd(U, DU);
    V = FixedAdd(V, DV);
  }
}

const KernelSet Reference = {
    {AddRow555, AddRow565, AddRowBytes<3>, AddRowBytes<4>},
    {AlphaRow555, AlphaRow565, AlphaRow888, AlphaRow8888},
    {AlphaKeyedRow555, AlphaKeyedRow565, AlphaKeyedRow888, AlphaKeyedRow8888},
    {BlurRow<0>, BlurRow<1>, BlurRow<2>, BlurRow<3>},
    {FillRow16, FillRow16, FillRow24, FillRow32},
    {TexSpan<0>, TexSpan<1>, TexSpan<2>, TexSpan<3>},
};

// The 32-bit blend one pixel at a time, in pixel order, with red and blue
// in one multiply: D + floor((S - D) x A / 256) is floor((S x A + D x (256 -
// A)) / 256), and each channel's sum is below 2^16, so the two channels of
// one word never carry into each other.
// One pixel of the in-order 32-bit blend below.
inline uint32_t AlphaPixel8888Swar(uint32_t Sv, uint32_t Dv, uint32_t A, uint32_t B) {
  const uint32_t RB = (((Sv & 0xFF00FFu) * A + (Dv & 0xFF00FFu) * B) >> 8) & 0xFF00FFu;
  const uint32_t G = (((Sv & 0xFF00u) * A + (Dv & 0xFF00u) * B) >> 8) & 0xFF00u;
  return RB | G;
}

void AlphaRow8888InOrder(const uint8_t* S, uint8_t* D, int32_t N, uint32_t Alpha) {
  const uint32_t A = Alpha & 255u, B = 256u - A;
  for (int32_t i = 0; i < N; ++i, S += 4, D += 4) Store32(D, AlphaPixel8888Swar(Load32(S), Load32(D), A, B));
}

// 24 bits: the same on three bytes (the top byte of a loaded pixel is 0).
void AlphaRow888InOrder(const uint8_t* S, uint8_t* D, int32_t N, uint32_t Alpha) {
  const uint32_t A = Alpha & 255u, B = 256u - A;
  for (int32_t i = 0; i < N; ++i, S += 3, D += 3) Store24(D, AlphaPixel8888Swar(Load24(S), Load24(D), A, B));
}

// 15 and 16 bits: A / 32 per channel, floor((S x A + D x (32 - A)) / 32),
// red and blue in one multiply (blue's sum stays below bit 10, under red),
// green in another; Mask* select the channels of the format.
template <uint32_t MaskRB, uint32_t MaskG>
inline uint32_t AlphaPixel16Swar(uint32_t Sv, uint32_t Dv, uint32_t A, uint32_t B) {
  const uint32_t RB = (((Sv & MaskRB) * A + (Dv & MaskRB) * B) >> 5) & MaskRB;
  const uint32_t G = (((Sv & MaskG) * A + (Dv & MaskG) * B) >> 5) & MaskG;
  return RB | G;
}
template <uint32_t MaskRB, uint32_t MaskG>
void AlphaRow16InOrder(const uint8_t* S, uint8_t* D, int32_t N, uint32_t Alpha) {
  const uint32_t A = (Alpha & 255u) >> 3, B = 32u - A;
  for (int32_t i = 0; i < N; ++i, S += 2, D += 2) Store16(D, AlphaPixel16Swar<MaskRB, MaskG>(Load16(S), Load16(D), A, B));
}

// Pixel access and blend of each depth for the four-row form below.
template <int Index>
struct InOrderPixel {
  static constexpr int Bpp = BytesOfIndex[Index];
  static uint32_t Load(const uint8_t* P) {
    if constexpr (Bpp == 2) return Load16(P);
    else if constexpr (Bpp == 3) return Load24(P);
    else return Load32(P);
  }
  static void Store(uint8_t* P, uint32_t V) {
    if constexpr (Bpp == 2) Store16(P, V);
    else if constexpr (Bpp == 3) Store24(P, V);
    else Store32(P, V);
  }
  // A and B: the weights of source and destination for Alpha.
  static void Weights(uint32_t Alpha, uint32_t& A, uint32_t& B) {
    A = Index <= 1 ? (Alpha & 255u) >> 3 : Alpha & 255u;
    B = (Index <= 1 ? 32u : 256u) - A;
  }
  static uint32_t Blend(uint32_t Sv, uint32_t Dv, uint32_t A, uint32_t B) {
    if constexpr (Index == 0) return AlphaPixel16Swar<0x7C1Fu, 0x03E0u>(Sv, Dv, A, B);
    else if constexpr (Index == 1) return AlphaPixel16Swar<0xF81Fu, 0x07E0u>(Sv, Dv, A, B);
    else return AlphaPixel8888Swar(Sv, Dv, A, B);
  }
};

template <int Index>
void AlphaRows4(const uint8_t* const S[4], uint8_t* const D[4], int32_t N, uint32_t Alpha) {
  using P = InOrderPixel<Index>;
  uint32_t A, B;
  P::Weights(Alpha, A, B);
  if (N > 0 && S[0] + P::Bpp == D[0] && S[1] + P::Bpp == D[1] && S[2] + P::Bpp == D[2] && S[3] + P::Bpp == D[3]) {
    // One pixel apart: each source pixel is the result just computed, so it
    // stays in a register instead of going through memory.
    uint32_t Prev[4];
    for (int r = 0; r < 4; ++r) Prev[r] = P::Load(S[r]);
    for (int32_t i = 0; i < N; ++i) {
      const size_t O = size_t(i) * P::Bpp;
      for (int r = 0; r < 4; ++r) {
        Prev[r] = P::Blend(Prev[r], P::Load(D[r] + O), A, B);
        P::Store(D[r] + O, Prev[r]);
      }
    }
    return;
  }
  for (int32_t i = 0; i < N; ++i) {
    const size_t O = size_t(i) * P::Bpp;
    for (int r = 0; r < 4; ++r) P::Store(D[r] + O, P::Blend(P::Load(S[r] + O), P::Load(D[r] + O), A, B));
  }
}

KernelSet MakeInOrder() {
  KernelSet K = Reference;
  K.Alpha[0] = AlphaRow16InOrder<0x7C1Fu, 0x03E0u>;
  K.Alpha[1] = AlphaRow16InOrder<0xF81Fu, 0x07E0u>;
  K.Alpha[2] = AlphaRow888InOrder;
  K.Alpha[3] = AlphaRow8888InOrder;
  return K;
}

}  // namespace

const KernelSet& ReferenceKernels() { return Reference; }

void AlphaRowsInOrder4(int Index, const uint8_t* const S[4], uint8_t* const D[4], int32_t N, uint32_t Alpha) {
  switch (Index) {
    case 0: AlphaRows4<0>(S, D, N, Alpha); break;
    case 1: AlphaRows4<1>(S, D, N, Alpha); break;
    case 2: AlphaRows4<2>(S, D, N, Alpha); break;
    case 3: AlphaRows4<3>(S, D, N, Alpha); break;
    default: break;
  }
}

const KernelSet& InOrderKernels() {
  static const KernelSet Set = MakeInOrder();
  return KvActivePath() == KvPath::Reference ? Reference : Set;
}


const KernelSet& ActiveKernels() {
  switch (KvActivePath()) {
    case KvPath::Avx2:
      return Avx2Kernels();
    case KvPath::Sse2:
      return Sse2Kernels();
    default:
      return Reference;
  }
}

}  // namespace kv
