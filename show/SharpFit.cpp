// Area-filtered fitting of RGB frames: see SharpFit.h.
#include "SharpFit.h"

#include <algorithm>
#include <cstring>

#include <kelvra/draw/FastPath.h>
#include <kelvra/draw/SimdIntrinsics.h>

bool WantsSharpFit(int32_t Width, int32_t Height, const KvRect& Place) {
  const int32_t PW = Place.Right - Place.Left, PH = Place.Bottom - Place.Top;
  if (Width <= 0 || Height <= 0 || PW <= 0 || PH <= 0) return false;
  return PW % Width != 0 || PH % Height != 0;
}

// In units of 1 / Place of a frame pixel, output o covers [o S, (o + 1) S)
// and frame pixel i covers [i P, (i + 1) P). Weights are the overlaps,
// rounded cumulatively so that they always sum to 256.
SharpFit::Axis SharpFit::MakeAxis(int32_t Source, int32_t Place) {
  Axis A;
  const int64_t S = Source, P = Place;
  for (int64_t O = 0; O < P; ++O) {
    const int64_t Lo = O * S, Hi = (O + 1) * S;
    const int64_t I0 = Lo / P, I1 = (Hi - 1) / P;
    A.First.push_back(int32_t(I0));
    A.Count.push_back(int32_t(I1 - I0 + 1));
    A.Offset.push_back(int32_t(A.Weight.size()));
    int64_t Covered = 0, Given = 0;
    for (int64_t I = I0; I <= I1; ++I) {
      Covered += std::min(Hi, (I + 1) * P) - std::max(Lo, I * P);
      const int64_t Total = (Covered * 256 + S / 2) / S;
      A.Weight.push_back(uint16_t(Total - Given));
      Given = Total;
    }
  }
  return A;
}

SharpFit::SharpFit(int32_t W, int32_t H, int32_t OW, int32_t OH, const KvRect& P)
    : Width(W), Height(H), OutWidth(OW), OutHeight(OH), Place(P) {
  const int32_t PW = std::max(Place.Right - Place.Left, 0), PH = std::max(Place.Bottom - Place.Top, 0);
  Columns = MakeAxis(Width, PW);
  Rows = MakeAxis(Height, PH);
  // One value more than the rows need: the vector loop's last store
  // writes a whole pixel's four lanes.
  Wide.assign(size_t(Height) * size_t(PW) * 3 + 1, 0);
#if defined(KV_SIMD_SSE2)
  const bool TwoAtMost =
      std::all_of(Columns.Count.begin(), Columns.Count.end(), [](int32_t N) { return N <= 2; });
  while (TwoAtMost && VectorColumns < PW && Columns.First[size_t(VectorColumns)] + 3 <= Width) ++VectorColumns;
  for (int32_t O = 0; O < VectorColumns; ++O) {
    const uint16_t* Wt = &Columns.Weight[size_t(Columns.Offset[size_t(O)])];
    const uint16_t W0 = Wt[0], W1 = Columns.Count[size_t(O)] == 2 ? Wt[1] : 0;
    for (int K = 0; K < 8; ++K) PairWeights.push_back(K < 4 ? W0 : W1);
  }
#endif
}

void SharpFit::AcrossPlain(const uint8_t* S, uint16_t* D, int32_t From) const {
  D += size_t(From) * 3;
  for (int32_t O = From; O < Place.Right - Place.Left; ++O, D += 3) {
    const uint8_t* P = S + size_t(Columns.First[size_t(O)]) * 3;
    const int32_t N = Columns.Count[size_t(O)];
    if (N == 1) {
      D[0] = uint16_t(P[0] << 8);
      D[1] = uint16_t(P[1] << 8);
      D[2] = uint16_t(P[2] << 8);
      continue;
    }
    const uint16_t* Wt = &Columns.Weight[size_t(Columns.Offset[size_t(O)])];
    uint32_t R = 0, G = 0, B = 0;
    for (int32_t K = 0; K < N; ++K, P += 3) {
      R += uint32_t(Wt[K]) * P[0];
      G += uint32_t(Wt[K]) * P[1];
      B += uint32_t(Wt[K]) * P[2];
    }
    D[0] = uint16_t(R);
    D[1] = uint16_t(G);
    D[2] = uint16_t(B);
  }
}

// The plain loop's sums exactly: each product is at most 255 x 256 and the
// weights add up to 256, so 16-bit lanes hold them; a single pixel is its
// value x 256 + the next one x 0. The fourth lane of each store is the next
// column's first value, written again by that column.
void SharpFit::AcrossVector(const uint8_t* S, uint16_t* D) const {
#if defined(KV_SIMD_SSE2)
  const __m128i Zero = _mm_setzero_si128();
  const uint16_t* Wt = PairWeights.data();
  for (int32_t O = 0; O < VectorColumns; ++O, D += 3, Wt += 8) {
    const uint8_t* P = S + size_t(Columns.First[size_t(O)]) * 3;
    uint32_t A, B;
    std::memcpy(&A, P, 4);
    std::memcpy(&B, P + 3, 4);
    const __m128i Pair = _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(int(A)), _mm_cvtsi32_si128(int(B))), Zero);
    const __m128i Products = _mm_mullo_epi16(Pair, _mm_loadu_si128(reinterpret_cast<const __m128i*>(Wt)));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(D), _mm_add_epi16(Products, _mm_srli_si128(Products, 8)));
  }
#else
  (void)S;
  (void)D;
#endif
}

void SharpFit::Fit(const uint8_t* Rgb, uint8_t* Out) {
  const int32_t PW = Place.Right - Place.Left, PH = Place.Bottom - Place.Top;
  const size_t WideRow = size_t(PW) * 3;
  // Across: every frame row into Wide, each value x 256.
  const int32_t Vector = KvActivePath() == KvPath::Reference ? 0 : VectorColumns;
  for (int32_t Y = 0; Y < Height; ++Y) {
    const uint8_t* S = Rgb + size_t(Y) * size_t(Width) * 3;
    uint16_t* D = Wide.data() + size_t(Y) * WideRow;
    if (Vector > 0) AcrossVector(S, D);
    AcrossPlain(S, D, Vector);
  }
  // Down: each output row from the Wide rows it overlaps. A row inside one
  // frame row is that row rounded, and the same as the row above when that
  // one came from the same frame row.
  const size_t OutRow = size_t(OutWidth) * 3;
  const size_t Left = size_t(Place.Left) * 3, Right = size_t(OutWidth - Place.Right) * 3;
  int32_t LastPure = -1;
  for (int32_t Y = 0; Y < OutHeight; ++Y) {
    uint8_t* D = Out + size_t(Y) * OutRow;
    const int32_t R = Y - Place.Top;
    if (R < 0 || R >= PH) {
      std::memset(D, 0, OutRow);
      LastPure = -1;
      continue;
    }
    const int32_t First = Rows.First[size_t(R)], N = Rows.Count[size_t(R)];
    if (N == 1 && First == LastPure) {
      std::memcpy(D, D - OutRow, OutRow);
      continue;
    }
    std::memset(D, 0, Left);
    uint8_t* P = D + Left;
    const uint16_t* A = Wide.data() + size_t(First) * WideRow;
    if (N == 1) {
      for (size_t K = 0; K < WideRow; ++K) P[K] = uint8_t((A[K] + 128u) >> 8);
      LastPure = First;
    } else if (N == 2) {
      const uint16_t* Wt = &Rows.Weight[size_t(Rows.Offset[size_t(R)])];
      const uint32_t W0 = Wt[0], W1 = Wt[1];
      const uint16_t* B = A + WideRow;
      for (size_t K = 0; K < WideRow; ++K) P[K] = uint8_t((W0 * A[K] + W1 * B[K] + 32768u) >> 16);
      LastPure = -1;
    } else {
      const uint16_t* Wt = &Rows.Weight[size_t(Rows.Offset[size_t(R)])];
      for (size_t K = 0; K < WideRow; ++K) {
        uint32_t Sum = 32768u;
        for (int32_t J = 0; J < N; ++J) Sum += uint32_t(Wt[J]) * A[size_t(J) * WideRow + K];
        P[K] = uint8_t(Sum >> 16);
      }
      LastPure = -1;
    }
    std::memset(P + WideRow, 0, Right);
  }
}
