// VideoFile: the libavformat / libavcodec side of a recording.
#include "VideoFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <mutex>

#include <kelvra/core/AtomicFile.h>
#include "DescriptorIo.h"
#include "PixelConvert.h"

namespace {

constexpr int FrameRate = 25;

std::string AvText(int Code) {
  char Text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(Code, Text, sizeof Text);
  return Text;
}

std::string LowerExtension(const std::string& Path) {
  const size_t Dot = Path.find_last_of('.');
  const size_t Slash = Path.find_last_of('/');
  if (Dot == std::string::npos || (Slash != std::string::npos && Dot < Slash)) return "";
  std::string Ext = Path.substr(Dot);
  for (char& C : Ext) C = char(std::tolower(static_cast<unsigned char>(C)));
  return Ext;
}

struct Recipe {
  const char* Muxer;
  const char* VideoCodec;
  AVPixelFormat PixelFormat;
  const char* VideoOptions;  // "key=value:key=value" for the encoder, the CRF added
  const char* AudioCodec;
  AVSampleFormat SampleFormat;
  int SampleRate;
  int64_t AudioBitRate;  // 0: lossless
};

// libx264 at constant quality, its preset chosen by size (X264PresetFor).
// VP9 in constant-quality mode (b=0) with the fastest real-time settings.
// The CRF defaults: bench/README.md, "Recording at 1080p".
Recipe RecipeOf(RecordFormat Format) {
  switch (Format) {
    case RecordFormat::Mp4:
      return {"mp4", "libx264", AV_PIX_FMT_YUV420P, "", "aac", AV_SAMPLE_FMT_FLTP, 44100, 192000};
    case RecordFormat::Mkv:
      return {"matroska", "ffv1", AV_PIX_FMT_BGR0, "level=3:slices=4:slicecrc=1", "flac", AV_SAMPLE_FMT_S16, 44100,
              0};
    case RecordFormat::WebM:
    default:
      return {"webm", "libvpx-vp9", AV_PIX_FMT_YUV420P, "b=0:deadline=realtime:cpu-used=8:row-mt=1",
              "libopus", AV_SAMPLE_FMT_FLT, 48000, 128000};
  }
}

// "veryfast" is transparent for this picture at a fraction of the default
// preset's time, and keeps standard definition well ahead of real time. From
// 1080 lines on, only "ultrafast" keeps up with the show on two cores
// (bench/README.md, "Recording speed": 1080p at 4 x real time, 2160p at 1 x).
const char* X264PresetFor(int Height) { return Height >= 1080 ? "ultrafast" : "veryfast"; }

// The libraries' own log lines never reach standard error beside ours; the
// last error among them is kept, to give the reason of a failure.
std::mutex LibraryLineLock;
std::string LibraryLine;

void KeepLibraryLine(void* Avcl, int Level, const char* Format, va_list Args) {
  if (Level > AV_LOG_ERROR) return;
  char Line[512];
  int Prefix = 0;  // no "[ffv1 @ 0x...]"
  av_log_format_line2(Avcl, Level, Format, Args, Line, sizeof Line, &Prefix);
  std::string Text = Line;
  // The advice after the reason speaks of ffmpeg's own options.
  const size_t Advice = Text.find(", please");
  if (Advice != std::string::npos) Text.erase(Advice);
  while (!Text.empty() && (Text.back() == '\n' || Text.back() == ' ')) Text.pop_back();
  std::lock_guard<std::mutex> L(LibraryLineLock);
  LibraryLine = Text;
}

void QuietLibraries() {
  av_log_set_level(AV_LOG_ERROR);
  av_log_set_callback(KeepLibraryLine);
  std::lock_guard<std::mutex> L(LibraryLineLock);
  LibraryLine.clear();
}

// " (the library's last error)" when there is one.
std::string LibraryReason() {
  std::lock_guard<std::mutex> L(LibraryLineLock);
  return LibraryLine.empty() ? "" : " (" + LibraryLine + ")";
}

AVDictionary* VideoOptions(const Recipe& R, RecordFormat Format, int Quality, int Height) {
  AVDictionary* Opts = nullptr;
  av_dict_parse_string(&Opts, R.VideoOptions, "=", ":", 0);
  if (Format == RecordFormat::Mp4) av_dict_set(&Opts, "preset", X264PresetFor(Height), 0);
  const QualityRange Q = QualityRangeOf(Format);
  if (Q.Highest > 0) av_dict_set_int(&Opts, "crf", Quality >= 0 ? Quality : Q.Default, 0);
  return Opts;
}

}  // namespace

bool VideoSizeFits(RecordFormat Format, int Width, int Height, std::string* Why) {
  // Only FFV1 refuses sizes within --size's range (its slices must each
  // stay below a size); the encoder itself is asked, which is exact.
  if (Format != RecordFormat::Mkv) return true;
  QuietLibraries();
  const Recipe R = RecipeOf(Format);
  const AVCodec* Codec = avcodec_find_encoder_by_name(R.VideoCodec);
  AVCodecContext* Video = Codec ? avcodec_alloc_context3(Codec) : nullptr;
  if (!Video) return true;  // Open reports the missing encoder
  Video->width = Width;
  Video->height = Height;
  Video->time_base = AVRational{1, 25};
  Video->pix_fmt = R.PixelFormat;
  AVDictionary* Opts = VideoOptions(R, Format, -1, Height);
  const int Code = avcodec_open2(Video, Codec, &Opts);
  av_dict_free(&Opts);
  avcodec_free_context(&Video);
  if (Code >= 0) return true;
  *Why = std::string(R.VideoCodec) + " cannot encode " + std::to_string(Width) + "x" + std::to_string(Height) +
         " pictures" + LibraryReason();
  return false;
}

QualityRange QualityRangeOf(RecordFormat Format) {
  switch (Format) {
    case RecordFormat::Mp4:
      return {0, 51, 23};
    case RecordFormat::WebM:
      return {0, 63, 32};
    case RecordFormat::Mkv:
    default:
      return {0, 0, 0};
  }
}

bool RecordFormatOf(const std::string& Path, RecordFormat* Format) {
  const std::string Ext = LowerExtension(Path);
  if (Ext == ".mp4")
    *Format = RecordFormat::Mp4;
  else if (Ext == ".mkv")
    *Format = RecordFormat::Mkv;
  else if (Ext == ".webm")
    *Format = RecordFormat::WebM;
  else
    return false;
  return true;
}

struct VideoFile::State {
  std::string Path;
  KvAtomicFile Part;  // the file being written, renamed to Path by Finish
  AVFormatContext* Out = nullptr;
  AVCodecContext* Video = nullptr;
  AVCodecContext* Audio = nullptr;
  AVStream* VideoStream = nullptr;
  AVStream* AudioStream = nullptr;
  AVFrame* Picture = nullptr;
  AVFrame* Sound = nullptr;
  AVAudioFifo* Fifo = nullptr;
  AVPacket* Packet = nullptr;
  int AudioFrameSize = 0;
  YuvMatrix Matrix = YuvMatrix::Bt601;
  int64_t Frames = 0;
  int64_t Samples = 0;  // sent to the audio encoder
  int64_t SamplesIn = 0;
  bool HeaderWritten = false;
  bool Finished = false;
  std::string Error;

  bool Fail(const std::string& Text) {
    Error = Text;
    return false;
  }

  // Sends Frame (nullptr: drain) to Codec and writes what comes out.
  bool Encode(AVCodecContext* Codec, AVStream* Stream, AVFrame* Frame) {
    int R = avcodec_send_frame(Codec, Frame);
    if (R < 0) return Fail(std::string("encoding failed: ") + AvText(R));
    for (;;) {
      R = avcodec_receive_packet(Codec, Packet);
      if (R == AVERROR(EAGAIN) || R == AVERROR_EOF) return true;
      if (R < 0) return Fail(std::string("encoding failed: ") + AvText(R));
      // One frame lasts one tick of 1/25 s; without it the last frame
      // would have no length and the video would end 40 ms short.
      if (Codec == Video && Packet->duration == 0) Packet->duration = 1;
      av_packet_rescale_ts(Packet, Codec->time_base, Stream->time_base);
      Packet->stream_index = Stream->index;
      R = av_interleaved_write_frame(Out, Packet);
      if (R < 0) return Fail("cannot write \"" + Path + "\": " + AvText(R));
    }
  }

  // Encodes whole audio frames from the FIFO; with Last also the rest.
  bool EncodeAudio(bool Last) {
    while (av_audio_fifo_size(Fifo) >= AudioFrameSize || (Last && av_audio_fifo_size(Fifo) > 0)) {
      const int Take = std::min(AudioFrameSize, av_audio_fifo_size(Fifo));
      if (av_frame_make_writable(Sound) < 0) return Fail("out of memory");
      Sound->nb_samples = AudioFrameSize;
      av_samples_set_silence(Sound->data, 0, AudioFrameSize, 2, AVSampleFormat(Sound->format));
      if (av_audio_fifo_read(Fifo, reinterpret_cast<void**>(Sound->data), Take) != Take)
        return Fail("audio buffer failed");
      // Encoders that take a short last frame get it short, the others
      // padded with silence.
      if (Take < AudioFrameSize && (Audio->codec->capabilities & (AV_CODEC_CAP_SMALL_LAST_FRAME |
                                                                   AV_CODEC_CAP_VARIABLE_FRAME_SIZE)))
        Sound->nb_samples = Take;
      Sound->pts = Samples;
      Samples += Sound->nb_samples;
      if (!Encode(Audio, AudioStream, Sound)) return false;
    }
    return true;
  }

  void Close() {
    KvCloseDescriptorOutput(Out);
    avcodec_free_context(&Video);
    avcodec_free_context(&Audio);
    av_frame_free(&Picture);
    av_frame_free(&Sound);
    if (Fifo) av_audio_fifo_free(Fifo);
    Fifo = nullptr;
    av_packet_free(&Packet);
    avformat_free_context(Out);
    Out = nullptr;
  }
};

VideoFile::VideoFile() : S(new State) {}

VideoFile::~VideoFile() {
  S->Close();  // the unfinished file goes with S->Part
}

void VideoFile::Discard() {
  S->Close();
  S->Part.Discard();
}

const std::string& VideoFile::Error() const { return S->Error; }
int64_t VideoFile::FramesWritten() const { return S->Frames; }
int64_t VideoFile::SamplesWritten() const { return S->SamplesIn; }

AudioInput VideoFile::AudioWanted() const {
  AudioInput In;
  if (S->Audio) {
    In.Rate = S->Audio->sample_rate;
    In.SampleFormat = S->Audio->sample_fmt;
  }
  return In;
}

bool VideoFile::Open(const std::string& Path, RecordFormat Format, int Width, int Height, bool WithAudio,
                     std::string* Error, int Quality) {
  State& St = *S;
  const Recipe R = RecipeOf(Format);
  St.Path = Path;
  auto Fail = [&](const std::string& Text) {
    St.Close();
    St.Part.Discard();
    *Error = Text;
    return false;
  };
  // The target first: a wrong path is reported before the encoders start.
  std::string Why;
  if (!St.Part.Create(Path, &Why)) return Fail(Why);

  // The libraries' own lines (encoder banners, errors) stay out of the
  // progress display and beside our error line.
  QuietLibraries();
  int Code = avformat_alloc_output_context2(&St.Out, nullptr, R.Muxer, St.Part.TempPath().c_str());
  if (Code < 0 || !St.Out) return Fail(std::string("no ") + R.Muxer + " writer in libavformat");

  const AVCodec* VideoCodec = avcodec_find_encoder_by_name(R.VideoCodec);
  if (!VideoCodec) return Fail(std::string("no ") + R.VideoCodec + " encoder in this libavcodec");
  St.Video = avcodec_alloc_context3(VideoCodec);
  St.Video->width = Width;
  St.Video->height = Height;
  St.Video->time_base = AVRational{1, FrameRate};
  St.Video->framerate = AVRational{FrameRate, 1};
  St.Video->pix_fmt = R.PixelFormat;
  St.Video->sample_aspect_ratio = AVRational{1, 1};
  if (R.PixelFormat == AV_PIX_FMT_YUV420P) {
    // What WriteVideo's conversion does, in full: players then show the
    // file as one system instead of guessing the parts that are missing.
    St.Matrix = YuvMatrixFor(Height);
    const bool Hd = St.Matrix == YuvMatrix::Bt709;
    St.Video->color_range = AVCOL_RANGE_MPEG;
    St.Video->colorspace = Hd ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
    St.Video->color_primaries = Hd ? AVCOL_PRI_BT709 : AVCOL_PRI_SMPTE170M;
    St.Video->color_trc = Hd ? AVCOL_TRC_BT709 : AVCOL_TRC_SMPTE170M;
  }
  St.Video->thread_count = 0;  // the encoder's own choice: every core
  if (St.Out->oformat->flags & AVFMT_GLOBALHEADER) St.Video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  AVDictionary* Opts = VideoOptions(R, Format, Quality, Height);
  Code = avcodec_open2(St.Video, VideoCodec, &Opts);
  av_dict_free(&Opts);
  if (Code < 0)
    return Fail(std::string("cannot open the ") + R.VideoCodec + " encoder: " + AvText(Code) + LibraryReason());
  St.VideoStream = avformat_new_stream(St.Out, nullptr);
  avcodec_parameters_from_context(St.VideoStream->codecpar, St.Video);
  St.VideoStream->time_base = St.Video->time_base;
  St.VideoStream->avg_frame_rate = St.Video->framerate;

  if (WithAudio) {
    const AVCodec* AudioCodec = avcodec_find_encoder_by_name(R.AudioCodec);
    if (!AudioCodec) return Fail(std::string("no ") + R.AudioCodec + " encoder in this libavcodec");
    St.Audio = avcodec_alloc_context3(AudioCodec);
    St.Audio->sample_fmt = R.SampleFormat;
    St.Audio->sample_rate = R.SampleRate;
    av_channel_layout_default(&St.Audio->ch_layout, 2);
    St.Audio->time_base = AVRational{1, R.SampleRate};
    if (R.AudioBitRate) St.Audio->bit_rate = R.AudioBitRate;
    if (St.Out->oformat->flags & AVFMT_GLOBALHEADER) St.Audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    Code = avcodec_open2(St.Audio, AudioCodec, nullptr);
    if (Code < 0) return Fail(std::string("cannot open the ") + R.AudioCodec + " encoder: " + AvText(Code));
    St.AudioStream = avformat_new_stream(St.Out, nullptr);
    avcodec_parameters_from_context(St.AudioStream->codecpar, St.Audio);
    St.AudioStream->time_base = St.Audio->time_base;
    St.AudioFrameSize = St.Audio->frame_size > 0 ? St.Audio->frame_size : 1024;
    St.Fifo = av_audio_fifo_alloc(St.Audio->sample_fmt, 2, St.AudioFrameSize * 4);
    St.Sound = av_frame_alloc();
    St.Sound->format = St.Audio->sample_fmt;
    St.Sound->sample_rate = St.Audio->sample_rate;
    av_channel_layout_copy(&St.Sound->ch_layout, &St.Audio->ch_layout);
    St.Sound->nb_samples = St.AudioFrameSize;
    if (!St.Fifo || av_frame_get_buffer(St.Sound, 0) < 0) return Fail("out of memory");
  }

  St.Picture = av_frame_alloc();
  St.Picture->format = St.Video->pix_fmt;
  St.Picture->width = Width;
  St.Picture->height = Height;
  St.Packet = av_packet_alloc();
  if (!St.Packet || av_frame_get_buffer(St.Picture, 0) < 0) return Fail("out of memory");

  // The temporary file is written through the descriptor that made it,
  // never opened again by name.
  Code = KvWriteToDescriptor(St.Out, St.Part.Fd());
  if (Code < 0) return Fail("cannot create \"" + Path + "\": " + AvText(Code));
  // .mp4 with its index (moov) in front, so that a web player can start
  // before the whole file is there: the muxer moves it when finishing.
  AVDictionary* MuxOpts = nullptr;
  if (Format == RecordFormat::Mp4) av_dict_set(&MuxOpts, "movflags", "+faststart", 0);
  Code = avformat_write_header(St.Out, &MuxOpts);
  av_dict_free(&MuxOpts);
  if (Code < 0) return Fail("cannot write \"" + Path + "\": " + AvText(Code));
  St.HeaderWritten = true;
  return true;
}

bool VideoFile::WriteVideo(const uint8_t* Rgb) {
  State& St = *S;
  AVFrame* F = St.Picture;
  if (av_frame_make_writable(F) < 0) return St.Fail("out of memory");
  if (St.Video->pix_fmt == AV_PIX_FMT_BGR0)
    RgbToBgr0(Rgb, F->width, F->height, F->data[0], F->linesize[0]);
  else
    RgbToYuv420(Rgb, F->width, F->height, F->data[0], F->linesize[0], F->data[1], F->linesize[1], F->data[2],
                F->linesize[2], St.Matrix);
  F->pts = St.Frames++;
  return St.Encode(St.Video, St.VideoStream, F);
}

bool VideoFile::WriteAudio(const uint8_t* const* Planes, int Samples) {
  State& St = *S;
  if (!St.Audio || Samples <= 0) return true;
  if (av_audio_fifo_write(St.Fifo, reinterpret_cast<void**>(const_cast<uint8_t**>(Planes)),
                          Samples) != Samples)
    return St.Fail("out of memory");
  St.SamplesIn += Samples;
  return St.EncodeAudio(false);
}

bool VideoFile::Finish() {
  State& St = *S;
  if (St.Audio && (!St.EncodeAudio(true) || !St.Encode(St.Audio, St.AudioStream, nullptr))) return false;
  if (!St.Encode(St.Video, St.VideoStream, nullptr)) return false;
  int Code = av_write_trailer(St.Out);
  if (Code < 0) return St.Fail("cannot finish \"" + St.Path + "\": " + AvText(Code));
  Code = KvCloseDescriptorOutput(St.Out);
  if (Code < 0) return St.Fail("cannot finish \"" + St.Path + "\": " + AvText(Code));
  std::string Why;
  if (!St.Part.Commit(&Why)) return St.Fail(Why);
  St.Finished = true;
  return true;
}
