// The mixer behind every audio output (SDL's device, waveOut): the voice
// table, the open streams, and the mixing rule. A voice is a playing stream;
// voices are summed and saturated to signed 16 bits, and a ring that runs
// dry plays silence. The output that owns the mixer calls these under the
// lock its audio thread holds while it mixes, so a stream leaves the table
// before anything of it is freed.
//
// Depends on: MusicStream.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct KvMusicStream;

// The working memory for mixing. False with the reason in ErrorText.
bool KvMixerAllocate(std::string& ErrorText);
// A table of Voices free voices (at least one). False with the reason.
bool KvMixerSetVoices(int Voices, std::string& ErrorText);
int KvMixerVoiceCount();
// Takes every voice away (the streams stay open).
void KvMixerSilence();
// Halts every open stream's decoder and frees the table and the memory.
void KvMixerClose();

// Mixes every voice into Out (Frames stereo frames); frames a voice cannot
// deliver are silence. A voice whose stream is exhausted is freed and the
// stream marked as ended. Returns the most frames any voice delivered.
size_t KvMixerMix(int16_t* Out, size_t Frames);

// The stream takes a free voice (true when it already has one); false when
// every voice is busy.
bool KvMixerTakeVoice(KvMusicStream* Stream);
void KvMixerFreeVoice(KvMusicStream* Stream);
// The open streams, for KvMixerClose.
void KvMixerAddStream(KvMusicStream* Stream);
void KvMixerRemoveStream(KvMusicStream* Stream);
