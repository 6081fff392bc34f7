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

// Short names of the scenes, one word each so that they fit a link
// (?scene=cone), the command line (--scene cone) and the seek bar.
constexpr const char* SceneNames[SceneCount] = {"opening", "logo",    "sky",     "disc",      "noise",
                                                "ball",    "fire",    "cone",    "name",      "credits",
                                                "crew",    "greetings", "emblem", "afterglow"};

#include <string>

// The scene a command line or a link names: "9", "cone" (any case). 0 when
// Text names none.
int SceneByNumberOrName(const std::string& Text);
// "opening, logo, ..." for messages.
std::string SceneNameList();
// The scene (1 .. 14) playing at ShowMs.
int SceneAtMs(uint32_t ShowMs);
