// Sine and cosine tables of a turn in KvTurnSteps steps (the angle
// i * pi / 540, i = 0 .. 1080), as the native build's C library computes
// them. C libraries differ in the last bit of some sines; a build that draws
// from an asset pack takes the native build's tables from it (the entry
// KvTurnTablesPackName, which the pack writer stores), so every build gets
// the same bits.
//
// Depends on: AssetPack.h (the active pack).
#pragma once

#include <cstdint>
#include <vector>

constexpr int32_t KvTurnSteps = 1080;
extern const char* const KvTurnTablesPackName;

// Fills Sin[0 .. KvTurnSteps] and Cos[0 .. KvTurnSteps]: from the active
// pack when it holds them, else computed.
void KvTurnTables(double* Sin, double* Cos);

// The pack entry: the computed sines, then the cosines, as this machine's
// doubles.
std::vector<uint8_t> KvComputedTurnTables();
