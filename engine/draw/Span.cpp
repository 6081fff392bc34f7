// Span fill and rotozoom: HLine, TexturePoly and RotoZoom.
//
// TexturePoly scans each edge of a convex polygon into the destination's
// edge tables (EdgeX, EdgeUV; side 0 for edges running down in corner
// order, side 1 for edges running up), then fills each row between the two
// sides with texels of the source, mapped affinely in 16.16 fixed point
// (FixedPoint.h). Rounding rules, written once:
//   rows        a polygon covers rows ceil(ymin) .. ceil(ymax) - 1
//   edge start  X = trunc((x + (row - y) x slope) x 65536), steps trunc(slope x 65536)
//   columns     EdgeX = X div 65536 (toward zero); a span runs start .. end
//               both included, but a span whose end is not right of its
//               start draws nothing
//   texels      U div 65536, V div 65536 (toward zero), clamped into the
//               source (the one column past the right edge, as at x = end,
//               takes the last column, like every other outside value)
// Corners that are NaN or infinite draw nothing; huge finite ones are
// walked with saturating conversions and wrapping 32-bit steps, so no input
// is undefined behaviour.
#include <cmath>

#include "BufferKv.h"
#include "FastPath.h"
#include "FixedPoint.h"
#include "RowKernels.h"
#include "../core/Trigonometry.h"

namespace {

using namespace kv;

constexpr double Pi = 3.14159265358979323846;

bool Finite(const TexVertex& V) {
  return std::isfinite(V.X) && std::isfinite(V.Y) && std::isfinite(V.U) && std::isfinite(V.V);
}

// Count mod 2^32 of a whole float >= 0: the number of rows an edge is walked
// through before row 0, as the wrapping 32-bit walk counts them.
uint32_t WrappedCount(float Count) { return uint32_t(uint64_t(std::fmod(double(Count), 4294967296.0))); }

// Scans the edge from corner A to corner B into the side it belongs to.
void ScanEdge(TBufferKv& D, const TexVertex& A, const TexVertex& B) {
  const float DY = B.Y - A.Y;
  float SlopeX = 0, SlopeU = 0, SlopeV = 0;
  if (DY != 0) {
    SlopeX = (B.X - A.X) / DY;
    SlopeU = (B.U - A.U) / DY;
    SlopeV = (B.V - A.V) / DY;
  }
  const bool Up = A.Y > B.Y;
  const TexVertex& S = Up ? B : A;
  const float EndY = Up ? A.Y : B.Y;
  const int Side = Up ? 1 : 0;
  const float FirstRow = std::ceil(S.Y), EndRow = std::ceil(EndY);  // rows FirstRow .. EndRow - 1
  if (!(FirstRow < EndRow) || FirstRow > float(D.MaxY) || EndRow <= 0.0f) return;
  // Values at the first row, and the steps.
  const float Dy = FirstRow - S.Y;
  Fixed16 X = FixedFromFloat(Dy * SlopeX + S.X);
  Fixed16 U = FixedFromFloat(Dy * SlopeU + S.U);
  Fixed16 V = FixedFromFloat(Dy * SlopeV + S.V);
  const Fixed16 StepX = FixedFromFloat(SlopeX), StepU = FixedFromFloat(SlopeU), StepV = FixedFromFloat(SlopeV);
  // Rows above the buffer are stepped but not stored: skip them in one go.
  int32_t Row = 0;
  if (FirstRow < 0.0f) {
    const uint32_t Skipped = WrappedCount(-FirstRow);
    X = FixedAdd(X, FixedSteps(StepX, Skipped));
    U = FixedAdd(U, FixedSteps(StepU, Skipped));
    V = FixedAdd(V, FixedSteps(StepV, Skipped));
  } else {
    Row = int32_t(FirstRow);  // 0 .. MaxY
  }
  const int32_t LastRow = EndRow - 1.0f < float(D.MaxY) ? int32_t(EndRow - 1.0f) : D.MaxY;
  int32_t* EdgeX = D.EdgeX[Side].data();
  KvEdgeUV* EdgeUV = D.EdgeUV[Side].data();
  for (; Row <= LastRow; ++Row) {
    EdgeX[Row] = FixedToInt(X);
    EdgeUV[Row] = KvEdgeUV{U, V};
    X = FixedAdd(X, StepX);
    U = FixedAdd(U, StepU);
    V = FixedAdd(V, StepV);
  }
}

}  // namespace

namespace {

// The columns [Left, Left + Count) of a row Width pixels wide that X1 .. X2
// (either order, both included) covers; false when the span lies wholly off
// one side (Count may still be 0 when it just touches the right edge).
inline bool ClipRow(int32_t X1, int32_t X2, int32_t Width, int32_t& Left, int32_t& Count) {
  int64_t L = X1 < X2 ? X1 : X2;
  int64_t R = int64_t(X1 < X2 ? X2 : X1) + 1;  // exclusive
  if (R < 0 || L > Width) return false;
  if (L < 0) L = 0;
  if (R > Width) R = Width;
  Left = int32_t(L);
  Count = int32_t(R - L);
  return true;
}

}  // namespace

void TBufferKv::HLine(int32_t X1, int32_t X2, int32_t Y, uint32_t Color) {
  if (Y < 0 || Y >= Height) return;
  int32_t Left, Count;
  if (!ClipRow(X1, X2, Width, Left, Count)) return;
  if (InVideoMemory) {
    // The device fills video memory; same recovery as FillRect.
    if (!Surface || !DirectDraw) return;
    const KvRect R{Left, Y, Left + Count, Y + 1};
    KvFillWithRecovery(*DirectDraw, *Surface, &R, Color, [this] { RestoreSurfaces(); });
    return;
  }
  const int Index = DepthIndex(Depth);
  if (Count <= 0 || Index < 0 || BytesPerPixel != BytesOfIndex[Index]) return;
  ActiveKernels().Fill[Index](Rows[size_t(Y)] + size_t(Left) * BytesOfIndex[Index], Count, Color);
  // Callers need not end the wide state after a span fill: it is done here.
  EndMmx();
}

void TBufferKv::HLineRows(const int32_t* X1, const int32_t* X2, int32_t FirstRow, int32_t LastRow, uint32_t Color) {
  if (FirstRow < 0) FirstRow = 0;
  if (LastRow > Height - 1) LastRow = Height - 1;
  const int Index = DepthIndex(Depth);
  if (InVideoMemory || Index < 0 || BytesPerPixel != BytesOfIndex[Index]) {
    for (int32_t Y = FirstRow; Y <= LastRow; ++Y) HLine(X1[Y], X2[Y], Y, Color);
    return;
  }
  const FillRowFn Fill = ActiveKernels().Fill[Index];
  const int Bpp = BytesOfIndex[Index];
  bool Filled = false;
  for (int32_t Y = FirstRow; Y <= LastRow; ++Y) {
    int32_t Left, Count;
    if (!ClipRow(X1[Y], X2[Y], Width, Left, Count) || Count <= 0) continue;
    Fill(Rows[size_t(Y)] + size_t(Left) * Bpp, Count, Color);
    Filled = true;
  }
  if (Filled) EndMmx();
}

void TBufferKv::TexturePoly(TBufferKv* Source, const TexVertex* Vertices, int32_t Count, uint32_t KeyColor) {
  if (!Source || !Vertices || Count < 3 || Width <= 0 || Height <= 0) return;
  const int Index = BitsPerPixel == 16 ? 1 : BitsPerPixel == 24 ? 2 : BitsPerPixel == 32 ? 3 : -1;
  // The texels are read in the destination's pixel size: the source must
  // have the same one, and some pixels.
  if (Index < 0 || Source->BitsPerPixel != BitsPerPixel || Source->Width <= 0 || Source->Height <= 0) return;
  if (EdgeX[0].size() < size_t(Height) || EdgeX[1].size() < size_t(Height) || EdgeUV[0].size() < size_t(Height) ||
      EdgeUV[1].size() < size_t(Height))
    return;
  for (int32_t i = 0; i < Count; ++i)
    if (!Finite(Vertices[i])) return;

  // 1-2. Edges, in corner order, the last one closing the polygon.
  for (int32_t i = 0; i < Count; ++i) ScanEdge(*this, Vertices[i], Vertices[i + 1 < Count ? i + 1 : 0]);

  // 3. Rows.
  float YMin = Vertices[0].Y, YMax = Vertices[0].Y;
  for (int32_t i = 1; i < Count; ++i) {
    YMin = Vertices[i].Y < YMin ? Vertices[i].Y : YMin;
    YMax = Vertices[i].Y > YMax ? Vertices[i].Y : YMax;
  }
  if (YMin == YMax) return;
  const float Top = std::ceil(YMin), Bottom = std::ceil(YMax) - 1.0f;
  if (Top > float(MaxY) || Bottom < 0.0f) return;
  const int32_t First = Top < 0.0f ? 0 : int32_t(Top);
  const int32_t Last = Bottom > float(MaxY) ? MaxY : int32_t(Bottom);

  // 4. Spans. A texture that is this very buffer must be read pixel by
  // pixel in order (a texel may be a pixel of this span already written),
  // so it takes the reference span.
  const TexSpanFn Span = Source == this ? ReferenceKernels().TexSpan[Index] : ActiveKernels().TexSpan[Index];
  const TexSource Tex{Source->Bits, Source->Pitch, Source->MaxX, Source->MaxY,
                      size_t(Source->Pitch) * size_t(Source->Height)};
  for (int32_t y = First; y <= Last; ++y) {
    int32_t Start = EdgeX[0][size_t(y)], End = EdgeX[1][size_t(y)];
    KvEdgeUV UV0 = EdgeUV[0][size_t(y)], UV1 = EdgeUV[1][size_t(y)];
    if (End < Start) {
      const int32_t T = Start;
      Start = End;
      End = T;
      const KvEdgeUV TU = UV0;
      UV0 = UV1;
      UV1 = TU;
    }
    if (End < 0 || Start > MaxX) continue;
    // Steps over the unclipped length; differences in 64 bits, the step
    // wrapped to the 32 bits the walk adds with.
    const int64_t N = int64_t(End) - Start;
    const int32_t DU = N ? WrapToInt32((int64_t(UV1.U) - UV0.U) / N) : 0;
    const int32_t DV = N ? WrapToInt32((int64_t(UV1.V) - UV0.V) / N) : 0;
    if (End > MaxX) End = MaxX;
    if (int64_t(End) - Start <= 0) continue;  // a single pixel is not drawn
    Fixed16 U = UV0.U, V = UV0.V;
    int32_t X0 = Start;
    if (X0 < 0) {  // pixels left of the buffer still advance U and V
      U = FixedAdd(U, FixedSteps(DU, uint32_t(-int64_t(X0))));
      V = FixedAdd(V, FixedSteps(DV, uint32_t(-int64_t(X0))));
      X0 = 0;
    }
    Span(Rows[size_t(y)], X0, End, U, V, DU, DV, Tex, KeyColor);
  }

  // 5.
  EndMmx();
}

void TBufferKv::RotoZoom(TBufferKv* Dest, int32_t CentreX, int32_t CentreY, float Scale, float Angle,
                         uint32_t KeyColor) {
  if (!Dest) return;
  const int32_t W = Width, H = Height;
  const float PivotX = float(W >> 1), PivotY = float(H >> 1);
  TexVertex Corners[4];
  const float At[4][2] = {{0, 0}, {float(W), 0}, {float(W), float(H)}, {0, float(H)}};
  const float Theta = Angle / 180.0f * float(Pi);
  // cos and sin in double, rounded once to single; the engine's own, so
  // that every platform turns the picture by the same bits.
  const float A = float(KvCos(double(Theta))) * Scale;
  const float B = float(KvSin(double(Theta))) * Scale;
  for (int i = 0; i < 4; ++i) {
    const float DX = At[i][0] - PivotX, DY = At[i][1] - PivotY;
    Corners[i].U = At[i][0];
    Corners[i].V = At[i][1];
    Corners[i].X = float(CentreX) + DX * A - DY * B;
    Corners[i].Y = float(CentreY) + DX * B + DY * A;
  }
  Dest->TexturePoly(this, Corners, 4, KeyColor);
}
