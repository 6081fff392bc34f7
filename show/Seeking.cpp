// Seek requests, the seek keys and the landing.
#include "Seeking.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>

#include "FrameOutput.h"
#include "Options.h"
#include "RunClock.h"
#include "ScreenOverlay.h"
#include "Show.h"
#include "ShowSnapshot.h"
#include "ShowTime.h"
#include "Viewer.h"

namespace {
constexpr uint32_t ShowLengthMs = ShowSteps * StepMs;
constexpr uint32_t BarMs = 2000;
bool Pending = false;
bool OfflineSeeks = false;
uint32_t PendingMs = 0;
uint32_t CatchFromMs = 0;
std::chrono::steady_clock::time_point LastHook;

uint32_t SceneStartMs(int Scene) { return SceneSteps[Scene - 1] * StepMs; }

// The key codes of the seek keys (PC set-1 scan codes, extended keys as
// 0x80 | code).
constexpr uint8_t KeyHome = 0xC7, KeyUp = 0xC8, KeyPageUp = 0xC9, KeyLeft = 0xCB, KeyRight = 0xCD, KeyDown = 0xD0,
                  KeyPageDown = 0xD1;
constexpr uint8_t KeyDigit1 = 0x02, KeyDigit0 = 0x0B;  // 1 .. 9 then 0

// --benchmark: one line per seek, from the request to the landing frame
// handed on (presented: it comes after the present).
class SeekTiming : public FrameOutput {
 public:
  void Take(const FinishedFrame& Frame) override {
    // Catching up, only the landing frame is handed on.
    if (!InFlight || Pending || !CatchingUp()) return;
    InFlight = false;
    const double Ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Asked).count();
    // The process's processor time too: on a busy machine the wall time
    // says more about the others.
    const double CpuMs = double(std::clock() - AskedCpu) * 1000.0 / CLOCKS_PER_SEC;
    std::fprintf(stderr,
                 "nerith: seek to %s landed at %s in %.0f ms, %.0f ms of processor time (%u frames from the snapshot at "
                 "%s; %zu snapshots, %.1f MB)\n",
                 ShowClockText(PendingMs).c_str(), ShowClockText(Frame.ShowMs).c_str(), Ms, CpuMs,
                 (Frame.ShowMs - CatchFromMs) / OfflineFrameMs + 1, ShowClockText(CatchFromMs).c_str(), SnapshotCount(),
                 double(SnapshotBytes()) / (1024.0 * 1024.0));
    std::fflush(stderr);
  }
  void Finish(bool) override {
    std::fprintf(stderr, "nerith: %zu snapshots kept, %.1f MB\n", SnapshotCount(), double(SnapshotBytes()) / (1024.0 * 1024.0));
  }
  void Asking() {
    InFlight = true;
    Asked = std::chrono::steady_clock::now();
    AskedCpu = std::clock();
  }

 private:
  bool InFlight = false;
  std::chrono::steady_clock::time_point Asked;
  std::clock_t AskedCpu = 0;
};
SeekTiming* Timing = nullptr;

void TimeSeeks() {
  if (!Options.Benchmark || Timing) return;
  auto Made = std::make_unique<SeekTiming>();
  Timing = Made.get();
  AddFrameOutput(std::move(Made));
}
}  // namespace

void RequestSeek(uint32_t TargetMs) {
  TimeSeeks();
  if (Timing) Timing->Asking();
  // The last frame is drawn before the show's end.
  PendingMs = std::min(TargetMs, ShowLengthMs - OfflineFrameMs);
  Pending = true;
  ShowSeekBar(BarMs);
}

bool SeekPending() { return Pending; }

void AllowOfflineSeeks(bool On) { OfflineSeeks = On; }

void (*CatchUpProgressHook)(uint32_t NowMs, uint32_t TargetMs) = nullptr;

uint32_t SeekBaseMs() {
  if (Pending) return PendingMs;
  return CatchingUp() ? CatchUpTargetMs() : ShownFrameTime();
}

bool ApplySeekKeys() {
  const uint32_t Base = SeekBaseMs();
  auto Back = [&](uint32_t Ms) { RequestSeek(Base > Ms ? Base - Ms : 0); };
  const int Scene = SceneAtMs(Base);
  bool Any = true;
  if (Input->KeyPressed(KeyLeft)) Back(5000);
  else if (Input->KeyPressed(KeyRight)) RequestSeek(Base + 5000);
  else if (Input->KeyPressed(KeyDown)) Back(60000);
  else if (Input->KeyPressed(KeyUp)) RequestSeek(Base + 60000);
  else if (Input->KeyPressed(KeyPageUp)) RequestSeek(Scene > 1 ? SceneStartMs(Scene - 1) : 0);
  else if (Input->KeyPressed(KeyPageDown) && Scene < SceneCount) RequestSeek(SceneStartMs(Scene + 1));
  else if (Input->KeyPressed(KeyHome)) RequestSeek(0);
  else {
    Any = false;
    for (uint8_t Key = KeyDigit1; Key <= KeyDigit0; ++Key)
      if (Input->KeyPressed(Key)) {
        const uint32_t Tenth = Key == KeyDigit0 ? 0 : Key - KeyDigit1 + 1;
        RequestSeek(uint32_t(uint64_t(ShowLengthMs) * Tenth / 10));
        Any = true;
        break;
      }
  }
  return Any;
}

void NoteFrameTop(int SceneIndex) {
  if (Options.Offline && !OfflineSeeks) return;
  TimeSeeks();
  if (KvVirtualClockActive()) {
    KeepSnapshotIfDue(SceneIndex, ShowTimeMs());
    if (CatchingUp()) {
      PresentCatchUpProgress(CatchFromMs, ShowTimeMs(), CatchUpTargetMs());
      const auto Now = std::chrono::steady_clock::now();
      if (CatchUpProgressHook && Now - LastHook >= std::chrono::milliseconds(100)) {
        LastHook = Now;
        CatchUpProgressHook(ShowTimeMs(), CatchUpTargetMs());
      }
    }
  } else if (FrameCount == 0) {
    // A live run's first frame: the state the prelude left does not depend
    // on the clock, so it is the offline run's state before its first frame.
    KeepSnapshotIfDue(SceneIndex, OfflineFrameMs);
  }
}

int LandSeek() {
  Pending = false;
  uint32_t FromMs = 0;
  const int Index = RestoreSnapshotBefore(std::max(PendingMs, OfflineFrameMs), &FromMs);
  // The landing frame: the first frame time at or after the target.
  const uint32_t LandMs = FromMs + (PendingMs > FromMs ? (PendingMs - FromMs + OfflineFrameMs - 1) / OfflineFrameMs * OfflineFrameMs : 0);
  CatchFromMs = FromMs;
  CatchUpForSeek(FromMs, LandMs);
  return Index;
}
