// Seeded randomized differential test, after pixman's blitters-test: one
// long sequence of random operations (blits at random and clipped positions,
// blits of a buffer onto itself at the trail offsets and beyond, blur, span
// fills, textured polygons, rotozoom) over buffers of odd sizes, run once on
// each path. After every operation the buffers' checksums are folded into a
// running hash; every fast path must reach the reference path's hash, and a
// mismatch names the first operation that differed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "Draw2d.h"

namespace {

struct Outcome {
  std::vector<uint64_t> Hashes;  // after each operation
  std::vector<std::string> Names;
};

int32_t RandomPos(std::mt19937& Rng, int Extent) {
  switch (Rng() % 8) {
    case 0:
      return Rng() % 2 ? INT32_MIN + int32_t(Rng() % 5) : INT32_MAX - int32_t(Rng() % 5);
    case 1:
      return int32_t(Rng() % 3) - 1;  // the trail offsets
    default:
      return int32_t(Rng() % uint32_t(3 * Extent)) - Extent;
  }
}

float RandomCoord(std::mt19937& Rng, float Extent) {
  return std::uniform_real_distribution<float>(-0.3f * Extent, 1.3f * Extent)(Rng);
}

Outcome RunSequence(int Depth, KvPath Path, uint32_t Seed, int Steps) {
  KvForcePath(Path);
  Outcome Out;
  auto Display = kvtest::MakeDisplay(Depth);
  std::mt19937 Rng(Seed);
  // Odd widths, one wider than the screen, one in video memory.
  std::vector<std::unique_ptr<TBufferKv>> Bufs;
  const int Sizes[][2] = {{123, 77}, {37, 21}, {1, 9}, {200, 13}, {64, 64}, {17, 33}};
  for (size_t i = 0; i < sizeof(Sizes) / sizeof(Sizes[0]); ++i) {
    Bufs.push_back(std::make_unique<TBufferKv>(Display.get(), Sizes[i][0], Sizes[i][1], i == 5));
    kvtest::FillRandom(*Bufs.back(), Seed + uint32_t(i), true);
  }
  for (int Step = 0; Step < Steps; ++Step) {
    TBufferKv& A = *Bufs[Rng() % Bufs.size()];
    TBufferKv& B = Rng() % 4 == 0 ? A : *Bufs[Rng() % Bufs.size()];  // often onto itself
    const int32_t X = RandomPos(Rng, B.Width), Y = RandomPos(Rng, B.Height);
    const uint8_t Alpha = uint8_t(Rng());
    // Keys: often a pixel value that occurs, sometimes with bits above the depth.
    uint32_t Key = kvtest::GetPixel(A, int(Rng() % uint32_t(A.Width)), int(Rng() % uint32_t(A.Height)));
    if (Rng() % 4 == 0) Key |= 0xFF000000u;
    std::string Name;
    switch (Rng() % 9) {
      case 0:
        A.DrawAdd(&B, X, Y);
        Name = "DrawAdd";
        break;
      case 1:
        A.DrawAlpha(&B, X, Y, Alpha);
        Name = "DrawAlpha";
        break;
      case 2:
        A.DrawAlphaKeyed(&B, X, Y, Alpha, Key);
        Name = "DrawAlphaKeyed";
        break;
      case 3:
        A.Blur();
        Name = "Blur";
        break;
      case 4:
        A.HLine(RandomPos(Rng, A.Width), RandomPos(Rng, A.Width), int32_t(Rng() % uint32_t(A.Height)), Key);
        Name = "HLine";
        break;
      case 5: {
        TexVertex V[5];
        const int Count = 3 + int(Rng() % 3);
        for (int i = 0; i < Count; ++i) {
          V[i].X = RandomCoord(Rng, float(B.Width));
          V[i].Y = RandomCoord(Rng, float(B.Height));
          V[i].U = RandomCoord(Rng, float(A.Width));
          V[i].V = RandomCoord(Rng, float(A.Height));
        }
        B.TexturePoly(&A, V, Count, Key);
        Name = "TexturePoly";
        break;
      }
      case 6:
        A.RotoZoom(&B, int32_t(Rng() % uint32_t(B.Width)), int32_t(Rng() % uint32_t(B.Height)),
                   std::uniform_real_distribution<float>(0.1f, 3.0f)(Rng),
                   std::uniform_real_distribution<float>(-400.0f, 400.0f)(Rng), Key);
        Name = "RotoZoom";
        break;
      case 7: {  // a self-blit at one of the nine trail offsets
        const int32_t DX = int32_t(Rng() % 3) - 1, DY = int32_t(Rng() % 3) - 1;
        if (Rng() % 2) A.DrawAlpha(&A, DX, DY, Alpha);
        else A.DrawAdd(&A, DX, DY);
        Name = "self-blit";
        break;
      }
      default:
        A.Line(RandomPos(Rng, A.Width), RandomPos(Rng, A.Height), RandomPos(Rng, A.Width), RandomPos(Rng, A.Height),
               Key);
        Name = "Line";
        break;
    }
    uint64_t Hash = 0;
    for (auto& Buf : Bufs) Hash = Hash * 1099511628211ull ^ kvtest::Checksum(*Buf);
    Out.Hashes.push_back(Hash);
    Out.Names.push_back(Name);
  }
  return Out;
}

class Differential : public ::testing::TestWithParam<int> {
 protected:
  d2::PathGuard Guard;
};

INSTANTIATE_TEST_SUITE_P(Depths, Differential, ::testing::Values(15, 16, 24, 32));

TEST_P(Differential, EveryPathReachesTheReferenceChecksums) {
  for (uint32_t Seed : {1u, 2u, 3u}) {
    const Outcome Want = RunSequence(GetParam(), KvPath::Reference, Seed, 1500);
    for (KvPath Path : d2::Paths()) {
      if (Path == KvPath::Reference) continue;
      const Outcome Got = RunSequence(GetParam(), Path, Seed, 1500);
      ASSERT_EQ(Got.Hashes.size(), Want.Hashes.size());
      for (size_t i = 0; i < Want.Hashes.size(); ++i)
        ASSERT_EQ(Got.Hashes[i], Want.Hashes[i])
            << d2::PathName(Path) << " differs first at operation " << i << " (" << Want.Names[i] << "), seed " << Seed;
    }
  }
}

// The processor test and the path switch: forcing a path the processor
// lacks falls back, and the reference switch wins over everything.
TEST(FastPath, PathSelection) {
  d2::PathGuard Guard;
  EXPECT_TRUE(MmxAvailable);
  KvForcePath(KvPath::Avx2);
  EXPECT_EQ(KvActivePath(), KvHasAvx2() ? KvPath::Avx2 : KvPath::Sse2);
  KvForceReference(true);
  EXPECT_EQ(KvActivePath(), KvPath::Reference);
  KvForceReference(false);
  EXPECT_NE(KvActivePath(), KvPath::Reference);
  uint8_t From[37], To[37] = {};
  for (int i = 0; i < 37; ++i) From[i] = uint8_t(i * 7 + 1);
  FastMove(From, To, 37);
  EXPECT_EQ(std::memcmp(From, To, 37), 0);
  EndMmx();
}

// KELVRA_REFERENCE=1 starts the engine on the reference path: checked in a
// child process, since the choice is made once per process.
TEST(FastPath, EnvironmentSelectsTheReference) {
  if (std::getenv("KV_DRAW2D_CHILD")) {
    std::printf("path=%d\n", int(KvActivePath()));
    std::exit(0);
  }
  char Self[4096] = {};
  const ssize_t N = readlink("/proc/self/exe", Self, sizeof(Self) - 1);
  ASSERT_GT(N, 0);
  const auto R = kvtest::RunChild({Self, "--gtest_filter=FastPath.EnvironmentSelectsTheReference"}, "",
                                  {"KV_DRAW2D_CHILD=1", "KELVRA_REFERENCE=1"});
  EXPECT_NE(R.Out.find("path=0"), std::string::npos) << R.Out << R.Err;
  const auto Plain = kvtest::RunChild({Self, "--gtest_filter=FastPath.EnvironmentSelectsTheReference"}, "",
                                      {"KV_DRAW2D_CHILD=1", "KELVRA_REFERENCE=0"});
  EXPECT_EQ(Plain.Out.find("path=0"), std::string::npos) << Plain.Out << Plain.Err;
}

}  // namespace
