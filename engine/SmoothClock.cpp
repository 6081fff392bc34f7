// KvSmoothClock (see SmoothClock.h).
#include "SmoothClock.h"

#include <algorithm>

KvSmoothClock::KvSmoothClock(double TicksPerSecond, double StepLimit, double SlewSeconds)
    : PerUs(TicksPerSecond / 1e6), Limit(StepLimit), SlewTicks(TicksPerSecond * SlewSeconds) {}

void KvSmoothClock::Reset() { HaveReading = false; }

double KvSmoothClock::Predict(int64_t NowUs) const {
  const double Run = AnchorValue + double(NowUs - AnchorUs) * PerUs * Rate;
  return std::max(std::min(Run, Cap), Floor);
}

void KvSmoothClock::Measure(int64_t NowUs, double Value, double Ahead) {
  if (!HaveReading) {
    HaveReading = true;
    AnchorUs = NowUs;
    AnchorValue = Floor = Value;
    Rate = 1;
    Cap = Value + Ahead;
    return;
  }
  const double Now = Predict(NowUs);
  const double Error = Value - Now;
  if (Error > Limit / 2) {
    AnchorValue = Value;  // behind: jump
    Rate = 1;
  } else {
    AnchorValue = Now;
    // Ahead by more than the limit: stand still until the reading catches up.
    Rate = Error < -Limit ? 0 : std::min(std::max(1 + Error / SlewTicks, 0.5), 1.5);
  }
  AnchorUs = NowUs;
  Cap = Value + Ahead;
}

double KvSmoothClock::Read(int64_t NowUs) {
  Floor = Predict(NowUs);
  return Floor;
}
