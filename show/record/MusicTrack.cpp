// MusicTrack: decode, resample once, place.
#include "MusicTrack.h"

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <vector>

#include <kelvra/audio/Decoder.h>

struct MusicTrack::State {
  std::unique_ptr<KvDecoder> Decoder;
  SwrContext* Resampler = nullptr;
  AVAudioFifo* Fifo = nullptr;  // resampled music not read yet
  AVSampleFormat Format = AV_SAMPLE_FMT_NONE;
  int Rate = 0;
  int64_t SilenceLeft = 0;  // output samples of silence before the music
  bool Ended = false;       // decoder and resampler drained
  std::vector<int16_t> Chunk;
  std::vector<uint8_t*> Out;
  std::vector<uint8_t> OutStore;

  ~State() {
    swr_free(&Resampler);
    if (Fifo) av_audio_fifo_free(Fifo);
  }

  // Pushes Frames mixed frames (nullptr: the resampler's tail) through the
  // resampler into the FIFO.
  bool Convert(const int16_t* In, int Frames) {
    const int Room = swr_get_out_samples(Resampler, Frames);
    if (Room <= 0) return true;
    int Linesize = 0;
    OutStore.resize(size_t(av_samples_get_buffer_size(&Linesize, 2, Room, Format, 1)));
    Out.assign(8, nullptr);
    av_samples_fill_arrays(Out.data(), &Linesize, OutStore.data(), 2, Room, Format, 1);
    const uint8_t* InPlanes[1] = {reinterpret_cast<const uint8_t*>(In)};
    const int Got = swr_convert(Resampler, Out.data(), Room, In ? InPlanes : nullptr, In ? Frames : 0);
    if (Got < 0) return false;
    return av_audio_fifo_write(Fifo, reinterpret_cast<void**>(Out.data()), Got) == Got;
  }

  // Decodes until the FIFO holds Samples or the music is over.
  bool Fill(int Samples) {
    while (!Ended && av_audio_fifo_size(Fifo) < Samples) {
      const size_t N = Decoder->Decode(Chunk.data(), Chunk.size() / KvMixChannels);
      if (N == 0) {
        if (!Convert(nullptr, 0)) return false;
        Ended = true;
      } else if (!Convert(Chunk.data(), int(N))) {
        return false;
      }
    }
    return true;
  }
};

MusicTrack::MusicTrack() : S(new State) {}
MusicTrack::~MusicTrack() = default;

bool MusicTrack::Open(const std::string& FileName, const AudioInput& Format, std::string* Error) {
  std::string Text;
  S->Decoder = KvOpenMusicFile(FileName, false, Text);
  if (!S->Decoder) {
    *Error = Text + " (" + FileName + ")";
    return false;
  }
  S->Format = AVSampleFormat(Format.SampleFormat);
  S->Rate = Format.Rate;
  AVChannelLayout Stereo;
  av_channel_layout_default(&Stereo, KvMixChannels);
  if (swr_alloc_set_opts2(&S->Resampler, &Stereo, S->Format, S->Rate, &Stereo, AV_SAMPLE_FMT_S16, KvMixRate, 0,
                          nullptr) < 0 ||
      swr_init(S->Resampler) < 0) {
    *Error = "cannot set up the resampler";
    return false;
  }
  S->Fifo = av_audio_fifo_alloc(S->Format, KvMixChannels, 8192);
  S->Chunk.resize(4096 * KvMixChannels);
  return S->Fifo != nullptr;
}

void MusicTrack::Place(double StartSeconds) {
  if (StartSeconds >= 0) {
    S->SilenceLeft = std::llround(StartSeconds * S->Rate);
    return;
  }
  // Started late: the music's first part is decoded and dropped at the
  // mixing rate, before any resampling.
  size_t Skip = size_t(std::llround(-StartSeconds * KvMixRate));
  while (Skip > 0) {
    const size_t Want = std::min(Skip, S->Chunk.size() / KvMixChannels);
    const size_t N = S->Decoder->Decode(S->Chunk.data(), Want);
    if (N == 0) break;
    Skip -= N;
  }
}

bool MusicTrack::Read(uint8_t* const* Planes, int Samples) {
  const int Silent = int(std::min<int64_t>(S->SilenceLeft, Samples));
  const int Planar = av_sample_fmt_is_planar(S->Format);
  const int Bytes = av_get_bytes_per_sample(S->Format) * (Planar ? 1 : KvMixChannels);
  std::vector<uint8_t*> At(Planar ? KvMixChannels : 1);
  for (size_t P = 0; P < At.size(); ++P) At[P] = Planes[P];
  av_samples_set_silence(At.data(), 0, Silent, KvMixChannels, S->Format);
  S->SilenceLeft -= Silent;
  for (uint8_t*& P : At) P += size_t(Silent) * Bytes;
  const int Music = Samples - Silent;
  if (Music == 0) return true;
  if (!S->Fill(Music)) return false;
  const int Got = av_audio_fifo_read(S->Fifo, reinterpret_cast<void**>(At.data()), Music);
  if (Got < 0) return false;
  for (uint8_t*& P : At) P += size_t(Got) * Bytes;
  av_samples_set_silence(At.data(), 0, Music - Got, KvMixChannels, S->Format);
  return true;
}
