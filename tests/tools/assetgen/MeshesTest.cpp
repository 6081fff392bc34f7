// The generated meshes, read by counting colons as the show's loader reads
// them: within the loader's limits, every face valid, outward facing, and
// each shape fitting the place the show puts it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "AssetTestUtil.h"
#include "show/3d/Mesh.h"

using namespace assettest;

namespace {

struct V3 {
  double X, Y, Z;
};
V3 Sub(V3 A, V3 B) { return {A.X - B.X, A.Y - B.Y, A.Z - B.Z}; }
V3 Cross(V3 A, V3 B) { return {A.Y * B.Z - A.Z * B.Y, A.Z * B.X - A.X * B.Z, A.X * B.Y - A.Y * B.X}; }
double Dot(V3 A, V3 B) { return A.X * B.X + A.Y * B.Y + A.Z * B.Z; }
double Len(V3 A) { return std::sqrt(Dot(A, A)); }

class Meshes : public ::testing::Test {
 protected:
  void SetUp() override {
    if (AssetDir().empty()) GTEST_SKIP() << "the build was configured without the asset generator (NERITH_ASSETS=OFF)";
  }
  static MeshData Load(const std::string& Name) {
    MeshData M;
    std::string Why;
    std::string Text = Slurp(AssetDir() + "/ASC/" + Name);
    EXPECT_FALSE(Text.empty()) << Name;
    EXPECT_TRUE(ReadMeshByColons(Text, M, Why)) << Name << ": " << Why;
    return M;
  }
  static V3 Vertex(const MeshData& M, int I) { return {M.X[size_t(I)], M.Y[size_t(I)], M.Z[size_t(I)]}; }
  static V3 Normal(const MeshData& M, size_t F) {
    V3 A = Vertex(M, M.A[F]), B = Vertex(M, M.B[F]), C = Vertex(M, M.C[F]);
    return Cross(Sub(B, A), Sub(C, A));
  }
};

const char* const kNames[] = {"sphere.asc", "sky.asc", "Crv.asc", "cone.asc", "CropCir.asc", "TW.asc"};

TEST_F(Meshes, EachLoadsByCountingColonsWithValidFaces) {
  for (const char* Name : kNames) {
    MeshData M = Load(Name);
    ASSERT_FALSE(M.X.empty()) << Name;
    EXPECT_LE(M.X.size(), 3000u) << Name;
    EXPECT_LE(M.A.size(), 3000u) << Name;
    std::vector<int> Used(M.X.size(), 0);
    std::vector<V3> Sum(M.X.size(), V3{0, 0, 0});
    for (size_t F = 0; F < M.A.size(); ++F) {
      for (int I : {M.A[F], M.B[F], M.C[F]}) {
        ASSERT_GE(I, 0) << Name << " face " << F;
        ASSERT_LT(size_t(I), M.X.size()) << Name << " face " << F;
      }
      V3 N = Normal(M, F);
      double L = Len(N);
      ASSERT_GT(L, 1e-6) << Name << ": face " << F << " has no area";
      for (int I : {M.A[F], M.B[F], M.C[F]}) {
        Used[size_t(I)]++;
        Sum[size_t(I)] = {Sum[size_t(I)].X + N.X / L, Sum[size_t(I)].Y + N.Y / L, Sum[size_t(I)].Z + N.Z / L};
      }
    }
    // Every vertex gets a usable normal from its faces (the loader averages them).
    for (size_t I = 0; I < M.X.size(); ++I) {
      EXPECT_GT(Used[I], 0) << Name << ": vertex " << I << " is in no face";
      EXPECT_GT(Len(Sum[I]), 1e-3) << Name << ": vertex " << I << " has a cancelled normal";
    }
  }
}

TEST_F(Meshes, TheShowsLoaderReadsEachTheSameWay) {
  for (const char* Name : kNames) {
    MeshData Mine = Load(Name);
    std::istringstream Stream(Slurp(AssetDir() + "/ASC/" + Name));
    ObjRec Obj;
    std::string Why;
    ASSERT_TRUE(ParseMesh(Stream, Obj, Why)) << Name << ": " << Why;
    EXPECT_EQ(size_t(Obj.VertexCount), Mine.X.size()) << Name;
    EXPECT_EQ(size_t(Obj.FaceCount), Mine.A.size()) << Name;
  }
}

TEST_F(Meshes, SolidsAreClosedAndFaceOutward) {
  for (const char* Name : {"sphere.asc", "Crv.asc", "cone.asc", "CropCir.asc", "TW.asc"}) {
    MeshData M = Load(Name);
    // Closed and consistently wound: each directed edge once, its reverse once.
    std::map<std::pair<int, int>, int> Directed;
    for (size_t F = 0; F < M.A.size(); ++F) {
      Directed[{M.A[F], M.B[F]}]++;
      Directed[{M.B[F], M.C[F]}]++;
      Directed[{M.C[F], M.A[F]}]++;
    }
    int Bad = 0;
    for (const auto& E : Directed) {
      auto Rev = Directed.find({E.first.second, E.first.first});
      if (E.second != 1 || Rev == Directed.end() || Rev->second != 1) ++Bad;
    }
    EXPECT_EQ(Bad, 0) << Name << ": open or inconsistently wound edges";
    // Right-hand-rule normals point out: the enclosed volume is positive.
    double Volume = 0.0;
    for (size_t F = 0; F < M.A.size(); ++F)
      Volume += Dot(Vertex(M, M.A[F]), Cross(Vertex(M, M.B[F]), Vertex(M, M.C[F]))) / 6.0;
    EXPECT_GT(Volume, 0.0) << Name;
  }
}

TEST_F(Meshes, SphereIsAWellSpreadBallForTheSprites) {
  MeshData M = Load("sphere.asc");
  EXPECT_GE(M.X.size(), 200u);
  EXPECT_LE(M.X.size(), 500u);
  double Nearest = 1e9, Farthest = 0.0;
  for (size_t I = 0; I < M.X.size(); ++I) {
    double R = Len(Vertex(M, int(I)));
    EXPECT_GE(R, 20.0);
    EXPECT_LE(R, 25.0);
    double Best = 1e9;
    for (size_t J = 0; J < M.X.size(); ++J)
      if (J != I) Best = std::min(Best, Len(Sub(Vertex(M, int(I)), Vertex(M, int(J)))));
    Nearest = std::min(Nearest, Best);
    Farthest = std::max(Farthest, Best);
  }
  // Well spread: no two glows pile up, and no big gaps.
  EXPECT_GT(Nearest, 0.5 * Farthest);
}

TEST_F(Meshes, SkyStaysInFrontOfTheEyeAndFillsTheScreen) {
  MeshData M = Load("sky.asc");
  const double ObjectZ = 75.0, Eye = 100.0;
  double MaxZ = -1e9, Rim = 0.0;
  for (size_t I = 0; I < M.X.size(); ++I) {
    MaxZ = std::max(MaxZ, double(M.Z[I]));
    Rim = std::max(Rim, double(std::hypot(M.X[I], M.Y[I])));
  }
  EXPECT_LT(MaxZ, 15.0);
  EXPECT_GE(Rim, 25.0);
  EXPECT_LE(Rim, 40.0);
  // The outermost vertices project beyond the screen's corners (400 pixels
  // from the centre), so the mirror covers the whole frame.
  double MinRimPixels = 1e9;
  for (size_t I = 0; I < M.X.size(); ++I) {
    double R = std::hypot(M.X[I], M.Y[I]);
    if (R < Rim - 0.01) continue;
    MinRimPixels = std::min(MinRimPixels, R * 480.0 / (Eye - ObjectZ - M.Z[I]));
  }
  EXPECT_GT(MinRimPixels, 400.0);
  // A surface facing the eye, with normals that vary (the mirror swirls).
  double MinNz = 1.0, MaxNz = 0.0;
  for (size_t F = 0; F < M.A.size(); ++F) {
    V3 N = Normal(M, F);
    double Nz = N.Z / Len(N);
    EXPECT_GT(Nz, 0.0) << "face " << F << " turns away from the eye";
    MinNz = std::min(MinNz, Nz), MaxNz = std::max(MaxNz, Nz);
  }
  EXPECT_LT(MinNz, 0.85);
  EXPECT_GT(MaxNz, 0.99);
}

TEST_F(Meshes, ConePointsAtTheViewer) {
  MeshData M = Load("cone.asc");
  size_t Apex = 0;
  double Radius = 0.0;
  for (size_t I = 0; I < M.X.size(); ++I) {
    EXPECT_LT(M.Z[I], 10.0);
    if (M.Z[I] > M.Z[Apex]) Apex = I;
    Radius = std::max(Radius, double(std::hypot(M.X[I], M.Y[I])));
  }
  EXPECT_LT(std::hypot(M.X[Apex], M.Y[Apex]), 0.5);
  EXPECT_GE(Radius, 10.0);
  EXPECT_LE(Radius, 15.0);
}

TEST_F(Meshes, CropCircleIsADiscWithRelief) {
  MeshData M = Load("CropCir.asc");
  double Radius = 0.0;
  for (size_t I = 0; I < M.X.size(); ++I) Radius = std::max(Radius, double(std::hypot(M.X[I], M.Y[I])));
  EXPECT_GE(Radius, 50.0);
  EXPECT_LE(Radius, 60.0);
  // Faces facing the light (+z) at several distinct slopes: rings that catch
  // the light differently under flat shading.
  std::set<int> Slopes;
  for (size_t F = 0; F < M.A.size(); ++F) {
    V3 N = Normal(M, F);
    double Nz = N.Z / Len(N);
    if (Nz > 0.0) Slopes.insert(int(Nz * 20.0));
  }
  EXPECT_GE(Slopes.size(), 5u);
}

TEST_F(Meshes, KnotAndLettersHaveTheirSizes) {
  auto Extent = [](const MeshData& M, const std::vector<float>& C) {
    (void)M;
    return double(*std::max_element(C.begin(), C.end())) - double(*std::min_element(C.begin(), C.end()));
  };
  MeshData Crv = Load("Crv.asc");
  double Across = std::max(Extent(Crv, Crv.X), Extent(Crv, Crv.Y));
  EXPECT_GE(Across, 65.0);
  EXPECT_LE(Across, 100.0);
  MeshData TW = Load("TW.asc");
  EXPECT_GE(Extent(TW, TW.X), 110.0);
  EXPECT_LE(Extent(TW, TW.X), 130.0);
  // Two separate letters: two groups of faces that share no vertex.
  std::vector<int> Parent(TW.X.size());
  for (size_t I = 0; I < Parent.size(); ++I) Parent[I] = int(I);
  std::function<int(int)> Find = [&](int I) { return Parent[size_t(I)] == I ? I : Parent[size_t(I)] = Find(Parent[size_t(I)]); };
  for (size_t F = 0; F < TW.A.size(); ++F) {
    Parent[size_t(Find(TW.A[F]))] = Find(TW.B[F]);
    Parent[size_t(Find(TW.B[F]))] = Find(TW.C[F]);
  }
  std::set<int> Parts;
  for (size_t I = 0; I < Parent.size(); ++I) Parts.insert(Find(int(I)));
  EXPECT_EQ(Parts.size(), 2u);
}

}  // namespace
