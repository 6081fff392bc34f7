// 2D drawing benchmarks: each TBufferKv operation on 640 x 480 at each depth,
// on the reference kernels and on the fast path this processor takes, and
// side by side the nearest equivalents in pixman and in SDL2's software
// blitter. Items processed = pixels touched, so items/s compare directly.
//
//   bench_draw2d --benchmark_min_time=0.2
//
// Argument names: depth = 15/16/24/32, fast = 0 (reference) / 1 (the path
// KvActivePath picks: AVX2 when present, else SSE2).
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "engine/core/Kelvra.h"
#include "engine/core/Platform.h"
#include "engine/draw/BufferKv.h"
#include "engine/draw/FastPath.h"
#include "engine/platform/headless/HeadlessDevice.h"

#ifdef KV_HAVE_PIXMAN
#include <pixman.h>
#endif

namespace {

constexpr int W = 640, H = 480;

// A headless display of the depth, a 640 x 480 source and destination of
// seeded noise (a tenth of the source black, for the keyed operations).
struct Scene {
  std::unique_ptr<TKelvra> Display;
  std::unique_ptr<TBufferKv> Src, Dst;

  Scene(int Depth, bool Fast) {
    KvSetDeviceFactory([Depth] { return KvMakeHeadlessDevice(Depth); });
    Display = std::make_unique<TSelfKelvra>(W, H, "bench");
    Src = std::make_unique<TBufferKv>(Display.get(), W, H, false);
    Dst = std::make_unique<TBufferKv>(Display.get(), W, H, false);
    Fill(*Src, 1, true);
    Fill(*Dst, 2, false);
    if (Fast) KvForceReference(false);
    else KvForceReference(true);
  }
  ~Scene() { KvForceReference(false); }

  static void Fill(TBufferKv& B, uint32_t Seed, bool Keys) {
    std::mt19937 Rng(Seed);
    const uint32_t Mask = B.Depth == 15 ? 0x7FFF : B.Depth == 16 ? 0xFFFF : 0xFFFFFF;
    for (int y = 0; y < B.Height; ++y)
      for (int x = 0; x < B.Width; ++x) {
        uint32_t V = Rng() & Mask;
        if (Keys && Rng() % 10 == 0) V = 0;
        uint8_t* P = B.Rows[size_t(y)] + size_t(x) * B.BytesPerPixel;
        for (int i = 0; i < B.BytesPerPixel; ++i) P[i] = uint8_t(V >> (8 * i));
      }
  }
};

void Pixels(benchmark::State& State, int64_t PerIteration) {
  State.SetItemsProcessed(int64_t(State.iterations()) * PerIteration);
}

#define KV_BENCH(Name, Body)                                              \
  void BM_Kv_##Name(benchmark::State& State) {                           \
    Scene S(int(State.range(0)), State.range(1) != 0);                   \
    for (auto _ : State) {                                                \
      Body;                                                               \
      benchmark::ClobberMemory();                                         \
    }                                                                     \
    Pixels(State, int64_t(W) * H);                                        \
  }                                                                       \
  BENCHMARK(BM_Kv_##Name)                                                 \
      ->ArgNames({"depth", "fast"})                                       \
      ->ArgsProduct({{15, 16, 24, 32}, {0, 1}})                           \
      ->Unit(benchmark::kMicrosecond)

KV_BENCH(DrawAdd, S.Src->DrawAdd(S.Dst.get(), 0, 0));
KV_BENCH(DrawAlpha, S.Src->DrawAlpha(S.Dst.get(), 0, 0, 100));
KV_BENCH(DrawAlphaKeyed, S.Src->DrawAlphaKeyed(S.Dst.get(), 0, 0, 100, 0));
KV_BENCH(DrawKeyed, S.Src->DrawKeyed(S.Dst.get(), 0, 0, 0));
// The frame blended onto itself one pixel down and right (the show's trail).
KV_BENCH(TrailDrawAlpha, S.Dst->DrawAlpha(S.Dst.get(), 1, 1, 20));
KV_BENCH(TrailRightDrawAlpha, S.Dst->DrawAlpha(S.Dst.get(), 1, 0, 20));
// The same on the SSE2 path, which the browser's wasm SIMD build compiles.
void BM_Kv_TrailRightDrawAlphaSse2(benchmark::State& State) {
  Scene S(int(State.range(0)), true);
  KvForcePath(KvPath::Sse2);
  for (auto _ : State) {
    S.Dst->DrawAlpha(S.Dst.get(), 1, 0, 20);
    benchmark::ClobberMemory();
  }
  Pixels(State, int64_t(W) * H);
}
BENCHMARK(BM_Kv_TrailRightDrawAlphaSse2)->ArgName("depth")->Arg(32)->Unit(benchmark::kMicrosecond);
KV_BENCH(Blur, S.Dst->Blur());
KV_BENCH(HLine, for (int y = 0; y < H; ++y) S.Dst->HLine(0, W - 1, y, 0x1234));
// Turned 30 degrees at scale 1.4 so that the polygon covers the screen.
KV_BENCH(RotoZoom, S.Src->RotoZoom(S.Dst.get(), W / 2, H / 2, 1.4f, 30.0f, 0));

// --- SDL2's software blitter -------------------------------------------------

struct SdlPair {
  SDL_Surface* Src = nullptr;
  SDL_Surface* Dst = nullptr;
  explicit SdlPair(uint32_t Format) {
    Src = SDL_CreateRGBSurfaceWithFormat(0, W, H, 0, Format);
    Dst = SDL_CreateRGBSurfaceWithFormat(0, W, H, 0, Format);
    std::mt19937 Rng(3);
    for (SDL_Surface* S : {Src, Dst}) {
      auto* P = static_cast<uint8_t*>(S->pixels);
      for (int i = 0; i < S->pitch * S->h; ++i) P[i] = uint8_t(Rng());
    }
  }
  ~SdlPair() {
    SDL_FreeSurface(Src);
    SDL_FreeSurface(Dst);
  }
};

uint32_t SdlFormat(int Depth) {
  return Depth == 16 ? SDL_PIXELFORMAT_RGB565 : Depth == 24 ? SDL_PIXELFORMAT_RGB24 : SDL_PIXELFORMAT_XRGB8888;
}

void BM_Sdl_BlitAdd(benchmark::State& State) {
  SdlPair P(SdlFormat(int(State.range(0))));
  SDL_SetSurfaceBlendMode(P.Src, SDL_BLENDMODE_ADD);
  for (auto _ : State) SDL_BlitSurface(P.Src, nullptr, P.Dst, nullptr);
  Pixels(State, int64_t(W) * H);
}
BENCHMARK(BM_Sdl_BlitAdd)->ArgName("depth")->Arg(16)->Arg(24)->Arg(32)->Unit(benchmark::kMicrosecond);

void BM_Sdl_BlitAlphaMod(benchmark::State& State) {
  SdlPair P(SdlFormat(int(State.range(0))));
  SDL_SetSurfaceBlendMode(P.Src, SDL_BLENDMODE_BLEND);
  SDL_SetSurfaceAlphaMod(P.Src, 100);
  for (auto _ : State) SDL_BlitSurface(P.Src, nullptr, P.Dst, nullptr);
  Pixels(State, int64_t(W) * H);
}
BENCHMARK(BM_Sdl_BlitAlphaMod)->ArgName("depth")->Arg(16)->Arg(24)->Arg(32)->Unit(benchmark::kMicrosecond);

void BM_Sdl_BlitColorKey(benchmark::State& State) {
  SdlPair P(SdlFormat(int(State.range(0))));
  SDL_SetColorKey(P.Src, SDL_TRUE, 0);
  SDL_SetSurfaceBlendMode(P.Src, SDL_BLENDMODE_NONE);
  for (auto _ : State) SDL_BlitSurface(P.Src, nullptr, P.Dst, nullptr);
  Pixels(State, int64_t(W) * H);
}
BENCHMARK(BM_Sdl_BlitColorKey)->ArgName("depth")->Arg(16)->Arg(24)->Arg(32)->Unit(benchmark::kMicrosecond);

// --- pixman ------------------------------------------------------------------

#ifdef KV_HAVE_PIXMAN
struct PixmanPair {
  std::vector<uint32_t> SrcBits, DstBits;
  pixman_image_t* Src = nullptr;
  pixman_image_t* Dst = nullptr;
  explicit PixmanPair(pixman_format_code_t Format) : SrcBits(size_t(W) * H), DstBits(size_t(W) * H) {
    std::mt19937 Rng(4);
    for (auto& V : SrcBits) V = Rng();
    for (auto& V : DstBits) V = Rng();
    const int Stride = PIXMAN_FORMAT_BPP(Format) / 8 * W;
    Src = pixman_image_create_bits(Format, W, H, SrcBits.data(), Stride);
    Dst = pixman_image_create_bits(Format, W, H, DstBits.data(), Stride);
  }
  ~PixmanPair() {
    pixman_image_unref(Src);
    pixman_image_unref(Dst);
  }
};

pixman_format_code_t PixmanFormat(int Depth) {
  return Depth == 16 ? PIXMAN_r5g6b5 : Depth == 24 ? PIXMAN_r8g8b8 : PIXMAN_a8r8g8b8;
}

void BM_Pixman_Add(benchmark::State& State) {
  PixmanPair P(PixmanFormat(int(State.range(0))));
  for (auto _ : State) pixman_image_composite32(PIXMAN_OP_ADD, P.Src, nullptr, P.Dst, 0, 0, 0, 0, 0, 0, W, H);
  Pixels(State, int64_t(W) * H);
}
BENCHMARK(BM_Pixman_Add)->ArgName("depth")->Arg(16)->Arg(24)->Arg(32)->Unit(benchmark::kMicrosecond);

// OVER with a constant-alpha mask: dst = src x m + dst x (1 - m) for an
// opaque source, pixman's form of a constant-opacity blend.
void BM_Pixman_OverConstMask(benchmark::State& State) {
  const int Depth = int(State.range(0));
  PixmanPair P(Depth == 32 ? PIXMAN_x8r8g8b8 : PixmanFormat(Depth));
  const pixman_color_t Alpha = {0, 0, 0, 100 * 257};
  pixman_image_t* Mask = pixman_image_create_solid_fill(&Alpha);
  for (auto _ : State) pixman_image_composite32(PIXMAN_OP_OVER, P.Src, Mask, P.Dst, 0, 0, 0, 0, 0, 0, W, H);
  pixman_image_unref(Mask);
  Pixels(State, int64_t(W) * H);
}
BENCHMARK(BM_Pixman_OverConstMask)->ArgName("depth")->Arg(16)->Arg(24)->Arg(32)->Unit(benchmark::kMicrosecond);

// An affine rotated composite with nearest filtering, turned and scaled as
// BM_Kv_RotoZoom (the whole destination is covered).
void BM_Pixman_RotateNearest(benchmark::State& State) {
  PixmanPair P(PixmanFormat(int(State.range(0))));
  const double Angle = 30.0 * 3.14159265358979323846 / 180.0, Scale = 1.4;
  pixman_transform_t T;
  // Destination -> source: translate to the centre, rotate back, unscale.
  pixman_transform_init_identity(&T);
  pixman_transform_translate(&T, nullptr, pixman_double_to_fixed(-W / 2.0), pixman_double_to_fixed(-H / 2.0));
  pixman_transform_rotate(&T, nullptr, pixman_double_to_fixed(std::cos(-Angle)), pixman_double_to_fixed(std::sin(-Angle)));
  pixman_transform_scale(&T, nullptr, pixman_double_to_fixed(1.0 / Scale), pixman_double_to_fixed(1.0 / Scale));
  pixman_transform_translate(&T, nullptr, pixman_double_to_fixed(W / 2.0), pixman_double_to_fixed(H / 2.0));
  pixman_image_set_transform(P.Src, &T);
  pixman_image_set_filter(P.Src, PIXMAN_FILTER_NEAREST, nullptr, 0);
  pixman_image_set_repeat(P.Src, PIXMAN_REPEAT_NONE);
  for (auto _ : State) pixman_image_composite32(PIXMAN_OP_SRC, P.Src, nullptr, P.Dst, 0, 0, 0, 0, 0, 0, W, H);
  Pixels(State, int64_t(W) * H);
}
BENCHMARK(BM_Pixman_RotateNearest)->ArgName("depth")->Arg(16)->Arg(24)->Arg(32)->Unit(benchmark::kMicrosecond);
#endif

}  // namespace

// The yardstick: one 640 x 480 frame copied with memcpy (the least any
// operation that reads one frame and writes another can cost).
void BM_Memcpy_Frame(benchmark::State& State) {
  const size_t Bytes = size_t(W) * H * size_t(State.range(0) == 15 ? 2 : (State.range(0) + 7) / 8);
  std::vector<uint8_t> Src(Bytes, 1), Dst(Bytes, 2);
  for (auto _ : State) {
    std::memcpy(Dst.data(), Src.data(), Bytes);
    benchmark::DoNotOptimize(Dst.data());
    benchmark::ClobberMemory();
  }
  Pixels(State, int64_t(W) * H);
}
BENCHMARK(BM_Memcpy_Frame)->ArgName("depth")->Arg(16)->Arg(24)->Arg(32)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
