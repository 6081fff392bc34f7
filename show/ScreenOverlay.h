// Notes drawn over the presented picture, never into the frame: the seek
// bar (time and scene name, while paused and for 2 s after a seek), the
// progress of a catch-up, and short notes such as the screenshot's file.
//
// The frame is copied into a buffer of the overlay's own and drawn on
// there; Screen, the dumps, recordings and screenshots never see it.
// Live runs with a window only: offline runs and the browser (whose page
// has its own bar) leave it off.
//
// Depends on: Show.h (Display, Screen), ShowTime.h (scene names).
#pragma once

#include <cstdint>
#include <string>

void EnableScreenOverlay(bool On);
// The seek bar for ForMs of wall time from now (and always while paused).
void ShowSeekBar(uint32_t ForMs);
// A one-line note for ForMs of wall time from now.
void ShowOverlayNote(const std::string& Text, uint32_t ForMs);
// Presents Screen, with the overlay when one is showing.
void PresentWithOverlay();
// Presents Screen again when what the overlay shows changed since the last
// present (a note came or went, the pause ended): the pause's wait calls it.
void RefreshOverlay();
// Catching up: Screen as it is drawn, under "catching up to m:ss" and a
// progress bar; at most ten times a second.
void PresentCatchUpProgress(uint32_t FromMs, uint32_t NowMs, uint32_t TargetMs);
// "m:ss.d" of a show time.
std::string ShowClockText(uint32_t ShowMs);
// Frees the overlay's buffer (before the display goes).
void FreeScreenOverlay();
