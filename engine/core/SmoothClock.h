// KvSmoothClock: a clock that follows sparse, jittery readings of another one
// (an audio device's play position) without ever stepping back.
//
// Between two readings it runs on at the nominal rate, never past the point
// the last reading said can be reached before the next one. A small error
// is slewed away by running up to half as fast or fast again; an error above
// StepLimit is corrected at once: behind, by a jump forward; ahead, by
// standing still at StepLimit ahead of the reading (or where it stands, if
// that is further) until the followed clock catches up. So a device that
// runs 0.1 % fast or slow is followed within a fraction of a millisecond,
// and a stall or a jump is caught up at once.
//
// Not thread-safe: the owner serialises Measure and Read.
#pragma once

#include <cstdint>

class KvSmoothClock {
 public:
  // TicksPerSecond: the followed clock's nominal rate; StepLimit (ticks):
  // the most it may be off before it is put right at once; SlewSeconds: how
  // long a small error takes to be slewed away.
  KvSmoothClock(double TicksPerSecond, double StepLimit, double SlewSeconds);

  // Forgets every reading; the next one is taken as it is.
  void Reset();
  // A reading: at NowUs (microseconds) the followed clock stands at Value,
  // and it reaches at most Value + Ahead before the next reading.
  void Measure(int64_t NowUs, double Value, double Ahead);
  bool Known() const { return HaveReading; }
  int64_t LastReadingUs() const { return AnchorUs; }
  // The smoothed value at NowUs (not before the last reading): never less
  // than any value returned before.
  double Read(int64_t NowUs);

 private:
  double Predict(int64_t NowUs) const;

  double PerUs;
  double Limit;
  double SlewTicks;
  bool HaveReading = false;
  int64_t AnchorUs = 0;
  double AnchorValue = 0;
  double Rate = 1;  // of the nominal rate
  double Cap = 0;
  double Floor = 0;  // the highest value returned
};
