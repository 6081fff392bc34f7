// Object record arithmetic: rotation order and steps, projection, light,
// depth keys, and the sharing of arrays between copies.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "KvTest.h"
#include "show/3d/Object3D.h"
#include "show/Show.h"

namespace {

struct P3 {
  float X, Y, Z;
};

P3 Rotated(P3 P, int32_t StepX, int32_t StepY, int32_t StepZ) {
  RotatePoint(P.X, P.Y, P.Z, StepX, StepY, StepZ);
  return P;
}

void ExpectNear(P3 P, float X, float Y, float Z) {
  EXPECT_NEAR(P.X, X, 1e-6);
  EXPECT_NEAR(P.Y, Y, 1e-6);
  EXPECT_NEAR(P.Z, Z, 1e-6);
}

class Transform3D : public ::testing::Test {
 protected:
  void SetUp() override {
    InitSinCos();
    EyeDistance = 100;
    SetLight(0, 0, 1);
    RotateNormals = true;
  }
};

TEST_F(Transform3D, QuarterTurnsAndOrder) {
  ExpectNear(Rotated({1, 0, 0}, 0, 0, 270), 0, 1, 0);  // about z: x axis to y axis
  ExpectNear(Rotated({0, 1, 0}, 270, 0, 0), 0, 0, 1);  // about x: y to z
  ExpectNear(Rotated({1, 0, 0}, 0, 270, 0), 0, 0, 1);  // about y: x to z
  // z first: x -> y, then about x: y -> z. (x first would leave x on the x axis
  // and then carry it to y.)
  ExpectNear(Rotated({1, 0, 0}, 270, 0, 270), 0, 0, 1);

  for (int32_t Step : {0, 1080, -1080}) ExpectNear(Rotated({3, -4, 5}, Step, Step, Step), 3, -4, 5);

  const P3 A = Rotated({0.3f, -1.7f, 2.5f}, -1, -1, -1);
  const P3 B = Rotated({0.3f, -1.7f, 2.5f}, 1079, 1079, 1079);
  EXPECT_EQ(A.X, B.X);
  EXPECT_EQ(A.Y, B.Y);
  EXPECT_EQ(A.Z, B.Z);

  // A general turn against rotation matrices applied z, then x, then y.
  const double T = 3.14159265358979323846 / 540;
  const double Az = 37 * T, Ax = 101 * T, Ay = 250 * T;
  double x = 1.5, y = -2, z = 0.75;
  double x1 = x * std::cos(Az) - y * std::sin(Az), y1 = x * std::sin(Az) + y * std::cos(Az);
  double z1 = y1 * std::sin(Ax) + z * std::cos(Ax), y2 = y1 * std::cos(Ax) - z * std::sin(Ax);
  double x2 = x1 * std::cos(Ay) - z1 * std::sin(Ay), z2 = x1 * std::sin(Ay) + z1 * std::cos(Ay);
  const P3 R = Rotated({1.5f, -2, 0.75f}, 101, 250, 37);
  EXPECT_NEAR(R.X, x2, 1e-5);
  EXPECT_NEAR(R.Y, y2, 1e-5);
  EXPECT_NEAR(R.Z, z2, 1e-5);

  // Steps outside the table do not read past it.
  const P3 Far = Rotated({1, 0, 0}, 0, 0, 1080 * 3 + 270);
  ExpectNear(Far, 0, 1, 0);
}

TEST_F(Transform3D, ProjectionAndTheEyePlane) {
  auto Display = kvtest::MakeDisplay(32);
  TBufferKv Buffer(Display.get(), 640, 480, false);
  Screen = &Buffer;
  double Sx = 0, Sy = 0;
  ProjectPoint(Sx, Sy, 0, 0, 0);
  EXPECT_EQ(Sx, 320);
  EXPECT_EQ(Sy, 240);
  ProjectPoint(Sx, Sy, 10, 0, 0);  // f = 480 / 100 = 4.8
  EXPECT_NEAR(Sx, 368, 1e-4);
  EXPECT_EQ(Sy, 240);
  ProjectPoint(Sx, Sy, 0, 10, 50);  // f = 9.6, y not flipped
  EXPECT_NEAR(Sy, 336, 1e-4);
  ProjectPoint(Sx, Sy, 5, 5, 100);  // the eye plane: no position, no trap
  EXPECT_TRUE(std::isnan(Sx));
  EXPECT_TRUE(std::isnan(Sy));
  Screen = nullptr;
}

ObjRec OneFace(float Za, float Zb, float Zc) {
  ObjRec O = MakeObject(3, 1);
  O.Vertices[0] = {0, 0, Za};
  O.Vertices[1] = {1, 0, Zb};
  O.Vertices[2] = {0, 1, Zc};
  O.Faces[0] = {0, 1, 2};
  O.FaceNormals[0] = {0, 0, 1};
  return O;
}

TEST_F(Transform3D, LightKeysAndSharing) {
  auto Display = kvtest::MakeDisplay(32);
  TBufferKv Buffer(Display.get(), 640, 480, false);
  Screen = &Buffer;

  ObjRec O = OneFace(0.5f, 0.5f, 0.5f);
  TransformObject(O);  // spins 0: nothing turns
  EXPECT_EQ(O.ZOrder[0].Key, 2.0f);  // 1.5 -> 2
  EXPECT_EQ(O.ZOrder[0].Face, 0);
  EXPECT_EQ(O.FaceLight[0], 160.0);  // facing the light straight on
  EXPECT_NEAR(O.Projected[1].X, 320 + 480 / 99.5, 1e-4);

  O = OneFace(0.5f, 0.5f, 1.5f);
  O.FaceNormals[0] = {0, 0, -1};
  TransformObject(O);
  EXPECT_EQ(O.ZOrder[0].Key, 2.0f);  // 2.5 -> 2
  EXPECT_EQ(O.FaceLight[0], 0.0);    // facing away: 0, never negative

  // Work through a copy lands in the object (TransformObject takes a copy).
  O = OneFace(0, 0, 0);
  O.SpinZ = 270;
  const ObjRec Alias = O;
  TransformObject(Alias);
  EXPECT_NEAR(O.Vertices[1].X, 0, 1e-6);
  EXPECT_NEAR(O.Vertices[1].Y, 1, 1e-6);
  EXPECT_NEAR(O.FaceNormals[0].Z, 1, 1e-6);
  // Giving a record new arrays leaves the other's alone.
  ObjRec Other = O;
  Other.Vertices.Allocate(4);
  EXPECT_NEAR(O.Vertices[1].Y, 1, 1e-6);
  EXPECT_FALSE(Other.Vertices.SharesWith(O.Vertices));

  // Two turns of 5 equal one of 10, up to rounding; normals stay when
  // RotateNormals is off.
  ObjRec A = OneFace(0, 0, 0), B = OneFace(0, 0, 0);
  A.SpinZ = 5;
  B.SpinZ = 10;
  RotateNormals = false;
  A.FaceNormals[0] = B.FaceNormals[0] = {1, 0, 0};
  TransformObject(A);
  TransformObject(A);
  TransformObject(B);
  EXPECT_NEAR(A.Vertices[1].X, B.Vertices[1].X, 1e-6);
  EXPECT_NEAR(A.Vertices[1].Y, B.Vertices[1].Y, 1e-6);
  EXPECT_EQ(A.FaceNormals[0].X, 1.0f);

  // A vertex on the eye plane gets no screen position.
  ObjRec Near = OneFace(0, 0, 0);
  Near.Z = 100;
  TransformObject(Near);
  EXPECT_TRUE(std::isnan(Near.Projected[0].X));
  Screen = nullptr;
}

TEST(Round3D, HalvesToEvenAndGuardedConversion) {
  EXPECT_EQ(RoundEven(2.5), 2);
  EXPECT_EQ(RoundEven(3.5), 4);
  EXPECT_EQ(RoundEven(-2.5), -2);
  EXPECT_EQ(RoundToInt32(1e30), INT32_MAX);
  EXPECT_EQ(RoundToInt32(-1e30), INT32_MIN);
  EXPECT_EQ(RoundToInt32(std::nan("")), INT32_MIN);
  EXPECT_EQ(RoundToInt32(228.5714), 229);
}

TEST(Light3D, SetLightNormalises) {
  SetLight(0, 3, 4);
  EXPECT_EQ(LightVector.Y, 3.0f);
  EXPECT_NEAR(LightDir.Y, 0.6, 1e-7);
  EXPECT_NEAR(LightDir.Z, 0.8, 1e-7);
  SetLight(0, 0, 0);  // no direction: every face unlit, nothing NaN
  EXPECT_EQ(LightDir.Z, 0.0f);
  SetLight(0, 0, 1);
}

}  // namespace
