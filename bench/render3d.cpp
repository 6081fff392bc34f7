// 3D pipeline throughput: TransformObject on a 3000-vertex mesh, and
// RenderObject per drawing mode and depth for a 3000-face object that fills
// a quarter of a 640 x 480 frame (a 50 x 30 grid of quads facing the eye,
// every face drawn).
//
//   bench_render3d                          all
//   bench_render3d --benchmark_filter=Render/3/   one mode (3 = flat), all depths
//
// "tri/s" counts faces per second; the time column is one whole object (one
// frame's worth of that object). Points and sprites work per vertex (1581).
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "engine/core/Kelvra.h"
#include "engine/core/Platform.h"
#include "engine/draw/BufferKv.h"
#include "engine/draw/PixelFormat.h"
#include "engine/platform/headless/HeadlessDevice.h"
#include "show/3d/Object3D.h"
#include "show/3d/Render.h"
#include "show/Show.h"

namespace {

// A grid of (Columns + 1) x (Rows + 1) vertices, Cell units apart, centred
// on the origin in the z = 0 plane, two clockwise triangles per cell.
// Vertex normals lean outward like a shallow dome so the environment map
// is read all over.
ObjRec GridObject(int Columns, int Rows, float Cell) {
  ObjRec O;
  const int VW = Columns + 1, VH = Rows + 1;
  O.VertexCount = uint16_t(VW * VH);
  O.FaceCount = uint16_t(Columns * Rows * 2);
  O.Vertices.Allocate(O.VertexCount + 1);
  O.Projected.Allocate(O.VertexCount + 1);
  O.VertexNormals.Allocate(O.VertexCount + 1);
  O.VertexLight.Allocate(O.VertexCount + 1);
  O.Faces.Allocate(O.FaceCount + 1);
  O.FaceNormals.Allocate(O.FaceCount + 1);
  O.FaceLight.Allocate(O.FaceCount + 1);
  O.ZOrder.Allocate(O.FaceCount + 1);
  for (int y = 0; y < VH; ++y)
    for (int x = 0; x < VW; ++x) {
      const float Px = (x - Columns / 2.0f) * Cell, Py = (y - Rows / 2.0f) * Cell;
      O.Vertices[y * VW + x] = {Px, Py, 0};
      const double Nx = Px / 60.0, Ny = Py / 60.0, L = std::sqrt(Nx * Nx + Ny * Ny + 1);
      O.VertexNormals[y * VW + x] = {float(Nx / L), float(Ny / L), float(1 / L)};
    }
  int F = 0;
  for (int y = 0; y < Rows; ++y)
    for (int x = 0; x < Columns; ++x) {
      const uint16_t I = uint16_t(y * VW + x);
      O.Faces[F] = {I, uint16_t(I + 1), uint16_t(I + VW)};
      O.FaceNormals[F++] = {0, 0, 1};
      O.Faces[F] = {uint16_t(I + 1), uint16_t(I + VW + 1), uint16_t(I + VW)};
      O.FaceNormals[F++] = {0, 0, 1};
    }
  return O;
}

struct Stage {
  std::unique_ptr<TKelvra> Dev;
  std::unique_ptr<TBufferKv> Frame, Texture, Ball;
  explicit Stage(int Depth) {
    KvSetDeviceFactory([Depth] { return KvMakeHeadlessDevice(Depth); });
    Dev = std::make_unique<TSelfKelvra>(640, 480, "bench");
    Frame = std::make_unique<TBufferKv>(Dev.get(), 640, 480, false);
    Texture = std::make_unique<TBufferKv>(Dev.get(), 256, 256, false);
    Ball = std::make_unique<TBufferKv>(Dev.get(), 16, 16, false);
    uint32_t Seed = 7;
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 256; ++x) {
        Seed = Seed * 1664525u + 1013904223u;
        Texture->PutPixel(x, y, PackColor(uint8_t(Seed >> 24), uint8_t(Seed >> 16), uint8_t(Seed >> 8)));
      }
    Ball->Clear(PackColor(40, 30, 20));
    Display = Dev.get();
    Screen = Frame.get();
    BallPic = Ball.get();
    DisplayWidth = 640;
    DisplayHeight = 480;
    InitSinCos();
    SetLight(0, 0, 1);
    EyeDistance = 100;
    CullBackFaces = true;
    RotateNormals = true;
  }
  ~Stage() {
    Screen = nullptr;
    Display = nullptr;
    BallPic = nullptr;
    Ball.reset();
    Texture.reset();
    Frame.reset();
  }
};

void BM_TransformObject(benchmark::State& State) {
  Stage S(32);
  ObjRec O = GridObject(59, 49, 1.0f);  // 60 x 50 = 3000 vertices
  O.FaceCount = 3000;                   // the largest mesh the loader accepts
  O.SpinX = 3;
  O.SpinY = 2;
  O.SpinZ = 1;
  for (auto _ : State) {
    TransformObject(O);
    benchmark::ClobberMemory();
  }
  State.counters["vertices/s"] =
      benchmark::Counter(double(O.VertexCount), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_TransformObject)->Unit(benchmark::kMillisecond);

// Arguments: mode, depth.
void BM_Render(benchmark::State& State) {
  const uint16_t Mode = uint16_t(State.range(0));
  Stage S(int(State.range(1)));
  // 50 x 30 cells of 6.4 / 4.8 = 1.333 units: 320 x 240 pixels at z = 0.
  ObjRec O = GridObject(50, 30, 320.0f / 4.8f / 50);
  O.Mode = Mode;
  O.Texture = S.Texture.get();
  TransformObject(O);  // spins 0: projects and lights once
  for (auto _ : State) {
    RenderObject(O);
    benchmark::ClobberMemory();
  }
  const bool PerVertex = Mode == ModePoints || Mode == ModeSprites;
  State.counters[PerVertex ? "vertices/s" : "tri/s"] = benchmark::Counter(
      double(PerVertex ? O.VertexCount : O.FaceCount), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Render)
    ->ArgNames({"mode", "depth"})
    ->ArgsProduct({{1, 2, 3, 4, 5, 6, 7, 8}, {15, 16, 24, 32}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
