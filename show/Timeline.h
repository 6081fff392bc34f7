// The scene timeline: its small machinery (time windows, movers, shadowed
// text) and the fourteen scenes as data the runner walks through.
//
// Each scene is a pair of routines: Settings, applied once before the
// scene's loop, and Frame, one frame ending in SceneEndFrame. RunTimeline
// runs the prelude and then every scene in order:
//
//   CurrentScene := n; Settings(); while SceneWindowHolds(First, Last): Frame();
//   After() when the scene has one (scene 8's blur).
//
// Keeping the two halves apart lets tests drive a scene frame by frame.
#pragma once

#include <cstdint>
#include <string>

#include "ShowTime.h"

// A value moved by a step each frame: the text scroll and the fade levels.
struct Mover {
  int32_t Value = 0;
  int16_t Step = 0;
};
extern Mover Movers[2];

// True when First x 0.88 < Elapsed and then (second reading) Elapsed <
// Last x 0.88. Both bounds are open; the products are taken in long double
// and compared with the float readings widened.
bool InWindow(uint32_t First, uint32_t Last);

// Movers[Index].Value += Step; Step changes sign when Value leaves Low ..
// High. Value is not clamped: it overshoots by one step at every turn.
void Bounce(uint8_t Index, int32_t Low, int32_t High);

// Three TextOut calls on Screen: the outline at (X - 1, Y - 1) in Colour >> 10
// (the pixel value shifted as a plain number, whatever the depth), a grey
// shadow at (X + 2, Y + 2), the text itself at (X, Y).
void ShadowText(int32_t X, int32_t Y, const std::string& Text, uint32_t Colour);

// Alpha byte of a mover's value: its low 8 bits (256 -> 0, -1 -> 255).
inline uint8_t AlphaOf(int32_t Value) { return static_cast<uint8_t>(static_cast<uint32_t>(Value)); }

struct SceneDef {
  int32_t Number;   // 1 .. 14
  uint32_t First;   // window in timeline steps (ShowTime.h), both bounds open
  uint32_t Last;
  void (*Settings)();
  void (*Frame)();  // one whole frame, its EndFrame included
  void (*After)();  // run once after the loop, or nullptr
};
extern const SceneDef Scenes[SceneCount];

// Movers[0] := (460, -1), one starfield, the music, ObjSky's set-up, trails.
void Prelude();
// The loop test of a scene: InWindow with the lower bound closed. With both
// bounds open, a clock reading exactly on the boundary of two scenes (44.00 s,
// between scenes 2 and 3, is a whole number of milliseconds) would belong to
// neither: scene 3 and every later scene would find their windows not yet
// begun, draw nothing, and the show would end 214 s early. Closing the lower
// bound gives each reading exactly one scene. Sub-events keep InWindow.
bool SceneWindowHolds(uint32_t First, uint32_t Last);
// Settings, then frames while SceneWindowHolds, then After.
void RunScene(const SceneDef& Scene);

// What every scene calls to end a frame: EndFrame. Tests put a counter here.
extern void (*SceneEndFrame)();
