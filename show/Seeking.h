// Seeking: moving the show to another show time, exactly.
//
// A seek lands on the frame an offline run draws at the target (the first
// frame time, a multiple of 40 ms, at or after it): the state comes from the
// latest snapshot before the target (ShowSnapshot.h) and the frames between
// are drawn on the virtual clock, shown to nobody, with the catch-up's
// progress over the picture. A live run then goes on on its live clock from
// the landing frame (paused, it stays there); the music moves to the same
// sample.
//
// Requests come from the viewer's keys (between two frames); the timeline's
// runner (Timeline.cpp) sees them at the end of the frame, leaves the scene
// and calls LandSeek.
//
// Depends on: ShowSnapshot.h, RunClock.h, ScreenOverlay.h.
#pragma once

#include <cstdint>

// Asks for a seek to TargetMs (clamped to the show), acted on at the end of
// this frame. A second request before then replaces the first.
void RequestSeek(uint32_t TargetMs);
bool SeekPending();
// Snapshots are kept, and seeks taken, in live runs; an offline run takes
// them once a front end (or a test) allows it before the timeline starts.
void AllowOfflineSeeks(bool On);
// The time the next relative seek starts from: a pending target, the
// target being caught up to, else the frame on screen.
uint32_t SeekBaseMs();
// The viewer's seek keys: Left / Right 5 s, Up / Down 1 minute, Page Up /
// Page Down the previous / next scene, Home the start, 0 - 9 a tenth of the
// show each. True when one of them was pressed.
bool ApplySeekKeys();

// Called about ten times a second of a catch-up with (show time reached,
// target): the browser hands the page a turn here to show the progress.
extern void (*CatchUpProgressHook)(uint32_t NowMs, uint32_t TargetMs);

// The runner's side. At the top of each frame loop, before the frame:
// snapshots and the catch-up's progress.
void NoteFrameTop(int SceneIndex);
// Puts the state of the latest snapshot before the pending target back and
// starts the catch-up to it; returns the scene index to resume (its frame
// loop, without its Settings).
int LandSeek();
