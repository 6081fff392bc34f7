// Seek requests, the seek keys and the landing.
#include "Seeking.h"

#include <algorithm>

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

uint32_t SceneStartMs(int Scene) { return SceneSteps[Scene - 1] * StepMs; }

// The key codes of the seek keys (PC set-1 scan codes, extended keys as
// 0x80 | code).
constexpr uint8_t KeyHome = 0xC7, KeyUp = 0xC8, KeyPageUp = 0xC9, KeyLeft = 0xCB, KeyRight = 0xCD, KeyDown = 0xD0,
                  KeyPageDown = 0xD1;
constexpr uint8_t KeyDigit1 = 0x02, KeyDigit0 = 0x0B;  // 1 .. 9 then 0
}  // namespace

void RequestSeek(uint32_t TargetMs) {
  // The last frame is drawn before the show's end.
  PendingMs = std::min(TargetMs, ShowLengthMs - OfflineFrameMs);
  Pending = true;
  ShowSeekBar(BarMs);
}

bool SeekPending() { return Pending; }

void AllowOfflineSeeks(bool On) { OfflineSeeks = On; }

uint32_t SeekBaseMs() { return Pending ? PendingMs : ShownFrameTime(); }

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
  if (KvVirtualClockActive()) {
    KeepSnapshotIfDue(SceneIndex, ShowTimeMs());
    if (CatchingUp()) PresentCatchUpProgress(CatchFromMs, ShowTimeMs(), CatchUpTargetMs());
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
