// The headless device: surfaces in memory, no window. Every build has it:
// the offline run, the tests and the benchmarks draw on it.
//
// Depends on: core/Platform.h.
#pragma once

#include <cstdint>

#include "../../core/Platform.h"

// DesktopDepth: the depth the headless "desktop" reports in windowed mode
// (15, 16, 24 or 32; anything else is reported as asked, for tests).
KvDeviceRef KvMakeHeadlessDevice(int32_t DesktopDepth = 32);

// Returns false when Device is not headless or nothing was presented yet
// (KvFrameCopy: core/Platform.h).
bool KvHeadlessLastFrame(KvDevice& Device, KvFrameCopy* Out);
