// How this build waits: each platform part defines it (natively a thread
// sleep; in the browser the time goes back to the page). KvSleep calls it
// when the virtual clock is off.
#pragma once

#include <cstdint>

void KvPlatformSleep(uint32_t Milliseconds);
