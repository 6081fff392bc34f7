// Fuzz target: the mesh parser, then one transform of what it accepted.
//
// Any input must either be refused with a one-line message naming a line, or
// give a mesh whose counts, indices and normals keep every later stage in
// bounds. A violated promise aborts, which the fuzzer reports.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "FuzzCheck.h"
#include "show/3d/Mesh.h"

namespace {

bool UnitOrZero(float X, float Y, float Z) {
  const double L = std::sqrt(double(X) * X + double(Y) * Y + double(Z) * Z);
  return L == 0 || std::fabs(L - 1) < 1e-5;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static const bool Ready = (InitSinCos(), SetLight(0, 0, 1), true);
  (void)Ready;

  std::istringstream In(std::string(reinterpret_cast<const char*>(Data), Size));
  ObjRec Mesh;
  std::string Error;
  if (!ParseMesh(In, Mesh, Error)) {
    Check(Error.compare(0, 5, "line ") == 0);
    Check(Error.find('\n') == std::string::npos && Error.find('\r') == std::string::npos);
    Check(Mesh.VertexCount == 0 && Mesh.Vertices.Length() == 0);
    return 0;
  }
  Check(Mesh.VertexCount >= 1 && Mesh.VertexCount <= MaxMeshCount);
  Check(Mesh.FaceCount >= 1 && Mesh.FaceCount <= MaxMeshCount);
  Check(Mesh.Vertices.Length() == Mesh.VertexCount + 1u && Mesh.Projected.Length() == Mesh.VertexCount + 1u);
  Check(Mesh.Faces.Length() == Mesh.FaceCount + 1u && Mesh.ZOrder.Length() == Mesh.FaceCount + 1u);
  for (size_t j = 0; j < Mesh.FaceCount; ++j) {
    const FaceRec& F = Mesh.Faces[j];
    Check(F.A < Mesh.VertexCount && F.B < Mesh.VertexCount && F.C < Mesh.VertexCount);
    const NormalRec& N = Mesh.FaceNormals[j];
    Check(std::isfinite(N.X) && std::isfinite(N.Y) && std::isfinite(N.Z));
    Check(UnitOrZero(N.X, N.Y, N.Z));
    Check(Mesh.ZOrder[j].Face == int32_t(j));
  }
  for (size_t v = 0; v < Mesh.VertexCount; ++v) {
    const VoxelRec& N = Mesh.VertexNormals[v];
    Check(UnitOrZero(N.X, N.Y, N.Z));
  }
  Mesh.SpinX = 7;
  Mesh.SpinY = -3;
  Mesh.SpinZ = 40;
  TransformObject(Mesh);  // no Screen: every position NaN, nothing else changes
  for (size_t j = 0; j < Mesh.FaceCount; ++j) Check(Mesh.FaceLight[j] >= 0 && Mesh.FaceLight[j] <= 160.001);
  return 0;
}
