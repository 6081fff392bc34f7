// The show's music: an electronic tune synthesised in full and encoded as MP3.
//
// The tune follows the show's timeline (show/ShowTime.h): one step is 0.88 s
// (two beats at 136.36 BPM, 38808 samples), and its sections change exactly
// where the scenes do (steps 44, 50, 66, 81, 83, 95, 115, 140, 155, 183, 205,
// 273, 278), fading to silence by step 293 (257.84 s).
#pragma once

#include <cstdint>
#include <vector>

#include "../../show/ShowTime.h"

namespace assetgen {

constexpr int kStepSamples = int(StepMs) * 44100 / 1000;  // 38808
constexpr int kShowSteps = int(ShowSteps);
// Length of the rendered tune: a little past the show's end.
constexpr double kTuneSeconds = 258.4;

// Renders the tune: interleaved stereo floats at 44.1 kHz, peaks below full
// scale (the loudest sample is at MasterPeak).
std::vector<float> RenderTune();
constexpr float kMasterPeak = 0.8f;

// Encodes interleaved stereo 44.1 kHz floats as a constant-bit-rate MP3 with
// libmp3lame. Throws std::runtime_error on an encoder failure.
std::vector<unsigned char> EncodeMp3(const std::vector<float>& Interleaved, int Kbps);

}  // namespace assetgen
