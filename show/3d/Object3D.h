// 3D objects: the object record, its shared arrays, the sine and cosine
// tables, point rotation, perspective projection, the light and the
// per-frame TransformObject.
//
// There is no camera and no matrix: the eye sits at z = EyeDistance looking
// towards negative z, objects are turned by rotating their stored vertices in
// place, and the renderer (Render.h) decides per face what to draw.
//
// Angles are whole table steps of pi/540 (1080 steps per turn).
//
// Precision, fixed so that every build turns and projects alike: arithmetic
// is done in double; the values held as 32-bit floats (rotation
// intermediates X1, Y1, Z1, the projection factor, stored coordinates and
// normals) are rounded to float exactly where noted in Object3D.cpp.
//
// Depends on: engine/draw/BufferKv.h (the texture reference), show/Show.h
// (Screen, read by ProjectPoint).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include <kelvra/pack/TurnTables.h>

class TBufferKv;

// A reference-counted array: copying the handle shares the elements, so work
// done through a copy of an ObjRec lands in the object's own arrays.
// Allocate gives this handle fresh zero-filled storage; other handles keep
// the old elements. Indexing is unchecked (callers keep to Length()).
template <typename T>
class TSharedArray {
 public:
  void Allocate(size_t Count) { Data = std::make_shared<std::vector<T>>(Count); }
  size_t Length() const { return Data ? Data->size() : 0; }
  T& operator[](size_t Index) const { return (*Data)[Index]; }
  T* Elements() const { return Data ? Data->data() : nullptr; }
  bool SharesWith(const TSharedArray& Other) const { return Data && Data == Other.Data; }

 private:
  std::shared_ptr<std::vector<T>> Data;
};

struct VoxelRec {  // point in object space (12 bytes)
  float X = 0, Y = 0, Z = 0;
};
struct PixelRec {  // point on the screen (16 bytes); NaN when it has none
  double X = 0, Y = 0;
};
struct NormalRec {  // unit normal (12 bytes)
  float X = 0, Y = 0, Z = 0;
};
struct FaceRec {  // triangle, vertex indices counted from 0 (6 bytes)
  uint16_t A = 0, B = 0, C = 0;
};
struct OrdZRec {  // depth entry of a face (8 bytes)
  float Key = 0;      // a whole number: Round of the face's three z values
  int32_t Face = 0;   // always the entry's own index
};

using TVoxel = TSharedArray<VoxelRec>;
using TPixel = TSharedArray<PixelRec>;
using TNormal = TSharedArray<NormalRec>;
using TFaces = TSharedArray<FaceRec>;
using TReal = TSharedArray<double>;
using OrdZTable = TSharedArray<OrdZRec>;

// Drawing modes (RenderObject, Render.h). 0 and anything above 8 draw nothing.
constexpr uint16_t ModePoints = 1;      // one pixel per vertex
constexpr uint16_t ModeWire = 2;        // outline of every face
constexpr uint16_t ModeFlat = 3;        // one colour per face, from its light
constexpr uint16_t ModeGradient = 4;    // three corner colours from its light
constexpr uint16_t ModeTextured = 5;    // Texture stretched over every face
constexpr uint16_t ModeEnvMap = 6;      // Texture by vertex normals, middle half
constexpr uint16_t ModeSprites = 7;     // BallPic added at every vertex
constexpr uint16_t ModeEnvMapWide = 8;  // Texture by vertex normals, whole texture

// One 3D object. Vertex arrays (Vertices, Projected, VertexNormals,
// VertexLight) hold VertexCount + 1 elements, face arrays (Faces,
// FaceNormals, FaceLight, ZOrder) FaceCount + 1; the last is a spare.
struct ObjRec {
  uint16_t VertexCount = 0;
  uint16_t FaceCount = 0;
  TVoxel Vertices;       // turned in place every frame: the current orientation
  TPixel Projected;      // screen position of each vertex, last frame
  TVoxel VertexNormals;  // turned with the vertices while RotateNormals is set
  TReal VertexLight;     // allocated, used by no mode
  TFaces Faces;
  TNormal FaceNormals;   // turned with the vertices while RotateNormals is set
  TReal FaceLight;       // 0 .. 160, last frame
  OrdZTable ZOrder;      // entry j is face j; rebuilt in face order every frame
  int32_t X = 0, Y = 0, Z = 0;  // position of the object's origin
  uint16_t Mode = 0;
  TBufferKv* Texture = nullptr;  // not owned
  int32_t SpinX = 0;  // steps per frame about x (turns y and z)
  int32_t SpinY = 0;  // about y (turns x and z)
  int32_t SpinZ = 0;  // about z (turns x and y), applied first
};

// An empty object of VertexCount vertices and FaceCount faces: the counts
// set and every array given fresh zero-filled storage of its size (count + 1).
ObjRec MakeObject(uint16_t VertexCount, uint16_t FaceCount);

// Shared state of the object renderer, set once by LoadMeshes (Mesh.h).
constexpr int SinCosSteps = KvTurnSteps;
extern double SinTable[SinCosSteps + 1];  // sin(i * pi / 540), i = 0 .. 1080
extern double CosTable[SinCosSteps + 1];
extern int32_t EyeDistance;    // z of the eye; 100
extern NormalRec LightVector;  // as passed to SetLight, held as floats
extern NormalRec LightDir;     // LightVector scaled to unit length
extern bool CullBackFaces;     // RenderObject skips faces not turning clockwise
extern bool RotateNormals;     // TransformObject turns the normals too

// Round as the object renderer uses it: to the nearest whole number, halves to the
// even neighbour (2.5 -> 2, 3.5 -> 4). std::nearbyint under the default
// rounding mode (FE_TONEAREST), which nothing in the program changes.
double RoundEven(double Value);
// RoundEven, then converted to int32 without undefined behaviour: values past
// the int32 range saturate, NaN gives INT32_MIN (a position every drawing
// routine clips away).
int32_t RoundToInt32(double Value);

// Fills SinTable and CosTable (KvTurnTables: the asset pack's copy when a
// pack is active); called once before any rotation.
void InitSinCos();
// Turns (X, Y, Z) in place: StepZ first, then StepX, then StepY. A negative
// step has 1080 added; steps are meant to lie in -1080 .. 1080 (others are
// reduced modulo 1080 so the tables are never read out of range).
void RotatePoint(float& X, float& Y, float& Z, int32_t StepX, int32_t StepY, int32_t StepZ);
// Perspective projection onto Screen: f = Screen.Height / (EyeDistance - Z)
// held as a float; ScreenX = f*X + HalfWidth, ScreenY = f*Y + HalfHeight.
// At the eye plane (EyeDistance - Z == 0) the point has no screen position:
// both results are NaN, which every renderer routine skips. Without a Screen
// both are NaN too.
void ProjectPoint(double& ScreenX, double& ScreenY, double X, double Y, double Z);
// LightVector := (X, Y, Z) as floats; LightDir := LightVector / its length
// (a zero vector gives LightDir (0, 0, 0): every face unlit).
void SetLight(double X, double Y, double Z);
// The per-frame step: turns vertices (and normals while RotateNormals is
// set) by the spins, projects them, lights the faces and rebuilds ZOrder.
// Obj is a shared copy: the results land in the object's own arrays.
void TransformObject(ObjRec Obj);
