// Mesh loader: ASCII mesh files (the layout of 3D Studio's .asc export),
// face and vertex normals, and the 3D start-up LoadMeshes.
//
// The loader looks at no word of the file: it finds its numbers by counting
// colons. Skipping to a colon reads characters, line ends included, up to and
// including the next colon. Reading a number skips blanks (codes 0 .. 32) and
// takes the characters up to the next blank, which must convert as a whole.
//
//   skip 2 colons, vertex count; skip 1, face count; rest of that line skipped
//   the next line is ignored whole (colons on it do not count)
//   per vertex: skip 2, X; skip 1, Y; skip 1, Z
//   per face:   skip 3, A; skip 1, B; skip 1, C; 3 x (skip 1, integer ignored)
//
// Failures (unopenable file, a number that does not convert, the file ending
// while looking for a colon, a count of 0 or above 3000, a face index not
// below the vertex count, a face with no area, a vertex whose face normals
// cancel) end the show through FatalError with one line naming the file, the
// line number and the fault, e.g.
//   [MeshLoader]LoadMesh -> ASC/cone.asc line 12: face 3 has index 97, not below the vertex count 40
//
// Depends on: Object3D.h, show/Show.h (AssetPath, display size),
// show/Effects2D.h (InitStars), engine/core/Errors.h (FatalError).
#pragma once

#include <cstdint>
#include <istream>
#include <string>

#include "Object3D.h"

// Largest vertex and face count a mesh may have.
constexpr int32_t MaxMeshCount = 3000;

// The show objects, one per Mesh row of AssetTable.h, and the loader's work
// record.
#define NERITH_ASSET_Mesh(Name, File) extern ObjRec Name;
#include "../AssetTable.h"
extern ObjRec MeshWork;

// Parses one mesh from Stream into Out: new arrays of the new sizes, counts,
// vertices, faces, depth keys and normals; position, mode, texture and spins
// 0. On failure returns false, leaves Out untouched and sets ErrorText to
// "line N: what was wrong". Never ends the process.
bool ParseMesh(std::istream& Stream, ObjRec& Out, std::string& ErrorText);

// Reads the show file FileName ("ASC/cone.asc", through AssetPath) into
// MeshWork. Any failure ends the show through FatalError.
void LoadMesh(const std::string& FileName);

// What ComputeNormals found wrong: nothing, a face whose normal has length 0
// (or is not finite), or a used vertex whose face normals add up to zero.
struct NormalsFault {
  enum KindType { None, FlatFace, CancelledVertex } Kind = None;
  int32_t Index = 0;  // the face or the vertex
};
// Face normals by the right-hand rule from A, B, C (floats, unit length);
// vertex normals as the normalised mean of the normals of the faces using
// the vertex (summed in double); (0, 0, 0) for a vertex no face uses.
// Writes into Obj's arrays; stops at the first fault.
NormalsFault ComputeNormals(ObjRec Obj);

// The 3D start-up: InitStars, InitSinCos, SetLight(0, 0, 1),
// EyeDistance 100, CullBackFaces and RotateNormals on, then the six meshes.
void LoadMeshes();
