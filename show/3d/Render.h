// Face rendering: RenderObject draws one transformed object into Screen by
// its Mode (the Mode* constants of Object3D.h), and the four triangle
// helpers the face modes build their polygons with.
//
// Faces are drawn in ZOrder order (the face list's own order): no depth
// buffer, no sorting. A face is drawn when
//   - CullBackFaces is off, or its screen corners A, B, C run clockwise
//     (w = (Pb-Pa) x (Pc-Pa) > 0, y down), and
//   - its depth key is below EyeDistance + 100 (the near test), and
//   - its three screen positions are finite (a vertex at the eye plane has
//     none).
// Colours by mode, with light = FaceLight (0 .. 160), Round halves-to-even
// and the result taken modulo 256:
//   ModeWire      PackColor(125, 16, Round(light + 40))
//   ModeFlat      l = Round(light * 10 / 7): PackColor(l, l, 255 - l)
//   ModeGradient  d = Round(light): A (d, 255-d, d), B (d, d, 255-d), C (255-d, d, d)
// Texture positions:
//   ModeTextured    A (0, 0), B (MaxX, 0), C (0, MaxY) of Texture
//   ModeEnvMap      U = (W div 4) nx + W div 2, V = (H div 4) ny + H div 2
//   ModeEnvMapWide  U = (W / 1.9) nx + W / 1.9, V = (H / 1.9) ny + H / 1.9
// with (nx, ny) of the vertex normal and both modes' positions clamped to
// 0 .. W and 0 .. H of the texture.
// The point modes project each vertex themselves with d = EyeDistance - z + Z
// (the object's Z enters with the sign opposite to ProjectPoint's), stop at a
// vertex lying exactly at z = EyeDistance, and skip a vertex whose d is 0.
//
// Depends on: Object3D.h, Rasterizers.h, show/Show.h (Screen, Display,
// BallPic, DisplayWidth, DisplayHeight).
#pragma once

#include <cstdint>

#include "Object3D.h"

class TBufferKv;

// Draws Obj into Screen as its Mode says; changes nothing in the object.
// Obj is a shared copy. Nothing is drawn without a Screen.
void RenderObject(ObjRec Obj);

// Outline A-B-C-A with Screen's Line.
void WireTriangle(int32_t XA, int32_t YA, int32_t XB, int32_t YB, int32_t XC, int32_t YC, uint32_t Color);
// FlatPoly on Screen with corners A, B, C.
void FlatTriangle(uint32_t Color, float XA, float YA, float XB, float YB, float XC, float YC);
// GouraudPoly on Screen with the three corner colours.
void GouraudTriangle(uint32_t ColorA, uint32_t ColorB, uint32_t ColorC, float XA, float YA, float XB, float YB,
                     float XC, float YC);
// MapPoly of Texture onto Screen.
void MapTriangle(TBufferKv* Texture, float XA, float YA, float XB, float YB, float XC, float YC, float UA, float VA,
                 float UB, float VB, float UC, float VC);
