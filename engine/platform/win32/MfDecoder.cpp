// The Windows build's music decoders (Decoder.h): sampled files (MP3, WAV,
// WMA, ...) through a Media Foundation source reader; no modules and no MIDI
// (libopenmpt and FluidSynth are the Linux build's).
//
// The reader delivers 16-bit PCM at the file's own rate and channel count;
// here it becomes 44100 Hz stereo (channels beyond two dropped, mono doubled,
// other rates by linear interpolation). An MP3 with a LAME/Info tag is
// trimmed as FFmpeg trims it on Linux: the encoder's delay plus the decoder's
// 529 samples at the start, the encoder's padding at the end.
//
// Depends on: Media Foundation (mfplat, mfreadwrite, loaded at run time), Decoder.h.
#include "WindowsHeaders.h"
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "../../audio/Decoder.h"
#include "ComObjects.h"

namespace {

// Media Foundation's entry points, looked up when the first music file is
// opened: Windows' N editions come without it, and the show must still start
// there (without music, or to say what is missing).
struct MediaFoundation {
  HRESULT(WINAPI* Startup)(ULONG, DWORD) = nullptr;
  HRESULT(WINAPI* CreateMediaType)(IMFMediaType**) = nullptr;
  HRESULT(WINAPI* CreateSourceReaderFromURL)(LPCWSTR, IMFAttributes*, IMFSourceReader**) = nullptr;
};
MediaFoundation Mf;

template <typename Fn>
bool Find(HMODULE Module, const char* Name, Fn& Out) {
  Out = Module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(Module, Name))) : nullptr;
  return Out != nullptr;
}

bool StartMediaFoundation(std::string& ErrorText) {
  static std::once_flag Once;
  static std::string Failure;
  std::call_once(Once, [] {
    HMODULE Plat = LoadLibraryW(L"mfplat.dll");
    HMODULE ReadWrite = LoadLibraryW(L"mfreadwrite.dll");
    if (!Find(Plat, "MFStartup", Mf.Startup) || !Find(Plat, "MFCreateMediaType", Mf.CreateMediaType) ||
        !Find(ReadWrite, "MFCreateSourceReaderFromURL", Mf.CreateSourceReaderFromURL)) {
      Failure = "Media Foundation is not installed (on Windows N editions: the Media Feature Pack)";
      return;
    }
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const HRESULT Result = Mf.Startup(MF_VERSION, MFSTARTUP_LITE);
    if (FAILED(Result)) Failure = KvHresultText("Media Foundation start-up", Result);
  });
  ErrorText = Failure;
  return Failure.empty();
}

// An MP3's gapless information: the LAME tag in its first frame.
struct Gapless {
  bool Found = false;
  int64_t Frames = 0, Delay = 0, Padding = 0;
};

Gapless ReadLameTag(const std::string& FileName) {
  Gapless G;
  std::vector<uint8_t> Head(16384);
  std::FILE* File = _wfopen(std::filesystem::u8path(FileName).wstring().c_str(), L"rb");
  if (!File) return G;
  Head.resize(std::fread(Head.data(), 1, Head.size(), File));
  std::fclose(File);
  size_t At = 0;
  if (Head.size() >= 10 && std::memcmp(Head.data(), "ID3", 3) == 0)
    At = 10 + ((size_t(Head[6] & 0x7F) << 21) | (size_t(Head[7] & 0x7F) << 14) | (size_t(Head[8] & 0x7F) << 7) |
               size_t(Head[9] & 0x7F));
  if (At + 4 > Head.size() || Head[At] != 0xFF || (Head[At + 1] & 0xE0) != 0xE0) return G;
  const bool Mpeg1 = (Head[At + 1] & 0x18) == 0x18;
  const bool Mono = (Head[At + 3] & 0xC0) == 0xC0;
  const size_t Side = Mpeg1 ? (Mono ? 17 : 32) : (Mono ? 9 : 17);
  size_t X = At + 4 + Side;
  if (X + 8 > Head.size() || (std::memcmp(&Head[X], "Xing", 4) != 0 && std::memcmp(&Head[X], "Info", 4) != 0))
    return G;
  const uint32_t Flags = (uint32_t(Head[X + 4]) << 24) | (uint32_t(Head[X + 5]) << 16) |
                         (uint32_t(Head[X + 6]) << 8) | Head[X + 7];
  size_t P = X + 8;
  if (Flags & 1) {
    if (P + 4 > Head.size()) return G;
    G.Frames = (int64_t(Head[P]) << 24) | (int64_t(Head[P + 1]) << 16) | (int64_t(Head[P + 2]) << 8) | Head[P + 3];
    P += 4;
  }
  if (Flags & 2) P += 4;
  if (Flags & 4) P += 100;
  if (Flags & 8) P += 4;
  if (P + 24 > Head.size()) return G;
  const uint8_t* D = &Head[P + 21];
  G.Delay = (int64_t(D[0]) << 4) | (D[1] >> 4);
  G.Padding = (int64_t(D[1] & 0x0F) << 8) | D[2];
  G.Found = G.Frames > 0;
  return G;
}

class MfDecoder final : public KvDecoder {
 public:
  ~MfDecoder() override { KvRelease(Reader); }

  bool Open(const std::string& FileName, std::string& ErrorText) {
    if (!StartMediaFoundation(ErrorText)) return false;
    const std::wstring Path = std::filesystem::u8path(FileName).wstring();
    HRESULT Hr = Mf.CreateSourceReaderFromURL(Path.c_str(), nullptr, &Reader);
    if (FAILED(Hr)) {
      ErrorText = "Not a music file Media Foundation can read (" + KvHresultText("MFCreateSourceReaderFromURL", Hr) + ")";
      return false;
    }
    Reader->SetStreamSelection(DWORD(MF_SOURCE_READER_ALL_STREAMS), FALSE);
    Reader->SetStreamSelection(DWORD(MF_SOURCE_READER_FIRST_AUDIO_STREAM), TRUE);
    IMFMediaType* Want = nullptr;
    if (FAILED(Mf.CreateMediaType(&Want))) {
      ErrorText = "Media Foundation cannot make a media type";
      return false;
    }
    Want->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    Want->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
    Want->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
    Hr = Reader->SetCurrentMediaType(DWORD(MF_SOURCE_READER_FIRST_AUDIO_STREAM), nullptr, Want);
    KvRelease(Want);
    if (FAILED(Hr)) {
      ErrorText = "No audio that decodes to PCM (" + KvHresultText("SetCurrentMediaType", Hr) + ")";
      return false;
    }
    IMFMediaType* Have = nullptr;
    Reader->GetCurrentMediaType(DWORD(MF_SOURCE_READER_FIRST_AUDIO_STREAM), &Have);
    UINT32 Rate = 0, Channels = 0;
    if (Have) {
      Have->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &Rate);
      Have->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &Channels);
    }
    KvRelease(Have);
    if (Rate < UINT32(KvMinStreamRate) || Rate > UINT32(KvMaxStreamRate) || Channels == 0) {
      ErrorText = "Unsupported sample rate or channel count (" + std::to_string(Rate) + " Hz, " +
                  std::to_string(Channels) + " channels)";
      return false;
    }
    InRate = int(Rate);
    InChannels = int(Channels);
    const Gapless G = ReadLameTag(FileName);
    if (G.Found) {
      SkipStart = G.Delay + 529;
      Keep = G.Frames * 1152 - G.Delay - G.Padding;  // the tag's frames are MPEG-1 Layer III
    }
    // Checked now, not on the decoder thread: the first samples decode.
    if (!Refill()) {
      ErrorText = "The file holds no audio that decodes";
      return false;
    }
    return true;
  }

  size_t Decode(int16_t* Out, size_t MaxFrames) override {
    size_t Done = 0;
    while (Done < MaxFrames) {
      if (Keep >= 0 && Delivered >= Keep) break;
      // Linear interpolation at 44100 Hz over the input frames in Pending.
      const size_t InFrames = Pending.size() / 2;
      const double Pos = Phase;
      const size_t I = size_t(Pos);
      if (I + 1 >= InFrames) {
        // Keep the last frame for the next interpolation step.
        if (InFrames > 0) {
          const size_t KeepFrom = std::min(I, InFrames - 1);
          Pending.erase(Pending.begin(), Pending.begin() + KeepFrom * 2);
          Phase -= double(KeepFrom);
        }
        if (!Refill()) break;
        continue;
      }
      const double F = Pos - double(I);
      for (int C = 0; C < 2; ++C) {
        const double A = Pending[I * 2 + C], B = Pending[(I + 1) * 2 + C];
        Out[Done * 2 + C] = int16_t(std::lrint(A + (B - A) * F));
      }
      ++Done;
      ++Delivered;
      Phase += double(InRate) / double(KvMixRate);
    }
    return Done;
  }

  bool Rewind() override {
    PROPVARIANT Start;
    PropVariantInit(&Start);
    Start.vt = VT_I8;
    Start.hVal.QuadPart = 0;
    const HRESULT Hr = Reader->SetCurrentPosition(GUID_NULL, Start);
    PropVariantClear(&Start);
    if (FAILED(Hr)) return false;
    Pending.clear();
    Phase = 0;
    Delivered = 0;
    Skipped = 0;
    AtEnd = false;
    return Refill();
  }

 private:
  // Appends the next decoded samples (as stereo) to Pending, dropping the
  // start's delay. false at the end of the stream.
  bool Refill() {
    while (!AtEnd) {
      DWORD Flags = 0;
      IMFSample* Sample = nullptr;
      const HRESULT Hr =
          Reader->ReadSample(DWORD(MF_SOURCE_READER_FIRST_AUDIO_STREAM), 0, nullptr, &Flags, nullptr, &Sample);
      if (FAILED(Hr) || (Flags & MF_SOURCE_READERF_ENDOFSTREAM)) AtEnd = true;
      if (!Sample) continue;
      IMFMediaBuffer* Buffer = nullptr;
      size_t Added = 0;
      if (SUCCEEDED(Sample->ConvertToContiguousBuffer(&Buffer))) {
        BYTE* Data = nullptr;
        DWORD Length = 0;
        if (SUCCEEDED(Buffer->Lock(&Data, nullptr, &Length))) {
          const int16_t* S = reinterpret_cast<const int16_t*>(Data);
          const size_t Frames = Length / (2 * size_t(InChannels));
          for (size_t F = 0; F < Frames; ++F) {
            if (Skipped < SkipStart) {
              ++Skipped;
              continue;
            }
            const int16_t L = S[F * InChannels];
            const int16_t R = InChannels > 1 ? S[F * InChannels + 1] : L;
            Pending.push_back(L);
            Pending.push_back(R);
            ++Added;
          }
          Buffer->Unlock();
        }
        KvRelease(Buffer);
      }
      KvRelease(Sample);
      if (Added) return true;
    }
    return false;
  }

  IMFSourceReader* Reader = nullptr;
  int InRate = KvMixRate, InChannels = 2;
  std::vector<int16_t> Pending;  // stereo input frames not yet passed
  double Phase = 0;              // position in Pending, in input frames
  int64_t SkipStart = 0, Skipped = 0;
  int64_t Keep = -1;  // frames to deliver in all (-1: everything)
  int64_t Delivered = 0;
  bool AtEnd = false;
};

}  // namespace

std::unique_ptr<KvDecoder> KvOpenStreamDecoder(const std::string& FileName, std::string& ErrorText) {
  auto Decoder = std::make_unique<MfDecoder>();
  if (!Decoder->Open(FileName, ErrorText)) return nullptr;
  return Decoder;
}

std::unique_ptr<KvDecoder> KvOpenStreamDecoder(std::vector<uint8_t>, std::string& ErrorText) {
  ErrorText = "Music from memory is not part of the Windows build";
  return nullptr;
}

namespace {
constexpr const char* NotInThisBuild =
    "Modules and MIDI files are not played by the Windows build (the Linux build plays them)";
}

std::unique_ptr<KvDecoder> KvOpenModuleDecoder(const std::string&, bool, std::string& ErrorText) {
  ErrorText = NotInThisBuild;
  return nullptr;
}

std::unique_ptr<KvDecoder> KvOpenModuleDecoder(const std::vector<uint8_t>&, bool, std::string& ErrorText) {
  ErrorText = NotInThisBuild;
  return nullptr;
}

std::unique_ptr<KvDecoder> KvOpenMidiDecoder(const std::string&, bool, std::string& ErrorText) {
  ErrorText = NotInThisBuild;
  return nullptr;
}
