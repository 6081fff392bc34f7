// Face rendering: mode colours, culling, the near test, environment-map
// positions and the point modes' own projection.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "KvTest.h"
#include "show/3d/Object3D.h"
#include "show/3d/Render.h"
#include "show/Show.h"

namespace {

class Render3D : public ::testing::Test {
 protected:
  void SetUp() override {
    Dev = kvtest::MakeDisplay(32);
    Frame = std::make_unique<TBufferKv>(Dev.get(), 640, 480, false);
    Display = Dev.get();
    Screen = Frame.get();
    DisplayWidth = 640;
    DisplayHeight = 480;
    InitSinCos();
    EyeDistance = 100;
    SetLight(0, 0, 1);
    CullBackFaces = true;
    RotateNormals = true;
  }
  void TearDown() override {
    Screen = nullptr;
    Display = nullptr;
    BallPic = nullptr;
    CullBackFaces = true;
  }

  // One triangle A (0,0,0), B (10,0,0), C (0,10,0), or with B and C swapped:
  // on the screen A (320,240), B (368,240), C (320,288), clockwise.
  static ObjRec Triangle(uint16_t Mode, bool Reversed = false) {
    ObjRec O = MakeObject(3, 1);
    O.Vertices[0] = {0, 0, 0};
    O.Vertices[1] = {10, 0, 0};
    O.Vertices[2] = {0, 10, 0};
    O.Faces[0] = Reversed ? FaceRec{0, 2, 1} : FaceRec{0, 1, 2};
    O.FaceNormals[0] = {0, 0, Reversed ? -1.0f : 1.0f};
    for (int i = 0; i < 3; ++i) O.VertexNormals[i] = {0, 0, 1};
    O.Mode = Mode;
    TransformObject(O);
    return O;
  }

  uint32_t At(int X, int Y) const { return kvtest::GetPixel(*Frame, X, Y); }
  bool Inside() const { return At(330, 250) != 0; }
  bool Blank() const {
    for (int y = 200; y < 320; ++y)
      for (int x = 280; x < 420; ++x)
        if (At(x, y) != 0) return false;
    return true;
  }

  std::unique_ptr<TKelvra> Dev;
  std::unique_ptr<TBufferKv> Frame;
};

TEST_F(Render3D, FlatColoursFromTheLight) {
  ObjRec O = Triangle(ModeFlat);
  EXPECT_EQ(O.FaceLight[0], 160.0);
  RenderObject(O);
  EXPECT_EQ(At(330, 250), PackColor(229, 229, 26));
  O.FaceLight[0] = 0;
  RenderObject(O);
  EXPECT_EQ(At(330, 250), PackColor(0, 0, 255));
  EXPECT_EQ(At(330, 300), 0u);  // outside the face
}

TEST_F(Render3D, WireOutlineColour) {
  ObjRec O = Triangle(ModeWire);
  O.FaceLight[0] = 0;
  RenderObject(O);
  EXPECT_EQ(At(340, 240), PackColor(125, 16, 40));  // on A-B
  EXPECT_EQ((At(340, 240) >> 16) & 255, 125u);
  EXPECT_EQ(At(330, 250), 0u);  // not filled
}

TEST_F(Render3D, CullingAndTheNearTest) {
  ObjRec Back = Triangle(ModeFlat, true);
  RenderObject(Back);
  EXPECT_FALSE(Inside()) << "counter-clockwise face drawn while culling";
  CullBackFaces = false;
  RenderObject(Back);
  EXPECT_TRUE(Inside()) << "with culling off every face is drawn";

  Frame->Clear(0);
  CullBackFaces = true;
  ObjRec Line = Triangle(ModeFlat);
  Line.Projected[2] = {392, 240};  // all three corners on one screen row: w = 0
  RenderObject(Line);
  EXPECT_TRUE(Blank()) << "a face with w = 0 is not drawn while culling";

  ObjRec O = Triangle(ModeFlat);
  O.ZOrder[0].Key = float(EyeDistance + 100);
  RenderObject(O);
  EXPECT_FALSE(Inside()) << "key at EyeDistance + 100 is too near";
  O.ZOrder[0].Key = float(EyeDistance + 99);
  RenderObject(O);
  EXPECT_TRUE(Inside());

  // A corner with no screen position (the eye plane) drops the face even
  // with culling off.
  Frame->Clear(0);
  CullBackFaces = false;
  O.Projected[1] = {std::nan(""), std::nan("")};
  RenderObject(O);
  EXPECT_FALSE(Inside());
}

TEST_F(Render3D, EnvironmentMapPositions) {
  TBufferKv Texture(Dev.get(), 33, 17, false);
  kvtest::FillRandom(Texture, 42);
  ObjRec O = Triangle(ModeEnvMap);
  O.Texture = &Texture;
  RenderObject(O);  // normals (0, 0, 1): the centre (W div 2, H div 2)
  EXPECT_EQ(At(330, 250), kvtest::GetPixel(Texture, 16, 8));

  for (int i = 0; i < 3; ++i) O.VertexNormals[i] = {1, 0, 0};
  RenderObject(O);  // U = W div 4 + W div 2
  EXPECT_EQ(At(330, 250), kvtest::GetPixel(Texture, 24, 8));

  O.Mode = ModeEnvMapWide;  // U = 2 W / 1.9 lies past the texture: clamped
  RenderObject(O);
  EXPECT_EQ(At(330, 250), kvtest::GetPixel(Texture, 32, 8));

  O.Mode = ModeTextured;
  RenderObject(O);  // A (0,0), B (MaxX,0), C (0,MaxY): A's corner is texel (0,0)
  EXPECT_EQ(At(320, 240), kvtest::GetPixel(Texture, 0, 0));

  O.Texture = nullptr;  // texture modes without a texture draw nothing
  Frame->Clear(0);
  RenderObject(O);
  EXPECT_FALSE(Inside());
}

TEST_F(Render3D, PointModesProjectThemselves) {
  TBufferKv Ball(Dev.get(), 4, 4, false);
  Ball.Clear(PackColor(10, 20, 30));
  BallPic = &Ball;
  ObjRec O = Triangle(ModeSprites);
  O.VertexCount = 1;  // vertex (0, 0, 0) at position (0, 0, 0)
  RenderObject(O);
  EXPECT_EQ(At(320, 240), PackColor(10, 20, 30));  // the sprite's upper-left corner
  EXPECT_EQ(At(323, 243), PackColor(10, 20, 30));
  EXPECT_EQ(At(319, 240), 0u);

  Frame->Clear(0);
  O = Triangle(ModePoints);
  O.Vertices[0] = {10, 0, 0};  // 10 * 480 / 100 + 320
  O.Vertices[1] = {0, 0, 100};  // at the eye: this and every later vertex are dropped
  O.Vertices[2] = {0, 10, 0};
  RenderObject(O);
  EXPECT_EQ(At(368, 240), PackColor(80, 100, 255));
  EXPECT_EQ(At(320, 288), 0u);

  // The object's Z enters the denominator: d = 100 - z + Z. A zero d is
  // skipped, a negative one mirrors through the centre.
  Frame->Clear(0);
  O.Vertices[0] = {10, 0, 0};
  O.Vertices[1] = {10, 0, 50};
  O.VertexCount = 2;
  O.Z = -100;
  RenderObject(O);
  EXPECT_EQ(At(224, 240), PackColor(80, 100, 255));  // 10 * 480 / -50 + 320

  O.Mode = 9;  // not a mode: nothing
  Frame->Clear(0);
  RenderObject(O);
  EXPECT_EQ(kvtest::GetPixel(*Frame, 224, 240), 0u);
}

}  // namespace
