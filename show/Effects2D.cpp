// The show's 2D effects: a starfield of 600 pixels flying toward the viewer
// and a swarm of 40 additive star sprites turning in 3D.
//
// Depends on: Random (Main.cpp), PutPixel / DrawAdd of TBufferKv, PackColor,
// RotatePoint / ProjectPoint / RoundToInt32 of show/3d (rounding halves
// to even; positions projected through the eye plane come back as NaN and
// become INT32_MIN, which DrawAdd clips), the globals Screen and StarPic.
//
// Both effects draw their Random values in a fixed order (the order matters
// for seeded runs): every value is taken into a local before it is used,
// because C++ leaves the order of function arguments open.
#include "Effects2D.h"

#include "3d/Object3D.h"
#include "Show.h"
#include <kelvra/draw/FixedPoint.h>

StarRec Stars[StarCount + 1];
SwarmRec Swarm[SwarmCount];

namespace {

// a + b, a - b, a * b with 32-bit wrap-around, as the integer arithmetic of the effects
// is defined (the show's values never come near the limits).
int32_t Add32(int32_t A, int32_t B) {
  return static_cast<int32_t>(static_cast<uint32_t>(A) + static_cast<uint32_t>(B));
}
int32_t Sub32(int32_t A, int32_t B) {
  return static_cast<int32_t>(static_cast<uint32_t>(A) - static_cast<uint32_t>(B));
}
int32_t Mul32(int32_t A, int32_t B) {
  return static_cast<int32_t>(static_cast<uint32_t>(A) * static_cast<uint32_t>(B));
}
// Integer division truncating toward zero; the one quotient that overflows
// (INT32_MIN div -1) wraps like the multiplication.
int32_t Div32(int32_t A, int32_t B) {
  if (B == -1) return Mul32(A, -1);
  return A / B;
}

}  // namespace

void InitStars(int32_t X, int32_t Y, int32_t RangeX, int32_t RangeY, int32_t DepthRange, int32_t DivX, int32_t DivY) {
  if (DivX == 0 || DivY == 0) return;  // no centre to place the stars around
  for (int i = 1; i <= StarCount; ++i) {
    const int32_t RX = Random(RangeX);
    Stars[i].X = static_cast<float>(Add32(Sub32(RX, Div32(RangeX, DivX)), X));
    const int32_t RY = Random(RangeY);
    Stars[i].Y = static_cast<float>(Add32(Sub32(RY, Div32(RangeY, DivY)), Y));
    Stars[i].Z = static_cast<float>(Random(Div32(DepthRange, 2)));
  }
}

void RespawnStar(int32_t Index, int32_t Left, int32_t Top, int32_t RangeX, int32_t RangeY, int32_t DivX, int32_t DivY) {
  if (Index < 1 || Index > StarCount || DivX == 0 || DivY == 0) return;
  StarRec& S = Stars[Index];
  const int32_t RX = Random(RangeX);
  S.X = static_cast<float>(Add32(Sub32(RX, Div32(RangeX, DivX)), Left));
  const int32_t RY = Random(RangeY);
  S.Y = static_cast<float>(Add32(Sub32(RY, Div32(RangeY, DivY)), Top));
  S.Z = 1.0f;
}

void DrawStar(TBufferKv* Buffer, int32_t X, int32_t Y, int32_t Z) {
  // (Z + k) mod 256 as a byte: the low 8 bits, so colours wrap past 255.
  const uint32_t U = static_cast<uint32_t>(Z);
  Buffer->PutPixel(X, Y, PackColor(static_cast<uint8_t>(U + 50u), static_cast<uint8_t>(U + 60u),
                                   static_cast<uint8_t>(U + 70u)));
}

void Starfield(TBufferKv* Buffer, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, int32_t Scale, int32_t Speed,
               int32_t DivX, int32_t DivY) {
  if (DivX == 0 || DivY == 0) return;
  const int32_t CentreX = Div32(Right, DivX);
  const int32_t CentreY = Div32(Bottom, DivY);
  for (int i = 1; i <= StarCount; ++i) {
    StarRec& S = Stars[i];
    const int32_t IX = RoundToInt32(S.X);
    const int32_t IY = RoundToInt32(S.Y);
    // 180 is the viewing distance; 180 - Z is exact in double.
    int32_t Depth = RoundToInt32(180.0 - static_cast<double>(S.Z));
    if (Depth <= 0) Depth = 1;
    const int32_t SX = Add32(Mul32(IX, Scale) / Depth, CentreX);
    const int32_t SY = Add32(Mul32(IY, Scale) / Depth, CentreY);
    const int32_t IZ = RoundToInt32(S.Z);
    if (SX < Left || SX > Right || SY < Top || SY > Bottom || IZ > Scale) {
      RespawnStar(i, Left, Top, Right, Bottom, DivX, DivY);
    } else {
      DrawStar(Buffer, SX, SY, IZ);
    }
    // Single + integer, rounded once to single (the sum is exact in double).
    S.Z = kv::HoldAsFloat(static_cast<double>(S.Z) + static_cast<double>(Speed));
  }
}

void InitSwarm() {
  for (SwarmRec& P : Swarm) {
    int32_t A = Random(250);
    int32_t B = Random(150);
    P.X = A - B;
    A = Random(250);
    B = Random(150);
    P.Y = A - B;
    A = Random(250);
    B = Random(150);
    P.Z = A - B;
    A = Random(10);
    B = Random(10);
    P.Drift = A - B;
  }
}

void DrawSwarm() {
  for (SwarmRec& P : Swarm) {
    float FX = static_cast<float>(P.X);
    float FY = static_cast<float>(P.Y);
    float FZ = static_cast<float>(P.Z);
    const int32_t M = Mul32(10, P.Drift);
    const int32_t StepX = Random(5) + 10;
    const int32_t StepY = -Random(5);
    const int32_t Z1 = Random(5);
    const int32_t Z2 = Random(5);
    const int32_t StepZ = Sub32(Add32(M, Z1), Z2);
    RotatePoint(FX, FY, FZ, StepX, StepY, StepZ);
    int32_t R = Random(2);
    P.X = Add32(Add32(R, RoundToInt32(FX)), M);
    R = Random(2);
    P.Y = Add32(Add32(R, RoundToInt32(FY)), M);
    R = Random(2);
    P.Z = Add32(Add32(R, RoundToInt32(FZ)), M);
    double SX = 0, SY = 0;
    ProjectPoint(SX, SY, FX, FY, FZ);
    StarPic->DrawAdd(Screen, RoundToInt32(SX), RoundToInt32(SY));
  }
}
