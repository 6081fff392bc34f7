// KvMixer* (see Mixer.h).
#include "Mixer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "HeardMusic.h"
#include "MusicStream.h"

namespace {

constexpr size_t MixBlock = 1024;  // frames mixed per pass

struct MixerState {
  std::vector<KvMusicStream*> Voices;   // null = free
  std::vector<int32_t> Sum;             // MixBlock * 2
  std::vector<int16_t> Part;            // MixBlock * 2
  std::vector<KvMusicStream*> Streams;  // every open stream
};

MixerState Mixer;

int16_t Saturate16(int32_t V) { return static_cast<int16_t>(V > 32767 ? 32767 : V < -32768 ? -32768 : V); }

}  // namespace

bool KvMixerAllocate(std::string& ErrorText) {
  try {
    Mixer.Sum.assign(MixBlock * 2, 0);
    Mixer.Part.assign(MixBlock * 2, 0);
  } catch (const std::bad_alloc&) {
    ErrorText = "Out of memory for the mixer";
    return false;
  }
  return true;
}

bool KvMixerSetVoices(int Voices, std::string& ErrorText) {
  try {
    Mixer.Voices.assign(static_cast<size_t>(Voices > 0 ? Voices : 1), nullptr);
  } catch (const std::bad_alloc&) {
    ErrorText = "Out of memory for the voices";
    return false;
  }
  return true;
}

int KvMixerVoiceCount() { return static_cast<int>(Mixer.Voices.size()); }

void KvMixerSilence() {
  for (KvMusicStream*& S : Mixer.Voices) {
    if (S) S->Voice.store(-1, std::memory_order_release);
    S = nullptr;
  }
}

void KvMixerClose() {
  KvMixerSilence();
  Mixer.Voices.clear();
  for (KvMusicStream* S : Mixer.Streams) S->Halt();
  Mixer.Sum.clear();
  Mixer.Part.clear();
}

size_t KvMixerMix(int16_t* Out, size_t Frames) {
  size_t Most = 0;
  if (Mixer.Sum.empty()) {
    std::memset(Out, 0, Frames * 4);
    KvHeardBlock(Frames, -1, 0);
    return 0;
  }
  for (size_t Done = 0; Done < Frames;) {
    const size_t N = std::min(MixBlock, Frames - Done);
    std::fill(Mixer.Sum.begin(), Mixer.Sum.begin() + N * 2, 0);
    size_t BlockMost = 0;
    // The music of the lowest busy voice is the one the heard clock follows.
    int64_t HeardStart = -1;
    size_t HeardFrames = 0;
    for (size_t V = 0; V < Mixer.Voices.size(); ++V) {
      KvMusicStream* S = Mixer.Voices[V];
      if (!S) continue;
      const int64_t Start = S->MusicPosition();
      const size_t Got = S->Read(Mixer.Part.data(), N);
      if (HeardStart < 0) {
        HeardStart = Start;
        HeardFrames = Got;
      }
      for (size_t I = 0; I < Got * 2; ++I) Mixer.Sum[I] += Mixer.Part[I];
      BlockMost = std::max(BlockMost, Got);
      if (Got < N && S->Exhausted()) {
        Mixer.Voices[V] = nullptr;
        S->Voice.store(-1, std::memory_order_release);
        S->MarkEnded();
      }
    }
    for (size_t I = 0; I < N * 2; ++I) Out[Done * 2 + I] = Saturate16(Mixer.Sum[I]);
    KvHeardBlock(N, HeardStart, HeardFrames);
    Most += BlockMost;
    Done += N;
  }
  return Most;
}

bool KvMixerTakeVoice(KvMusicStream* Stream) {
  if (Stream->Voice.load(std::memory_order_acquire) >= 0) return true;
  for (size_t V = 0; V < Mixer.Voices.size(); ++V) {
    if (!Mixer.Voices[V]) {
      Mixer.Voices[V] = Stream;
      Stream->Voice.store(static_cast<int>(V), std::memory_order_release);
      return true;
    }
  }
  return false;
}

void KvMixerFreeVoice(KvMusicStream* Stream) {
  const int V = Stream->Voice.load(std::memory_order_acquire);
  if (V >= 0 && static_cast<size_t>(V) < Mixer.Voices.size() && Mixer.Voices[V] == Stream)
    Mixer.Voices[V] = nullptr;
  Stream->Voice.store(-1, std::memory_order_release);
}

void KvMixerAddStream(KvMusicStream* Stream) { Mixer.Streams.push_back(Stream); }

void KvMixerRemoveStream(KvMusicStream* Stream) {
  Mixer.Streams.erase(std::remove(Mixer.Streams.begin(), Mixer.Streams.end(), Stream), Mixer.Streams.end());
}
