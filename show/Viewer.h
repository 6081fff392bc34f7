// What a viewer of a live run can do from the keyboard, and the window's
// identity.
//
//   ViewerKeys.cpp   F11 / Alt+Enter full screen, Space / P pause (the wait
//                    while paused), F12 screenshot
//   Screenshot.cpp   the frame on screen as nerith-<show time>.png
//   WindowIcon.cpp   the window's icon from the generated desktop icon
//   Seeking.h        the seek keys and the landing; ScreenOverlay.h the bar
//                    and notes over the presented picture
//
// Offline runs (--headless --seed, --record) read none of these keys.
//
// Depends on: Show.h (Display, Screen, Input), RunClock.h (the pause).
#pragma once

#include <cstdint>
#include <string>

// The desktop id: window class / app id, the desktop entry and the icons
// (NERITH_APP_ID, from show/CMakeLists.txt).
constexpr const char* NerithAppId = NERITH_APP_ID;

// EndFrame, after Escape: acts on the keys read for this frame; while the
// show is paused, waits here with the frame on screen until it resumes
// (Escape or closing the window still end the show). Live runs only.
void HandleViewerKeys();

// The show time of the frame on screen (EndFrame sets it as it shows one).
void SetShownFrameTime(uint32_t ShowMs);
uint32_t ShownFrameTime();
// "nerith-<seconds>.<milliseconds>.png": the show time as --start takes it.
std::string ScreenshotName(uint32_t ShowMs);
// Writes the frame on screen (Screen, 640 x 480) as a PNG named for its
// show time in the pictures folder (KvPicturesFolder), or in the current
// folder when there is none or it cannot be written, and prints one line
// naming the file (or why it could not be written). Returns the path, empty
// on failure.
std::string SaveScreenshot();

// Sets the window's icon from the desktop icon beside the assets, when one
// is found; a missing icon is no error.
void SetShowWindowIcon();
