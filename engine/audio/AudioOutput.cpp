// The audio library: SDL2 output device, voice table and mixer.
//
//   set-up / close      KvAudioSetOutput, KvAudioSetMixer, KvAudioInit, KvAudioClose
//   streams, voices     KvAudioAdd, KvAudioRemove, KvAudioPlay, KvAudioStop
//   mixing              MixVoices (SDL's callback and the test hook)
//
// The voice table is shared with SDL's audio thread and changed only under
// SDL_LockAudioDevice, which the callback holds while it runs, so a stream
// leaves the table before anything of it is freed.
#include "AudioOutput.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <vector>

#include "Decoder.h"
#include "MusicStream.h"

namespace {

constexpr size_t MixBlock = 1024;  // frames mixed per pass; also the device buffer

struct KvAudioState {
  bool Open = false;           // SetOutput succeeded, Close not yet called
  bool SdlAudio = false;       // we called SDL_InitSubSystem(SDL_INIT_AUDIO)
  SDL_AudioDeviceID Device = 0;
  std::vector<KvMusicStream*> Voices;   // size = voice count; null = free
  std::vector<int32_t> Sum;             // MixBlock * 2
  std::vector<int16_t> Part;            // MixBlock * 2
  std::vector<KvMusicStream*> Streams;  // every open stream
  uint32_t Setups = 0;
};

KvAudioState Audio;
std::atomic<bool> DeviceMixing{true};

int16_t Saturate16(int32_t V) {
  return static_cast<int16_t>(V > 32767 ? 32767 : V < -32768 ? -32768 : V);
}

// Mixes every voice into Out; frames a voice cannot deliver are silence. A
// voice whose stream is exhausted is freed and the stream marked as ended.
// Returns the most frames any voice delivered. Caller holds the device lock
// (or the device is not running).
size_t MixVoices(int16_t* Out, size_t Frames) {
  size_t Most = 0;
  if (Audio.Sum.empty()) {
    std::memset(Out, 0, Frames * 4);
    return 0;
  }
  for (size_t Done = 0; Done < Frames;) {
    const size_t N = std::min(MixBlock, Frames - Done);
    std::fill(Audio.Sum.begin(), Audio.Sum.begin() + N * 2, 0);
    size_t BlockMost = 0;
    for (size_t V = 0; V < Audio.Voices.size(); ++V) {
      KvMusicStream* S = Audio.Voices[V];
      if (!S) continue;
      const size_t Got = S->Read(Audio.Part.data(), N);
      for (size_t I = 0; I < Got * 2; ++I) Audio.Sum[I] += Audio.Part[I];
      BlockMost = std::max(BlockMost, Got);
      if (Got < N && S->Exhausted()) {
        Audio.Voices[V] = nullptr;
        S->Voice.store(-1, std::memory_order_release);
        S->MarkEnded();
      }
    }
    for (size_t I = 0; I < N * 2; ++I) Out[Done * 2 + I] = Saturate16(Audio.Sum[I]);
    Most += BlockMost;
    Done += N;
  }
  return Most;
}

void SDLCALL DeviceCallback(void*, Uint8* Stream, int Len) {
  const size_t Frames = static_cast<size_t>(Len) / 4;
  if (!DeviceMixing.load(std::memory_order_relaxed)) {
    std::memset(Stream, 0, static_cast<size_t>(Len));
    return;
  }
  MixVoices(reinterpret_cast<int16_t*>(Stream), Frames);
}

class DeviceLock {
 public:
  DeviceLock() : Id(Audio.Device) {
    if (Id) SDL_LockAudioDevice(Id);
  }
  ~DeviceLock() {
    if (Id) SDL_UnlockAudioDevice(Id);
  }

 private:
  SDL_AudioDeviceID Id;
};

}  // namespace

bool KvAudioSetOutput(std::string& ErrorText) {
  if (SDL_Init(0) != 0) {
    ErrorText = SDL_GetError();
    return false;
  }
  Audio.Open = true;
  ++Audio.Setups;
  if (SDL_GetNumAudioDrivers() <= 0) {
    ErrorText = "SDL has no audio output drivers";
    return false;
  }
  return true;
}

bool KvAudioSetMixer(std::string& ErrorText) {
  try {
    Audio.Sum.assign(MixBlock * 2, 0);
    Audio.Part.assign(MixBlock * 2, 0);
  } catch (const std::bad_alloc&) {
    ErrorText = "Out of memory for the mixer";
    return false;
  }
  return true;
}

bool KvAudioInit(int Voices, std::string& ErrorText) {
  try {
    Audio.Voices.assign(static_cast<size_t>(Voices > 0 ? Voices : 1), nullptr);
  } catch (const std::bad_alloc&) {
    ErrorText = "Out of memory for the voices";
    return false;
  }
  if (!Audio.SdlAudio) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
      ErrorText = SDL_GetError();
      return false;
    }
    Audio.SdlAudio = true;
  }
  SDL_AudioSpec Want{};
  Want.freq = KvMixRate;
  Want.format = AUDIO_S16SYS;
  Want.channels = KvMixChannels;
  Want.samples = MixBlock;
  Want.callback = DeviceCallback;
  SDL_AudioSpec Have{};
  // No allowed changes: SDL converts to the device's own format itself, so
  // the callback always sees 44100 Hz stereo s16.
  Audio.Device = SDL_OpenAudioDevice(nullptr, 0, &Want, &Have, 0);
  if (Audio.Device == 0) {
    ErrorText = *SDL_GetError() ? SDL_GetError() : "SDL gave no reason";
    return false;
  }
  SDL_PauseAudioDevice(Audio.Device, 0);
  return true;
}

void KvAudioClose() {
  if (Audio.Device) {
    {
      DeviceLock G;
      for (KvMusicStream*& S : Audio.Voices) {
        if (S) S->Voice.store(-1, std::memory_order_release);
        S = nullptr;
      }
    }
    SDL_CloseAudioDevice(Audio.Device);
    Audio.Device = 0;
  }
  Audio.Voices.clear();
  for (KvMusicStream* S : Audio.Streams) S->Halt();
  if (Audio.SdlAudio) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  // SDL_Init(0) took no subsystem, so nothing else is undone: SDL itself
  // stays for the display.
  Audio.SdlAudio = false;
  Audio.Sum.clear();
  Audio.Part.clear();
  Audio.Open = false;
}

bool KvAudioLibraryOpen() { return Audio.Open; }
uint32_t KvAudioLibrarySetups() { return Audio.Setups; }
int KvAudioVoiceCount() { return Audio.Device ? static_cast<int>(Audio.Voices.size()) : 0; }

bool KvAudioPlay(KvMusicStream* Stream) {
  Stream->RestartIfEnded();
  if (!Audio.Device) return false;
  if (Stream->Voice.load(std::memory_order_acquire) >= 0) return true;
  DeviceLock G;
  for (size_t V = 0; V < Audio.Voices.size(); ++V) {
    if (!Audio.Voices[V]) {
      Audio.Voices[V] = Stream;
      Stream->Voice.store(static_cast<int>(V), std::memory_order_release);
      return true;
    }
  }
  return false;
}

void KvAudioStop(KvMusicStream* Stream) {
  if (!Audio.Device) return;
  DeviceLock G;
  const int V = Stream->Voice.load(std::memory_order_acquire);
  if (V >= 0 && static_cast<size_t>(V) < Audio.Voices.size() && Audio.Voices[V] == Stream)
    Audio.Voices[V] = nullptr;
  Stream->Voice.store(-1, std::memory_order_release);
}

void KvAudioAdd(KvMusicStream* Stream) { Audio.Streams.push_back(Stream); }

void KvAudioRemove(KvMusicStream* Stream) {
  KvAudioStop(Stream);
  Audio.Streams.erase(std::remove(Audio.Streams.begin(), Audio.Streams.end(), Stream),
                      Audio.Streams.end());
}

void KvAudioSetDeviceMixing(bool On) { DeviceMixing.store(On, std::memory_order_relaxed); }

size_t KvAudioMixForTest(int16_t* Out, size_t Frames) {
  DeviceLock G;
  return MixVoices(Out, Frames);
}
