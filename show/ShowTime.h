// The show's time. One timeline step is 880 ms (two beats at 136.36 BPM);
// scene n runs from step SceneSteps[n - 1] to step SceneSteps[n], and the
// show ends at the last of them (293 steps, 257.84 s). The timeline, the
// command line (--scene), the offline run's frame count and the music
// generator, which changes section on the same steps, all read them here.
#pragma once

#include <cstdint>

constexpr uint32_t StepMs = 880;
// The step in seconds, as the timeline's windows multiply it: the long
// double nearest 0.88.
constexpr long double TimelineStep = StepMs / 1000.0L;

constexpr int SceneCount = 14;
constexpr uint32_t SceneSteps[SceneCount + 1] = {0, 44, 50, 66, 81, 83, 95, 115, 140, 155, 183, 205, 273, 278, 293};
constexpr uint32_t ShowSteps = SceneSteps[SceneCount];
