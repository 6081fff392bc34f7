// Object record arithmetic: tables, rotation, projection, light and the
// per-frame transform. See Object3D.h for the contracts.
#include "Object3D.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "../Show.h"
#include <kelvra/draw/FixedPoint.h>

double SinTable[SinCosSteps + 1];
double CosTable[SinCosSteps + 1];
int32_t EyeDistance = 100;
NormalRec LightVector;
NormalRec LightDir;
bool CullBackFaces = true;
bool RotateNormals = true;

ObjRec MakeObject(uint16_t VertexCount, uint16_t FaceCount) {
  ObjRec O;
  O.VertexCount = VertexCount;
  O.FaceCount = FaceCount;
  O.Vertices.Allocate(size_t(VertexCount) + 1);
  O.Projected.Allocate(size_t(VertexCount) + 1);
  O.VertexNormals.Allocate(size_t(VertexCount) + 1);
  O.VertexLight.Allocate(size_t(VertexCount) + 1);
  O.Faces.Allocate(size_t(FaceCount) + 1);
  O.FaceNormals.Allocate(size_t(FaceCount) + 1);
  O.FaceLight.Allocate(size_t(FaceCount) + 1);
  O.ZOrder.Allocate(size_t(FaceCount) + 1);
  return O;
}

static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559,
              "the object renderer relies on IEEE 754 floats (infinities and NaN propagate, no traps)");

double RoundEven(double Value) { return kv::NearestEven(Value); }

int32_t RoundToInt32(double Value) {
  const double R = RoundEven(Value);
  if (!(R >= -2147483648.0)) return INT32_MIN;  // also NaN
  if (R > 2147483647.0) return INT32_MAX;
  return static_cast<int32_t>(R);
}

// A build that draws from the asset pack takes the tables the native build
// computed: these values reach every 3D frame.
void InitSinCos() { KvTurnTables(SinTable, CosTable); }

// A step as a table index: negative steps get one turn added, as the show's
// spins expect (-1 is 1079). Anything still outside 0 .. 1080 comes only from
// a caller outside the engine's limits; it is reduced into the table rather
// than read past it.
static inline int32_t TableIndex(int32_t Step) {
  if (Step < 0) Step += SinCosSteps;
  if (Step >= 0 && Step <= SinCosSteps) return Step;
  Step %= SinCosSteps;
  return Step < 0 ? Step + SinCosSteps : Step;
}

namespace {

// The sines and cosines of one rotation, looked up once for all the points
// an object turns by it.
struct Turn {
  double Sx, Cx, Sy, Cy, Sz, Cz;

  Turn(int32_t StepX, int32_t StepY, int32_t StepZ) {
    const int32_t Ix = TableIndex(StepX), Iy = TableIndex(StepY), Iz = TableIndex(StepZ);
    Sx = SinTable[Ix], Cx = CosTable[Ix];
    Sy = SinTable[Iy], Cy = CosTable[Iy];
    Sz = SinTable[Iz], Cz = CosTable[Iz];
  }

  void Apply(float& X, float& Y, float& Z) const {
    const double x = X, y = Y, z = Z;
    // About z: X1, Y1 are held as floats before the next plane uses them.
    const double X1 = kv::HoldAsFloat(x * Cz - y * Sz);
    const double Y1 = kv::HoldAsFloat(x * Sz + y * Cz);
    // About x: Z1 is held as a float; the new Y is final.
    const double Z1 = kv::HoldAsFloat(Y1 * Sx + z * Cx);
    Y = kv::HoldAsFloat(Y1 * Cx - z * Sx);
    // About y.
    X = kv::HoldAsFloat(X1 * Cy - Z1 * Sy);
    Z = kv::HoldAsFloat(X1 * Sy + Z1 * Cy);
  }
};

}  // namespace

void RotatePoint(float& X, float& Y, float& Z, int32_t StepX, int32_t StepY, int32_t StepZ) {
  Turn(StepX, StepY, StepZ).Apply(X, Y, Z);
}

void ProjectPoint(double& ScreenX, double& ScreenY, double X, double Y, double Z) {
  const double Denominator = EyeDistance - Z;
  if (Screen == nullptr || Denominator == 0 || std::isnan(Denominator)) {
    ScreenX = ScreenY = std::numeric_limits<double>::quiet_NaN();
    return;
  }
  // IEEE division: a denominator tiny enough gives an infinite factor and a
  // non-finite position, which the renderer skips like the NaN above.
  const double F = kv::HoldAsFloat(Screen->Height / Denominator);
  ScreenX = F * X + Screen->HalfWidth;
  ScreenY = F * Y + Screen->HalfHeight;
}

void SetLight(double X, double Y, double Z) {
  LightVector.X = kv::HoldAsFloat(X);
  LightVector.Y = kv::HoldAsFloat(Y);
  LightVector.Z = kv::HoldAsFloat(Z);
  const double Lx = LightVector.X, Ly = LightVector.Y, Lz = LightVector.Z;
  const double Length = std::sqrt(Lx * Lx + Ly * Ly + Lz * Lz);
  if (!(Length > 0) || !std::isfinite(Length)) {
    LightDir = NormalRec{};
    return;
  }
  LightDir.X = kv::HoldAsFloat(Lx / Length);
  LightDir.Y = kv::HoldAsFloat(Ly / Length);
  LightDir.Z = kv::HoldAsFloat(Lz / Length);
}

void TransformObject(ObjRec Obj) {
  // Counts are trusted only as far as the arrays reach (a record built by
  // hand may disagree with its arrays; the loader's never do).
  const size_t VertexN = std::min<size_t>({Obj.VertexCount, Obj.Vertices.Length(), Obj.Projected.Length()});
  const size_t FaceN = std::min<size_t>({Obj.FaceCount, Obj.Faces.Length(), Obj.FaceLight.Length(), Obj.ZOrder.Length()});
  const size_t VertexNormalN = Obj.VertexNormals.Length();
  const size_t FaceNormalN = Obj.FaceNormals.Length();
  const size_t VertexLength = Obj.Vertices.Length();

  const Turn Spin(Obj.SpinX, Obj.SpinY, Obj.SpinZ);
  for (size_t i = 0; i < VertexN; ++i) {
    VoxelRec& V = Obj.Vertices[i];
    Spin.Apply(V.X, V.Y, V.Z);
    if (RotateNormals && i < VertexNormalN) {
      VoxelRec& N = Obj.VertexNormals[i];
      Spin.Apply(N.X, N.Y, N.Z);
    }
    PixelRec& P = Obj.Projected[i];
    ProjectPoint(P.X, P.Y, Obj.X + static_cast<double>(V.X), Obj.Y + static_cast<double>(V.Y),
                 Obj.Z + static_cast<double>(V.Z));
  }

  const double Lx = LightDir.X, Ly = LightDir.Y, Lz = LightDir.Z;
  for (size_t j = 0; j < FaceN; ++j) {
    double Light = 0;
    if (j < FaceNormalN) {
      NormalRec& N = Obj.FaceNormals[j];
      if (RotateNormals) Spin.Apply(N.X, N.Y, N.Z);
      Light = (N.X * Lx + N.Y * Ly + N.Z * Lz) * 160;
    }
    Obj.FaceLight[j] = Light >= 0 ? Light : 0;  // NaN is "not at least 0" too

    const FaceRec& F = Obj.Faces[j];
    OrdZRec& Entry = Obj.ZOrder[j];
    Entry.Face = static_cast<int32_t>(j);
    if (F.A < VertexLength && F.B < VertexLength && F.C < VertexLength) {
      const double Sum = static_cast<double>(Obj.Vertices[F.A].Z) + Obj.Vertices[F.B].Z + Obj.Vertices[F.C].Z;
      Entry.Key = kv::HoldAsFloat(RoundEven(Sum));
    } else {
      Entry.Key = std::numeric_limits<float>::infinity();  // never passes the near test
    }
  }
}
