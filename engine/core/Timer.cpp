// TTimerKv and the millisecond clock behind it.
#include "Timer.h"

#include <chrono>

#include "PlatformSleep.h"

namespace {
KvClockSource CustomClock = nullptr;
bool VirtualActive = false;
uint32_t VirtualNow = 0;

uint32_t MonotonicMilliseconds() {
  using namespace std::chrono;
  // Truncated to 32 bits on purpose: timers work modulo 2^32.
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
}  // namespace

uint32_t KvMilliseconds() {
  if (VirtualActive) return VirtualNow;
  if (CustomClock) return CustomClock();
  return MonotonicMilliseconds();
}

void KvUseVirtualClock(bool Enabled) { VirtualActive = Enabled; }
bool KvVirtualClockActive() { return VirtualActive; }
void KvSetVirtualClock(uint32_t Milliseconds) { VirtualNow = Milliseconds; }
void KvAdvanceVirtualClock(uint32_t Milliseconds) { VirtualNow += Milliseconds; }
void KvSetClockSource(KvClockSource Source) { CustomClock = Source; }

void KvSleep(uint32_t Milliseconds) {
  if (VirtualActive) {
    VirtualNow += Milliseconds;
    return;
  }
  KvPlatformSleep(Milliseconds);
}

TTimerKv::TTimerKv(uint8_t Unit) { Divisor = (Unit == 241) ? 1 : 1000; }

void TTimerKv::Start() {
  Running = true;
  StartTime = KvMilliseconds();
}

void TTimerKv::Stop() {
  LastTime = KvMilliseconds();
  Running = false;
}

float TTimerKv::Elapsed() {
  if (Running) LastTime = KvMilliseconds();
  const uint32_t Difference = LastTime - StartTime;  // modulo 2^32
  const long double Quotient = static_cast<long double>(Difference) / Divisor;
  return static_cast<float>(Quotient);
}

void TimerStart(TTimerKv* Timer) {
  if (Timer) Timer->Start();
}
void TimerStop(TTimerKv* Timer) {
  if (Timer) Timer->Stop();
}
float TimerElapsed(TTimerKv* Timer) { return Timer ? Timer->Elapsed() : 0.0f; }
