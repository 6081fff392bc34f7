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
// Also the stop signals (SIGINT, SIGTERM), which end the run at the next
// frame's end with its files finished (exit 128 + the signal's number);
// every wait of the show's thread wakes for them. A second signal ends the
// run at once, removing unfinished files.
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
// pausing stops it and resuming plays it only after this. CueMs: the show
// time the music was told to start at, where its first frame belongs.
void NoteMusicPlaying(uint32_t CueMs);
// The show time the music's first frame belongs at, once it was cued.
uint32_t MusicCueMs();
// Pauses (true) or resumes (false) the show clock and the music together.
// Live runs only: an offline or catching-up run has no real time to stop.
void PauseShow(bool Paused);
bool ShowPaused();
// The stop signal received (0: none).
int StopSignalNumber();
