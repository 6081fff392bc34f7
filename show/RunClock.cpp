// The run's clock and the stop signals.
#include "RunClock.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>

#include <kelvra/core/Errors.h>

#include "Options.h"
#include "Show.h"

namespace {
bool Catching = false;
bool MusicWaiting = false;
bool MusicPlaying = false;
bool Paused = false;
bool PauseOnLanding = false;  // paused while catching up: pause at the landing
uint32_t PausedAtMs = 0;  // the show clock's reading while paused
uint32_t LiveOffset = 0;  // added to the steady clock once live
bool FollowMusic = false;  // the live clock follows the music as heard
uint32_t MusicOriginMs = 0;  // the show time of the music's first frame
uint32_t LastLiveMs = 0;   // the live clock's last reading
uint32_t CatchTargetMs = 0;  // catching up: the frame at or after it is the first shown
constexpr int64_t MusicLostMs = 1000;
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

uint32_t SteadyClock() {
  using namespace std::chrono;
  const uint32_t Now = static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
  return Now + LiveOffset;  // modulo 2^32, like the engine's clock
}

uint32_t LiveClock() {
  const uint32_t Steady = SteadyClock();
  double HeardMs = 0;
  if (!FollowMusic || !Timer || !Sound || !Sound->HeardMs(HeardMs)) return LastLiveMs = Steady;
  const double ShowMs = double(MusicOriginMs) + HeardMs - double(Options.AvOffsetMs);
  uint32_t Now = Timer->StartTime + uint32_t(int64_t(std::floor(ShowMs)));
  // Music a whole second or more away from the show is not where the show
  // put it (a host that cannot seek into the file): the picture goes on at
  // its own pace rather than wait for it.
  if (std::abs(int64_t(int32_t(Now - Steady))) > MusicLostMs) return LastLiveMs = Steady;
  if (int32_t(Now - LastLiveMs) < 0) Now = LastLiveMs;  // never back
  // The steady clock goes on from here when the music cannot be followed.
  LiveOffset += Now - Steady;
  return LastLiveMs = Now;
}

void FollowMusicFrom(uint32_t OriginMs) {
  MusicOriginMs = OriginMs;
  FollowMusic = true;
}

uint32_t FrozenClock() { return PausedAtMs; }

// From the virtual clock to a live one that continues from NextMs.
void GoLive(uint32_t NextMs) {
  if (PauseOnLanding) {
    PauseOnLanding = false;
    if (MusicPlaying && UseMusic && Sound) Sound->Stop();
    Paused = true;
  }
  if (Paused) {
    // A seek while paused: the show stays on the landing frame; the music
    // comes with the resume.
    KvUseVirtualClock(false);
    Catching = false;
    PausedAtMs = NextMs;
    KvSetClockSource(FrozenClock);
    MusicPlaying = MusicPlaying || MusicWaiting;
    MusicWaiting = false;
    return;
  }
  LiveOffset = 0;
  LiveOffset = NextMs - SteadyClock();
  LastLiveMs = NextMs;
  KvSetClockSource(LiveClock);
  KvUseVirtualClock(false);
  Catching = false;
  if (MusicWaiting && UseMusic && Sound) {
    Sound->Play();
    MusicPlaying = true;
    FollowMusic = true;
  }
  MusicWaiting = false;
}
}  // namespace

void PrepareRunClock() {
  Catching = !Options.Offline && Options.StartMs > 0;
  CatchTargetMs = Options.StartMs;
  MusicWaiting = false;
  MusicPlaying = false;
  FollowMusic = false;
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
    KvAdvanceVirtualClock(OfflineFrameMs);
  }
}

void SettleRunClock() {
  if (!Catching || ShowTimeMs() < CatchTargetMs) return;
  // The landing frame was drawn on the virtual clock, like the offline
  // run's; the live clock goes on from its time.
  if (Options.Offline)
    Catching = false;
  else
    GoLive(KvMilliseconds());
}

uint32_t CatchUpTargetMs() { return CatchTargetMs; }

void CatchUpForSeek(uint32_t FromMs, uint32_t LandMs) {
  if (!Timer) return;
  if (MusicPlaying) {
    if (!Paused && UseMusic && Sound) Sound->Stop();
    MusicPlaying = false;
    MusicWaiting = true;
  }
  // The decoder finds the landing point while the frames are drawn.
  if (MusicWaiting && UseMusic && Sound) Sound->Seek(LandMs > MusicOriginMs ? LandMs - MusicOriginMs : 0);
  KvUseVirtualClock(true);
  KvSetVirtualClock(Timer->StartTime + FromMs);
  Catching = true;
  CatchTargetMs = LandMs;
}

uint32_t ShowTimeMs() { return Timer ? KvMilliseconds() - Timer->StartTime : 0; }

bool CatchingUp() { return Catching; }

void DeferMusic(uint32_t ShowMs) {
  MusicWaiting = true;
  MusicOriginMs = ShowMs;
  // The first live frame is the first one drawn at --start or later (frames
  // fall on multiples of 40 ms). Skipping now lets the decoder drop the
  // music before it while the frames before it are drawn.
  const uint32_t FirstLiveMs = (Options.StartMs + OfflineFrameMs - 1) / OfflineFrameMs * OfflineFrameMs;
  if (UseMusic && Sound && FirstLiveMs > ShowMs) Sound->Skip(FirstLiveMs - ShowMs);
}

void NoteMusicPlaying(uint32_t CueMs) {
  MusicPlaying = true;
  // The offline clock keeps its own pace.
  if (KvVirtualClockActive()) return;
  const uint32_t Now = KvMilliseconds();
  LiveOffset = 0;
  LiveOffset = Now - SteadyClock();
  LastLiveMs = Now;
  KvSetClockSource(LiveClock);
  // Not the time now: starting the music may itself take a while (a page's
  // media element), and its first frame belongs at the cue.
  FollowMusicFrom(CueMs);
}

uint32_t MusicCueMs() { return MusicOriginMs; }

void PauseShow(bool Pause) {
  // Catching up there is no real time to stop yet: the landing frame holds.
  if (KvVirtualClockActive()) {
    if (Catching && !Options.Offline) PauseOnLanding = Pause;
    return;
  }
  if (Pause == Paused) return;
  Paused = Pause;
  if (Pause) {
    PausedAtMs = KvMilliseconds();
    KvSetClockSource(FrozenClock);
    if (MusicPlaying && UseMusic && Sound) Sound->Stop();
  } else {
    // The live clock goes on from the reading it stood at.
    LiveOffset = 0;
    LiveOffset = PausedAtMs - SteadyClock();
    LastLiveMs = PausedAtMs;
    KvSetClockSource(LiveClock);
    if (MusicPlaying && UseMusic && Sound) Sound->Play();
  }
}

bool ShowPaused() { return Paused || PauseOnLanding; }

int StopSignalNumber() { return StopSignal; }

void ReportClosedOutput(int WriteErrno) {
#ifdef SIGPIPE
  if (WriteErrno == EPIPE && StopSignal == 0) StopSignal = SIGPIPE;
#else
  (void)WriteErrno;
#endif
}
