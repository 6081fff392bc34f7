// The music as heard over the show's length, on a simulated clock: a device
// plays the real mixer's blocks 0.1 % fast or slow, woken a few ms late, with
// a 200 ms stall half-way. Music frames carry their numbers, so what it plays
// says which is heard: the heard clock agrees within 20 ms at every second.
// The steady clock from the music's start (the clock before) is printed too.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <utility>
#include <vector>

#include "engine/audio/AudioOutput.h"
#include "engine/audio/HeardMusic.h"
#include "engine/audio/Mixer.h"
#include "engine/audio/MusicStream.h"

namespace {

constexpr double FramesPerMs = KvMixRate / 1000.0;

// Frame k holds k + 1 (low 16 bits left, high right): never silence.
class CountingDecoder : public KvDecoder {
 public:
  size_t Decode(int16_t* Out, size_t MaxFrames) override {
    for (size_t I = 0; I < MaxFrames; ++I, ++Next) {
      Out[I * 2] = int16_t(uint16_t((Next + 1) & 0xFFFF));
      Out[I * 2 + 1] = int16_t(uint16_t((Next + 1) >> 16));
    }
    return MaxFrames;
  }
  bool Rewind() override { return false; }
  size_t Next = 0;
};

std::pair<double, double> WorstAndMedian(std::vector<double> V) {
  for (double& O : V) O = std::abs(O);
  std::sort(V.begin(), V.end());
  return {V.back(), V[V.size() / 2]};
}

// SDL (Position false) says how much is queued when it asks for a block; a
// waveOut stream (Position true) says where it is.
void RunDevice(bool Position, double Rate, const char* Name) {
  KvAudioClose();
  std::string Error;
  ASSERT_TRUE(KvMixerAllocate(Error) && KvMixerSetVoices(4, Error)) << Error;
  KvHeardReset();
  KvMusicStream Music(std::make_unique<CountingDecoder>(), false);
  KvMixerAddStream(&Music);

  const size_t Block = Position ? 2048 : 1024, Queued = Position ? 4 : 2;
  const double PerUs = FramesPerMs / 1000 * Rate;
  const int64_t T0 = 1000000, StallUs = 200000, PlayUs = T0 + 500000;
  const int64_t StallFrame = int64_t(128920 * FramesPerMs), StallAt = T0 + int64_t(double(StallFrame) / PerUs);
  auto PlayedAt = [&](int64_t N) { return T0 + int64_t(double(N) / PerUs) + (N >= StallFrame ? StallUs : 0); };
  auto HeardFrame = [&](int64_t T) {  // the output frame at the listener
    return T < StallAt ? int64_t(double(T - T0) * PerUs)
                       : std::max(StallFrame, int64_t(double(T - T0 - StallUs) * PerUs));
  };

  std::vector<int16_t> Played;
  std::mt19937 Jitter(11);
  std::vector<double> Before, After;
  int64_t Second = PlayUs + 1000000;
  // Wake-up k mixes block k: when block k + 1 - Queued starts playing.
  for (size_t K = 0; Played.size() < size_t(259000 * FramesPerMs) * 2; ++K) {
    const int64_t Wake = (K + 1 < Queued ? T0 : PlayedAt(int64_t((K + 1 - Queued) * Block))) + Jitter() % 3000;
    for (; Second < Wake; Second += 1000000) {
      const size_t N = size_t(HeardFrame(Second));
      const uint32_t Truth = uint16_t(Played[N * 2]) | uint32_t(uint16_t(Played[N * 2 + 1])) << 16;
      if (Truth == 0) continue;  // silence before the music
      double Frame = -1e9;
      EXPECT_TRUE(KvHeardMusicFrame(Second, Frame)) << Name << " at " << Second;
      After.push_back((Frame - (Truth - 1)) / FramesPerMs);
      Before.push_back(double(Second - PlayUs) / 1000 - (Truth - 1) / FramesPerMs);
    }
    if (Wake >= PlayUs) {
      ASSERT_TRUE(KvMixerTakeVoice(&Music));
    }
    ASSERT_TRUE(Music.WaitBuffered(Block, 20000)) << "the decoder fell behind";
    Played.resize(Played.size() + Block * 2);
    KvMixerMix(Played.data() + Played.size() - Block * 2, Block);
    if (Position)
      KvHeardAt(Wake, HeardFrame(Wake), Block);
    else
      KvHeardQueued(Wake, Queued * Block, Block);
  }
  KvMixerFreeVoice(&Music);
  KvMixerRemoveStream(&Music);

  ASSERT_GE(After.size(), 255u);
  for (size_t S = 0; S < After.size(); ++S) EXPECT_LE(std::abs(After[S]), 20.0) << Name << " at second " << S + 1;
  const auto B = WorstAndMedian(Before), A = WorstAndMedian(After);
  std::printf("%s: steady clock worst %.1f ms, median %.1f ms; heard clock worst %.1f ms, median %.1f ms\n", Name,
              B.first, B.second, A.first, A.second);
}

TEST(HeardMusicTest, SdlAndWaveOutDevicesFastOrSlowWithAStall) {
  RunDevice(false, 1.001, "SDL, device 0.1 % fast");
  RunDevice(false, 0.999, "SDL, device 0.1 % slow");
  RunDevice(true, 1.001, "waveOut, device 0.1 % fast");
  RunDevice(true, 0.999, "waveOut, device 0.1 % slow");
}

}  // namespace
