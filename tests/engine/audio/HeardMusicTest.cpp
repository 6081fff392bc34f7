// The music as heard, over the whole show's length, on a simulated clock: a
// recording device plays what the real mixer gives it at 0.1 % fast or slow,
// with scheduling jitter and a 200 ms stall half-way. Each music frame
// carries its own number, so what the device plays says which frame the
// listener hears; the heard clock must agree with it within 20 ms at every
// second. The steady clock from the start of the music (the clock before the
// music was followed) is measured alongside and printed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "engine/SmoothClock.h"
#include "engine/audio/AudioOutput.h"
#include "engine/audio/Decoder.h"
#include "engine/audio/HeardMusic.h"
#include "engine/audio/Mixer.h"
#include "engine/audio/MusicStream.h"

namespace {

constexpr double FramesPerMs = KvMixRate / 1000.0;

// Music whose frame k holds k + 1 (low 16 bits left, high bits right):
// silence is (0, 0), never a frame of it.
class CountingDecoder : public KvDecoder {
 public:
  explicit CountingDecoder(size_t Total) : Total(Total) {}
  size_t Decode(int16_t* Out, size_t MaxFrames) override {
    const size_t N = std::min(MaxFrames, Total - Next);
    for (size_t I = 0; I < N; ++I, ++Next) {
      Out[I * 2] = int16_t(uint16_t((Next + 1) & 0xFFFF));
      Out[I * 2 + 1] = int16_t(uint16_t((Next + 1) >> 16));
    }
    return N;
  }
  bool Rewind() override {
    Next = 0;
    return true;
  }

 private:
  size_t Total;
  size_t Next = 0;
};

enum class Output { SdlQueued, WaveOutPosition };

struct Figures {
  double Worst = 0, Median = 0;
};

Figures Summarise(std::vector<double> Offsets) {
  Figures F;
  if (Offsets.empty()) return F;
  for (double& O : Offsets) O = std::abs(O);
  std::sort(Offsets.begin(), Offsets.end());
  F.Worst = Offsets.back();
  F.Median = Offsets[Offsets.size() / 2];
  return F;
}

// One run of the show's length. The device plays output frame n at
// P(n) = n / rate, plus 200 ms from the stall on.
void RunDevice(Output Kind, double Rate, const char* Name) {
  KvAudioClose();
  std::string Error;
  ASSERT_TRUE(KvMixerAllocate(Error) && KvMixerSetVoices(4, Error)) << Error;
  KvHeardReset();

  const double ShowMs = 257840;
  const size_t MusicFrames = size_t((ShowMs + 2000) * FramesPerMs);
  KvMusicStream Music(std::make_unique<CountingDecoder>(MusicFrames), false);
  KvMixerAddStream(&Music);

  const size_t Block = Kind == Output::SdlQueued ? 1024 : 2048;
  const size_t Queued = Kind == Output::SdlQueued ? 2 : 4;  // blocks ahead of the listener
  const double PerUs = FramesPerMs / 1000 * Rate;
  const int64_t T0 = 1000000, StallUs = 200000, PlayUs = T0 + 500000;
  const int64_t StallFrame = int64_t(ShowMs / 2 * FramesPerMs);
  auto PlayedAt = [&](int64_t N) { return T0 + int64_t(double(N) / PerUs) + (N >= StallFrame ? StallUs : 0); };
  auto HeardFrame = [&](int64_t T) -> int64_t {  // the output frame at the listener
    if (T < T0) return -1;
    const int64_t StallStart = PlayedAt(StallFrame) - StallUs;
    if (T < StallStart) return int64_t(double(T - T0) * PerUs);
    if (T < StallStart + StallUs) return StallFrame;
    return int64_t(double(T - T0 - StallUs) * PerUs);
  };

  std::vector<int16_t> Recorded;
  std::mt19937 Jitter(11);
  bool Playing = false;
  std::vector<double> Before, After;
  int64_t NextSecond = PlayUs + 1000000;
  // Wake-up k mixes block k; the device asks for it when block k - Queued + 1
  // starts playing, a few milliseconds late.
  for (size_t K = 0; Recorded.size() / 2 < size_t((ShowMs + 1000) * FramesPerMs); ++K) {
    const int64_t Due = K + 1 < Queued ? T0 : PlayedAt(int64_t((K + 1 - Queued) * Block));
    const int64_t Wake = Due + int64_t(Jitter() % 3000);
    // Each second of the show before this wake-up.
    for (; NextSecond < Wake; NextSecond += 1000000) {
      const int64_t N = HeardFrame(NextSecond);
      double Frame = 0;
      const bool Known = KvHeardMusicFrame(NextSecond, Frame);
      if (N >= 0 && size_t(N) < Recorded.size() / 2) {
        const uint32_t Truth = uint16_t(Recorded[N * 2]) | uint32_t(uint16_t(Recorded[N * 2 + 1])) << 16;
        if (Truth > 0) {
          const double TruthMs = (Truth - 1) / FramesPerMs;
          EXPECT_TRUE(Known) << Name << " at " << (NextSecond - PlayUs) / 1000 << " ms";
          if (Known) After.push_back(Frame / FramesPerMs - TruthMs);
          Before.push_back(double(NextSecond - PlayUs) / 1000 - TruthMs);
        }
      }
    }
    if (!Playing && Wake >= PlayUs) {
      ASSERT_TRUE(KvMixerTakeVoice(&Music));
      Playing = true;
    }
    ASSERT_TRUE(Music.WaitBuffered(Block, 20000)) << "the decoder fell behind";
    std::vector<int16_t> Out(Block * 2);
    KvMixerMix(Out.data(), Block);
    Recorded.insert(Recorded.end(), Out.begin(), Out.end());
    if (Kind == Output::SdlQueued)
      KvHeardQueued(Wake, Queued * Block, Block);
    else
      KvHeardAt(Wake, HeardFrame(Wake), Block);
  }
  KvMixerFreeVoice(&Music);
  KvMixerRemoveStream(&Music);

  ASSERT_GE(After.size(), 255u);
  for (size_t S = 0; S < After.size(); ++S) EXPECT_LE(std::abs(After[S]), 20.0) << Name << " at second " << S + 1;
  const Figures B = Summarise(Before), A = Summarise(After);
  std::printf("%s: steady clock worst %.1f ms, median %.1f ms; heard clock worst %.1f ms, median %.1f ms\n", Name,
              B.Worst, B.Median, A.Worst, A.Median);
}

TEST(HeardMusicTest, SdlQueuedDeviceFastAndSlowWithAStall) {
  RunDevice(Output::SdlQueued, 1.001, "SDL, device 0.1 % fast");
  RunDevice(Output::SdlQueued, 0.999, "SDL, device 0.1 % slow");
}

TEST(HeardMusicTest, WaveOutPositionDeviceFastAndSlowWithAStall) {
  RunDevice(Output::WaveOutPosition, 1.001, "waveOut, device 0.1 % fast");
  RunDevice(Output::WaveOutPosition, 0.999, "waveOut, device 0.1 % slow");
}

// The smoothed clock takes a reading far ahead of it at once, never steps
// back, and never runs past what the last reading said can be reached.
TEST(HeardMusicTest, SmoothClockJumpsForwardAndStandsStillForALateDevice) {
  KvSmoothClock C(1000.0, 20.0, 0.25);
  C.Measure(0, 100, 50);
  EXPECT_DOUBLE_EQ(C.Read(10000), 110);
  C.Measure(20000, 300, 50);  // 180 ms behind: jump
  EXPECT_DOUBLE_EQ(C.Read(20000), 300);
  EXPECT_DOUBLE_EQ(C.Read(30000), 310);
  C.Measure(40000, 250, 50);  // 60 ms ahead of the reading: stand still
  EXPECT_DOUBLE_EQ(C.Read(60000), 310);
  EXPECT_DOUBLE_EQ(C.Read(500000), 310);
  C.Measure(520000, 310, 50);  // caught up: runs on
  EXPECT_DOUBLE_EQ(C.Read(530000), 320);
}

}  // namespace
