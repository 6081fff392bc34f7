// The audio library behind TSoundKv in the Windows build (AudioOutput.h):
// a WASAPI stream (WasapiStream.h) where there is one, else waveOut; 44100 Hz
// stereo 16-bit, fed by the mixer on a thread of its own.
//
// The thread keeps four blocks queued; waveOut signals an event when one is
// played, the thread wakes (no polling), mixes the next block into it and
// queues it again. The mixer (Mixer.h, as in the SDL build) is changed only
// under Lock, which the thread holds while it mixes.
//
// waveOut reaches Windows' shared mixer just the same, but its position
// under Wine counts what Wine's mixer took, up to 0.1 s ahead of what is
// heard; WASAPI's clock does not. XAudio2 crashes under Wine without a device.
//
// Depends on: winmm, Mixer.h, MusicStream.h, WasapiStream.h.
#include "WindowsHeaders.h"


#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "../../audio/AudioOutput.h"
#include "../../audio/Decoder.h"
#include "../../audio/HeardMusic.h"
#include "../../audio/Mixer.h"
#include "../../audio/MusicStream.h"
#include "WasapiStream.h"

namespace {

constexpr size_t MixBlock = 2048;  // frames per queued block (46 ms)
constexpr int Blocks = 4;

struct KvAudioState {
  bool Open = false;
  HWAVEOUT Device = nullptr;
  HANDLE Done = nullptr;  // set by waveOut after each block
  std::thread Thread;
  std::atomic<bool> Quit{false};
  std::mutex Lock;
  std::vector<int16_t> Memory;  // Blocks * MixBlock * 2
  WAVEHDR Headers[Blocks] = {};
  uint32_t Setups = 0;
  int64_t DoneFrames = 0;  // of the blocks waveOut has handed back
};

KvAudioState Audio;
std::atomic<bool> DeviceMixing{true};

void MixInto(int16_t* Samples, size_t Frames) {
  std::lock_guard<std::mutex> G(Audio.Lock);
  if (DeviceMixing.load(std::memory_order_relaxed)) {
    KvMixerMix(Samples, Frames);
  } else {
    std::memset(Samples, 0, Frames * 4);
    KvHeardBlock(Frames, -1, 0);  // the output's position counts these too
  }
}

bool DeviceOpen() { return Audio.Device || KvWasapiIsOpen(); }

void FillAndQueue(WAVEHDR& Header) {
  MixInto(reinterpret_cast<int16_t*>(Header.lpData), MixBlock);
  waveOutWrite(Audio.Device, &Header, sizeof Header);
}

// The stream's own position is the frame the listener hears on Windows;
// under Wine it is what Wine's mixer has taken, and the blocks handed back
// (by Wine when its clock passed them) say better. The next reading comes
// when the next block is done.
void NotePosition() {
  MMTIME Time = {};
  Time.wType = TIME_SAMPLES;
  const int64_t Now = KvHeardNowUs();
  if (waveOutGetPosition(Audio.Device, &Time, sizeof Time) == MMSYSERR_NOERROR && Time.wType == TIME_SAMPLES)
    KvHeardAt(Now, std::min(int64_t(Time.u.sample), Audio.DoneFrames), MixBlock);
}

void Feed() {
  for (WAVEHDR& H : Audio.Headers) FillAndQueue(H);
  while (!Audio.Quit.load(std::memory_order_acquire)) {
    NotePosition();
    WaitForSingleObject(Audio.Done, INFINITE);
    if (Audio.Quit.load(std::memory_order_acquire)) break;
    for (WAVEHDR& H : Audio.Headers)
      if (H.dwFlags & WHDR_DONE) {
        Audio.DoneFrames += int64_t(MixBlock);
        FillAndQueue(H);
      }
  }
}

std::string WaveOutText(MMRESULT Code) {
  wchar_t Text[MAXERRORLENGTH] = {};
  waveOutGetErrorTextW(Code, Text, MAXERRORLENGTH);
  char Utf8[4 * MAXERRORLENGTH] = {};
  WideCharToMultiByte(CP_UTF8, 0, Text, -1, Utf8, sizeof Utf8, nullptr, nullptr);
  return std::string("waveOutOpen: ") + (*Utf8 ? Utf8 : "error " + std::to_string(Code));
}

}  // namespace

// A machine without a sound device fails later, in KvAudioInit, as the SDL
// build does, in the sound object's FSOUND_Init line.
bool KvAudioSetOutput(std::string&) {
  Audio.Open = true;
  ++Audio.Setups;
  return true;
}

bool KvAudioSetMixer(std::string& ErrorText) {
  if (!KvMixerAllocate(ErrorText)) return false;
  try {
    Audio.Memory.assign(size_t(Blocks) * MixBlock * 2, 0);
  } catch (const std::bad_alloc&) {
    ErrorText = "Out of memory for the mixer";
    return false;
  }
  return true;
}

bool KvAudioInit(int Voices, std::string& ErrorText) {
  if (!KvMixerSetVoices(Voices, ErrorText)) return false;
  if (DeviceOpen()) return true;
  KvHeardReset();
  std::string WasapiError;
  if (KvWasapiOpen(MixInto, WasapiError)) return true;
  WAVEFORMATEX Format = KvMixWaveFormat();
  if (!Audio.Done) Audio.Done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  const MMRESULT Result =
      waveOutOpen(&Audio.Device, WAVE_MAPPER, &Format, DWORD_PTR(Audio.Done), 0, CALLBACK_EVENT);
  if (Result != MMSYSERR_NOERROR) {
    Audio.Device = nullptr;
    ErrorText = WaveOutText(Result);
    return false;
  }
  for (int B = 0; B < Blocks; ++B) {
    WAVEHDR& H = Audio.Headers[B];
    H = WAVEHDR{};
    H.lpData = reinterpret_cast<LPSTR>(Audio.Memory.data() + size_t(B) * MixBlock * 2);
    H.dwBufferLength = DWORD(MixBlock * 4);
    waveOutPrepareHeader(Audio.Device, &H, sizeof H);
  }
  Audio.DoneFrames = 0;
  Audio.Quit.store(false, std::memory_order_release);
  Audio.Thread = std::thread(Feed);
  return true;
}

void KvAudioClose() {
  if (KvWasapiIsOpen()) {
    {
      std::lock_guard<std::mutex> G(Audio.Lock);
      KvMixerSilence();
    }
    KvWasapiClose();
    KvHeardReset();
  }
  if (Audio.Device) {
    {
      std::lock_guard<std::mutex> G(Audio.Lock);
      KvMixerSilence();
    }
    Audio.Quit.store(true, std::memory_order_release);
    SetEvent(Audio.Done);
    if (Audio.Thread.joinable()) Audio.Thread.join();
    waveOutReset(Audio.Device);
    for (WAVEHDR& H : Audio.Headers) waveOutUnprepareHeader(Audio.Device, &H, sizeof H);
    waveOutClose(Audio.Device);
    Audio.Device = nullptr;
    KvHeardReset();
  }
  KvMixerClose();
  Audio.Open = false;
}

bool KvAudioLibraryOpen() { return Audio.Open; }
uint32_t KvAudioLibrarySetups() { return Audio.Setups; }
int KvAudioVoiceCount() { return DeviceOpen() ? KvMixerVoiceCount() : 0; }

bool KvAudioPlay(KvMusicStream* Stream) {
  Stream->RestartIfEnded();
  if (!DeviceOpen()) return false;
  std::lock_guard<std::mutex> G(Audio.Lock);
  return KvMixerTakeVoice(Stream);
}

void KvAudioStop(KvMusicStream* Stream) {
  if (!DeviceOpen()) return;
  std::lock_guard<std::mutex> G(Audio.Lock);
  KvMixerFreeVoice(Stream);
}

void KvAudioAdd(KvMusicStream* Stream) { KvMixerAddStream(Stream); }

void KvAudioRemove(KvMusicStream* Stream) {
  KvAudioStop(Stream);
  KvMixerRemoveStream(Stream);
}

void KvAudioSetDeviceMixing(bool On) { DeviceMixing.store(On, std::memory_order_relaxed); }

size_t KvAudioMixForTest(int16_t* Out, size_t Frames) {
  std::lock_guard<std::mutex> G(Audio.Lock);
  return KvMixerMix(Out, Frames);
}
