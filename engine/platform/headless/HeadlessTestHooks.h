// Test controls of the headless device, for the engine's own tests: not
// part of the installed headers. Each is false when Device is not headless.
#pragma once

#include <cstdint>

#include "HeadlessDevice.h"

// Queue a message.
bool KvHeadlessPostMessage(KvDevice& Device, const KvMessage& Message);
// Hold or release a key (engine key numbering); a key going down is also
// latched as a press (TakeKeyPresses).
bool KvHeadlessSetKey(KvDevice& Device, uint8_t Key, bool Down);
// Number of frames the headless device has presented.
uint64_t KvHeadlessPresentCount(KvDevice& Device);
