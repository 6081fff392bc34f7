// The frame-output user of --benchmark: per scene the frames drawn and the
// wall-clock milliseconds per frame (drawing, presenting and the other
// outputs; the frame-rate cap's waits left out), and the time from the
// program's start to its first presented frame. The report goes to
// standard output when the run ends.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <kelvra/draw/FastPath.h>

#include "FrameOutput.h"
#include "Show.h"

namespace {
using Clock = std::chrono::steady_clock;

// Taken while the program's static objects are built, before main: the
// nearest this program's own code gets to its start.
const Clock::time_point ProgramStart = Clock::now();

double MsBetween(Clock::time_point A, Clock::time_point B) {
  return std::chrono::duration<double, std::milli>(B - A).count();
}

constexpr int SceneSlots = 16;  // prelude 0, scenes 1 .. 14, anything else 15

class BenchmarkTiming : public FrameOutput {
 public:
  BenchmarkTiming() : RunStart(Clock::now()), FrameStart(RunStart) {}

  void Take(const FinishedFrame& Frame) override {
    const Clock::time_point Now = Clock::now();
    const int Slot = (CurrentScene >= 0 && CurrentScene < SceneSlots - 1) ? CurrentScene : SceneSlots - 1;
    Times[Slot].push_back(MsBetween(FrameStart, Now) - Frame.CapWaitMs);
    FrameStart = Now;
    ++RunFrames;
    if (FirstFrameMs < 0 && Frame.Shown) FirstFrameMs = MsBetween(ProgramStart, Now);
  }

  void Finish(bool) override {
    const double RunSeconds = MsBetween(RunStart, Clock::now()) / 1000.0;
    std::printf("Benchmark: wall-clock milliseconds per frame (drawing and presenting; the frame-rate cap's waits "
                "excluded)\n");
    if (FirstFrameMs >= 0) std::printf("first frame: %.0f ms after start\n", FirstFrameMs);
    std::printf("scene   frames   mean ms  worst ms    p99 ms\n");
    for (int Slot = 0; Slot < SceneSlots; ++Slot) {
      std::vector<double>& T = Times[Slot];
      if (T.empty()) continue;
      double Sum = 0;
      for (double Ms : T) Sum += Ms;
      const double Worst = *std::max_element(T.begin(), T.end());
      // Nearest rank: the smallest time that at least 99 % of the frames
      // do not exceed.
      const size_t Rank = (T.size() * 99 + 99) / 100;
      std::nth_element(T.begin(), T.begin() + (Rank - 1), T.end());
      char Name[16];
      if (Slot == SceneSlots - 1)
        std::snprintf(Name, sizeof Name, "other");
      else
        std::snprintf(Name, sizeof Name, "%d", Slot);
      std::printf("%5s %8zu %9.3f %9.3f %9.3f\n", Name, T.size(), Sum / double(T.size()), Worst, T[Rank - 1]);
    }
    const double Fps = RunSeconds > 0.0 ? double(RunFrames) / RunSeconds : 0.0;
    std::printf("whole run: %llu frames in %.3f s, %.2f frames per second, %s drawing\n",
                static_cast<unsigned long long>(RunFrames), RunSeconds, Fps, KvPathName(KvActivePath()));
    std::fflush(stdout);
  }

 private:
  std::vector<double> Times[SceneSlots];
  Clock::time_point RunStart, FrameStart;
  uint64_t RunFrames = 0;
  double FirstFrameMs = -1;
};
}  // namespace

std::unique_ptr<FrameOutput> MakeBenchmarkTiming() { return std::make_unique<BenchmarkTiming>(); }
