// The browser device: the engine's display on a page's 640 x 480 canvas
// (browser build only, emscripten).
//
// Surfaces, fills, keyed copies, messages and keys are the memory device's
// (core/MemoryDevice.h), as for the headless device, so every
// pixel is drawn by the same code as on the native offline run. Present converts
// the frame to RGBA, puts it on the canvas and gives the browser its turn
// (the show's loop blocks; ASYNCIFY unwinds it until the next animation
// frame). Keys come from the page's keyboard events: those with Ctrl, Alt or
// Meta are left to the browser, and only Escape, the show's own key, has its
// default action cancelled; a tap shorter than a frame still reads once.
//
// Test mode (KvBrowserSetTestFrames): frames are not shown and the browser
// gets its turn only every tenth of a second. Each listed frame N is shown,
// its RGB bytes hashed (FNV-1a 32) into document.title as
// "frame N rgb-fnv1a32 xxxxxxxx" (and the page's list of such titles); after
// the last one a quit message ends the show.
//
// Depends on: Platform.h, Errors.h (the fatal-error hook shows the line on
// the page), KvFrameRgb (the unpacking), AssetPack.h (the hash),
// emscripten's html5 API.
#pragma once

#include <cstdint>
#include <vector>

#include "../../core/Platform.h"

KvDeviceRef KvMakeBrowserDevice();

// Frames to hash in test mode, ascending (empty: play normally).
void KvBrowserSetTestFrames(std::vector<uint32_t> Frames);

