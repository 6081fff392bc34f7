// KvOpenStreamDecoder: sampled music files through FFmpeg.
//
// libavformat finds the container and the best audio stream, libavcodec
// decodes it, libswresample turns whatever comes out (any rate, layout or
// sample format, which may even change mid-file) into 44100 Hz stereo s16.
// Errors carry FFmpeg's own text (av_strerror).
//
// Depends on: libavformat, libavcodec, libswresample, libavutil.
#include <mutex>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "Decoder.h"

namespace {

std::string AvErrorText(int Code) {
  char Text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(Code, Text, sizeof(Text));
  return Text;
}

class KvFfmpegDecoder : public KvDecoder {
 public:
  ~KvFfmpegDecoder() override {
    swr_free(&Resampler);
    av_frame_free(&Frame);
    av_packet_free(&Packet);
    avcodec_free_context(&Codec);
    avformat_close_input(&Format);
    av_channel_layout_uninit(&InLayout);
  }

  // Probe, open the codec and decode the first frame; 0 or an AVERROR code.
  int Open(const std::string& FileName);

  size_t Decode(int16_t* Out, size_t MaxFrames) override;
  bool Rewind() override;

 private:
  int NextFrame();
  int Convert(const AVFrame* In);
  int ConfigureResampler(const AVFrame* In);

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

int KvFfmpegDecoder::Open(const std::string& FileName) {
  int Ret = avformat_open_input(&Format, FileName.c_str(), nullptr, nullptr);
  if (Ret < 0) return Ret;
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
  swr_free(&Resampler);
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

}  // namespace

std::unique_ptr<KvDecoder> KvOpenStreamDecoder(const std::string& FileName, std::string& ErrorText) {
  // FFmpeg's own log would repeat every damaged frame on stderr; the engine
  // reports what matters itself.
  static std::once_flag Quiet;
  std::call_once(Quiet, [] { av_log_set_level(AV_LOG_FATAL); });
  auto D = std::make_unique<KvFfmpegDecoder>();
  const int Ret = D->Open(FileName);
  if (Ret < 0) {
    ErrorText = AvErrorText(Ret);
    return nullptr;
  }
  return D;
}
