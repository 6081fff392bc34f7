// The run's clock and the stop signals.
#include "RunClock.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include <kelvra/Errors.h>

#include "Options.h"
#include "Show.h"

namespace {
bool Catching = false;
bool MusicWaiting = false;
bool MusicPlaying = false;
bool Paused = false;
uint32_t PausedAtMs = 0;  // the show clock's reading while paused
uint32_t LiveOffset = 0;  // added to the steady clock once live
volatile sig_atomic_t StopSignal = 0;

// The first signal asks the run to end at the next frame's end, with its
// files finished. A second one (the run did not end fast enough for the
// user) ends it at once: the unfinished files go, nothing else is done.
void OnStopSignal(int Signal) {
  if (StopSignal != 0) {
    KvRunCleanup();
    _exit(128 + Signal);
  }
  StopSignal = Signal;
}

uint32_t LiveClock() {
  using namespace std::chrono;
  const uint32_t Now = static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
  return Now + LiveOffset;  // modulo 2^32, like the engine's clock
}

uint32_t FrozenClock() { return PausedAtMs; }

// From the virtual clock to a live one that continues from NextMs.
void GoLive(uint32_t NextMs) {
  LiveOffset = 0;
  LiveOffset = NextMs - LiveClock();
  KvSetClockSource(LiveClock);
  KvUseVirtualClock(false);
  Catching = false;
  if (MusicWaiting && UseMusic && Sound) {
    Sound->Play();
    MusicPlaying = true;
  }
  MusicWaiting = false;
}
}  // namespace

void PrepareRunClock() {
  Catching = !Options.Offline && Options.StartMs > 0;
  MusicWaiting = false;
  MusicPlaying = false;
  Paused = false;
  if (Options.Offline || Catching) {
    KvUseVirtualClock(true);
    KvSetVirtualClock(0);
  }
}

void InstallStopSignals() {
#ifdef _WIN32
  // No sigaction here: Ctrl-C and Ctrl-Break arrive as SIGINT and SIGBREAK.
  for (const int Signal : {SIGINT, SIGTERM, SIGBREAK}) {
    if (signal(Signal, OnStopSignal) == SIG_IGN) signal(Signal, SIG_IGN);
  }
#else
  struct sigaction Action = {};
  Action.sa_handler = OnStopSignal;
  sigemptyset(&Action.sa_mask);
  for (const int Signal : {SIGINT, SIGTERM, SIGHUP}) {
    // A signal ignored from the start (nohup, a shell's background job)
    // stays ignored.
    struct sigaction Before = {};
    if (sigaction(Signal, nullptr, &Before) == 0 && Before.sa_handler == SIG_IGN) continue;
    sigaction(Signal, &Action, nullptr);
  }
  signal(SIGPIPE, SIG_IGN);
#endif
}

void BeginRunClock() {
  if (KvVirtualClockActive()) KvAdvanceVirtualClock(OfflineFrameMs);
}

void StepRunClock() {
  if (Options.Offline) {
    KvAdvanceVirtualClock(OfflineFrameMs);
  } else if (Catching) {
    const uint32_t Next = ShowTimeMs() + OfflineFrameMs;
    KvAdvanceVirtualClock(OfflineFrameMs);
    if (Next >= Options.StartMs) GoLive(KvMilliseconds());
  }
}

uint32_t ShowTimeMs() { return Timer ? KvMilliseconds() - Timer->StartTime : 0; }

bool CatchingUp() { return Catching; }

void DeferMusic(uint32_t ShowMs) {
  MusicWaiting = true;
  // The first live frame is the first one drawn at --start or later (frames
  // fall on multiples of 40 ms). Skipping now lets the decoder drop the
  // music before it while the frames before it are drawn.
  const uint32_t FirstLiveMs = (Options.StartMs + OfflineFrameMs - 1) / OfflineFrameMs * OfflineFrameMs;
  if (UseMusic && Sound && FirstLiveMs > ShowMs) Sound->Skip(FirstLiveMs - ShowMs);
}

void NoteMusicPlaying() { MusicPlaying = true; }

void PauseShow(bool Pause) {
  if (Pause == Paused || KvVirtualClockActive()) return;
  Paused = Pause;
  if (Pause) {
    PausedAtMs = KvMilliseconds();
    KvSetClockSource(FrozenClock);
    if (MusicPlaying && UseMusic && Sound) Sound->Stop();
  } else {
    // The live clock goes on from the reading it stood at.
    LiveOffset = 0;
    LiveOffset = PausedAtMs - LiveClock();
    KvSetClockSource(LiveClock);
    if (MusicPlaying && UseMusic && Sound) Sound->Play();
  }
}

bool ShowPaused() { return Paused; }

int StopSignalNumber() { return StopSignal; }

void ReportClosedOutput(int WriteErrno) {
#ifdef SIGPIPE
  if (WriteErrno == EPIPE && StopSignal == 0) StopSignal = SIGPIPE;
#else
  (void)WriteErrno;
#endif
}
