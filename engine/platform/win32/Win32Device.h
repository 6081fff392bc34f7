// The Win32 display device: the engine's display in a window of its own
// (Windows build only, MinGW-w64).
//
// A framed window whose client area is the frame's size times the monitor's
// scale, or a borderless window over the whole monitor the show starts on
// (no mode switch), the 4:3 frame letterboxed in it and the cursor hidden.
// The process is per-monitor DPI aware, so Windows never blurs the window by
// stretching it itself. Frames are shown with StretchDIBits straight from the
// surface's memory, in all four depths (the DIB formats match the engine's
// layouts). Surfaces, fills and keyed copies are the headless device's.
// Closing the window gives the quit message; the key state follows the
// window's key messages (scan codes in the engine's numbering). A fatal error
// closes the window and shows a message box (KELVRA_NO_MESSAGEBOX=1: none).
//
// Depends on: Platform.h, Errors.h, user32, gdi32, winmm (timer resolution).
#pragma once

#include "../../Platform.h"

// Null when no window can be made (KvDeviceCreateError says why).
KvDeviceRef KvMakeWin32Device();
