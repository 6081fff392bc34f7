// The generated music, decoded with FFmpeg: long enough for the whole show,
// in the stated format, never clipping, and silent by the show's end.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/samplefmt.h>
}

#include <algorithm>
#include <cmath>

#include "AssetTestUtil.h"

using namespace assettest;

namespace {

struct Decoded {
  int Rate = 0, Channels = 0;
  int64_t BitRate = 0;
  std::vector<float> Mono;   // average of the channels
  float Peak = 0.0f;         // largest magnitude of any channel's sample
  int64_t Clipped = 0;       // samples at or beyond full scale
  std::string Error;
};

float SampleAt(const AVFrame* F, int Ch, int I) {
  const AVSampleFormat Fmt = AVSampleFormat(F->format);
  const bool Planar = av_sample_fmt_is_planar(Fmt);
  const int Nch = F->ch_layout.nb_channels;
  const uint8_t* Base = Planar ? F->extended_data[Ch] : F->extended_data[0];
  const int Idx = Planar ? I : I * Nch + Ch;
  switch (av_get_packed_sample_fmt(Fmt)) {
    case AV_SAMPLE_FMT_FLT: return reinterpret_cast<const float*>(Base)[Idx];
    case AV_SAMPLE_FMT_S16: return reinterpret_cast<const int16_t*>(Base)[Idx] / 32768.0f;
    case AV_SAMPLE_FMT_S32: return float(reinterpret_cast<const int32_t*>(Base)[Idx] / 2147483648.0);
    default: return NAN;
  }
}

Decoded DecodeMp3(const std::string& Path) {
  Decoded D;
  AVFormatContext* Fmt = nullptr;
  if (avformat_open_input(&Fmt, Path.c_str(), nullptr, nullptr) < 0) {
    D.Error = "cannot open " + Path;
    return D;
  }
  AVCodecContext* Ctx = nullptr;
  AVPacket* Pkt = av_packet_alloc();
  AVFrame* Frame = av_frame_alloc();
  const AVCodec* Codec = nullptr;
  int Stream = -1;
  if (avformat_find_stream_info(Fmt, nullptr) < 0 ||
      (Stream = av_find_best_stream(Fmt, AVMEDIA_TYPE_AUDIO, -1, -1, &Codec, 0)) < 0) {
    D.Error = "no audio stream";
  } else {
    Ctx = avcodec_alloc_context3(Codec);
    avcodec_parameters_to_context(Ctx, Fmt->streams[Stream]->codecpar);
    D.BitRate = Fmt->streams[Stream]->codecpar->bit_rate;
    if (avcodec_open2(Ctx, Codec, nullptr) < 0) D.Error = "cannot open the decoder";
  }
  auto Drain = [&] {
    while (avcodec_receive_frame(Ctx, Frame) == 0) {
      D.Rate = Frame->sample_rate;
      D.Channels = Frame->ch_layout.nb_channels;
      for (int I = 0; I < Frame->nb_samples; ++I) {
        float Sum = 0.0f;
        for (int C = 0; C < D.Channels; ++C) {
          float V = SampleAt(Frame, C, I);
          if (!(std::fabs(V) < 32767.0f / 32768.0f)) ++D.Clipped;  // NaN counts as clipped too
          D.Peak = std::max(D.Peak, std::fabs(V));
          Sum += V;
        }
        D.Mono.push_back(Sum / float(std::max(1, D.Channels)));
      }
    }
  };
  while (D.Error.empty() && av_read_frame(Fmt, Pkt) >= 0) {
    if (Pkt->stream_index == Stream && avcodec_send_packet(Ctx, Pkt) == 0) Drain();
    av_packet_unref(Pkt);
  }
  if (D.Error.empty()) {
    avcodec_send_packet(Ctx, nullptr);
    Drain();
  }
  av_frame_free(&Frame);
  av_packet_free(&Pkt);
  avcodec_free_context(&Ctx);
  avformat_close_input(&Fmt);
  return D;
}

double RmsDb(const std::vector<float>& S, int Rate, double From, double To) {
  size_t A = size_t(From * Rate), B = std::min(S.size(), size_t(To * Rate));
  double Sum = 0.0;
  for (size_t I = A; I < B; ++I) Sum += double(S[I]) * S[I];
  return 10.0 * std::log10(Sum / double(std::max<size_t>(1, B - A)) + 1e-20);
}

class Music : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!AssetDir().empty()) Tune = new Decoded(DecodeMp3(AssetDir() + "/SND/Nerith.mp3"));
  }
  static void TearDownTestSuite() {
    delete Tune;
    Tune = nullptr;
  }
  void SetUp() override {
    if (AssetDir().empty()) GTEST_SKIP() << "the build was configured without the asset generator (NERITH_ASSETS=OFF)";
    ASSERT_TRUE(Tune->Error.empty()) << Tune->Error;
  }
  static Decoded* Tune;
};
Decoded* Music::Tune = nullptr;

TEST_F(Music, DecodesToTheWholeShowInStereoAt44100) {
  EXPECT_EQ(Tune->Rate, 44100);
  EXPECT_EQ(Tune->Channels, 2);
  EXPECT_GE(Tune->BitRate, 192000);
  ASSERT_GT(Tune->Rate, 0);
  EXPECT_GE(double(Tune->Mono.size()) / Tune->Rate, 258.0);
}

TEST_F(Music, NeverReachesFullScale) {
  EXPECT_EQ(Tune->Clipped, 0);
  EXPECT_LT(Tune->Peak, 1.0f);
  EXPECT_GT(Tune->Peak, 0.3f);  // and it is not a whisper either
}

TEST_F(Music, FollowsTheShow) {
  const int R = Tune->Rate;
  ASSERT_GT(R, 0);
  const auto& S = Tune->Mono;
  // The opening is quieter than the beat that drops in at step 50 (44 s).
  EXPECT_LT(RmsDb(S, R, 2.0, 38.0), RmsDb(S, R, 44.5, 57.5) - 3.0);
  // Something plays all through the show ...
  for (double T = 1.0; T < 240.0; T += 5.0) EXPECT_GT(RmsDb(S, R, T, T + 5.0), -45.0) << "near " << T << " s";
  // ... and it has faded to silence when the show ends at 257.84 s.
  EXPECT_LT(RmsDb(S, R, 257.9, 258.0), -70.0);
  EXPECT_GT(RmsDb(S, R, 240.3, 244.6), RmsDb(S, R, 255.0, 257.8) + 20.0);
}

}  // namespace
