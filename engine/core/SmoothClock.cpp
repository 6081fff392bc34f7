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
  if (Error > Limit) {
    AnchorValue = Value;  // behind: jump
    Rate = 1;
  } else if (Error < -Limit) {
    // Ahead: stand still, no further ahead than the limit unless a value
    // already returned was.
    AnchorValue = std::max(Floor, Value + Limit);
    Rate = 0;
  } else {
    AnchorValue = Now;
    Rate = std::min(std::max(1 + Error / SlewTicks, 0.5), 1.5);
  }
  AnchorUs = NowUs;
  Cap = Value + Ahead;
}

double KvSmoothClock::Read(int64_t NowUs) {
  Floor = Predict(NowUs);
  return Floor;
}
