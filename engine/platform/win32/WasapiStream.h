// The Windows build's first choice of sound output (WaveOutput.cpp falls
// back to waveOut without it): a shared-mode WASAPI stream, 44100 Hz stereo
// 16-bit, fed on a thread of its own. Its IAudioClock says which frame the
// listener hears; waveOut's position under Wine is only what Wine's mixer
// has taken, up to a tenth of a second ahead of the speaker.
//
// Depends on: HeardMusic.h (the stream notes its readings there).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Fills Out with Frames frames of the mix (and notes the block, KvHeardBlock).
using KvWasapiMix = void (*)(int16_t* Out, size_t Frames);

// Opens the default output and starts playing what Mix gives. False, with
// the reason in ErrorText, when there is no such stream (then nothing runs).
bool KvWasapiOpen(KvWasapiMix Mix, std::string& ErrorText);
bool KvWasapiIsOpen();
// Stops the thread and releases the stream.
void KvWasapiClose();
