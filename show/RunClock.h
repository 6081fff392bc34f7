// The run's clock: live, offline, or catching up to --start.
//
//   live       the millisecond clock, real time
//   offline    (--headless --seed, --record) a virtual clock moving exactly
//              40 ms per frame: frame k is drawn at 40 k ms
//   catching   a live run with --start T: the virtual clock, frames drawn at
//   up         full speed and shown to nobody, until the next frame would be
//              drawn at T or later; then the live clock goes on from there
//              and the music starts at the same point of the show
//
// A live run can be paused (PauseShow): the show clock stands still, so the
// frame cap waits and no frame is drawn for the time that passed, and the
// music stops with it; on resume both go on from where they stood.
//
// Also the stop signals (SIGINT, SIGTERM, SIGHUP: a closed terminal), which
// end the run at the next frame's end with its files finished (exit 128 +
// the signal's number); every wait of the show's thread wakes for them. A
// second signal ends the run at once, removing unfinished files. SIGPIPE is
// ignored: a write to a closed pipe fails instead, and the run then ends the
// same way, with exit 141 (ReportClosedOutput).
//
// Depends on: engine/Timer.h, Show.h (Timer, Sound), Options.h.
#pragma once

#include <cstdint>

// Right after the command line: the stop signals' handler.
void InstallStopSignals();
// Before the display is made (InitShow): chooses the clock.
void PrepareRunClock();
// Just before the timeline: frame 1 is drawn at 40 ms of a virtual clock.
void BeginRunClock();
// End of each frame: moves a virtual clock on, switches to live at --start.
void StepRunClock();
// Show time: milliseconds since the show's Timer started.
uint32_t ShowTimeMs();
bool CatchingUp();
// The prelude's music cue came while catching up (at ShowMs).
void DeferMusic(uint32_t ShowMs);
// The music is heard from now on (the prelude's cue, or the switch to live):
// pausing stops it and resuming plays it only after this.
void NoteMusicPlaying();
// Pauses (true) or resumes (false) the show clock and the music together.
// Live runs only: an offline or catching-up run has no real time to stop.
void PauseShow(bool Paused);
bool ShowPaused();
// The stop signal received (0: none).
int StopSignalNumber();
// A write to standard error (or out) failed: a closed pipe ends the run as
// SIGPIPE would have, with its files finished.
void ReportClosedOutput(int WriteErrno);
