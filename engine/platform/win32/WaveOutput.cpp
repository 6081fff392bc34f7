// The audio library behind TSoundKv in the Windows build (AudioOutput.h):
// waveOut, 44100 Hz stereo 16-bit, fed by the mixer on a thread of its own.
//
// The thread keeps four blocks queued; waveOut signals an event when one is
// played, the thread wakes (no polling), mixes the next block into it and
// queues it again. The mixer (Mixer.h, as in the SDL build) is changed only
// under Lock, which the thread holds while it mixes.
//
// waveOut rather than WASAPI: it reaches Windows' shared mixer just the same
// and is there from Windows 7 on with no COM set-up; XAudio2 crashes under
// Wine without a device.
//
// Depends on: winmm, Mixer.h, MusicStream.h.
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
};

KvAudioState Audio;
std::atomic<bool> DeviceMixing{true};

void FillAndQueue(WAVEHDR& Header) {
  int16_t* Samples = reinterpret_cast<int16_t*>(Header.lpData);
  {
    std::lock_guard<std::mutex> G(Audio.Lock);
    if (DeviceMixing.load(std::memory_order_relaxed)) {
      KvMixerMix(Samples, MixBlock);
    } else {
      std::memset(Samples, 0, MixBlock * 4);
      KvHeardBlock(MixBlock, -1, 0);  // waveOut's position counts these too
    }
  }
  waveOutWrite(Audio.Device, &Header, sizeof Header);
}

// The stream's own position is the frame the listener hears (the mixer
// behind waveOut adds its latency to what it reports, or not: this is all
// waveOut can tell). The next reading comes when the next block is done.
void NotePosition() {
  MMTIME Time = {};
  Time.wType = TIME_SAMPLES;
  const int64_t Now = KvHeardNowUs();
  if (waveOutGetPosition(Audio.Device, &Time, sizeof Time) == MMSYSERR_NOERROR && Time.wType == TIME_SAMPLES)
    KvHeardAt(Now, int64_t(Time.u.sample), MixBlock);
}

void Feed() {
  for (WAVEHDR& H : Audio.Headers) FillAndQueue(H);
  while (!Audio.Quit.load(std::memory_order_acquire)) {
    NotePosition();
    WaitForSingleObject(Audio.Done, INFINITE);
    if (Audio.Quit.load(std::memory_order_acquire)) break;
    for (WAVEHDR& H : Audio.Headers)
      if (H.dwFlags & WHDR_DONE) FillAndQueue(H);
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
  if (Audio.Device) return true;
  KvHeardReset();
  WAVEFORMATEX Format = {};
  Format.wFormatTag = WAVE_FORMAT_PCM;
  Format.nChannels = KvMixChannels;
  Format.nSamplesPerSec = KvMixRate;
  Format.wBitsPerSample = 16;
  Format.nBlockAlign = WORD(Format.nChannels * 2);
  Format.nAvgBytesPerSec = Format.nSamplesPerSec * Format.nBlockAlign;
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
  Audio.Quit.store(false, std::memory_order_release);
  Audio.Thread = std::thread(Feed);
  return true;
}

void KvAudioClose() {
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
int KvAudioVoiceCount() { return Audio.Device ? KvMixerVoiceCount() : 0; }

bool KvAudioPlay(KvMusicStream* Stream) {
  Stream->RestartIfEnded();
  if (!Audio.Device) return false;
  std::lock_guard<std::mutex> G(Audio.Lock);
  return KvMixerTakeVoice(Stream);
}

void KvAudioStop(KvMusicStream* Stream) {
  if (!Audio.Device) return;
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
