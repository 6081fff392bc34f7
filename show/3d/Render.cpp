// RenderObject and the triangle helpers. See Render.h for the rules.
#include "Render.h"

#include <algorithm>
#include <cmath>

#include "../Show.h"
#include "Rasterizers.h"
#include <kelvra/draw/FixedPoint.h>

namespace {

// Round (halves to even) taken modulo 256, as the colour formulas use it.
inline uint8_t RoundByte(double Value) { return static_cast<uint8_t>(static_cast<uint32_t>(RoundToInt32(Value))); }

inline bool Finite(const PixelRec& P) { return std::isfinite(P.X) && std::isfinite(P.Y); }

inline float Clamped(double Value, double Max) { return kv::HoldAsFloat(std::clamp(Value, 0.0, Max)); }

// ModePoints and ModeSprites: each vertex projected on its own terms.
void RenderPoints(const ObjRec& Obj) {
  const size_t N = std::min<size_t>(Obj.VertexCount, Obj.Vertices.Length());
  const double W = DisplayWidth, H = DisplayHeight;
  const double S = Display != nullptr ? Display->ScreenHeight : Screen->ScreenHeight;
  const uint32_t PointColor = PackColor(80, 100, 255);
  for (size_t i = 0; i < N; ++i) {
    const VoxelRec& V = Obj.Vertices[i];
    if (EyeDistance - static_cast<double>(V.Z) == 0) break;  // this vertex and the rest are not drawn
    const double D = EyeDistance - static_cast<double>(V.Z) + Obj.Z;
    if (D == 0) continue;  // no division by zero: the vertex is skipped
    const double X = Obj.X + static_cast<double>(V.X), Y = Obj.Y + static_cast<double>(V.Y);
    if (Obj.Mode == ModePoints) {
      const int32_t Sx = RoundToInt32(X * S / D + DisplayWidth / 2);
      const int32_t Sy = RoundToInt32(Y * S / D + DisplayHeight / 2);
      Screen->PutPixel(Sx, Sy, PointColor);
    } else if (BallPic != nullptr) {
      const int32_t Sx = RoundToInt32(X * H / D + W / 2);
      const int32_t Sy = RoundToInt32(Y * H / D + H / 2);
      BallPic->DrawAdd(Screen, Sx, Sy);
    }
  }
}

// U or V of an environment-mapped corner, clamped into the texture.
struct EnvMapping {
  double ScaleU, OffsetU, ScaleV, OffsetV, MaxU, MaxV;
};

EnvMapping EnvMappingOf(const TBufferKv& T, bool Wide) {
  const double W = T.Width, H = T.Height;
  if (Wide) return {W / 1.9, W / 1.9, H / 1.9, H / 1.9, W, H};
  return {static_cast<double>(T.Width / 4), static_cast<double>(T.Width / 2), static_cast<double>(T.Height / 4),
          static_cast<double>(T.Height / 2), W, H};
}

void RenderFaces(const ObjRec& Obj) {
  const size_t N = std::min<size_t>(Obj.FaceCount, Obj.ZOrder.Length());
  const size_t FaceN = std::min(Obj.Faces.Length(), Obj.FaceLight.Length());
  const size_t PointN = Obj.Projected.Length();
  const size_t NormalN = Obj.VertexNormals.Length();
  const bool EnvMode = Obj.Mode == ModeEnvMap || Obj.Mode == ModeEnvMapWide;
  const bool NeedsTexture = EnvMode || Obj.Mode == ModeTextured;
  if (NeedsTexture && (Obj.Texture == nullptr || Obj.Texture->Width <= 0 || Obj.Texture->Height <= 0)) return;
  EnvMapping Env{};
  if (EnvMode) Env = EnvMappingOf(*Obj.Texture, Obj.Mode == ModeEnvMapWide);
  const double NearLimit = static_cast<double>(EyeDistance) + 100;
  // The arrays' elements and the texture's size in locals: the drawing calls
  // could change anything in memory as far as the compiler knows, so each use
  // through the shared handles would load them again.
  const OrdZRec* const ZOrder = Obj.ZOrder.Elements();
  const FaceRec* const Faces = Obj.Faces.Elements();
  const PixelRec* const Projected = Obj.Projected.Elements();
  const double* const FaceLight = Obj.FaceLight.Elements();
  const VoxelRec* const VertexNormals = Obj.VertexNormals.Elements();
  TBufferKv* const Texture = Obj.Texture;
  const uint16_t Mode = Obj.Mode;
  float TexMaxX = 0, TexMaxY = 0;
  if (Mode == ModeTextured) TexMaxX = kv::HoldAsFloat(Texture->MaxX), TexMaxY = kv::HoldAsFloat(Texture->MaxY);

  for (size_t i = 0; i < N; ++i) {
    const OrdZRec& Entry = ZOrder[i];
    if (Entry.Face < 0 || static_cast<size_t>(Entry.Face) >= FaceN) continue;
    const size_t F = static_cast<size_t>(Entry.Face);
    const FaceRec& Face = Faces[F];
    if (Face.A >= PointN || Face.B >= PointN || Face.C >= PointN) continue;
    const PixelRec &Pa = Projected[Face.A], &Pb = Projected[Face.B], &Pc = Projected[Face.C];
    if (!Finite(Pa) || !Finite(Pb) || !Finite(Pc)) continue;

    if (CullBackFaces) {
      const double W = (Pb.X - Pa.X) * (Pc.Y - Pa.Y) - (Pb.Y - Pa.Y) * (Pc.X - Pa.X);
      if (!(W > 0)) continue;
    }
    if (!(NearLimit > Entry.Key)) continue;

    const double Light = FaceLight[F];
    const float Xa = kv::HoldAsFloat(Pa.X), Ya = kv::HoldAsFloat(Pa.Y);
    const float Xb = kv::HoldAsFloat(Pb.X), Yb = kv::HoldAsFloat(Pb.Y);
    const float Xc = kv::HoldAsFloat(Pc.X), Yc = kv::HoldAsFloat(Pc.Y);
    switch (Mode) {
      case ModeWire:
        WireTriangle(RoundToInt32(Pa.X), RoundToInt32(Pa.Y), RoundToInt32(Pb.X), RoundToInt32(Pb.Y),
                     RoundToInt32(Pc.X), RoundToInt32(Pc.Y), PackColor(125, 16, RoundByte(Light + 40)));
        break;
      case ModeFlat: {
        const uint8_t L = RoundByte(Light * 10 / 7);
        FlatTriangle(PackColor(L, L, static_cast<uint8_t>(255 - L)), Xa, Ya, Xb, Yb, Xc, Yc);
        break;
      }
      case ModeGradient: {
        const uint8_t D = RoundByte(Light);
        const uint8_t E = static_cast<uint8_t>(255 - D);
        GouraudTriangle(PackColor(D, E, D), PackColor(D, D, E), PackColor(E, D, D), Xa, Ya, Xb, Yb, Xc, Yc);
        break;
      }
      case ModeTextured:
        MapTriangle(Texture, Xa, Ya, Xb, Yb, Xc, Yc, 0, 0, TexMaxX, 0, 0, TexMaxY);
        break;
      case ModeEnvMap:
      case ModeEnvMapWide: {
        if (Face.A >= NormalN || Face.B >= NormalN || Face.C >= NormalN) break;
        float U[3], V[3];
        const uint16_t Corner[3] = {Face.A, Face.B, Face.C};
        for (int k = 0; k < 3; ++k) {
          const VoxelRec& Nk = VertexNormals[Corner[k]];
          U[k] = Clamped(Env.ScaleU * Nk.X + Env.OffsetU, Env.MaxU);
          V[k] = Clamped(Env.ScaleV * Nk.Y + Env.OffsetV, Env.MaxV);
        }
        MapTriangle(Texture, Xa, Ya, Xb, Yb, Xc, Yc, U[0], V[0], U[1], V[1], U[2], V[2]);
        break;
      }
      default:
        return;
    }
  }
}

}  // namespace

void WireTriangle(int32_t XA, int32_t YA, int32_t XB, int32_t YB, int32_t XC, int32_t YC, uint32_t Color) {
  if (Screen == nullptr) return;
  Screen->Line(XA, YA, XB, YB, Color);
  Screen->Line(XB, YB, XC, YC, Color);
  Screen->Line(XC, YC, XA, YA, Color);
}

void FlatTriangle(uint32_t Color, float XA, float YA, float XB, float YB, float XC, float YC) {
  TexVertex C[3];
  C[0].X = XA, C[0].Y = YA;
  C[1].X = XB, C[1].Y = YB;
  C[2].X = XC, C[2].Y = YC;
  FlatPoly(Screen, C, 3, Color);
}

void GouraudTriangle(uint32_t ColorA, uint32_t ColorB, uint32_t ColorC, float XA, float YA, float XB, float YB,
                     float XC, float YC) {
  TexVertex C[3];
  C[0].X = XA, C[0].Y = YA, C[0].Color = ColorA;
  C[1].X = XB, C[1].Y = YB, C[1].Color = ColorB;
  C[2].X = XC, C[2].Y = YC, C[2].Color = ColorC;
  GouraudPoly(Screen, C, 3);
}

void MapTriangle(TBufferKv* Texture, float XA, float YA, float XB, float YB, float XC, float YC, float UA, float VA,
                 float UB, float VB, float UC, float VC) {
  TexVertex C[3];
  C[0].X = XA, C[0].Y = YA, C[0].U = UA, C[0].V = VA;
  C[1].X = XB, C[1].Y = YB, C[1].U = UB, C[1].V = VB;
  C[2].X = XC, C[2].Y = YC, C[2].U = UC, C[2].V = VC;
  MapPoly(Screen, Texture, C, 3);
}

void RenderObject(ObjRec Obj) {
  if (Screen == nullptr) return;
  switch (Obj.Mode) {
    case ModePoints:
    case ModeSprites:
      RenderPoints(Obj);
      break;
    case ModeWire:
    case ModeFlat:
    case ModeGradient:
    case ModeTextured:
    case ModeEnvMap:
    case ModeEnvMapWide:
      RenderFaces(Obj);
      break;
    default:
      break;  // any other mode draws nothing
  }
}
