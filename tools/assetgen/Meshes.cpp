// The six meshes and the ASCII mesh writer (see Meshes.h).
//
//   builders     MakeObjSphere, MakeObjSky, MakeObjCrv, MakeObjCone, MakeObjCropCir, MakeObjTW
//   orientation  OrientConsistently: one winding across every edge, then the
//                outward sign per connected part (signed volume)
//   output       ValidateMesh, FormatAsc
#include "Meshes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <queue>
#include <stdexcept>
#include <tuple>
#include <utility>

namespace assetgen {

namespace {
constexpr float kPi = 3.14159265358979323846f;
}

float Length(Vec3 A) { return std::sqrt(Dot(A, A)); }
Vec3 Normalize(Vec3 A) {
  float L = Length(A);
  return L > 0.0f ? A * (1.0f / L) : A;
}

namespace {

Vec3 FaceNormal(const Mesh& M, const Tri& T) { return Cross(M.V[size_t(T.B)] - M.V[size_t(T.A)], M.V[size_t(T.C)] - M.V[size_t(T.A)]); }

// Makes neighbouring faces agree on their winding (each shared edge runs in
// opposite directions in its two faces), part by part. Then each part is
// turned outward: a closed part by the sign of its enclosed volume, an open
// one (a height field) so that its normals face +z, the eye.
void OrientConsistently(Mesh& M, bool Closed) {
  const size_t N = M.F.size();
  std::map<std::pair<int, int>, std::vector<size_t>> Edges;
  auto Key = [](int A, int B) { return A < B ? std::make_pair(A, B) : std::make_pair(B, A); };
  for (size_t I = 0; I < N; ++I) {
    const Tri& T = M.F[I];
    Edges[Key(T.A, T.B)].push_back(I);
    Edges[Key(T.B, T.C)].push_back(I);
    Edges[Key(T.C, T.A)].push_back(I);
  }
  auto HasDirected = [](const Tri& T, int A, int B) {
    return (T.A == A && T.B == B) || (T.B == A && T.C == B) || (T.C == A && T.A == B);
  };
  std::vector<int> Part(N, -1);
  int Parts = 0;
  for (size_t Seed = 0; Seed < N; ++Seed) {
    if (Part[Seed] >= 0) continue;
    std::queue<size_t> Q;
    Q.push(Seed);
    Part[Seed] = Parts;
    while (!Q.empty()) {
      size_t I = Q.front();
      Q.pop();
      const Tri T = M.F[I];
      const int Es[3][2] = {{T.A, T.B}, {T.B, T.C}, {T.C, T.A}};
      for (const auto& E : Es) {
        for (size_t J : Edges[Key(E[0], E[1])]) {
          if (Part[J] >= 0) continue;
          // A neighbour running the shared edge the same way is wound the other way round.
          if (HasDirected(M.F[J], E[0], E[1])) std::swap(M.F[J].B, M.F[J].C);
          Part[J] = Parts;
          Q.push(J);
        }
      }
    }
    ++Parts;
  }
  for (int P = 0; P < Parts; ++P) {
    double Sign = 0.0;
    for (size_t I = 0; I < N; ++I) {
      if (Part[I] != P) continue;
      const Tri& T = M.F[I];
      if (Closed) {
        // Six times the signed volume of the tetrahedron (origin, A, B, C).
        Sign += double(Dot(M.V[size_t(T.A)], Cross(M.V[size_t(T.B)], M.V[size_t(T.C)])));
      } else {
        Sign += double(FaceNormal(M, T).Z);
      }
    }
    if (Sign < 0.0)
      for (size_t I = 0; I < N; ++I)
        if (Part[I] == P) std::swap(M.F[I].B, M.F[I].C);
  }
}

// Two triangles of the quad A B C D (corners in order round the quad).
void AddQuad(Mesh& M, int A, int B, int C, int D) {
  M.F.push_back({A, B, C});
  M.F.push_back({A, C, D});
}

// A surface of revolution-like grid: Rings rows of Segments vertices each,
// closed round. Adds the quads between consecutive rows.
void StitchRings(Mesh& M, int FirstRow, int Rows, int Segments) {
  for (int R = 0; R + 1 < Rows; ++R)
    for (int S = 0; S < Segments; ++S) {
      int S1 = (S + 1) % Segments;
      int A = FirstRow + R * Segments + S, B = FirstRow + R * Segments + S1;
      int C = FirstRow + (R + 1) * Segments + S1, D = FirstRow + (R + 1) * Segments + S;
      AddQuad(M, A, B, C, D);
    }
}

// A fan from Center to one row of Segments vertices.
void Fan(Mesh& M, int Center, int Row, int Segments) {
  for (int S = 0; S < Segments; ++S) M.F.push_back({Center, Row + S, Row + (S + 1) % Segments});
}

}  // namespace

Mesh MakeObjSphere() {
  // Geodesic sphere: an icosahedron whose faces are cut into Freq x Freq
  // triangles, pushed out onto the sphere; 10 Freq^2 + 2 vertices.
  const int Freq = 6;
  const float Radius = 22.0f;
  const float T = (1.0f + std::sqrt(5.0f)) * 0.5f;
  const Vec3 Ico[12] = {{-1, T, 0}, {1, T, 0}, {-1, -T, 0}, {1, -T, 0}, {0, -1, T}, {0, 1, T},
                        {0, -1, -T}, {0, 1, -T}, {T, 0, -1}, {T, 0, 1}, {-T, 0, -1}, {-T, 0, 1}};
  const int IcoF[20][3] = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
                           {11, 10, 2}, {10, 7, 6}, {7, 1, 8},   {3, 9, 4},  {3, 4, 2},   {3, 2, 6}, {3, 6, 8},
                           {3, 8, 9},  {4, 9, 5},  {2, 4, 11},  {6, 2, 10}, {8, 6, 7},   {9, 8, 1}};
  Mesh M;
  M.Name = "sphere";
  std::map<std::tuple<long, long, long>, int> Index;
  auto VertexAt = [&](Vec3 P) {
    P = Normalize(P) * Radius;
    auto K = std::make_tuple(std::lround(P.X * 1000.0f), std::lround(P.Y * 1000.0f), std::lround(P.Z * 1000.0f));
    auto It = Index.find(K);
    if (It != Index.end()) return It->second;
    int I = int(M.V.size());
    M.V.push_back(P);
    Index[K] = I;
    return I;
  };
  for (const auto& F : IcoF) {
    Vec3 A = Ico[F[0]], B = Ico[F[1]], C = Ico[F[2]];
    auto P = [&](int I, int J) {
      return VertexAt(A + (B - A) * (float(I) / Freq) + (C - A) * (float(J) / Freq));
    };
    for (int I = 0; I < Freq; ++I)
      for (int J = 0; I + J < Freq; ++J) {
        M.F.push_back({P(I, J), P(I + 1, J), P(I, J + 1)});
        if (I + J < Freq - 1) M.F.push_back({P(I + 1, J), P(I + 1, J + 1), P(I, J + 1)});
      }
  }
  OrientConsistently(M, true);
  return M;
}

Mesh MakeObjSky() {
  // A dome facing the eye with spiral ripples: as it spins about z, the
  // mirrored frame swirls. Every vertex stays below z 9 (the object stands at
  // z 75, the eye at 100).
  const int Rings = 22, Segments = 56;
  const float Radius = 36.0f;
  Mesh M;
  M.Name = "sky";
  auto Height = [&](float Rho, float Theta) {
    float Dome = 9.0f * (1.0f - Rho * Rho) - 3.0f;
    float Swirl = 2.2f * std::sin(5.0f * Theta + 10.0f * Rho) * std::sin(kPi * Rho);
    float Ripple = 0.6f * std::sin(22.0f * Rho) * Rho;
    return Dome + Swirl + Ripple;
  };
  M.V.push_back({0.0f, 0.0f, Height(0.0f, 0.0f)});
  for (int R = 1; R <= Rings; ++R) {
    float Rho = float(R) / Rings;
    for (int S = 0; S < Segments; ++S) {
      // Each ring is turned by half a segment against the last, which keeps
      // the triangles closer to equilateral.
      float Theta = (float(S) + 0.5f * float(R % 2)) * 2.0f * kPi / Segments;
      M.V.push_back({Radius * Rho * std::cos(Theta), Radius * Rho * std::sin(Theta), Height(Rho, Theta)});
    }
  }
  Fan(M, 0, 1, Segments);
  StitchRings(M, 1, Rings, Segments);
  OrientConsistently(M, false);
  return M;
}

Mesh MakeObjCrv() {
  // Trefoil knot: c(t) = (sin t + 2 sin 2t, cos t - 2 cos 2t, -sin 3t), swept
  // by an elliptic tube whose long axis twists four times round the loop.
  const int Along = 120, Around = 12;
  const float Scale = 12.5f, Tube = 5.8f;
  auto Curve = [&](float T) {
    return Vec3{std::sin(T) + 2.0f * std::sin(2.0f * T), std::cos(T) - 2.0f * std::cos(2.0f * T), -std::sin(3.0f * T)} *
           Scale;
  };
  std::vector<Vec3> C(Along), Tg(Along), Nm(Along);
  for (int I = 0; I < Along; ++I) C[size_t(I)] = Curve(2.0f * kPi * float(I) / Along);
  for (int I = 0; I < Along; ++I)
    Tg[size_t(I)] = Normalize(C[size_t((I + 1) % Along)] - C[size_t((I + Along - 1) % Along)]);
  // Parallel transport of a normal along the loop ...
  Vec3 N0 = Normalize(Cross(Tg[0], Vec3{0, 0, 1}));
  Nm[0] = N0;
  for (int I = 1; I <= Along; ++I) {
    Vec3 Tn = Tg[size_t(I % Along)];
    Vec3 Prev = Nm[size_t(I - 1)];
    Vec3 N = Normalize(Prev - Tn * Dot(Prev, Tn));
    if (I < Along) Nm[size_t(I)] = N;
    else {
      // ... and the twist it gathered on the way round, spread evenly so the
      // frame closes on itself.
      Vec3 B0 = Cross(Tg[0], N0);
      float Gap = std::atan2(Dot(N, B0), Dot(N, N0));
      for (int K = 0; K < Along; ++K) {
        float A = -Gap * float(K) / Along;
        Vec3 T = Tg[size_t(K)], Nk = Nm[size_t(K)], Bk = Cross(T, Nk);
        Nm[size_t(K)] = Nk * std::cos(A) + Bk * std::sin(A);
      }
    }
  }
  Mesh M;
  M.Name = "Crv";
  for (int I = 0; I < Along; ++I) {
    Vec3 T = Tg[size_t(I)], N = Nm[size_t(I)], B = Cross(T, N);
    float Twist = 4.0f * 2.0f * kPi * float(I) / Along;
    for (int J = 0; J < Around; ++J) {
      float Phi = 2.0f * kPi * float(J) / Around;
      float R = Tube * (1.0f + 0.28f * std::cos(2.0f * (Phi - Twist)));
      M.V.push_back(C[size_t(I)] + (N * std::cos(Phi) + B * std::sin(Phi)) * R);
    }
  }
  for (int I = 0; I < Along; ++I)
    for (int J = 0; J < Around; ++J) {
      int I1 = (I + 1) % Along, J1 = (J + 1) % Around;
      AddQuad(M, I * Around + J, I * Around + J1, I1 * Around + J1, I1 * Around + J);
    }
  // The strands must not touch: check the closest approach of distant samples.
  for (int I = 0; I < Along; ++I)
    for (int K = I + Along / 8; K < I + Along - Along / 8; ++K)
      if (Length(C[size_t(I)] - C[size_t(K % Along)]) < 2.6f * Tube)
        throw std::runtime_error("Crv: the knot's strands come too close");
  OrientConsistently(M, true);
  return M;
}

Mesh MakeObjCone() {
  // A cone pointing at the eye (apex z 8), radius 13 at its base (z -12); its
  // flanks are fluted, and the flutes twist, so the frame it mirrors swirls.
  const int Rows = 16, Segments = 64;
  const float ApexZ = 8.0f, BaseZ = -12.0f, BaseRadius = 13.0f;
  Mesh M;
  M.Name = "cone";
  M.V.push_back({0.0f, 0.0f, ApexZ});
  for (int R = 1; R <= Rows; ++R) {
    float T = float(R) / Rows;
    float Z = ApexZ + (BaseZ - ApexZ) * T;
    float Radius = BaseRadius * std::pow(T, 0.8f);
    for (int S = 0; S < Segments; ++S) {
      float Theta = 2.0f * kPi * float(S) / Segments;
      float Flute = 1.0f + 0.13f * std::cos(8.0f * Theta + 5.0f * T) * std::sin(kPi * std::min(1.0f, T * 1.15f));
      M.V.push_back({Radius * Flute * std::cos(Theta), Radius * Flute * std::sin(Theta), Z});
    }
  }
  const int BaseCenter = int(M.V.size());
  M.V.push_back({0.0f, 0.0f, BaseZ});
  Fan(M, 0, 1, Segments);
  StitchRings(M, 1, Rows, Segments);
  Fan(M, BaseCenter, 1 + (Rows - 1) * Segments, Segments);
  // The base comes first in the face list: drawn without culling, the flanks
  // then cover it.
  std::rotate(M.F.begin(), M.F.end() - Segments, M.F.end());
  OrientConsistently(M, true);
  return M;
}

namespace {
// Crop-circle relief: standing crop 2.4 high, flattened bands at 0, with soft
// edges; and a gentle dome over the whole disc.
const float kCropEdges[][2] = {{0.0f, 8.0f}, {14.0f, 18.0f}, {26.0f, 29.0f}, {38.0f, 42.0f}, {50.0f, 52.0f}};
float CropHeight(float R, float Radius) {
  float Flat = 0.0f;
  for (const auto& B : kCropEdges) {
    float In = std::min(R - B[0], B[1] - R);  // distance inside the band
    float K = std::min(1.0f, std::max(0.0f, (In + 0.7f) / 1.4f));
    if (B[0] == 0.0f) K = std::min(1.0f, std::max(0.0f, (B[1] - R + 0.7f) / 1.4f));
    Flat = std::max(Flat, K * K * (3.0f - 2.0f * K));
  }
  float Rho = R / Radius;
  return 2.4f * (1.0f - Flat) + 1.8f * (1.0f - Rho * Rho);
}
}  // namespace

Mesh MakeObjCropCir() {
  const float Radius = 55.0f, BottomZ = -3.0f;
  const int Segments = 48;
  // Rings sit where the relief changes: a pair round every band edge, and
  // one in the middle of each plateau.
  std::vector<float> Radii;
  for (const auto& B : kCropEdges) {
    for (float E : {B[0], B[1]}) {
      if (E <= 0.0f) continue;
      Radii.push_back(E - 0.7f);
      Radii.push_back(E + 0.7f);
    }
  }
  for (float R : {3.0f, 5.5f, 11.0f, 22.0f, 33.5f, 46.0f, 53.6f, Radius}) Radii.push_back(R);
  std::sort(Radii.begin(), Radii.end());
  Mesh M;
  M.Name = "CropCir";
  M.V.push_back({0.0f, 0.0f, CropHeight(0.0f, Radius)});
  const int Rings = int(Radii.size());
  for (int R = 0; R < Rings; ++R)
    for (int S = 0; S < Segments; ++S) {
      float Theta = (float(S) + 0.5f * float(R % 2)) * 2.0f * kPi / Segments;
      float Rr = Radii[size_t(R)];
      M.V.push_back({Rr * std::cos(Theta), Rr * std::sin(Theta), CropHeight(Rr, Radius)});
    }
  const int BottomRow = int(M.V.size());
  for (int S = 0; S < Segments; ++S) {
    float Theta = (float(S) + 0.5f * float((Rings - 1) % 2)) * 2.0f * kPi / Segments;
    M.V.push_back({Radius * std::cos(Theta), Radius * std::sin(Theta), BottomZ});
  }
  const int BottomCenter = int(M.V.size());
  M.V.push_back({0.0f, 0.0f, BottomZ});
  // Underside first, then the rim, then the top: without culling the top is
  // drawn last and covers the rest.
  Fan(M, BottomCenter, BottomRow, Segments);
  StitchRings(M, 1 + (Rings - 1) * Segments, 2, Segments);
  Fan(M, 0, 1, Segments);
  StitchRings(M, 1, Rings, Segments);
  OrientConsistently(M, true);
  return M;
}

namespace {

using Poly = std::vector<std::pair<float, float>>;

float SignedArea(const Poly& P) {
  float A = 0.0f;
  for (size_t I = 0; I < P.size(); ++I) {
    const auto& U = P[I];
    const auto& V = P[(I + 1) % P.size()];
    A += U.first * V.second - V.first * U.second;
  }
  return 0.5f * A;
}

// Ear clipping of a simple polygon with positive signed area. Returns index
// triples, each with positive area.
std::vector<Tri> Triangulate(const Poly& P) {
  std::vector<int> Idx(P.size());
  for (size_t I = 0; I < P.size(); ++I) Idx[I] = int(I);
  auto Cross2 = [&](int A, int B, int C) {
    return (P[size_t(B)].first - P[size_t(A)].first) * (P[size_t(C)].second - P[size_t(A)].second) -
           (P[size_t(B)].second - P[size_t(A)].second) * (P[size_t(C)].first - P[size_t(A)].first);
  };
  std::vector<Tri> Out;
  while (Idx.size() > 3) {
    bool Clipped = false;
    for (size_t I = 0; I < Idx.size(); ++I) {
      int A = Idx[(I + Idx.size() - 1) % Idx.size()], B = Idx[I], C = Idx[(I + 1) % Idx.size()];
      if (Cross2(A, B, C) <= 1e-6f) continue;  // reflex corner
      bool Inside = false;
      for (int K : Idx) {
        if (K == A || K == B || K == C) continue;
        if (Cross2(A, B, K) >= 0.0f && Cross2(B, C, K) >= 0.0f && Cross2(C, A, K) >= 0.0f) {
          Inside = true;
          break;
        }
      }
      if (Inside) continue;
      Out.push_back({A, B, C});
      Idx.erase(Idx.begin() + long(I));
      Clipped = true;
      break;
    }
    if (!Clipped) throw std::runtime_error("TW: a letter outline could not be triangulated");
  }
  Out.push_back({Idx[0], Idx[1], Idx[2]});
  return Out;
}

// The outline moved inward by D along the corners' mitres (for the bevel).
Poly Inset(const Poly& P, float D) {
  Poly Out;
  const size_t N = P.size();
  for (size_t I = 0; I < N; ++I) {
    const auto& A = P[(I + N - 1) % N];
    const auto& B = P[I];
    const auto& C = P[(I + 1) % N];
    // Inward normals of the two edges (the outline runs counter-clockwise).
    float E1x = B.first - A.first, E1y = B.second - A.second;
    float E2x = C.first - B.first, E2y = C.second - B.second;
    float L1 = std::sqrt(E1x * E1x + E1y * E1y), L2 = std::sqrt(E2x * E2x + E2y * E2y);
    float N1x = -E1y / L1, N1y = E1x / L1, N2x = -E2y / L2, N2y = E2x / L2;
    float Mx = N1x + N2x, My = N1y + N2y;
    float Ml = std::sqrt(Mx * Mx + My * My);
    Mx /= Ml, My /= Ml;
    float Cos = Mx * N1x + My * N1y;
    float Len = std::min(D / std::max(Cos, 0.2f), 3.0f * D);
    Out.push_back({B.first + Mx * Len, B.second + My * Len});
  }
  return Out;
}

// A bevelled extrusion of one letter outline, from z -Depth/2 to +Depth/2.
void Extrude(Mesh& M, Poly P, float Depth, float Bevel) {
  if (SignedArea(P) < 0.0f) std::reverse(P.begin(), P.end());
  const Poly In = Inset(P, Bevel);
  const int N = int(P.size());
  const int Base = int(M.V.size());
  const float Zf = Depth * 0.5f, Zs = Depth * 0.5f - Bevel;
  // Rows: front cap, front shoulder, back shoulder, back cap.
  for (const auto& Q : In) M.V.push_back({Q.first, Q.second, Zf});
  for (const auto& Q : P) M.V.push_back({Q.first, Q.second, Zs});
  for (const auto& Q : P) M.V.push_back({Q.first, Q.second, -Zs});
  for (const auto& Q : In) M.V.push_back({Q.first, Q.second, -Zf});
  std::vector<Tri> Cap = Triangulate(In);
  // Back cap, walls and bevels first; the front cap last (drawn on top when
  // the renderer does not cull).
  for (const Tri& T : Cap) M.F.push_back({Base + 3 * N + T.A, Base + 3 * N + T.C, Base + 3 * N + T.B});
  for (int Row = 0; Row < 3; ++Row)
    for (int I = 0; I < N; ++I) {
      int I1 = (I + 1) % N;
      AddQuad(M, Base + Row * N + I, Base + Row * N + I1, Base + (Row + 1) * N + I1, Base + (Row + 1) * N + I);
    }
  for (const Tri& T : Cap) M.F.push_back({Base + T.A, Base + T.B, Base + T.C});
}

}  // namespace

Mesh MakeObjTW() {
  // Letters 50 high; T 40 wide, W 72 wide, 8 apart: 120 across, centred.
  const float Ox = -60.0f, Oy = -25.0f;
  auto Shift = [&](Poly P) {
    for (auto& Q : P) Q.first += Ox, Q.second += Oy;
    return P;
  };
  // y grows downwards: the bar of the T is at the top (small y).
  Poly T = Shift({{0, 0}, {40, 0}, {40, 12}, {26, 12}, {26, 50}, {14, 50}, {14, 12}, {0, 12}});
  Poly W = Shift({{48, 0},  {60, 0},  {67, 32}, {77, 6},  {91, 6},  {101, 32}, {108, 0},
                  {120, 0}, {107, 50}, {96, 50}, {84, 20}, {72, 50}, {61, 50}});
  Mesh M;
  M.Name = "TW";
  Extrude(M, T, 16.0f, 1.6f);
  Extrude(M, W, 16.0f, 1.6f);
  OrientConsistently(M, true);
  return M;
}

void ValidateMesh(const Mesh& M) {
  const std::string Who = "mesh " + M.Name + ": ";
  if (M.Name.find(':') != std::string::npos || M.Name.find('"') != std::string::npos)
    throw std::runtime_error(Who + "the name may hold neither colons nor quotes");
  if (M.V.empty() || M.F.empty()) throw std::runtime_error(Who + "no vertices or no faces");
  if (M.V.size() > size_t(kMaxMeshVertices) || M.F.size() > size_t(kMaxMeshFaces))
    throw std::runtime_error(Who + "more than 3000 vertices or faces");
  std::vector<Vec3> Sum(M.V.size());
  std::vector<int> Uses(M.V.size(), 0);
  for (const Tri& T : M.F) {
    for (int I : {T.A, T.B, T.C})
      if (I < 0 || size_t(I) >= M.V.size()) throw std::runtime_error(Who + "a face index is out of range");
    Vec3 N = FaceNormal(M, T);
    float L = Length(N);
    if (!(L > 1e-4f)) throw std::runtime_error(Who + "a face has no area");
    N = N * (1.0f / L);
    // A vertex named twice by one face counts once, as in the loader.
    for (int I : {T.A, T.B, T.C}) {
      if ((I == T.B && T.A == T.B) || (I == T.C && (T.C == T.A || T.C == T.B))) continue;
      Sum[size_t(I)] = Sum[size_t(I)] + N;
      ++Uses[size_t(I)];
    }
  }
  for (size_t I = 0; I < M.V.size(); ++I) {
    if (Uses[I] == 0) throw std::runtime_error(Who + "a vertex belongs to no face");
    if (Length(Sum[I]) < 1e-3f * float(Uses[I])) throw std::runtime_error(Who + "a vertex normal cancels out");
  }
}

std::string FormatAsc(const Mesh& M) {
  std::string S;
  char Buf[160];
  std::snprintf(Buf, sizeof Buf, "Named object: \"%s\"\n", M.Name.c_str());
  S += Buf;
  std::snprintf(Buf, sizeof Buf, "Tri-mesh, Vertices: %d     Faces: %d\n", int(M.V.size()), int(M.F.size()));
  S += Buf;
  S += "Vertex list:\n";
  auto Num = [](float V) {
    // Six decimals; never "-0.000000", which reads back the same but looks odd.
    char B[32];
    std::snprintf(B, sizeof B, "%.6f", double(V));
    if (std::string(B) == "-0.000000") return std::string("0.000000");
    return std::string(B);
  };
  for (size_t I = 0; I < M.V.size(); ++I) {
    const Vec3& P = M.V[I];
    std::snprintf(Buf, sizeof Buf, "Vertex %d:  X: %s     Y: %s     Z: %s\n", int(I), Num(P.X).c_str(), Num(P.Y).c_str(),
                  Num(P.Z).c_str());
    S += Buf;
  }
  S += "Face list:\n";
  for (size_t I = 0; I < M.F.size(); ++I) {
    const Tri& T = M.F[I];
    std::snprintf(Buf, sizeof Buf, "Face %d:    A:%d B:%d C:%d AB:1 BC:1 CA:1\nSmoothing:  1\n", int(I), T.A, T.B, T.C);
    S += Buf;
  }
  return S;
}

ShowPlacement PlacementOf(const std::string& Name) {
  if (Name == "sphere") return {0, 0, -50, 0, 0};
  if (Name == "sky") return {0, 0, 75, 0, 0};
  if (Name == "Crv") return {50, 10, -50, 0, 0};
  if (Name == "cone") return {0, 0, 84, 0, 0};
  if (Name == "CropCir") return {0, 0, -160, 0, 0};
  if (Name == "TW") return {0, 70, -200, 40, 4};
  return {0, 0, -100, 0, 0};
}

}  // namespace assetgen
