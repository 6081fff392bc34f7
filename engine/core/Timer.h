// TTimerKv: the engine's stopwatch over an unsigned 32-bit millisecond clock.
//
// The clock is replaceable: by default the monotonic clock, or a virtual
// clock that only moves when told (deterministic offline runs and tests).
// Differences are taken modulo 2^32, so the clock's wrap-around does not
// disturb a measurement.
#pragma once

#include <cstdint>

class TTimerKv {
 public:
  explicit TTimerKv(uint8_t Unit = 240);  // 240: seconds, 241: milliseconds
  virtual ~TTimerKv() = default;

  void Start();    // restarts the count from zero
  void Stop();     // freezes Elapsed at this moment
  float Elapsed(); // (LastTime - StartTime) / Divisor, as a Single

  bool Running = false;
  int32_t Divisor = 1000;
  uint32_t StartTime = 0;
  uint32_t LastTime = 0;
};

// Nil-safe forms, as the show calls them on objects that may not exist.
void TimerStart(TTimerKv* Timer);
void TimerStop(TTimerKv* Timer);
float TimerElapsed(TTimerKv* Timer);

// The millisecond clock every timer reads.
uint32_t KvMilliseconds();

// Virtual clock: while enabled, KvMilliseconds returns its value, which only
// KvAdvanceVirtualClock / KvSetVirtualClock change.
void KvUseVirtualClock(bool Enabled);
bool KvVirtualClockActive();
void KvSetVirtualClock(uint32_t Milliseconds);
void KvAdvanceVirtualClock(uint32_t Milliseconds);

// Custom clock source (tests): nullptr restores the monotonic clock.
using KvClockSource = uint32_t (*)();
void KvSetClockSource(KvClockSource Source);

// Wait about Milliseconds: sleeps on the real clock; on the virtual clock it
// advances the clock instead, so waiting loops terminate in offline runs.
void KvSleep(uint32_t Milliseconds);
