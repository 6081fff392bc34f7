// The six meshes of the show and their ASCII mesh files.
//
// Coordinates are in the show's units: the eye sits at z = 100 looking
// towards -z, screen y grows downwards (mesh +y is down on the screen), and a
// face's normal by the right-hand rule from A, B, C points out of the solid.
#pragma once

#include <string>
#include <vector>

namespace assetgen {

struct Vec3 {
  float X = 0.0f, Y = 0.0f, Z = 0.0f;
};
inline Vec3 operator+(Vec3 A, Vec3 B) { return {A.X + B.X, A.Y + B.Y, A.Z + B.Z}; }
inline Vec3 operator-(Vec3 A, Vec3 B) { return {A.X - B.X, A.Y - B.Y, A.Z - B.Z}; }
inline Vec3 operator*(Vec3 A, float K) { return {A.X * K, A.Y * K, A.Z * K}; }
inline float Dot(Vec3 A, Vec3 B) { return A.X * B.X + A.Y * B.Y + A.Z * B.Z; }
inline Vec3 Cross(Vec3 A, Vec3 B) { return {A.Y * B.Z - A.Z * B.Y, A.Z * B.X - A.X * B.Z, A.X * B.Y - A.Y * B.X}; }
float Length(Vec3 A);
Vec3 Normalize(Vec3 A);

struct Tri {
  int A, B, C;
};

struct Mesh {
  std::string Name;  // written into the name line; no colons
  std::vector<Vec3> V;
  std::vector<Tri> F;
};

// The largest mesh the show accepts.
constexpr int kMaxMeshVertices = 3000;
constexpr int kMaxMeshFaces = 3000;

Mesh MakeObjSphere();      // ASC/sphere.asc: geodesic sphere, radius 22, 362 vertices
Mesh MakeObjSky();         // ASC/sky.asc: swirled dome facing the eye, radius 36
Mesh MakeObjCrv();         // ASC/Crv.asc: trefoil knot tube, about 85 across
Mesh MakeObjCone();        // ASC/cone.asc: fluted, twisted cone pointing at the eye
Mesh MakeObjCropCir();  // ASC/CropCir.asc: disc with crop-circle rings in relief
Mesh MakeObjTW();          // ASC/TW.asc: the letters T and W, bevelled and extruded

// Throws std::runtime_error when the mesh breaks a rule of the show's loader:
// counts above the limits or zero, an index out of range, a face without area,
// a vertex used by no face or whose adjacent normals cancel out.
void ValidateMesh(const Mesh& M);

// The file text: name line, counts line, vertex list, faces each followed by
// its smoothing line. The loader finds the numbers by counting colons, so no
// other colon appears anywhere.
std::string FormatAsc(const Mesh& M);

// How the show places each mesh, for the previews.
struct ShowPlacement {
  float X, Y, Z;   // object position
  int TiltX;       // steps (1/1080 turn) about x applied once before showing
  int TiltY;       // steps about y
};
ShowPlacement PlacementOf(const std::string& Name);

}  // namespace assetgen
