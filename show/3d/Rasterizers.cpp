// Flat, Gouraud and textured polygon fills. See Rasterizers.h for the rules.
//
//   fixed point      FixedFromReal (the walk's one float -> 16.16 conversion)
//   corners          PolyCorner, the checks and the clip to the corner box
//   edge walk        StartEdge, WalkEdge<NQ> (FlatEdge, GouraudEdge,
//                    MapEdge) and the polygon frame ScanPolygon
//   three corners    Triangle, WalkTriangle: the fast path's triangles
//   pixel formats    Format555 / 565 / 888 / 8888
//   span kernels     GouraudRow<Format>, MapRow<Bytes>
//   spans            GouraudSpan, MapSpan, MapRows<Bytes> and
//                    MapTriangleRows<Bytes> (chosen once per call;
//                    scratch-row path included)
//   operations       FlatPoly, GouraudPoly, MapPoly
//
// 16.16 arithmetic follows engine/draw/FixedPoint.h: integer parts toward
// zero. Edges are walked in 64 bits: an edge that covers two or more rows is
// more than one row tall, so its steps stay below 2^32 and every value it
// stores is a point of the edge, inside the corner box (an edge of one row
// uses no step at all). Spans add their 32-bit steps wrapping, as the
// kernels of engine/draw do; the values a span uses lie between its ends.
#include "Rasterizers.h"
#include "SpanDivide.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <kelvra/draw/FastPath.h>
#include <kelvra/draw/FixedPoint.h>
#include <kelvra/draw/PixelFormat.h>
#include <kelvra/draw/PixelTraits.h>

#include <kelvra/draw/SimdIntrinsics.h>
#if defined(__EMSCRIPTEN__) && defined(KV_SIMD_WASM)
#define NERITH_WASM_TEXELS 1
#endif

namespace {

using kv::Fixed16;

// --- fixed point ---------------------------------------------------------------

// 16.16 in 64 bits for the edge walk.
using WalkFixed = int64_t;
constexpr double WalkLimit = 4611686018427387904.0;  // 2^62: sums of two stay in range

#if defined(__wasm__)
inline uint64_t BitsOf(double V) { return __builtin_bit_cast(uint64_t, V); }
inline uint32_t BitsOf(float V) { return __builtin_bit_cast(uint32_t, V); }
#endif

// Trunc(Value x 65536), computed in double; NaN gives 0. Only the unused step
// of a one-row edge (slope up to infinity) can reach the +-2^62 bound.
inline WalkFixed FixedFromReal(double Value) {
  const double Scaled = Value * 65536.0;
#if defined(__wasm__)
  // V8 checks each float -> integer conversion by converting back, eight
  // instructions; below 2^51 the whole part is read from a sum's bits instead
  // (the truncated value plus 1.5 x 2^52 is exact and keeps it in the mantissa).
  if (std::fabs(Scaled) < 2251799813685248.0) {
    constexpr double Magic = 6755399441055744.0;
    return static_cast<WalkFixed>(BitsOf(std::trunc(Scaled) + Magic) - BitsOf(Magic));
  }
#endif
  if (std::fabs(Scaled) < WalkLimit) return static_cast<WalkFixed>(Scaled);  // the usual case: one test
  if (!(Scaled == Scaled)) return 0;
  if (Scaled >= WalkLimit) return static_cast<WalkFixed>(WalkLimit);
  if (Scaled <= -WalkLimit) return -static_cast<WalkFixed>(WalkLimit);
  return static_cast<WalkFixed>(Scaled);
}

// Integer part toward zero, and the 16.16 value, of a walked value (a point
// of the edge, so both fit 32 bits; wrapped all the same).
inline int32_t WalkToInt(WalkFixed V) { return kv::WrapToInt32(V / kv::FixedOne); }
inline Fixed16 WalkToFixed(WalkFixed V) { return kv::WrapToInt32(V); }
// Start + Step x Count without overflow in any case (the product wraps).
inline WalkFixed WalkSteps(WalkFixed Start, WalkFixed Step, uint64_t Count) {
  return static_cast<WalkFixed>(static_cast<uint64_t>(Start) + static_cast<uint64_t>(Step) * Count);
}

// Per-pixel step of a span: (Right - Left) div Length toward zero, 0 for a
// zero length. Taken in 64 bits so a stale table row cannot overflow.
inline Fixed16 SpanStep(Fixed16 Left, Fixed16 Right, const spandiv::SpanDivisor& Length) {
  return kv::WrapToInt32(Length.Divide(static_cast<int64_t>(Right) - Left));
}

// --- corners -------------------------------------------------------------------

// A corner as the walk reads it: position and up to three interpolated
// quantities (red, green, blue for Gouraud; u, v for the textured fill).
struct PolyCorner {
  float X, Y;
  float Q[3];
};

inline bool IsFinite(float V) { return std::isfinite(V); }

// Sutherland-Hodgman against one side of the corner box. Inside means
// Coord <= Bound (Below) or Coord >= Bound. New corners get the bound exactly
// and the other values interpolated in double.
template <int NQ>
void ClipSide(const std::vector<PolyCorner>& In, std::vector<PolyCorner>& Out, bool OnX, float Bound, bool Below) {
  Out.clear();
  const size_t N = In.size();
  auto Coord = [OnX](const PolyCorner& C) { return OnX ? C.X : C.Y; };
  auto Inside = [&](const PolyCorner& C) { return Below ? Coord(C) <= Bound : Coord(C) >= Bound; };
  auto Cross = [&](const PolyCorner& P, const PolyCorner& Q) {
    const double T = (static_cast<double>(Bound) - Coord(P)) / (static_cast<double>(Coord(Q)) - Coord(P));
    PolyCorner R;
    R.X = OnX ? Bound : kv::HoldAsFloat(P.X + T * (static_cast<double>(Q.X) - P.X));
    R.Y = OnX ? kv::HoldAsFloat(P.Y + T * (static_cast<double>(Q.Y) - P.Y)) : Bound;
    for (int q = 0; q < 3; ++q)
      R.Q[q] = q < NQ ? kv::HoldAsFloat(P.Q[q] + T * (static_cast<double>(Q.Q[q]) - P.Q[q])) : 0.0f;
    return R;
  };
  for (size_t i = 0; i < N; ++i) {
    const PolyCorner& Cur = In[i];
    const PolyCorner& Prev = In[(i + N - 1) % N];
    const bool CurIn = Inside(Cur), PrevIn = Inside(Prev);
    if (CurIn != PrevIn) Out.push_back(Cross(Prev, Cur));
    if (CurIn) Out.push_back(Cur);
  }
}

// The corners of one call, checked and, when needed, clipped. The renderer's
// triangles stay in the small local array; nothing is allocated for them.
template <int NQ>
class CornerList {
 public:
  // GetQ(vertex, q) fills the quantities; it returns false to reject the
  // polygon. false: draw nothing.
  template <class QFn>
  bool Prepare(const TexVertex* Vertices, int32_t Count, QFn GetQ) {
    if (Vertices == nullptr || Count <= 0) return false;
    PolyCorner* Out = Local;
    if (Count > LocalSize) {
      Heap.resize(static_cast<size_t>(Count));
      Out = Heap.data();
    }
    bool NeedClip = false;
    for (int32_t i = 0; i < Count; ++i) {
      const TexVertex& V = Vertices[i];
      if (!IsFinite(V.X) || !IsFinite(V.Y)) return false;
      if (std::fabs(V.X) > PolyCornerLimit || std::fabs(V.Y) > PolyCornerLimit) NeedClip = true;
      PolyCorner& C = Out[i];
      C.X = V.X;
      C.Y = V.Y;
      C.Q[0] = C.Q[1] = C.Q[2] = 0;
      if (!GetQ(V, C.Q)) return false;
    }
    Corners = Out;
    Size = Count;
    if (NeedClip) return Clip();
    return true;
  }

  const PolyCorner* Corners = nullptr;
  int32_t Size = 0;

 private:
  bool Clip() {
    std::vector<PolyCorner> A(Corners, Corners + Size), B;
    ClipSide<NQ>(A, B, true, -PolyCornerLimit, false);
    ClipSide<NQ>(B, A, true, PolyCornerLimit, true);
    ClipSide<NQ>(A, B, false, -PolyCornerLimit, false);
    ClipSide<NQ>(B, A, false, PolyCornerLimit, true);
    Heap.swap(A);
    Corners = Heap.data();
    Size = static_cast<int32_t>(Heap.size());
    return Size > 0;
  }

  static constexpr int32_t LocalSize = 8;
  PolyCorner Local[LocalSize];
  std::vector<PolyCorner> Heap;
};

// --- edge walk -------------------------------------------------------------------

struct EdgeTables {
  int32_t* X[2];
  KvEdgeRGB* RGB[2];
  KvEdgeUV* UV[2];
  int32_t MaxY;
};

// Ceil of a corner's y as a row number, for |Y| within the corner box: the
// conversion truncates toward zero, one more above a positive fraction.
inline int32_t CeilRow(float Y) {
#if defined(__wasm__)
  // The same value without a conversion (see FixedFromReal): |Y| < 2^22, so
  // the ceiling plus 1.5 x 2^23 is exact and holds it in the mantissa.
  constexpr float Magic = 12582912.0f;
  return static_cast<int32_t>(BitsOf(std::ceil(Y) + Magic) - BitsOf(Magic));
#else
  const int32_t T = static_cast<int32_t>(Y);
  return T + (static_cast<float>(T) < Y);
#endif
}

// An edge from P1 to P2, set up for its walk: its side, the rows it stores
// (First .. Last, inside the buffer) and its values at First, with their
// per-row steps. Q holds red, green, blue (NQ = 3) or u, v (NQ = 2).
template <int NQ>
struct EdgeStart {
  int Side;
  int32_t First, Last;
  WalkFixed X, StepX;
  WalkFixed Q[3] = {0, 0, 0}, StepQ[3] = {0, 0, 0};
};

// false when the edge stores no row of the buffer. RowFrom, RowTo: CeilRow of
// the corners' y (a triangle's corners each start one edge and end another).
template <int NQ>
inline bool StartEdge(EdgeStart<NQ>& E, int32_t MaxY, const PolyCorner& From, const PolyCorner& To, int32_t RowFrom,
                      int32_t RowTo) {
  const PolyCorner* P1 = &From;
  const PolyCorner* P2 = &To;
  E.Side = P1->Y > P2->Y ? 1 : 0;
  const PolyCorner* Top = E.Side ? P2 : P1;

  // Rows y1 <= r < y2. Corners lie within the corner box, so these fit. An
  // edge with no row of the buffer needs no slopes.
  const int32_t R0 = E.Side ? RowTo : RowFrom;
  const int32_t R1 = (E.Side ? RowFrom : RowTo) - 1;
  if (R1 < R0 || R1 < 0 || R0 > MaxY) return false;

  // Slopes as floats, from the corners in the given order (exchanging them
  // negates both sides of each quotient, which changes nothing).
  const float Dx = P2->X - P1->X;
  const float Dy = P2->Y - P1->Y;
  float Slope = 0;
  float SlopeQ[3] = {0, 0, 0};
  if (Dy != 0) {
    Slope = kv::HoldAsFloat(static_cast<double>(Dx) / Dy);
    for (int q = 0; q < NQ; ++q) SlopeQ[q] = kv::HoldAsFloat((static_cast<double>(P2->Q[q]) - P1->Q[q]) / Dy);
  }

  const double Lead = static_cast<double>(R0) - Top->Y;
  E.X = FixedFromReal(Lead * Slope + Top->X);
  E.StepX = FixedFromReal(Slope);
  for (int q = 0; q < NQ; ++q) {
    E.Q[q] = FixedFromReal(Lead * SlopeQ[q] + Top->Q[q]);
    E.StepQ[q] = FixedFromReal(SlopeQ[q]);
  }

  E.First = R0;
  if (R0 < 0) {  // rows above the buffer are stepped over, not stored
    const uint64_t Skipped = static_cast<uint64_t>(-static_cast<int64_t>(R0));
    E.X = WalkSteps(E.X, E.StepX, Skipped);
    for (int q = 0; q < NQ; ++q) E.Q[q] = WalkSteps(E.Q[q], E.StepQ[q], Skipped);
    E.First = 0;
  }
  E.Last = std::min(R1, MaxY);
  return true;
}

// One edge from P1 to P2 into the side it belongs to. NQ = 0: FlatEdge (x
// only); 3: GouraudEdge (EdgeRGB); 2: MapEdge (EdgeUV).
template <int NQ>
void WalkEdge(const EdgeTables& T, const PolyCorner& From, const PolyCorner& To) {
  EdgeStart<NQ> E;
  if (!StartEdge(E, T.MaxY, From, To, CeilRow(From.Y), CeilRow(To.Y))) return;
  WalkFixed X = E.X;
  WalkFixed Q[3] = {E.Q[0], E.Q[1], E.Q[2]};
  int32_t* EdgeX = T.X[E.Side];
  for (int32_t Row = E.First; Row <= E.Last; ++Row) {
    EdgeX[Row] = WalkToInt(X);
    if constexpr (NQ == 3) T.RGB[E.Side][Row] = KvEdgeRGB{WalkToFixed(Q[0]), WalkToFixed(Q[1]), WalkToFixed(Q[2])};
    if constexpr (NQ == 2) T.UV[E.Side][Row] = KvEdgeUV{WalkToFixed(Q[0]), WalkToFixed(Q[1])};
    X += E.StepX;
    for (int q = 0; q < NQ; ++q) Q[q] += E.StepQ[q];
  }
}

void FlatEdge(const EdgeTables& T, const PolyCorner& A, const PolyCorner& B) { WalkEdge<0>(T, A, B); }
void GouraudEdge(const EdgeTables& T, const PolyCorner& A, const PolyCorner& B) { WalkEdge<3>(T, A, B); }
void MapEdge(const EdgeTables& T, const PolyCorner& A, const PolyCorner& B) { WalkEdge<2>(T, A, B); }

// Usable destination: rows mapped, edge tables one entry per row. The tables
// are compared by their bytes (a count of 12-byte entries costs a division),
// and grown out of line: they are the buffer's own size from its start.
void GrowEdgeTables(TBufferKv* D, size_t H) {
  for (int s = 0; s < 2; ++s) {
    if (D->EdgeX[s].size() < H) D->EdgeX[s].assign(H, 0);
    if (D->EdgeRGB[s].size() < H) D->EdgeRGB[s].assign(H, KvEdgeRGB{0, 0, 0});
    if (D->EdgeUV[s].size() < H) D->EdgeUV[s].assign(H, KvEdgeUV{0, 0});
  }
}

template <class T>
inline bool Holds(const std::vector<T>& V, size_t H) {
  return static_cast<size_t>(reinterpret_cast<const char*>(V.data() + V.size()) -
                             reinterpret_cast<const char*>(V.data())) >= H * sizeof(T);
}

inline bool ReadyForPolygons(TBufferKv* D) {
  if (D == nullptr || D->Height <= 0 || D->Width <= 0 || D->Rows.size() < static_cast<size_t>(D->Height))
    return false;
  const size_t H = static_cast<size_t>(D->Height);
  if (!(Holds(D->EdgeX[0], H) && Holds(D->EdgeX[1], H) && Holds(D->EdgeRGB[0], H) && Holds(D->EdgeRGB[1], H) &&
        Holds(D->EdgeUV[0], H) && Holds(D->EdgeUV[1], H)))
    GrowEdgeTables(D, H);
  return true;
}

// The polygon frame: every edge in corner order (i-1 -> i, then the closing
// edge), then Rows(first, last) for rows Ceil(ymin) .. Ceil(ymax) - 1 within
// the buffer. false when top and bottom are equal (nothing walked or drawn).
template <int NQ, class EdgeFn, class RowsFn>
bool ScanPolygon(TBufferKv* D, const CornerList<NQ>& List, EdgeFn Edge, RowsFn Rows) {
  const PolyCorner* C = List.Corners;
  const int32_t N = List.Size;
  float YMin = C[0].Y, YMax = C[0].Y;
  for (int32_t i = 1; i < N; ++i) {
    YMin = std::min(YMin, C[i].Y);
    YMax = std::max(YMax, C[i].Y);
  }
  if (YMin == YMax) return false;

  const EdgeTables T{{D->EdgeX[0].data(), D->EdgeX[1].data()},
                     {D->EdgeRGB[0].data(), D->EdgeRGB[1].data()},
                     {D->EdgeUV[0].data(), D->EdgeUV[1].data()},
                     D->MaxY};
  for (int32_t i = 1; i < N; ++i) Edge(T, C[i - 1], C[i]);
  Edge(T, C[N - 1], C[0]);

  const int32_t First = std::max(CeilRow(YMin), 0);
  const int32_t Last = std::min(CeilRow(YMax) - 1, D->MaxY);
  Rows(First, Last);
  return true;
}

// --- three corners ----------------------------------------------------------------

// A triangle whose corners need no clip, on the fast path: the edges that
// ScanPolygon walks, set up the same way, but walked together with the rows
// rather than through the edge tables. A row r lies on an edge from y1 to y2
// when y1 <= r < y2, and a horizontal line crosses a closed path as often
// downwards as upwards, so each row of a triangle lies on exactly one edge of
// each side.
template <int NQ>
struct Triangle {
  PolyCorner C[3];
  EdgeStart<NQ> E[3];
  const EdgeStart<NQ>* Side[2][3];  // each side's edges with rows, top first
  int32_t Count[2];
  int32_t First, Last;              // rows, as ScanPolygon's
};

// The corners when CornerList would take them as they are; false when it
// would clip or reject them (the general path then does).
template <int NQ, class QFn>
inline bool TriangleCorners(const TexVertex* V, PolyCorner* C, QFn GetQ) {
  for (int i = 0; i < 3; ++i) {
    if (!IsFinite(V[i].X) || !IsFinite(V[i].Y)) return false;
    if (std::fabs(V[i].X) > PolyCornerLimit || std::fabs(V[i].Y) > PolyCornerLimit) return false;
    C[i].X = V[i].X;
    C[i].Y = V[i].Y;
    C[i].Q[0] = C[i].Q[1] = C[i].Q[2] = 0;
    if (!GetQ(V[i], C[i].Q)) return false;
  }
  return true;
}

// false when top and bottom are equal (nothing walked or drawn).
template <int NQ>
bool StartTriangle(Triangle<NQ>& T, int32_t MaxY) {
  if (T.C[0].Y == T.C[1].Y && T.C[1].Y == T.C[2].Y) return false;
  // Each corner's row once; Ceil is monotonic, so the least and greatest
  // are those of the top and the bottom.
  const int32_t R[3] = {CeilRow(T.C[0].Y), CeilRow(T.C[1].Y), CeilRow(T.C[2].Y)};
  T.Count[0] = T.Count[1] = 0;
  for (int e = 0; e < 3; ++e) {
    const int f = e == 2 ? 0 : e + 1;
    if (StartEdge(T.E[e], MaxY, T.C[e], T.C[f], R[e], R[f])) T.Side[T.E[e].Side][T.Count[T.E[e].Side]++] = &T.E[e];
  }
  for (int s = 0; s < 2; ++s)  // top first: at most three to order
    for (int32_t i = 1; i < T.Count[s]; ++i)
      for (int32_t j = i; j > 0 && T.Side[s][j]->First < T.Side[s][j - 1]->First; --j)
        std::swap(T.Side[s][j], T.Side[s][j - 1]);
  T.First = std::max(std::min({R[0], R[1], R[2]}), 0);
  T.Last = std::min(std::max({R[0], R[1], R[2]}) - 1, MaxY);
  return true;
}

// One side's edge in the walk: its values at the current row.
template <int NQ>
struct SideCursor {
  WalkFixed X, StepX;
  WalkFixed Q[3], StepQ[3];
  int32_t Last;

  void Start(const EdgeStart<NQ>& E, int32_t Row) {
    const uint64_t Ahead = static_cast<uint64_t>(static_cast<int64_t>(Row) - E.First);
    X = WalkSteps(E.X, E.StepX, Ahead);
    StepX = E.StepX;
    for (int q = 0; q < NQ; ++q) {
      Q[q] = WalkSteps(E.Q[q], E.StepQ[q], Ahead);
      StepQ[q] = E.StepQ[q];
    }
    Last = E.Last;
  }
  void Step() {
    X += StepX;
    for (int q = 0; q < NQ; ++q) Q[q] += StepQ[q];
  }
  // N rows on at once: the same sums, as nothing wraps along an edge.
  void Steps(uint64_t N) {
    X = WalkSteps(X, StepX, N);
    for (int q = 0; q < NQ; ++q) Q[q] = WalkSteps(Q[q], StepQ[q], N);
  }
};

// DoRow(row, side 0, side 1) for rows First .. Last. SkipOutside: rows whose
// ends both lie left of column 0 or both right of MaxX are not passed on (they
// draw nothing). Within a stretch of rows on the same two edges, x moves in
// one direction along each side, so its first and last rows decide for all.
template <int NQ, bool SkipOutside = false, class RowFn>
inline void WalkTriangle(const Triangle<NQ>& T, RowFn DoRow, int32_t MaxX = 0) {
  if (T.First > T.Last || T.Count[0] == 0 || T.Count[1] == 0) return;
  int32_t Row = T.First;
  int32_t K[2] = {0, 0};
  SideCursor<NQ> S[2];
  S[0].Start(*T.Side[0][0], Row);
  S[1].Start(*T.Side[1][0], Row);
  for (;;) {
    const int32_t End = std::min({S[0].Last, S[1].Last, T.Last});
    if (SkipOutside && End >= Row) {
      const uint64_t N = static_cast<uint64_t>(static_cast<int64_t>(End) - Row);
      int32_t Lo = INT32_MAX, Hi = INT32_MIN;
      for (const SideCursor<NQ>& C : S) {
        const int32_t A = WalkToInt(C.X), B = WalkToInt(WalkSteps(C.X, C.StepX, N));
        Lo = std::min({Lo, A, B});
        Hi = std::max({Hi, A, B});
      }
      if (Hi < 0 || Lo > MaxX) {
        S[0].Steps(N + 1);
        S[1].Steps(N + 1);
        Row = End + 1;
      }
    }
    for (; Row <= End; ++Row) {
      DoRow(Row, S[0], S[1]);
      S[0].Step();
      S[1].Step();
    }
    if (Row > T.Last) return;
    for (int s = 0; s < 2; ++s) {
      if (S[s].Last >= Row) continue;
      if (++K[s] >= T.Count[s]) return;
      S[s].Start(*T.Side[s][K[s]], Row);
    }
  }
}

// --- pixel formats -----------------------------------------------------------------

// Pack r, g, b (0..255) into a pixel and store it (the engine's pixel
// traits); copy one texel. Copies go through a local value so a texel may be
// read from the pixel it replaces.
template <class Px>
struct PixelFormatOf {
  static constexpr int Bytes = Px::Bytes;
  static void Put(uint8_t* P, uint32_t R, uint32_t G, uint32_t B) { Px::Store(P, Px::Pack(R, G, B)); }
};
using Format555 = PixelFormatOf<kv::Pixel15>;
using Format565 = PixelFormatOf<kv::Pixel16>;
using Format888 = PixelFormatOf<kv::Pixel24>;
using Format8888 = PixelFormatOf<kv::Pixel32>;

template <int Bytes>
inline void CopyTexel(uint8_t* Dst, const uint8_t* Src) {
  uint8_t T[4];
  std::memcpy(T, Src, Bytes);
  std::memcpy(Dst, T, Bytes);
}

// --- span kernels ----------------------------------------------------------------

// Count pixels from column X0 of Row: colour components are the integer parts
// (toward zero) of the 16.16 values, taken to 8 bits; steps added after each.
using GouraudRowFn = void (*)(uint8_t* Row, int32_t X0, int32_t Count, Fixed16 R, Fixed16 G, Fixed16 B,
                              Fixed16 DR, Fixed16 DG, Fixed16 DB);

template <class Format>
void GouraudRow(uint8_t* Row, int32_t X0, int32_t Count, Fixed16 R, Fixed16 G, Fixed16 B, Fixed16 DR, Fixed16 DG,
                Fixed16 DB) {
  uint8_t* P = Row + static_cast<size_t>(X0) * Format::Bytes;
  for (int32_t i = 0; i < Count; ++i, P += Format::Bytes) {
    Format::Put(P, static_cast<uint8_t>(kv::FixedToInt(R)), static_cast<uint8_t>(kv::FixedToInt(G)),
                static_cast<uint8_t>(kv::FixedToInt(B)));
    R = kv::FixedAdd(R, DR);
    G = kv::FixedAdd(G, DG);
    B = kv::FixedAdd(B, DB);
  }
}

// Rows[y] is Bits + y x Pitch (TBufferKv::MapSurface lays the table out so);
// the inside loop addresses texels from Bits and Pitch, the clamping one
// through the table.
struct MapSource {
  uint8_t* const* Rows;
  const uint8_t* Bits;
  size_t Pitch;
  int32_t MaxX, MaxY;
};

// MapRow<Bytes>: Count pixels from column X0 of Row, each the texel at the
// integer parts of (U, V) clamped into the source (a position of exactly Width
// or Height reads the last column or row, as do positions further out; below
// 0 reads 0).

// The 16.16 positions below Limit(Max) have integer parts 0 .. Max and fit
// 32 bits.
inline int64_t InsideLimit(int32_t Max) {
  return std::min<int64_t>((static_cast<int64_t>(Max) + 1) * kv::FixedOne, INT32_MAX + int64_t(1));
}

// True when U + k x Step for k = 0 .. Count - 1 never wraps and never leaves
// the texels 0 .. Max: the ends decide, as the values move in one direction.
inline bool InsideAllAlong(Fixed16 U, Fixed16 Step, int32_t Count, int32_t Max) {
  const int64_t End = static_cast<int64_t>(U) + static_cast<int64_t>(Step) * (Count - 1);
  const int64_t Limit = InsideLimit(Max);
  return U >= 0 && End >= 0 && U < Limit && End < Limit;
}

#ifdef NERITH_WASM_TEXELS
// Four texels at a time of an inside span at 32 bits, for WebAssembly: V8
// computes the scalar loop's addresses one 64-bit value at a time; here U and
// V are four 32-bit lanes each (the halves of W, which never carry into each
// other) and the four texels fill one vector store; a span of four or more
// ends with the four that end it. P and Left are left past the span. A source
// the row lies in (a surface mapped onto itself) takes the scalar loop, which
// reads each texel after the stores before it.
template <int Lane>
inline const void* TexelAt(v128_t Addresses) {
  const uint32_t Address = static_cast<uint32_t>(wasm_i32x4_extract_lane(Addresses, Lane));
  return reinterpret_cast<const void*>(static_cast<uintptr_t>(Address));
}
inline void MapTexels4(uint8_t*& P, int32_t& Left, uint64_t W, Fixed16 DU, Fixed16 DV, const MapSource& Src) {
  const uint8_t* const End = Src.Bits + (static_cast<size_t>(Src.MaxY) + 1) * Src.Pitch;
  if (Left < 4 || (P < End && P + static_cast<size_t>(Left) * 4 > Src.Bits)) return;
  const uint32_t U = static_cast<uint32_t>(W >> 32), V = static_cast<uint32_t>(W);
  const uint32_t SU = static_cast<uint32_t>(DU), SV = static_cast<uint32_t>(DV);
  const v128_t Lanes = wasm_u32x4_make(0, 1, 2, 3);
  v128_t Us = wasm_i32x4_add(wasm_u32x4_splat(U), wasm_i32x4_mul(Lanes, wasm_u32x4_splat(SU)));
  v128_t Vs = wasm_i32x4_add(wasm_u32x4_splat(V), wasm_i32x4_mul(Lanes, wasm_u32x4_splat(SV)));
  const v128_t StepU = wasm_u32x4_splat(4 * SU), StepV = wasm_u32x4_splat(4 * SV);
  const v128_t Pitch = wasm_u32x4_splat(static_cast<uint32_t>(Src.Pitch));
  const v128_t Bits = wasm_u32x4_splat(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(Src.Bits)));
  const v128_t Column = wasm_u32x4_splat(~3u);  // (U >> 16) x 4
  auto Four = [&](uint8_t* To) {
    const v128_t A = wasm_i32x4_add(wasm_i32x4_add(Bits, wasm_i32x4_mul(wasm_u32x4_shr(Vs, 16), Pitch)),
                                    wasm_v128_and(wasm_u32x4_shr(Us, 14), Column));
    v128_t T = wasm_v128_load32_zero(TexelAt<0>(A));
    T = wasm_v128_load32_lane(TexelAt<1>(A), T, 1);
    T = wasm_v128_load32_lane(TexelAt<2>(A), T, 2);
    T = wasm_v128_load32_lane(TexelAt<3>(A), T, 3);
    wasm_v128_store(To, T);
  };
  for (; Left >= 4; Left -= 4, P += 16) {
    Four(P);
    Us = wasm_i32x4_add(Us, StepU);
    Vs = wasm_i32x4_add(Vs, StepV);
  }
  if (Left > 0) {  // the span's last four texels, the first of them drawn again alike
    const uint32_t Back = static_cast<uint32_t>(4 - Left);
    Us = wasm_i32x4_sub(Us, wasm_u32x4_splat(Back * SU));
    Vs = wasm_i32x4_sub(Vs, wasm_u32x4_splat(Back * SV));
    P += Left * 4;
    Four(P - 16);
    Left = 0;
  }
}
#endif

// Known: the caller has shown that every position of the span is inside, so
// the per-span test is left out (it would say the same).
template <int Bytes, bool Known = false>
inline void MapRow(uint8_t* Row, int32_t X0, int32_t Count, Fixed16 U, Fixed16 V, Fixed16 DU, Fixed16 DV,
                   const MapSource& Src) {
  uint8_t* P = Row + static_cast<size_t>(X0) * Bytes;
  // Most spans lie inside the texture all along: no clamping, and the
  // integer part of a non-negative value is a shift (of the unsigned value,
  // which needs no sign extension).
  if (Known || (InsideAllAlong(U, DU, Count, Src.MaxX) && InsideAllAlong(V, DV, Count, Src.MaxY))) {
    const uint8_t* const Bits = Src.Bits;
    const size_t Pitch = Src.Pitch;
    // U in the high half, V in the low: V stays in 0 .. 2^31 - 1 along the
    // span, so its steps never carry into U and one add steps both.
    uint64_t W = (static_cast<uint64_t>(static_cast<uint32_t>(U)) << 32) | static_cast<uint32_t>(V);
    const uint64_t Step =
        (static_cast<uint64_t>(static_cast<uint32_t>(DU)) << 32) + static_cast<uint64_t>(int64_t{DV});
    auto Texel = [Bits, Pitch](uint64_t X) {
      return Bits + static_cast<size_t>(static_cast<uint32_t>(X) >> 16) * Pitch + static_cast<size_t>(X >> 48) * Bytes;
    };
    int32_t Left = Count;
#ifdef NERITH_WASM_TEXELS
    if constexpr (Bytes == 4) MapTexels4(P, Left, W, DU, DV, Src);
#endif
    for (; Left >= 4; Left -= 4, P += 4 * Bytes) {  // four a step: a quarter of the loop's own work
      for (int k = 0; k < 4; ++k, W += Step) CopyTexel<Bytes>(P + k * Bytes, Texel(W));
    }
    for (; Left > 0; --Left, P += Bytes, W += Step) CopyTexel<Bytes>(P, Texel(W));
    return;
  }
  for (int32_t i = 0; i < Count; ++i, P += Bytes) {
    const int32_t Tu = std::clamp(kv::FixedToInt(U), 0, Src.MaxX);
    const int32_t Tv = std::clamp(kv::FixedToInt(V), 0, Src.MaxY);
    CopyTexel<Bytes>(P, Src.Rows[Tv] + static_cast<size_t>(Tu) * Bytes);
    U = kv::FixedAdd(U, DU);
    V = kv::FixedAdd(V, DV);
  }
}

GouraudRowFn GouraudKernel(const TBufferKv& D) {
  switch (D.BitsPerPixel) {
    case 16:
      return D.Depth == 15 ? GouraudRow<Format555> : GouraudRow<Format565>;
    case 24:
      return GouraudRow<Format888>;
    case 32:
      return GouraudRow<Format8888>;
    default:
      return nullptr;
  }
}

// --- spans -------------------------------------------------------------------------

// The part of a row's span that is drawn: both ends ordered, clipped on the
// right, with the per-pixel steps from the unclipped length.
struct SpanPlan {
  int32_t Left, Right;  // Left may be negative; Right <= MaxX
  int32_t X0;           // first column written: max(Left, 0)
  int64_t Length;       // Right - Left before clipping
};

// false when nothing of the row is drawn (outside, or one column wide).
inline bool PlanSpan(int32_t L, int32_t R, int32_t MaxX, SpanPlan& Plan) {
  if (R < 0 || L > MaxX) return false;
  Plan.Length = static_cast<int64_t>(R) - L;
  R = std::min(R, MaxX);
  if (static_cast<int64_t>(R) - L <= 0) return false;
  Plan.Left = L;
  Plan.Right = R;
  Plan.X0 = std::max(L, 0);
  return true;
}

// Where a span is built, and the copy to the surface for a scratch row.
struct SpanTarget {
  TBufferKv* D;
  uint8_t* Scratch;  // nullptr: write the rows directly
  int32_t Bytes;

  uint8_t* Row(int32_t Y) const { return Scratch ? Scratch : D->Rows[Y]; }
  void Finish(int32_t Y, int32_t X0, int32_t X1) const {
    if (!Scratch) return;
    const size_t Offset = static_cast<size_t>(X0) * Bytes;
    const uint32_t Size = static_cast<uint32_t>(X1 - X0 + 1) * static_cast<uint32_t>(Bytes);
    if (FastMove)
      FastMove(Scratch + Offset, D->Rows[Y] + Offset, Size);
    else
      std::memcpy(D->Rows[Y] + Offset, Scratch + Offset, Size);
  }
};

SpanTarget TargetOf(TBufferKv* D) {
  const int32_t Bytes = D->BitsPerPixel / 8;
  uint8_t* Scratch = D->HasScratchRow && D->ScratchRow ? D->ScratchRow.get() : nullptr;
  return SpanTarget{D, Scratch, Bytes};
}

void GouraudSpan(const SpanTarget& T, GouraudRowFn Kernel, int32_t Row) {
  TBufferKv* D = T.D;
  int32_t L = D->EdgeX[0][Row], R = D->EdgeX[1][Row];
  KvEdgeRGB CL = D->EdgeRGB[0][Row], CR = D->EdgeRGB[1][Row];
  if (R < L) {
    std::swap(L, R);
    std::swap(CL, CR);
  }
  SpanPlan P;
  if (!PlanSpan(L, R, D->MaxX, P)) return;
  const spandiv::SpanDivisor Length(P.Length);
  const Fixed16 DR = SpanStep(CL.R, CR.R, Length), DG = SpanStep(CL.G, CR.G, Length),
                DB = SpanStep(CL.B, CR.B, Length);
  // A span starting left of column 0 starts there with the values it has
  // reached (the skipped additions, done at once).
  const uint32_t Skipped = static_cast<uint32_t>(static_cast<int64_t>(P.X0) - P.Left);
  const Fixed16 R0 = kv::FixedAdd(CL.R, kv::FixedSteps(DR, Skipped));
  const Fixed16 G0 = kv::FixedAdd(CL.G, kv::FixedSteps(DG, Skipped));
  const Fixed16 B0 = kv::FixedAdd(CL.B, kv::FixedSteps(DB, Skipped));
  Kernel(T.Row(Row), P.X0, P.Right - P.X0 + 1, R0, G0, B0, DR, DG, DB);
  T.Finish(Row, P.X0, P.Right);
}

// What a textured row needs, in locals the texel stores cannot alias (a
// store through a byte pointer may alias anything, so members would be read
// again on every row).
struct MapRowTarget {
  SpanTarget T;
  uint8_t* const* DestRows;
  int32_t MaxX;
  MapSource Src;
};

// One row of a textured polygon between its two edges' ends, given in either
// order.
template <int Bytes, bool Known = false>
inline void MapSpan(const MapRowTarget& M, int32_t Row, int32_t L, int32_t R, KvEdgeUV TL, KvEdgeUV TR) {
  if (R < L) {
    std::swap(L, R);
    std::swap(TL, TR);
  }
  SpanPlan P;
  if (!PlanSpan(L, R, M.MaxX, P)) return;
  Fixed16 DU, DV;
#ifdef __EMSCRIPTEN__
  // Known: both ends' positions lie in 0 .. 2^31 - 1, so their differences
  // fit 32 bits and one 32-bit division each gives the step exactly; V8
  // runs the 64-bit reciprocal products (which the compiler pairs into
  // emulated two-lane vectors) far slower than x86-64 does.
  if (Known && P.Length <= INT32_MAX) {
    DU = (TR.U - TL.U) / static_cast<int32_t>(P.Length);
    DV = (TR.V - TL.V) / static_cast<int32_t>(P.Length);
  } else
#endif
  {
    const spandiv::SpanDivisor Length(P.Length);
    DU = SpanStep(TL.U, TR.U, Length);
    DV = SpanStep(TL.V, TR.V, Length);
  }
  Fixed16 U0 = TL.U, V0 = TL.V;
  if (P.Left < 0) {  // the span starts at column 0 with the values it has reached there
    const uint32_t Skipped = static_cast<uint32_t>(static_cast<int64_t>(P.X0) - P.Left);
    U0 = kv::FixedAdd(TL.U, kv::FixedSteps(DU, Skipped));
    V0 = kv::FixedAdd(TL.V, kv::FixedSteps(DV, Skipped));
  }
  uint8_t* const Scratch = M.T.Scratch;
  MapRow<Bytes, Known>(Scratch ? Scratch : M.DestRows[Row], P.X0, P.Right - P.X0 + 1, U0, V0, DU, DV, M.Src);
  if (Scratch) M.T.Finish(Row, P.X0, P.Right);
}

MapRowTarget MapTargetOf(const SpanTarget& T, const MapSource& Src) {
  return MapRowTarget{T, T.D->Rows.data(), T.D->MaxX, Src};
}

// Rows First .. Last of a textured polygon from the edge tables.
template <int Bytes>
void MapRows(const SpanTarget& T, const MapSource& Source, int32_t First, int32_t Last) {
  TBufferKv* D = T.D;
  const int32_t* EdgeL = D->EdgeX[0].data();
  const int32_t* EdgeR = D->EdgeX[1].data();
  const KvEdgeUV* UvL = D->EdgeUV[0].data();
  const KvEdgeUV* UvR = D->EdgeUV[1].data();
  const MapRowTarget M = MapTargetOf(T, Source);
  for (int32_t Row = First; Row <= Last; ++Row) MapSpan<Bytes>(M, Row, EdgeL[Row], EdgeR[Row], UvL[Row], UvR[Row]);
}

using MapRowsFn = void (*)(const SpanTarget& T, const MapSource& Src, int32_t First, int32_t Last);

// True when every position a triangle's rows can use lies inside the source:
// a span's positions lie between its ends, the ends are the edges' values,
// and each edge's values move in one direction from its first row to its last
// (an edge of two or more rows steps by less than 2^32, so nothing wraps).
bool EdgesInside(const Triangle<2>& T, const MapSource& Src) {
  const int64_t Limit[2] = {InsideLimit(Src.MaxX), InsideLimit(Src.MaxY)};
  for (int s = 0; s < 2; ++s)
    for (int32_t k = 0; k < T.Count[s]; ++k) {
      const EdgeStart<2>& E = *T.Side[s][k];
      const uint64_t Rows = static_cast<uint64_t>(static_cast<int64_t>(E.Last) - E.First);
      for (int q = 0; q < 2; ++q) {
        const WalkFixed A = E.Q[q], B = WalkSteps(E.Q[q], E.StepQ[q], Rows);
        if (A < 0 || B < 0 || A >= Limit[q] || B >= Limit[q]) return false;
      }
    }
  return true;
}

template <int Bytes, bool Known>
void MapTriangleWalk(const MapRowTarget& M, const Triangle<2>& T) {
  WalkTriangle<2, true>(
      T,
      // The upward edges first: they are the left ones in the renderer's
      // winding, so its rows need no swap (the span orders its ends anyway).
      [&M](int32_t Row, const SideCursor<2>& Down, const SideCursor<2>& Up) {
        MapSpan<Bytes, Known>(M, Row, WalkToInt(Up.X), WalkToInt(Down.X),
                              KvEdgeUV{WalkToFixed(Up.Q[0]), WalkToFixed(Up.Q[1])},
                              KvEdgeUV{WalkToFixed(Down.Q[0]), WalkToFixed(Down.Q[1])});
      },
      M.MaxX);
}

// The rows of a triangle, the per-span inside test left out when the whole
// triangle is known to be inside.
template <int Bytes>
void MapTriangleRows(const SpanTarget& T, const MapSource& Src, const Triangle<2>& Tri) {
  const MapRowTarget M = MapTargetOf(T, Src);
  if (EdgesInside(Tri, Src))
    MapTriangleWalk<Bytes, true>(M, Tri);
  else
    MapTriangleWalk<Bytes, false>(M, Tri);
}

using MapTriangleFn = void (*)(const SpanTarget& T, const MapSource& Src, const Triangle<2>& Tri);

struct MapKernels {
  MapRowsFn Rows;
  MapTriangleFn Triangle;
};

MapKernels MapKernelsOf(const TBufferKv& D) {
  switch (D.BitsPerPixel) {
    case 16:
      return {MapRows<2>, MapTriangleRows<2>};
    case 24:
      return {MapRows<3>, MapTriangleRows<3>};
    case 32:
      return {MapRows<4>, MapTriangleRows<4>};
    default:
      return {nullptr, nullptr};
  }
}

}  // namespace

// --- operations ----------------------------------------------------------------------

void FlatPoly(TBufferKv* Dest, const TexVertex* Vertices, int32_t Count, uint32_t Color) {
  if (!ReadyForPolygons(Dest)) return;
  auto NoQ = [](const TexVertex&, float*) { return true; };
  if (Count == 3 && Vertices != nullptr && KvActivePath() != KvPath::Reference) {
    Triangle<0> T;
    if (TriangleCorners<0>(Vertices, T.C, NoQ)) {
      if (!StartTriangle(T, Dest->MaxY)) return;
      int32_t* const Left = Dest->EdgeX[0].data();
      int32_t* const Right = Dest->EdgeX[1].data();
      WalkTriangle(T, [Left, Right](int32_t Row, const SideCursor<0>& A, const SideCursor<0>& B) {
        Left[Row] = WalkToInt(A.X);
        Right[Row] = WalkToInt(B.X);
      });
      Dest->HLineRows(Left, Right, T.First, T.Last, Color);
      return;
    }
  }
  CornerList<0> List;
  if (!List.Prepare(Vertices, Count, NoQ)) return;
  ScanPolygon(Dest, List, FlatEdge, [Dest, Color](int32_t First, int32_t Last) {
    Dest->HLineRows(Dest->EdgeX[0].data(), Dest->EdgeX[1].data(), First, Last, Color);
  });
}

void GouraudPoly(TBufferKv* Dest, const TexVertex* Vertices, int32_t Count) {
  if (!ReadyForPolygons(Dest)) return;
  const GouraudRowFn Kernel = GouraudKernel(*Dest);
  if (Kernel == nullptr) return;
  const int Depth = Dest->Depth;
  CornerList<3> List;
  const bool Ok = List.Prepare(Vertices, Count, [Depth](const TexVertex& V, float* Q) {
    uint8_t R = 0, G = 0, B = 0;
    UnpackColorDepth(Depth, V.Color, R, G, B);
    Q[0] = R;
    Q[1] = G;
    Q[2] = B;
    return true;
  });
  if (!Ok) return;
  const SpanTarget Target = TargetOf(Dest);
  if (ScanPolygon(Dest, List, GouraudEdge, [&](int32_t First, int32_t Last) {
        for (int32_t Row = First; Row <= Last; ++Row) GouraudSpan(Target, Kernel, Row);
      }))
    EndMmx();
}

void MapPoly(TBufferKv* Dest, TBufferKv* Source, const TexVertex* Vertices, int32_t Count) {
  if (!ReadyForPolygons(Dest) || Source == nullptr) return;
  if (Source->BitsPerPixel != Dest->BitsPerPixel || Source->Width <= 0 || Source->Height <= 0 ||
      Source->Rows.size() < static_cast<size_t>(Source->Height))
    return;
  const MapKernels Kernel = MapKernelsOf(*Dest);
  if (Kernel.Rows == nullptr) return;
  auto GetUV = [](const TexVertex& V, float* Q) {
    if (!IsFinite(V.U) || !IsFinite(V.V) || std::fabs(V.U) > PolyTextureLimit || std::fabs(V.V) > PolyTextureLimit)
      return false;
    Q[0] = V.U;
    Q[1] = V.V;
    return true;
  };
  const MapSource Src{Source->Rows.data(), Source->Bits, static_cast<size_t>(Source->Pitch), Source->MaxX,
                      Source->MaxY};
  const SpanTarget Target = TargetOf(Dest);
  if (Count == 3 && Vertices != nullptr && KvActivePath() != KvPath::Reference) {
    Triangle<2> T;
    if (TriangleCorners<2>(Vertices, T.C, GetUV)) {
      if (!StartTriangle(T, Dest->MaxY)) return;
      Kernel.Triangle(Target, Src, T);
      EndMmx();
      return;
    }
  }
  CornerList<2> List;
  if (!List.Prepare(Vertices, Count, GetUV)) return;
  if (ScanPolygon(Dest, List, MapEdge, [&](int32_t First, int32_t Last) { Kernel.Rows(Target, Src, First, Last); }))
    EndMmx();
}
