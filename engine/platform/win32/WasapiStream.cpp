// KvWasapi* (see WasapiStream.h).
//
// The thread owns every COM object (made and released in its own
// multithreaded apartment) and tells KvWasapiOpen whether the stream could
// be made. It keeps the stream's buffer full, woken by the stream's event,
// and after each wake-up notes the clock's position: IAudioClock counts the
// frames the device has played, which under Wine is what its driver has
// seen ALSA play, not what it has taken from us.
#include "WindowsHeaders.h"

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <future>
#include <thread>

#include "../../audio/Decoder.h"
#include "../../audio/HeardMusic.h"
#include "ComObjects.h"
#include "WasapiStream.h"

namespace {

// 200 ms, in 100 ns units: what waveOut's four blocks held, against a feeder
// woken late on a busy machine.
constexpr REFERENCE_TIME BufferTime = 2000000;

struct WasapiState {
  std::thread Thread;
  std::atomic<bool> Quit{false};
  HANDLE Wake = nullptr;
  bool Open = false;
};

WasapiState Wasapi;

std::string Failed(const char* Step, HRESULT Code) { return "WASAPI: " + KvHresultText(Step, Code); }

struct Stream {
  IMMDeviceEnumerator* Devices = nullptr;
  IMMDevice* Device = nullptr;
  IAudioClient* Client = nullptr;
  IAudioRenderClient* Render = nullptr;
  IAudioClock* Clock = nullptr;
  UINT32 BufferFrames = 0;
  UINT64 ClockRate = 0;
  uint64_t Written = 0;

  ~Stream() {
    if (Client) Client->Stop();
    KvRelease(Clock);
    KvRelease(Render);
    KvRelease(Client);
    KvRelease(Device);
    KvRelease(Devices);
  }

  std::string Make() {
    HRESULT R = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                 reinterpret_cast<void**>(&Devices));
    if (FAILED(R)) return Failed("the device list", R);
    if (FAILED(R = Devices->GetDefaultAudioEndpoint(eRender, eConsole, &Device))) return Failed("the default output", R);
    if (FAILED(R = Device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&Client))))
      return Failed("Activate", R);
    WAVEFORMATEX Format = KvMixWaveFormat();
    const DWORD Flags = AUDCLNT_STREAMFLAGS_EVENTCALLBACK | AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM |
                        AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY;
    if (FAILED(R = Client->Initialize(AUDCLNT_SHAREMODE_SHARED, Flags, BufferTime, 0, &Format, nullptr)))
      return Failed("Initialize", R);
    if (FAILED(R = Client->SetEventHandle(Wasapi.Wake))) return Failed("SetEventHandle", R);
    if (FAILED(R = Client->GetBufferSize(&BufferFrames))) return Failed("GetBufferSize", R);
    if (FAILED(R = Client->GetService(__uuidof(IAudioRenderClient), reinterpret_cast<void**>(&Render))))
      return Failed("the render service", R);
    if (FAILED(R = Client->GetService(__uuidof(IAudioClock), reinterpret_cast<void**>(&Clock))))
      return Failed("the clock service", R);
    if (FAILED(R = Clock->GetFrequency(&ClockRate)) || ClockRate == 0) return Failed("GetFrequency", R);
    return std::string();
  }

  void Fill(KvWasapiMix Mix) {
    UINT32 Queued = 0;
    if (FAILED(Client->GetCurrentPadding(&Queued)) || Queued >= BufferFrames) return;
    const UINT32 Frames = BufferFrames - Queued;
    BYTE* Data = nullptr;
    if (FAILED(Render->GetBuffer(Frames, &Data))) return;
    Mix(reinterpret_cast<int16_t*>(Data), Frames);
    Render->ReleaseBuffer(Frames, 0);
    Written += Frames;
  }

  // The clock is read right after the steady clock, as one reading; the
  // next one comes before the listener is past what is queued.
  void NotePosition() {
    const int64_t Now = KvHeardNowUs();
    UINT64 Position = 0;
    if (FAILED(Clock->GetPosition(&Position, nullptr))) return;
    const int64_t Heard = int64_t(Position * KvMixRate / ClockRate);
    KvHeardAt(Now, Heard, size_t(std::max<int64_t>(0, int64_t(Written) - Heard)));
  }
};

void Run(KvWasapiMix Mix, std::promise<std::string>* Opened) {
  const HRESULT Com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  {
    Stream S;
    std::string Error = S.Make();
    if (Error.empty()) {
      S.Fill(Mix);
      const HRESULT R = S.Client->Start();
      if (FAILED(R)) Error = Failed("Start", R);
    }
    Opened->set_value(Error);
    if (Error.empty()) {
      while (!Wasapi.Quit.load(std::memory_order_acquire)) {
        S.NotePosition();
        WaitForSingleObject(Wasapi.Wake, 200);
        if (Wasapi.Quit.load(std::memory_order_acquire)) break;
        S.Fill(Mix);
      }
    }
  }
  if (SUCCEEDED(Com)) CoUninitialize();
}

}  // namespace

bool KvWasapiOpen(KvWasapiMix Mix, std::string& ErrorText) {
  if (Wasapi.Open) return true;
  if (!Wasapi.Wake) Wasapi.Wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!Wasapi.Wake) {
    ErrorText = "WASAPI: no event";
    return false;
  }
  std::promise<std::string> Opened;
  std::future<std::string> Result = Opened.get_future();
  Wasapi.Quit.store(false, std::memory_order_release);
  Wasapi.Thread = std::thread(Run, Mix, &Opened);
  ErrorText = Result.get();
  if (!ErrorText.empty()) {
    Wasapi.Thread.join();
    return false;
  }
  Wasapi.Open = true;
  return true;
}

bool KvWasapiIsOpen() { return Wasapi.Open; }

void KvWasapiClose() {
  if (!Wasapi.Open) return;
  Wasapi.Quit.store(true, std::memory_order_release);
  SetEvent(Wasapi.Wake);
  if (Wasapi.Thread.joinable()) Wasapi.Thread.join();
  Wasapi.Open = false;
}
