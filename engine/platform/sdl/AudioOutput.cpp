// The audio library: the SDL2 output device over the mixer (Mixer.h).
//
//   set-up / close      KvAudioSetOutput, KvAudioSetMixer, KvAudioInit, KvAudioClose
//   streams, voices     KvAudioAdd, KvAudioRemove, KvAudioPlay, KvAudioStop
//
// The mixer is shared with SDL's audio thread and changed only under
// SDL_LockAudioDevice, which the callback holds while it runs.
#include "../../audio/AudioOutput.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <vector>

#include "../../audio/Decoder.h"
#include "../../audio/HeardMusic.h"
#include "../../audio/Mixer.h"
#include "../../audio/MusicStream.h"

namespace {

constexpr size_t DeviceBlock = 1024;  // frames of the device's buffer

struct KvAudioState {
  bool Open = false;           // SetOutput succeeded, Close not yet called
  bool SdlAudio = false;       // we called SDL_InitSubSystem(SDL_INIT_AUDIO)
  SDL_AudioDeviceID Device = 0;
  size_t BufferFrames = 0;  // the device's buffer, as SDL opened it
  uint32_t Setups = 0;
};

KvAudioState Audio;
std::atomic<bool> DeviceMixing{true};

void SDLCALL DeviceCallback(void*, Uint8* Stream, int Len) {
  const int64_t Now = KvHeardNowUs();
  const size_t Frames = static_cast<size_t>(Len) / 4;
  // With mixing off the device plays silence that is not the mixer's: what
  // the listener hears is up to whoever pulls the mixer instead (tests).
  if (!DeviceMixing.load(std::memory_order_relaxed)) {
    std::memset(Stream, 0, static_cast<size_t>(Len));
    return;
  }
  KvMixerMix(reinterpret_cast<int16_t*>(Stream), Frames);
  // SDL asks for a block when the device has room for one: what is heard now
  // is what came before this block and the device's buffer.
  KvHeardQueued(Now, Frames + Audio.BufferFrames, Frames);
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

bool KvAudioSetMixer(std::string& ErrorText) { return KvMixerAllocate(ErrorText); }

bool KvAudioInit(int Voices, std::string& ErrorText) {
  if (!KvMixerSetVoices(Voices, ErrorText)) return false;
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
  Want.samples = DeviceBlock;
  Want.callback = DeviceCallback;
  SDL_AudioSpec Have{};
  KvHeardReset();
  // No allowed changes: SDL converts to the device's own format itself, so
  // the callback always sees 44100 Hz stereo s16.
  Audio.Device = SDL_OpenAudioDevice(nullptr, 0, &Want, &Have, 0);
  if (Audio.Device == 0) {
    ErrorText = *SDL_GetError() ? SDL_GetError() : "SDL gave no reason";
    return false;
  }
  Audio.BufferFrames = Have.samples;
  SDL_PauseAudioDevice(Audio.Device, 0);
  return true;
}

void KvAudioClose() {
  if (Audio.Device) {
    {
      DeviceLock G;
      KvMixerSilence();
    }
    SDL_CloseAudioDevice(Audio.Device);
    Audio.Device = 0;
    KvHeardReset();
  }
  KvMixerClose();
  if (Audio.SdlAudio) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  // SDL_Init(0) took no subsystem, so nothing else is undone: SDL itself
  // stays for the display.
  Audio.SdlAudio = false;
  Audio.Open = false;
}

bool KvAudioLibraryOpen() { return Audio.Open; }
uint32_t KvAudioLibrarySetups() { return Audio.Setups; }
int KvAudioVoiceCount() { return Audio.Device ? KvMixerVoiceCount() : 0; }

bool KvAudioPlay(KvMusicStream* Stream) {
  Stream->RestartIfEnded();
  if (!Audio.Device) return false;
  DeviceLock G;
  return KvMixerTakeVoice(Stream);
}

void KvAudioStop(KvMusicStream* Stream) {
  if (!Audio.Device) return;
  DeviceLock G;
  KvMixerFreeVoice(Stream);
}

void KvAudioAdd(KvMusicStream* Stream) { KvMixerAddStream(Stream); }

void KvAudioRemove(KvMusicStream* Stream) {
  KvAudioStop(Stream);
  KvMixerRemoveStream(Stream);
}

void KvAudioSetDeviceMixing(bool On) { DeviceMixing.store(On, std::memory_order_relaxed); }

size_t KvAudioMixForTest(int16_t* Out, size_t Frames) {
  DeviceLock G;
  return KvMixerMix(Out, Frames);
}
