// The recorder's own per-frame work on its encoder thread, apart from the
// encoder: display pixels to RGB (each depth, --scale 1 and 2) and RGB to
// what the encoders take (yuv420p for H.264 and VP9, BGR0 for FFV1), on a
// 640 x 480 frame of noise; at --size 1080p and 2160p the even fit and the
// conversion, next to libswscale's (its largest difference from ours is the
// counter max_diff).
#include <benchmark/benchmark.h>
#if KV_HAVE_SWSCALE
extern "C" {
#include <libswscale/swscale.h>
}
#endif

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "show/FrameFit.h"
#include "show/SharpFit.h"
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

// As the recorder does it: each row to RGB, then the show's enlarger.
void BM_FrameToRgb(benchmark::State& State) {
  const KvFrameCopy F = NoiseFrame(int(State.range(0)));
  const int Scale = int(State.range(1));
  std::vector<uint8_t> Rgb1(size_t(640) * 480 * 3), Rgb(size_t(640 * Scale) * 480 * Scale * 3);
  for (auto _ : State) {
    for (int Y = 0; Y < F.Height; ++Y)
      KvRowToRgb(F.Pixels.get() + size_t(Y) * size_t(F.Pitch), F.Width, F.Depth, Rgb1.data() + size_t(Y) * 640 * 3);
    if (Scale > 1)
      FitPixels(Rgb1.data(), 640, 480, 640 * 3, 3, Rgb.data(), 640 * Scale, 480 * Scale, 640 * Scale * 3,
                KvRect{0, 0, 640 * Scale, 480 * Scale});
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

// --size 1080p (arg 1080) and 2160p (2160): the frame at 4:3 between bars.
struct Fitted {
  int W, H;
  std::vector<uint8_t> Rgb;
  explicit Fitted(int Lines) : W(Lines * 16 / 9), H(Lines), Rgb(size_t(W) * H * 3) {
    const KvRect Place{(W - H * 4 / 3) / 2, 0, (W + H * 4 / 3) / 2, H};
    SharpFit Fit(640, 480, W, H, Place);
    Fit.Fit(NoiseRgb().data(), Rgb.data());
  }
};

void BM_SharpFit(benchmark::State& State) {
  const int H = int(State.range(0)), W = H * 16 / 9;
  const KvRect Place{(W - H * 4 / 3) / 2, 0, (W + H * 4 / 3) / 2, H};
  SharpFit Fit(640, 480, W, H, Place);
  const std::vector<uint8_t> Rgb = NoiseRgb();
  std::vector<uint8_t> Out(size_t(W) * H * 3);
  for (auto _ : State) {
    Fit.Fit(Rgb.data(), Out.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_SharpFit)->Arg(1080)->Arg(2160)->Unit(benchmark::kMicrosecond);

void BM_RgbToYuv420Bt709(benchmark::State& State) {
  const Fitted F(int(State.range(0)));
  std::vector<uint8_t> Y(size_t(F.W) * F.H), U(Y.size() / 4), V(Y.size() / 4);
  for (auto _ : State) {
    RgbToYuv420(F.Rgb.data(), F.W, F.H, Y.data(), F.W, U.data(), F.W / 2, V.data(), F.W / 2, YuvMatrix::Bt709);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_RgbToYuv420Bt709)->Arg(1080)->Arg(2160)->Unit(benchmark::kMicrosecond);

#if KV_HAVE_SWSCALE
// The same conversion by libswscale: BT.709 studio range out of full-range
// RGB, chroma from the 2 x 2 blocks (area), rounding exact.
void BM_SwsRgbToYuv420Bt709(benchmark::State& State) {
  const Fitted F(int(State.range(0)));
  SwsContext* Sws = sws_getContext(F.W, F.H, AV_PIX_FMT_RGB24, F.W, F.H, AV_PIX_FMT_YUV420P,
                                   SWS_AREA | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP, nullptr, nullptr, nullptr);
  const int* Bt709 = sws_getCoefficients(SWS_CS_ITU709);
  sws_setColorspaceDetails(Sws, Bt709, 1, Bt709, 0, 0, 1 << 16, 1 << 16);
  std::vector<uint8_t> Y(size_t(F.W) * F.H), U(Y.size() / 4), V(Y.size() / 4);
  const uint8_t* Src[1] = {F.Rgb.data()};
  const int SrcPitch[1] = {F.W * 3};
  uint8_t* Dst[3] = {Y.data(), U.data(), V.data()};
  const int DstPitch[3] = {F.W, F.W / 2, F.W / 2};
  for (auto _ : State) {
    sws_scale(Sws, Src, SrcPitch, 0, F.H, Dst, DstPitch);
    benchmark::ClobberMemory();
  }
  std::vector<uint8_t> Y2(Y.size()), U2(U.size()), V2(V.size());
  RgbToYuv420(F.Rgb.data(), F.W, F.H, Y2.data(), F.W, U2.data(), F.W / 2, V2.data(), F.W / 2, YuvMatrix::Bt709);
  int Most = 0;
  for (size_t I = 0; I < Y.size(); ++I) Most = std::max(Most, std::abs(Y[I] - Y2[I]));
  for (size_t I = 0; I < U.size(); ++I) Most = std::max({Most, std::abs(U[I] - U2[I]), std::abs(V[I] - V2[I])});
  State.counters["max_diff"] = Most;
  sws_freeContext(Sws);
}
BENCHMARK(BM_SwsRgbToYuv420Bt709)->Arg(1080)->Arg(2160)->Unit(benchmark::kMicrosecond);
#endif

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
