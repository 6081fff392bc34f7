// Triangle (convex polygon) rasterizers of the object renderer: flat, Gouraud and
// affine-textured fills into a TBufferKv.
//
// All three share one scan conversion. Each edge is walked once, top to
// bottom, in 16.16 fixed point, writing its x (and its colour or texture
// position) per row into the destination's edge tables EdgeX / EdgeRGB /
// EdgeUV: side 0 gets the edges that run down in corner order, side 1 those
// that run up. Then every row of the polygon is filled between its two sides.
// On the fast path (not KELVRA_REFERENCE) a triangle that needs no clip walks
// the same edges with the same arithmetic together with its rows instead:
// MapPoly leaves the edge tables as they were, FlatPoly fills EdgeX alike.
//
// Fill rule: a row r is covered by an edge from y1 to y2 (y1 < y2) when
// y1 <= r < y2, so a row through a corner belongs to the edge below it and
// the polygon covers rows Ceil(ymin) .. Ceil(ymax) - 1. Flat rows are filled
// with both ends included (HLine); Gouraud and textured rows skip a span whose
// two ends fall on one column and otherwise include both end columns.
//
// Corners may be given in either winding; Count corners are read from
// Vertices. Corners whose X or Y is NaN or infinite, or whose U or V (for
// MapPoly) is not finite or beyond +-PolyTextureLimit, make the call draw
// nothing. Finite X and Y beyond +-PolyCornerLimit are clipped to that box
// first, so the 16.16 walk never overflows; the box lies far outside every
// buffer, so what is visible is unchanged.
//
// Depends on: engine/draw/BufferKv.h (HLine, edge tables, rows),
// engine/draw/PixelFormat.h, engine/draw/FastPath.h (FastMove, EndMmx).
#pragma once

#include <cstdint>

#include <kelvra/draw/BufferKv.h>

constexpr float PolyCornerLimit = 32000.0f;
constexpr float PolyTextureLimit = 16383.0f;

// The polygon in one pixel value (Dest's format), row by row through HLine.
void FlatPoly(TBufferKv* Dest, const TexVertex* Vertices, int32_t Count, uint32_t Color);
// Colours interpolated from the corners' Color fields (pixel values of Dest's
// depth), per pixel packed again; ends with EndMmx.
void GouraudPoly(TBufferKv* Dest, const TexVertex* Vertices, int32_t Count);
// Source's pixels at the corners' (U, V), mapped affinely and copied
// unchanged; positions outside Source take its nearest edge texel. Source
// must have Dest's pixel size (else nothing is drawn) and may be Dest itself:
// each texel is read when the span reaches it. Ends with EndMmx.
void MapPoly(TBufferKv* Dest, TBufferKv* Source, const TexVertex* Vertices, int32_t Count);
