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

// Streams and voices. The mixer holds every open stream from KvAudioAdd to
// KvAudioRemove (so that KvAudioClose can halt it), and a playing stream
// holds a voice until it is stopped, removed or read to its end.
void KvAudioAdd(KvMusicStream* Stream);
// Takes the stream's voice away and forgets it; the caller may then free it.
void KvAudioRemove(KvMusicStream* Stream);
// Plays from where the stream stopped (from the beginning after it ran
// out): false when the library is closed or every voice is busy.
bool KvAudioPlay(KvMusicStream* Stream);
// Gives the stream's voice back; the next KvAudioPlay continues from here.
void KvAudioStop(KvMusicStream* Stream);

// Test hooks. With device mixing off the device plays silence and leaves the
// voices alone; KvAudioMixForTest then runs the mixer by hand into Out
// (Frames stereo frames) and returns the most frames any voice delivered.
void KvAudioSetDeviceMixing(bool On);
size_t KvAudioMixForTest(int16_t* Out, size_t Frames);
