// The audio library behind TSoundKv: SDL2 output and the mixer.
//
// Set-up runs in three steps, named after the calls the sound object reports
// when they fail: KvAudioSetOutput, KvAudioSetMixer, KvAudioInit. The output
// is 44100 Hz stereo signed 16-bit; SDL's device callback runs the mixer on
// SDL's audio thread. The mixer has a fixed number of voices, fixed by
// KvAudioInit: one voice per music stream that is playing at the same time.
// The callback never waits on a decoder: it only reads the streams' rings,
// and a ring that runs dry plays silence.
//
// Set-up, close and voice changes are called from the show's thread only.
//
// Depends on: SDL2 audio, MusicStream.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct KvMusicStream;

// Step "FSOUND_SetOutput": makes sure SDL is there and has audio output
// drivers. False with SDL's text in ErrorText.
bool KvAudioSetOutput(std::string& ErrorText);
// Step "FSOUND_SetMixer": allocates the mixer's working memory.
bool KvAudioSetMixer(std::string& ErrorText);
// Step "FSOUND_Init": starts SDL's audio driver and opens the default output
// device with a mixer of Voices voices. False with SDL's text in ErrorText
// (the caller may retry with fewer voices).
bool KvAudioInit(int Voices, std::string& ErrorText);
// Undoes whatever the set-up steps did; streams still open are halted (their
// decoder threads end) and lose their voices. Safe to call at any time.
void KvAudioClose();

// True from a successful KvAudioSetOutput until KvAudioClose.
bool KvAudioLibraryOpen();
// How many times the library has been set up in this process (tests tell by
// it whether a sound object touched the library).
uint32_t KvAudioLibrarySetups();
// Voices of the open mixer (0 when closed).
int KvAudioVoiceCount();

// Voices: a stream takes one to play and gives it back on stop or at its end.
// Attach is false when the library is closed or every voice is busy.
bool KvAudioAttach(KvMusicStream* Stream);
void KvAudioDetach(KvMusicStream* Stream);
// Every open stream is registered so that KvAudioClose can halt it.
void KvAudioRegister(KvMusicStream* Stream);
void KvAudioUnregister(KvMusicStream* Stream);

// Test hooks. With device mixing off the device plays silence and leaves the
// voices alone; KvAudioMixForTest then runs the mixer by hand into Out
// (Frames stereo frames) and returns the most frames any voice delivered.
void KvAudioSetDeviceMixing(bool On);
size_t KvAudioMixForTest(int16_t* Out, size_t Frames);
