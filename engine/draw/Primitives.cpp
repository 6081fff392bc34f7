// Primitives: PutPixel, Line with its region-code clipper ClipLine,
// FillRect (a device colour fill) and the cubic Bezier curve.
//
// Pixels are written by BitsPerPixel: 16 (depths 15 and 16) the low 16
// bits, 24 the bytes blue, green, red, 32 all 32 bits. Line clips once and
// then steps with integers only, writing without bounds tests.
#include <cmath>

#include "BufferKv.h"
#include "FixedPoint.h"
#include "RowKernels.h"

namespace {

using namespace kv;

// Region code bits of a point against 0 .. MaxX, 0 .. MaxY.
constexpr int CodeBelow = 1, CodeAbove = 2, CodeLeft = 4, CodeRight = 8;

int OutCode(const TBufferKv& B, int64_t X, int64_t Y) {
  int Code = 0;
  if (Y > B.MaxY) Code |= CodeBelow;
  if (Y < 0) Code |= CodeAbove;
  if (X < 0) Code |= CodeLeft;
  if (X > B.MaxX) Code |= CodeRight;
  return Code;
}

int Sign(int32_t V) { return (V > 0) - (V < 0); }

// (A x B) div C + Base, truncating toward zero. |A| and |B| reach 2^32, so
// the product is formed in 128 bits. The crossing point of a segment that
// straddles a boundary lies between its end points, so the result fits.
int32_t Crossing(int64_t A, int64_t B, int64_t C, int64_t Base) {
  const __int128 Quotient = (__int128(A) * B) / C;
  const __int128 V = Quotient + Base;
  return int32_t(V < INT32_MIN ? INT32_MIN : V > INT32_MAX ? INT32_MAX : V);
}

// Bresenham walk of a clipped line (both ends inside), one kernel per pixel
// size, chosen once per call.
template <int Bpp>
void WalkLine(uint8_t* const* Rows, int32_t X, int32_t Y, int32_t X2, int32_t Y2, uint32_t Color) {
  const int32_t DX = X2 - X, DY = Y2 - Y;
  const int32_t DiagX = Sign(DX), DiagY = Sign(DY);
  int32_t StraightX = DiagX, StraightY = 0;
  int32_t Long = DX < 0 ? -DX : DX, Short = DY < 0 ? -DY : DY;
  if (Long <= Short) {  // a tie is stepped as steep
    StraightX = 0;
    StraightY = DiagY;
    const int32_t T = Long;
    Long = Short;
    Short = T;
  }
  int32_t Err = Long >> 1;
  for (int32_t i = 0; i <= Long; ++i) {
    uint8_t* P = Rows[Y] + size_t(X) * Bpp;
    if constexpr (Bpp == 2) Store16(P, Color);
    if constexpr (Bpp == 3) Store24(P, Color);
    if constexpr (Bpp == 4) Store32(P, Color);
    Err += Short;
    if (Err >= Long) {
      Err -= Long;
      X += DiagX;
      Y += DiagY;
    } else {
      X += StraightX;
      Y += StraightY;
    }
  }
}

// One point of the cubic, in single precision, for one coordinate.
float BezierPoint(float T, float P0, float P1, float P2, float P3) {
  const float U = 1.0f - T;
  return U * U * U * P0 + 3.0f * T * U * U * P1 + 3.0f * T * T * U * P2 + T * T * T * P3;
}

}  // namespace

void TBufferKv::PutPixel(int32_t X, int32_t Y, uint32_t Color) {
  if (X < 0 || Y < 0 || X >= Width || Y >= Height) return;
  uint8_t* Row = Rows[size_t(Y)];
  switch (BitsPerPixel) {
    case 16:
      Store16(Row + size_t(X) * 2, Color);
      break;
    case 24:
      Store24(Row + size_t(X) * 3, Color);
      break;
    case 32:
      Store32(Row + size_t(X) * 4, Color);
      break;
    default:
      break;
  }
}

// Cohen-Sutherland against 0 .. MaxX, 0 .. MaxY. A crossing is computed only
// for an end point outside a boundary that the other end point is not
// outside of (a shared bit rejects first), so the divisor is never 0.
bool TBufferKv::ClipLine(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2) {
  int Code1 = OutCode(*this, X1, Y1), Code2 = OutCode(*this, X2, Y2);
  // Each round puts one end point on a boundary line; a few rounds suffice
  // for any segment. The bound only guards against a cycle.
  for (int Round = 0; Code1 | Code2; ++Round) {
    if ((Code1 & Code2) || Round >= 16) return true;
    const int Code = Code1 ? Code1 : Code2;
    const int64_t DX = int64_t(X2) - X1, DY = int64_t(Y2) - Y1;
    int32_t X, Y;
    if (Code & CodeBelow) {
      Y = MaxY;
      X = Crossing(DX, int64_t(MaxY) - Y1, DY, X1);
    } else if (Code & CodeAbove) {
      Y = 0;
      X = Crossing(DX, -int64_t(Y1), DY, X1);
    } else if (Code & CodeRight) {
      X = MaxX;
      Y = Crossing(DY, int64_t(MaxX) - X1, DX, Y1);
    } else {
      X = 0;
      Y = Crossing(DY, -int64_t(X1), DX, Y1);
    }
    if (Code == Code1) {
      X1 = X;
      Y1 = Y;
      Code1 = OutCode(*this, X1, Y1);
    } else {
      X2 = X;
      Y2 = Y;
      Code2 = OutCode(*this, X2, Y2);
    }
  }
  return false;
}

void TBufferKv::Line(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, uint32_t Color) {
  if (Width <= 0 || Height <= 0) return;
  if (ClipLine(X1, Y1, X2, Y2)) return;
  if (X1 == X2 && Y1 == Y2) {
    PutPixel(X1, Y1, Color);
    return;
  }
  switch (BitsPerPixel) {
    case 16:
      WalkLine<2>(Rows.data(), X1, Y1, X2, Y2, Color);
      break;
    case 24:
      WalkLine<3>(Rows.data(), X1, Y1, X2, Y2, Color);
      break;
    case 32:
      WalkLine<4>(Rows.data(), X1, Y1, X2, Y2, Color);
      break;
    default:
      break;
  }
}

void TBufferKv::FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, uint32_t Color) {
  if (!Surface || !DirectDraw) return;
  KvRect R;
  R.Left = X1 < X2 ? X1 : X2;
  R.Right = X1 < X2 ? X2 : X1;
  R.Top = Y1 < Y2 ? Y1 : Y2;
  R.Bottom = Y1 < Y2 ? Y2 : Y1;
  if (R.Right < 0 || R.Bottom < 0 || R.Left > Width || R.Top > Height) return;
  if (R.Left < 0) R.Left = 0;
  if (R.Top < 0) R.Top = 0;
  if (R.Right > Width) R.Right = Width;
  if (R.Bottom > Height) R.Bottom = Height;
  // Half-open: columns Left .. Right-1 of rows Top .. Bottom-1. An empty
  // rectangle is refused by the device, which is "nothing filled".
  KvFillWithRecovery(*DirectDraw, *Surface, &R, Color, [this] { RestoreSurfaces(); });
}

// Segments + 1 points at t = 0, step, 2 step, ... (t accumulated in single
// precision), each joined to the one before; the first pass draws the start
// point alone. Points are rounded half to even; a control point far outside
// int32 cannot occur (the inputs are int32), but a rounded sum of them may
// reach 2^31, which the conversion saturates.
void TBufferKv::Bezier(int32_t X0, int32_t Y0, int32_t X3, int32_t Y3, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                       int32_t Segments, uint32_t Color) {
  if (Segments <= 0) return;
  const float Step = 1.0f / float(Segments);
  float T = 0.0f;
  int32_t PrevX = RoundToInt32(BezierPoint(0.0f, float(X0), float(X1), float(X2), float(X3)));
  int32_t PrevY = RoundToInt32(BezierPoint(0.0f, float(Y0), float(Y1), float(Y2), float(Y3)));
  for (int64_t i = 0; i <= int64_t(Segments); ++i) {
    const int32_t X = RoundToInt32(BezierPoint(T, float(X0), float(X1), float(X2), float(X3)));
    const int32_t Y = RoundToInt32(BezierPoint(T, float(Y0), float(Y1), float(Y2), float(Y3)));
    T += Step;
    Line(X, Y, PrevX, PrevY, Color);
    PrevX = X;
    PrevY = Y;
  }
}
