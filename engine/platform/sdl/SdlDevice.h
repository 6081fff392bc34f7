// The SDL2 window device: a window or desktop full-screen, presented through
// a streaming texture. The default device of the SDL build.
//
// Depends on: core/Platform.h.
#pragma once

#include "../../core/Platform.h"

// Null when no window can be made (KvDeviceCreateError says why).
KvDeviceRef KvMakeSdlDevice(const KvWindowOptions& Options = KvWindowOptions());

// SDL's scancodes in the engine's key numbering (PC set-1 scan codes;
// extended keys as 0x80 | code); 0 for keys the engine does not number.
uint8_t KvKeyFromSdlScancode(int Scancode);
