// KvOpenStreamDecoder: sampled music files through FFmpeg.
//
// libavformat finds the container and the best audio stream, libavcodec
// decodes it, libswresample turns whatever comes out (any rate, layout or
// sample format, which may even change mid-file) into 44100 Hz stereo s16.
// The bytes come through our own reader (a file, or memory for the fuzz
// target), so both take the same path; only the demuxers of the engine's
// stream types (.WAV, .MP2/.MP3, .OGG, .WMA/.ASF) may claim them. Errors carry
// FFmpeg's own text (av_strerror).
//
// Depends on: libavformat, libavcodec, libswresample, libavutil.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "../core/RegularFile.h"
#include "../audio/Decoder.h"

namespace {

std::string AvErrorText(int Code) {
  char Text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(Code, Text, sizeof(Text));
  return Text;
}

// Where the bytes come from: an open file, or a block of memory.
struct ByteSource {
  FILE* File = nullptr;
  std::vector<uint8_t> Bytes;
  size_t Pos = 0;

  ~ByteSource() {
    if (File) std::fclose(File);
  }

  static int Read(void* Opaque, uint8_t* Out, int Count) {
    auto* S = static_cast<ByteSource*>(Opaque);
    size_t Got;
    if (S->File) {
      Got = std::fread(Out, 1, static_cast<size_t>(Count), S->File);
      if (Got == 0 && std::ferror(S->File)) return AVERROR(EIO);
    } else {
      Got = std::min(static_cast<size_t>(Count), S->Bytes.size() - S->Pos);
      if (Got > 0) std::memcpy(Out, S->Bytes.data() + S->Pos, Got);
      S->Pos += Got;
    }
    return Got == 0 ? AVERROR_EOF : static_cast<int>(Got);
  }

  static int64_t Seek(void* Opaque, int64_t Offset, int Whence) {
    auto* S = static_cast<ByteSource*>(Opaque);
    Whence &= ~AVSEEK_FORCE;
    if (S->File) {
      if (Whence == AVSEEK_SIZE) {
        const long Here = std::ftell(S->File);
        if (Here < 0 || std::fseek(S->File, 0, SEEK_END) != 0) return -1;
        const long Size = std::ftell(S->File);
        std::fseek(S->File, Here, SEEK_SET);
        return Size;
      }
      if (Whence != SEEK_SET && Whence != SEEK_CUR && Whence != SEEK_END) return -1;
      if (std::fseek(S->File, static_cast<long>(Offset), Whence) != 0) return -1;
      return std::ftell(S->File);
    }
    const int64_t Size = static_cast<int64_t>(S->Bytes.size());
    if (Whence == AVSEEK_SIZE) return Size;
    int64_t Base = 0;
    if (Whence == SEEK_CUR) Base = static_cast<int64_t>(S->Pos);
    else if (Whence == SEEK_END) Base = Size;
    else if (Whence != SEEK_SET) return -1;
    // Offsets from damaged headers can be anything: no overflow, no seek
    // outside the data.
    if (Offset < -Base || Offset > Size - Base) return -1;
    S->Pos = static_cast<size_t>(Base + Offset);
    return Base + Offset;
  }
};

// Building a resampler's filter takes milliseconds; set up again for the same
// rates, libswresample keeps the filter it has. A decoder closing leaves its
// resampler here for the next one opened on the same thread.
struct SpareResampler {
  SwrContext* Context = nullptr;
  ~SpareResampler() { swr_free(&Context); }
};
thread_local SpareResampler Spare;

class KvFfmpegDecoder : public KvDecoder {
 public:
  explicit KvFfmpegDecoder(std::unique_ptr<ByteSource> S) : Source(std::move(S)) {}
  ~KvFfmpegDecoder() override {
    if (Resampler) {
      swr_free(&Spare.Context);
      Spare.Context = Resampler;
      Resampler = nullptr;
    }
    av_frame_free(&Frame);
    av_packet_free(&Packet);
    avcodec_free_context(&Codec);
    avformat_close_input(&Format);
    if (Io) av_freep(&Io->buffer);
    avio_context_free(&Io);
    av_channel_layout_uninit(&InLayout);
  }

  // Probe, open the codec and decode the first frame; 0 or an AVERROR code.
  int Open();

  size_t Decode(int16_t* Out, size_t MaxFrames) override;
  bool Rewind() override;

  std::string OutOfRange;  // set when a frame's format is refused, for the open report

 private:
  int NextFrame();
  int Convert(const AVFrame* In);
  int ConfigureResampler(const AVFrame* In);

  std::unique_ptr<ByteSource> Source;
  AVIOContext* Io = nullptr;
  AVFormatContext* Format = nullptr;
  AVCodecContext* Codec = nullptr;
  SwrContext* Resampler = nullptr;
  AVPacket* Packet = nullptr;
  AVFrame* Frame = nullptr;
  int StreamIndex = -1;
  int LastError = 0;          // the last failure seen, for the open report
  bool InputDone = false;     // the demuxer is exhausted and the decoder flushed
  bool Drained = false;       // the resampler's tail has been collected too
  std::vector<int16_t> Pending;  // converted frames not handed out yet
  size_t PendingPos = 0;         // in samples
  // What the resampler is set up for.
  int InFormat = -1;
  int InRate = 0;
  AVChannelLayout InLayout{};
};

int KvFfmpegDecoder::Open() {
  constexpr int IoBufferSize = 32768;
  auto* IoBuffer = static_cast<uint8_t*>(av_malloc(IoBufferSize));
  if (!IoBuffer) return AVERROR(ENOMEM);
  Io = avio_alloc_context(IoBuffer, IoBufferSize, 0, Source.get(), ByteSource::Read, nullptr, ByteSource::Seek);
  Format = avformat_alloc_context();
  if (!Io || !Format) {
    if (!Io) av_free(IoBuffer);
    return AVERROR(ENOMEM);
  }
  Format->pb = Io;
  Format->flags |= AVFMT_FLAG_CUSTOM_IO;
  Format->format_whitelist = av_strdup("wav,mp3,ogg,asf");
  int Ret = avformat_open_input(&Format, nullptr, nullptr, nullptr);
  if (Ret < 0) return Ret;  // Format is freed and null now
  if ((Ret = avformat_find_stream_info(Format, nullptr)) < 0) return Ret;
  const AVCodec* Decoder = nullptr;
  StreamIndex = av_find_best_stream(Format, AVMEDIA_TYPE_AUDIO, -1, -1, &Decoder, 0);
  if (StreamIndex < 0) return StreamIndex;
  Codec = avcodec_alloc_context3(Decoder);
  Packet = av_packet_alloc();
  Frame = av_frame_alloc();
  if (!Codec || !Packet || !Frame) return AVERROR(ENOMEM);
  const AVStream* Stream = Format->streams[StreamIndex];
  if ((Ret = avcodec_parameters_to_context(Codec, Stream->codecpar)) < 0) return Ret;
  Codec->pkt_timebase = Stream->time_base;
  if ((Ret = avcodec_open2(Codec, Decoder, nullptr)) < 0) return Ret;
  // A file whose first frame cannot be decoded is no music file: say so now.
  Ret = NextFrame();
  if (Ret < 0) return Ret;
  if (Ret == 0) return LastError < 0 ? LastError : AVERROR_EOF;
  Ret = Convert(Frame);
  av_frame_unref(Frame);
  return Ret;
}

// 1 with a decoded frame in Frame, 0 at the end of the stream. Packets the
// decoder rejects are skipped (LastError keeps the reason).
int KvFfmpegDecoder::NextFrame() {
  for (;;) {
    int Ret = avcodec_receive_frame(Codec, Frame);
    if (Ret == 0) return 1;
    if (Ret == AVERROR_EOF) return 0;
    // A damaged frame is skipped: every turn of this loop reads a packet, so
    // a run of bad frames cannot keep it from reaching the end.
    if (Ret != AVERROR(EAGAIN)) LastError = Ret;
    if (InputDone) return 0;
    Ret = av_read_frame(Format, Packet);
    if (Ret < 0) {
      if (Ret != AVERROR_EOF) LastError = Ret;
      InputDone = true;
      avcodec_send_packet(Codec, nullptr);  // drain the decoder
      continue;
    }
    if (Packet->stream_index == StreamIndex) {
      Ret = avcodec_send_packet(Codec, Packet);
      if (Ret < 0) LastError = Ret;
    }
    av_packet_unref(Packet);
  }
}

int KvFfmpegDecoder::ConfigureResampler(const AVFrame* In) {
  // A rate from a damaged header can be anything: hundreds of MHz make
  // swr_init build a filter for minutes, 1 Hz makes one frame expand 44100
  // times. Real music lies well inside these bounds.
  if (In->sample_rate < KvMinStreamRate || In->sample_rate > KvMaxStreamRate) {
    OutOfRange = "Sample rate " + std::to_string(In->sample_rate) + " Hz out of range (" +
                 std::to_string(KvMinStreamRate) + " .. " + std::to_string(KvMaxStreamRate) + ")";
    return AVERROR_INVALIDDATA;
  }
  AVChannelLayout Layout{};
  if (In->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || In->ch_layout.nb_channels == 0)
    av_channel_layout_default(&Layout, In->ch_layout.nb_channels > 0 ? In->ch_layout.nb_channels : 2);
  else if (av_channel_layout_copy(&Layout, &In->ch_layout) < 0)
    return AVERROR(ENOMEM);
  if (Resampler && In->format == InFormat && In->sample_rate == InRate &&
      av_channel_layout_compare(&Layout, &InLayout) == 0) {
    av_channel_layout_uninit(&Layout);
    return 0;
  }
  // Set up again in place (or the spare one): swr_init starts it afresh.
  if (!Resampler) std::swap(Resampler, Spare.Context);
  av_channel_layout_uninit(&InLayout);
  InLayout = Layout;
  InFormat = In->format;
  InRate = In->sample_rate;
  AVChannelLayout Stereo = AV_CHANNEL_LAYOUT_STEREO;
  int Ret = swr_alloc_set_opts2(&Resampler, &Stereo, AV_SAMPLE_FMT_S16, KvMixRate, &InLayout,
                                static_cast<AVSampleFormat>(InFormat), InRate, 0, nullptr);
  if (Ret < 0) return Ret;
  return swr_init(Resampler);
}

// Appends the converted frames of In (null: the resampler's tail) to Pending.
int KvFfmpegDecoder::Convert(const AVFrame* In) {
  if (In) {
    const int Ret = ConfigureResampler(In);
    if (Ret < 0) return Ret;
  }
  if (!Resampler) return 0;
  const int Room = swr_get_out_samples(Resampler, In ? In->nb_samples : 0);
  if (Room <= 0) return Room;
  if (PendingPos == Pending.size()) {
    Pending.clear();
    PendingPos = 0;
  }
  const size_t Base = Pending.size();
  Pending.resize(Base + static_cast<size_t>(Room) * 2);
  uint8_t* OutPtr = reinterpret_cast<uint8_t*>(Pending.data() + Base);
  const int Got = swr_convert(Resampler, &OutPtr, Room,
                              In ? const_cast<const uint8_t**>(In->extended_data) : nullptr,
                              In ? In->nb_samples : 0);
  Pending.resize(Base + static_cast<size_t>(Got > 0 ? Got : 0) * 2);
  return Got < 0 ? Got : 0;
}

size_t KvFfmpegDecoder::Decode(int16_t* Out, size_t MaxFrames) {
  size_t Done = 0;
  while (Done < MaxFrames) {
    const size_t Have = (Pending.size() - PendingPos) / 2;
    if (Have > 0) {
      const size_t N = Have < MaxFrames - Done ? Have : MaxFrames - Done;
      std::copy(Pending.begin() + PendingPos, Pending.begin() + PendingPos + N * 2, Out + Done * 2);
      PendingPos += N * 2;
      Done += N;
      continue;
    }
    if (Drained) break;
    const int Ret = NextFrame();
    if (Ret > 0) {
      if (Convert(Frame) < 0) Drained = true;
      av_frame_unref(Frame);
    } else {
      Convert(nullptr);  // the resampler may still hold a few frames
      Drained = true;
    }
  }
  return Done;
}

bool KvFfmpegDecoder::Rewind() {
  const int64_t Start = Format->streams[StreamIndex]->start_time;
  if (av_seek_frame(Format, StreamIndex, Start == AV_NOPTS_VALUE ? 0 : Start, AVSEEK_FLAG_BACKWARD) < 0 &&
      avformat_seek_file(Format, -1, INT64_MIN, 0, 0, AVSEEK_FLAG_BYTE) < 0)
    return false;
  avcodec_flush_buffers(Codec);
  if (Resampler) swr_init(Resampler);  // forget any half-converted tail
  Pending.clear();
  PendingPos = 0;
  InputDone = false;
  Drained = false;
  return true;
}

std::unique_ptr<KvDecoder> OpenFromSource(std::unique_ptr<ByteSource> Source, std::string& ErrorText) {
  // FFmpeg's own log would repeat every damaged frame on stderr; the engine
  // reports what matters itself.
  static std::once_flag Quiet;
  std::call_once(Quiet, [] { av_log_set_level(AV_LOG_FATAL); });
  auto D = std::make_unique<KvFfmpegDecoder>(std::move(Source));
  const int Ret = D->Open();
  if (Ret < 0) {
    ErrorText = D->OutOfRange.empty() ? AvErrorText(Ret) : D->OutOfRange;
    return nullptr;
  }
  return D;
}

}  // namespace

std::unique_ptr<KvDecoder> KvOpenStreamDecoder(const std::string& FileName, std::string& ErrorText) {
  auto Source = std::make_unique<ByteSource>();
  Source->File = KvOpenRegularFileStream(FileName, ErrorText);
  if (!Source->File) return nullptr;
  return OpenFromSource(std::move(Source), ErrorText);
}

std::unique_ptr<KvDecoder> KvOpenStreamDecoder(std::vector<uint8_t> Bytes, std::string& ErrorText) {
  auto Source = std::make_unique<ByteSource>();
  Source->Bytes = std::move(Bytes);
  return OpenFromSource(std::move(Source), ErrorText);
}
