// The Windows build's first choice of sound output (WaveOutput.cpp falls
// back to waveOut without it): a shared-mode WASAPI stream, 44100 Hz stereo
// 16-bit, fed on a thread of its own. Its IAudioClock says which frame the
// listener hears; waveOut's position under Wine is only what Wine's mixer
// has taken, up to a tenth of a second ahead of the speaker.
//
// Depends on: HeardMusic.h (the stream notes its readings there), Decoder.h
// (the mixer's rate), WindowsHeaders.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "../../audio/Decoder.h"
#include "WindowsHeaders.h"

// The mixer's output as both outputs play it: 16-bit PCM at its rate and
// channel count.
inline WAVEFORMATEX KvMixWaveFormat() {
  WAVEFORMATEX Format = {};
  Format.wFormatTag = WAVE_FORMAT_PCM;
  Format.nChannels = KvMixChannels;
  Format.nSamplesPerSec = KvMixRate;
  Format.wBitsPerSample = 16;
  Format.nBlockAlign = WORD(Format.nChannels * 2);
  Format.nAvgBytesPerSec = Format.nSamplesPerSec * Format.nBlockAlign;
  return Format;
}

// Fills Out with Frames frames of the mix (and notes the block, KvHeardBlock).
using KvWasapiMix = void (*)(int16_t* Out, size_t Frames);

// Opens the default output and starts playing what Mix gives. False, with
// the reason in ErrorText, when there is no such stream (then nothing runs).
bool KvWasapiOpen(KvWasapiMix Mix, std::string& ErrorText);
bool KvWasapiIsOpen();
// Stops the thread and releases the stream.
void KvWasapiClose();
