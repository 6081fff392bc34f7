// The frame-output user that reports the progress of a long offline run on
// standard error: on a terminal one line redrawn four times a second
// (percent, frame, frames per second, elapsed, left); otherwise a plain line
// at every 10 %.
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "FrameOutput.h"

namespace {
using Clock = std::chrono::steady_clock;

std::string MinSec(double Seconds) {
  if (Seconds < 0) Seconds = 0;
  const long S = long(Seconds + 0.5);
  char Text[32];
  std::snprintf(Text, sizeof Text, "%ld:%02ld", S / 60, S % 60);
  return Text;
}

class ProgressOutput : public FrameOutput {
 public:
  ProgressOutput(uint32_t F, uint32_t L) : First(F), Last(L), Terminal(isatty(2) != 0), Start(Clock::now()) {}

  void Take(const FinishedFrame& Frame) override {
    if (Last < First || Frame.Number < First) return;
    const uint32_t Total = Last - First + 1;
    const uint32_t Done = std::min(Frame.Number - First + 1, Total);
    const int Percent = int(uint64_t(Done) * 100 / Total);
    const Clock::time_point Now = Clock::now();
    if (Terminal) {
      if (Done != Total && Now - LastDraw < std::chrono::milliseconds(250)) return;
      LastDraw = Now;
      const double Elapsed = std::chrono::duration<double>(Now - Start).count();
      const double Fps = Elapsed > 0 ? Done / Elapsed : 0.0;
      const double Left = Fps > 0 ? (Total - Done) / Fps : 0.0;
      std::fprintf(stderr, "\rnerith: %3d%%  frame %u of %u  %6.1f fps  %s elapsed  %s left ", Percent, Frame.Number,
                   Last, Fps, MinSec(Elapsed).c_str(), MinSec(Left).c_str());
      Drawn = true;
    } else {
      if (Percent / 10 <= LastTenth) return;
      LastTenth = Percent / 10;
      std::fprintf(stderr, "nerith: %d%% (frame %u of %u)\n", LastTenth * 10, Frame.Number, Last);
    }
    std::fflush(stderr);
  }

  void Finish(bool) override {
    if (Drawn) std::fputc('\n', stderr);
    std::fflush(stderr);
  }

 private:
  uint32_t First, Last;
  bool Terminal;
  bool Drawn = false;
  int LastTenth = 0;
  Clock::time_point Start, LastDraw;
};
}  // namespace

std::unique_ptr<FrameOutput> MakeProgressOutput(uint32_t FirstNumber, uint32_t LastNumber) {
  return std::make_unique<ProgressOutput>(FirstNumber, LastNumber);
}
