// The show's own 2D effects: a starfield of 600 pixels flying toward the
// viewer and a swarm of 40 additive star sprites turning in 3D.
#pragma once

#include <cstdint>

#include <kelvra/draw/BufferKv.h>

struct StarRec {
  float X = 0, Y = 0, Z = 0;
};
struct SwarmRec {
  int32_t X = 0, Y = 0, Z = 0;
  int32_t Drift = 0;  // -9 .. 9
};

constexpr int StarCount = 600;
constexpr int SwarmCount = 40;
extern StarRec Stars[StarCount + 1];  // numbered 1 .. 600; [0] unused
extern SwarmRec Swarm[SwarmCount];

void InitStars(int32_t X, int32_t Y, int32_t RangeX, int32_t RangeY, int32_t DepthRange, int32_t DivX, int32_t DivY);
void RespawnStar(int32_t Index, int32_t Left, int32_t Top, int32_t RangeX, int32_t RangeY, int32_t DivX, int32_t DivY);
void DrawStar(TBufferKv* Buffer, int32_t X, int32_t Y, int32_t Z);
void Starfield(TBufferKv* Buffer, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, int32_t Scale, int32_t Speed,
               int32_t DivX, int32_t DivY);
void InitSwarm();
void DrawSwarm();
