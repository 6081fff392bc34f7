// The recorder's own per-frame work on its encoder thread, apart from the
// encoder: display pixels to RGB (each depth, --scale 1 and 2) and RGB to
// what the encoders take (yuv420p for H.264 and VP9, BGR0 for FFV1), on a
// 640 x 480 frame of noise.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "show/record/FrameRgb.h"
#include "show/record/PixelConvert.h"

namespace {

KvFrameCopy NoiseFrame(int Depth) {
  KvFrameCopy F;
  F.Width = 640;
  F.Height = 480;
  F.Depth = Depth;
  F.Pitch = 640 * ((Depth + 7) / 8);
  F.Pixels.reset(new uint8_t[size_t(F.Pitch) * F.Height]);
  std::mt19937 Rng(7);
  for (int I = 0; I < F.Pitch * F.Height; ++I) F.Pixels[size_t(I)] = uint8_t(Rng());
  if (Depth == 15)  // bit 15 is not colour at 15 bits
    for (int I = 1; I < F.Pitch * F.Height; I += 2) F.Pixels[size_t(I)] &= 0x7F;
  return F;
}

void BM_FrameToRgb(benchmark::State& State) {
  const KvFrameCopy F = NoiseFrame(int(State.range(0)));
  const int Scale = int(State.range(1));
  std::vector<uint8_t> Rgb(size_t(640 * Scale) * 480 * Scale * 3);
  for (auto _ : State) {
    FrameToRgb(F, Scale, Rgb.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FrameToRgb)->Args({16, 1})->Args({24, 1})->Args({32, 1})->Args({32, 2})->Unit(benchmark::kMicrosecond);

std::vector<uint8_t> NoiseRgb() {
  std::vector<uint8_t> Rgb(640 * 480 * 3);
  std::mt19937 Rng(9);
  for (uint8_t& B : Rgb) B = uint8_t(Rng());
  return Rgb;
}

void BM_RgbToYuv420(benchmark::State& State) {
  const std::vector<uint8_t> Rgb = NoiseRgb();
  std::vector<uint8_t> Y(640 * 480), U(320 * 240), V(320 * 240);
  for (auto _ : State) {
    RgbToYuv420(Rgb.data(), 640, 480, Y.data(), 640, U.data(), 320, V.data(), 320);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_RgbToYuv420)->Unit(benchmark::kMicrosecond);

void BM_RgbToBgr0(benchmark::State& State) {
  const std::vector<uint8_t> Rgb = NoiseRgb();
  std::vector<uint8_t> Out(640 * 480 * 4);
  for (auto _ : State) {
    RgbToBgr0(Rgb.data(), 640, 480, Out.data(), 640 * 4);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_RgbToBgr0)->Unit(benchmark::kMicrosecond);

// For scale: one 640 x 480 x 4 copy.
void BM_Memcpy640x480x4(benchmark::State& State) {
  std::vector<uint8_t> A(640 * 480 * 4, 1), B(640 * 480 * 4);
  for (auto _ : State) {
    std::memcpy(B.data(), A.data(), A.size());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Memcpy640x480x4)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
