// The Win32 display device: the engine's display in a window of its own
// (Windows build only, MinGW-w64).
//
// A framed window that can be resized and maximised, opened at a whole
// multiple of the frame (the window options' multiple, or the largest that
// fits the work area), or a borderless window over the whole monitor (no
// mode switch; F11 switches back to the same place and maximised state).
// The frame is letterboxed in it (Letterbox.h); the pointer is hidden in
// full screen, and in the window once it rests 2 s over the picture.
// The process is per-monitor DPI aware, so Windows never blurs the window by
// stretching it itself. Frames are shown with StretchDIBits straight from the
// surface's memory, in all four depths (the DIB formats match the engine's
// layouts). Surfaces, fills and keyed copies are the memory device's.
// Closing the window gives the quit message; the key state and the latched
// presses follow the window's key messages (scan codes in the engine's
// numbering). A fatal error closes the window and shows a message box
// (FatalReport.h).
//
// Depends on: Platform.h, Letterbox.h, MemoryDevice.h, FatalReport.h,
// user32, gdi32, winmm (timer resolution).
#pragma once

#include "../../core/Platform.h"

// Null when no window can be made (KvDeviceCreateError says why).
KvDeviceRef KvMakeWin32Device(const KvWindowOptions& Options = KvWindowOptions());
