// The run's clock: live, offline, or catching up to --start.
//
//   live       the millisecond clock, real time
//   offline    (--headless --seed, --record) a virtual clock moving exactly
//              40 ms per frame: frame k is drawn at 40 k ms
//   catching   a live run with --start T, or any run after a seek: the
//   up         virtual clock, frames drawn at full speed and shown to nobody
//              until the first frame at T or later, which is shown; then the
//              live clock goes on from there and the music plays from the
//              same point of the show
//
// While the music plays in a live run, the clock follows the music as heard
// (TSoundKv::HeardMs): show time = the show time at which the music started +
// the music's heard position - --av-offset. It never steps back: when the
// music is behind, the picture waits for it. Without music to follow (none,
// not out of the device yet, ended, or the device silent) it runs on at the
// steady clock's pace from where it stands.
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
// Depends on: engine/core/Timer.h, Show.h (Timer, Sound), Options.h.
#pragma once

#include <cstdint>

// Right after the command line: the stop signals' handler.
void InstallStopSignals();
// Before the display is made (InitShow): chooses the clock.
void PrepareRunClock();
// Just before the timeline: frame 1 is drawn at 40 ms of a virtual clock.
void BeginRunClock();
// End of each frame: moves a virtual clock on.
void StepRunClock();
// After a frame is handed on, before the keys: a catch-up that drew its
// landing frame (the first at or after its target) goes live (offline: back
// to the plain virtual clock), so that a pause holds that frame.
void SettleRunClock();
// A seek (Seeking.h): the virtual clock from FromMs, frames shown again
// from LandMs on, the music moved to LandMs.
void CatchUpForSeek(uint32_t FromMs, uint32_t LandMs);
uint32_t CatchUpTargetMs();
// Show time: milliseconds since the show's Timer started.
uint32_t ShowTimeMs();
bool CatchingUp();
// The prelude's music cue came while catching up (at ShowMs).
void DeferMusic(uint32_t ShowMs);
// The music is heard from now on (the prelude's cue, or the switch to live):
// pausing stops it and resuming plays it only after this. CueMs: the show
// time the music was told to start at, where its first frame belongs.
void NoteMusicPlaying(uint32_t CueMs);
// The show time the music's first frame belongs at, once it was cued.
uint32_t MusicCueMs();
// Pauses (true) or resumes (false) the show clock and the music together.
// Live runs only: an offline run has no real time to stop, and a run
// catching up pauses (or not) when it lands.
void PauseShow(bool Paused);
bool ShowPaused();
// The stop signal received (0: none).
int StopSignalNumber();
// A write to standard error (or out) failed: a closed pipe ends the run as
// SIGPIPE would have, with its files finished.
void ReportClosedOutput(int WriteErrno);
