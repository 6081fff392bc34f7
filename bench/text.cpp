// Text drawing and picture loading costs: forty lines of text per frame at
// each depth (glyph cache warm, as in the show's credits and greetings), and
// decoding plus packing a 640 x 480 picture.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "engine/core/Kelvra.h"
#include "engine/draw/BufferKv.h"
#include "engine/draw/PixelFormat.h"
#include "engine/platform/headless/HeadlessDevice.h"

namespace {

std::unique_ptr<TKelvra> HeadlessDisplay(int Depth) {
  KvSetDeviceFactory([Depth] { return KvMakeHeadlessDevice(Depth); });
  return std::make_unique<TSelfKelvra>(640, 480, "bench");
}

void BM_TextOut40Lines(benchmark::State& State) {
  const int Depth = int(State.range(0));
  auto Display = HeadlessDisplay(Depth);
  TBufferKv Screen(Display.get(), 640, 480, false);
  Screen.SetFont("", 16);
  const std::string Line = "Greetings to everybody who still codes for the love of it 0123";
  const uint32_t Color = PackColorDepth(Depth, 255, 175, 132);
  for (auto _ : State) {
    for (int i = 0; i < 40; ++i) Screen.TextOut(8, i * 12, Line, Color);
    benchmark::ClobberMemory();
  }
  State.SetItemsProcessed(int64_t(State.iterations()) * 40);
}
BENCHMARK(BM_TextOut40Lines)->Arg(15)->Arg(16)->Arg(24)->Arg(32)->Unit(benchmark::kMicrosecond);

// A 640 x 480 BMP of noise (BMP keeps the decoder's share small, so this is
// mostly reading, converting and packing).
std::string NoiseBmp(int W, int H) {
  std::string Out = "BM";
  auto Put = [&Out](uint32_t V, int Bytes) {
    for (int i = 0; i < Bytes; ++i) Out.push_back(char(V >> (8 * i)));
  };
  const uint32_t Stride = uint32_t(W) * 3, Pixels = Stride * uint32_t(H);
  Put(54 + Pixels, 4), Put(0, 4), Put(54, 4), Put(40, 4), Put(uint32_t(W), 4), Put(uint32_t(H), 4), Put(1, 2),
      Put(24, 2), Put(0, 4), Put(Pixels, 4), Put(2835, 4), Put(2835, 4), Put(0, 4), Put(0, 4);
  std::mt19937 Rng(1);
  for (uint32_t i = 0; i < Pixels; ++i) Out.push_back(char(Rng()));
  return Out;
}

void BM_LoadBmp640x480(benchmark::State& State) {
  const int Depth = int(State.range(0));
  auto Display = HeadlessDisplay(Depth);
  TBufferKv Picture(Display.get(), 640, 480, false);
  const std::string Bytes = NoiseBmp(640, 480);
  for (auto _ : State) {
    std::istringstream In(Bytes);
    Picture.LoadFromStream(In, false);
  }
}
BENCHMARK(BM_LoadBmp640x480)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
