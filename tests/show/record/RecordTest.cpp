// --record as a user meets it: the lossless file holds exactly the frames
// of the offline run, the music sits where the prelude starts it, an
// interrupted recording still plays, bad paths fail cleanly; and --start,
// --frames choose frames without changing them.
//
// The recordings are read back with libavformat / libavcodec, apart from
// the recorder's own code.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "KvTest.h"
#include "show/record/PixelConvert.h"

namespace fs = std::filesystem;

namespace {

kvtest::ChildResult Nerith(std::vector<std::string> Args, const std::string& WorkDir) {
  Args.insert(Args.begin(), kvtest::NerithExe());
  return kvtest::RunChild(Args, WorkDir, {}, 300);
}

std::vector<uint8_t> PngRgb(const std::string& Path) { return kvtest::ReadPngRgb(Path); }

// What a recording holds, decoded.
struct Decoded {
  bool Opened = false;
  int ReadErrors = 0;  // av_read_frame failures other than the end
  int Width = 0, Height = 0;
  std::vector<std::vector<uint8_t>> Rgb;  // video frames (only when kept)
  std::vector<double> FrameTimes;         // seconds
  std::vector<int16_t> Left;              // first audio channel (s16 files)
  int64_t AudioSamples = 0;
  int AudioRate = 0;
  bool HasAudio = false;
};

// Packed RGB of a decoded BGR0 or RGB-like frame (the lossless FFV1 files).
std::vector<uint8_t> FrameRgb(const AVFrame* F) {
  std::vector<uint8_t> Out(size_t(F->width) * F->height * 3);
  for (int Y = 0; Y < F->height; ++Y)
    for (int X = 0; X < F->width; ++X) {
      const uint8_t* P = F->data[0] + size_t(Y) * F->linesize[0] + size_t(X) * 4;
      uint8_t* D = &Out[(size_t(Y) * F->width + X) * 3];
      D[0] = P[2];
      D[1] = P[1];
      D[2] = P[0];
    }
  return Out;
}

Decoded Decode(const std::string& Path, bool KeepFrames) {
  Decoded D;
  AVFormatContext* In = kvtest::OpenMediaFile(Path);
  if (!In) return D;
  D.Opened = true;
  AVCodecContext* Codecs[8] = {};
  for (unsigned I = 0; I < In->nb_streams && I < 8; ++I) {
    const AVCodecParameters* Par = In->streams[I]->codecpar;
    const AVCodec* C = avcodec_find_decoder(Par->codec_id);
    if (!C) continue;
    Codecs[I] = avcodec_alloc_context3(C);
    avcodec_parameters_to_context(Codecs[I], Par);
    avcodec_open2(Codecs[I], C, nullptr);
    if (Par->codec_type == AVMEDIA_TYPE_AUDIO) {
      D.HasAudio = true;
      D.AudioRate = Par->sample_rate;
    }
  }
  AVFrame* F = av_frame_alloc();
  auto Drain = [&](unsigned S) {
    AVCodecContext* C = Codecs[S];
    while (avcodec_receive_frame(C, F) == 0) {
      if (C->codec_type == AVMEDIA_TYPE_VIDEO) {
        D.Width = F->width;
        D.Height = F->height;
        D.FrameTimes.push_back(double(F->best_effort_timestamp) * av_q2d(In->streams[S]->time_base));
        if (KeepFrames) D.Rgb.push_back(FrameRgb(F));
      } else {
        D.AudioSamples += F->nb_samples;
        if (F->format == AV_SAMPLE_FMT_S16)
          for (int I = 0; I < F->nb_samples; ++I)
            D.Left.push_back(reinterpret_cast<const int16_t*>(F->data[0])[I * 2]);
      }
    }
  };
  D.ReadErrors = kvtest::ForEachPacket(In, [&](AVPacket* Pkt) {
    const unsigned S = unsigned(Pkt->stream_index);
    if (S < 8 && Codecs[S] && avcodec_send_packet(Codecs[S], Pkt) == 0) Drain(S);
  });
  for (unsigned S = 0; S < 8; ++S)
    if (Codecs[S]) {
      avcodec_send_packet(Codecs[S], nullptr);
      Drain(S);
      avcodec_free_context(&Codecs[S]);
    }
  av_frame_free(&F);
  avformat_close_input(&In);
  return D;
}

// A folder whose GFX and ASC are the generated ones and whose music is Wav.
std::string FolderWithMusic(const std::string& Wav) {
  const std::string Dir = kvtest::MakeTempDir("kvrecord");
  fs::create_directory_symlink(kvtest::AssetDir() + "/GFX", Dir + "/GFX");
  fs::create_directory_symlink(kvtest::AssetDir() + "/ASC", Dir + "/ASC");
  fs::create_directory(Dir + "/SND");
  // The show's music file name; the decoder goes by the content.
  kvtest::WriteFile(Dir + "/SND/Nerith.mp3", Wav);
  return Dir;
}

std::string WavBytes(const std::vector<int16_t>& Stereo) {
  auto U32 = [](uint32_t V) { return std::string{char(V), char(V >> 8), char(V >> 16), char(V >> 24)}; };
  auto U16 = [](uint16_t V) { return std::string{char(V), char(V >> 8)}; };
  const uint32_t Bytes = uint32_t(Stereo.size() * 2);
  std::string W = "RIFF" + U32(36 + Bytes) + "WAVEfmt " + U32(16) + U16(1) + U16(2) + U32(44100) + U32(44100 * 4) +
                  U16(4) + U16(16) + "data" + U32(Bytes);
  W.append(reinterpret_cast<const char*>(Stereo.data()), Bytes);
  return W;
}

// Index of the first sample above half scale, -1 when none.
long FirstClick(const std::vector<int16_t>& Samples) {
  for (size_t I = 0; I < Samples.size(); ++I)
    if (Samples[I] > 16000) return long(I);
  return -1;
}

}  // namespace

// At 16 and 32 bits: the lossless file's first, middle and last frames are
// the PNGs of a separate offline run, and frame n is stamped n / 25 s.
TEST(Record, LosslessFramesAreTheOfflineFrames) {
  REQUIRE_ASSETS();
  for (const char* Depth : {"16", "32"}) {
    const std::string Dir = kvtest::MakeTempDir("kvrecord");
    // Show time 44.0 s is frame 1100; 25 frames up to 44.96 s.
    kvtest::ChildResult R =
        Nerith({"--seed", "3", "--depth", Depth, "--record", "r.mkv", "--start", "44", "--end", "45", "--quiet"}, Dir);
    ASSERT_EQ(R.ExitCode, 0) << R.Err;
    R = Nerith({"--headless", "--seed", "3", "--depth", Depth, "--dump-frames", "png", "--frames", "1100,1112,1124",
                "--quiet"},
               Dir);
    ASSERT_EQ(R.ExitCode, 0) << R.Err;
    const Decoded D = Decode(Dir + "/r.mkv", true);
    ASSERT_TRUE(D.Opened);
    ASSERT_EQ(D.Rgb.size(), 25u);
    EXPECT_EQ(D.Width, 640);
    for (size_t N = 0; N < D.FrameTimes.size(); ++N) EXPECT_NEAR(D.FrameTimes[N], N / 25.0, 0.0005) << N;
    const std::pair<int, int> Pairs[] = {{0, 1100}, {12, 1112}, {24, 1124}};
    for (auto [Index, Number] : Pairs) {
      const std::vector<uint8_t> Png = PngRgb(Dir + "/png/frame_0" + std::to_string(Number) + ".png");
      ASSERT_FALSE(Png.empty()) << Number;
      EXPECT_TRUE(Png == D.Rgb[size_t(Index)]) << "depth " << Depth << ", frame " << Number;
    }
    fs::remove_all(Dir);
  }
}

// A tune with a click at its start and another 1 s in: recorded from the
// beginning the first click is at the prelude's time, the first frame's
// (sample 0); recorded from 0.6 s (first frame drawn at 0.6 s, the prelude
// at 0.04 s) the second click is at 1 - (0.6 - 0.04) = 0.44 s. The sound
// lasts as long as the pictures, to the sample with FLAC.
TEST(Record, MusicStartsAtThePrelude) {
  REQUIRE_ASSETS();
  std::vector<int16_t> Tune(44100 * 3 * 2, 0);
  Tune[0] = Tune[1] = 30000;
  Tune[44100 * 2] = Tune[44100 * 2 + 1] = 30000;
  const std::string Dir = FolderWithMusic(WavBytes(Tune));

  kvtest::ChildResult R = Nerith({"--seed", "1", "--record", "a.mkv", "--end", "2", "--quiet"}, Dir);
  ASSERT_EQ(R.ExitCode, 0) << R.Err;
  Decoded A = Decode(Dir + "/a.mkv", false);
  ASSERT_TRUE(A.HasAudio);
  ASSERT_EQ(A.AudioRate, 44100);
  EXPECT_EQ(FirstClick(A.Left), 0);
  EXPECT_EQ(A.FrameTimes.size(), 49u);  // frames drawn at 0.04 .. 1.96 s
  EXPECT_EQ(A.AudioSamples, int64_t(A.FrameTimes.size()) * 44100 / 25);

  R = Nerith({"--seed", "1", "--record", "b.mkv", "--start", "0.6", "--end", "2", "--quiet"}, Dir);
  ASSERT_EQ(R.ExitCode, 0) << R.Err;
  Decoded B = Decode(Dir + "/b.mkv", false);
  EXPECT_NEAR(double(FirstClick(B.Left)), (1.0 - (0.6 - 0.04)) * 44100, 1.0);
  EXPECT_EQ(B.FrameTimes.size(), 35u);  // 0.60 .. 1.96 s
  EXPECT_EQ(B.AudioSamples, int64_t(B.FrameTimes.size()) * 44100 / 25);

  R = Nerith({"--seed", "1", "--record", "c.mp4", "--no-music", "--end", "0.5", "--quiet"}, Dir);
  ASSERT_EQ(R.ExitCode, 0) << R.Err;
  EXPECT_FALSE(Decode(Dir + "/c.mp4", false).HasAudio);
  fs::remove_all(Dir);
}

// Ctrl-C in the middle: the file is finished up to the last frame, reads
// back without error, and the exit status says "interrupted".
TEST(Record, InterruptedRecordingPlays) {
  REQUIRE_ASSETS();
  const std::string Dir = kvtest::MakeTempDir("kvrecord");
  const pid_t Pid = fork();
  if (Pid == 0) {
    if (chdir(Dir.c_str()) != 0) _exit(126);
    freopen("/dev/null", "w", stderr);
    execl(kvtest::NerithExe().c_str(), "nerith", "--seed", "1", "--record", "i.mkv", "--quiet", nullptr);
    _exit(127);
  }
  ASSERT_GT(Pid, 0);
  // Wait for a few megabytes of video, then interrupt.
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  // The recording grows under a temporary name in the same folder.
  auto PartSize = [&] {
    std::error_code Ec;
    uintmax_t Size = 0;
    for (const auto& E : fs::directory_iterator(Dir, Ec))
      if (E.path().extension() == ".part") Size = std::max(Size, E.file_size(Ec));
    return Size;
  };
  while (PartSize() < 4000000 && std::chrono::steady_clock::now() < Deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  kill(Pid, SIGINT);
  int Status = 0;
  waitpid(Pid, &Status, 0);
  ASSERT_TRUE(WIFEXITED(Status));
  EXPECT_EQ(WEXITSTATUS(Status), 128 + SIGINT);
  for (const auto& E : fs::directory_iterator(Dir)) EXPECT_NE(E.path().extension(), ".part") << E.path();
  const Decoded D = Decode(Dir + "/i.mkv", false);
  ASSERT_TRUE(D.Opened);
  EXPECT_EQ(D.ReadErrors, 0);
  EXPECT_GT(D.FrameTimes.size(), 2u);
  EXPECT_LT(D.FrameTimes.size(), 6446u);
  EXPECT_NEAR(double(D.AudioSamples), double(D.FrameTimes.size()) * 44100 / 25, 4608);
  fs::remove_all(Dir);
}

// An unknown extension is a usage error (2); a file that cannot be created
// gives one error line and 1, and leaves nothing behind.
TEST(Record, BadFilesFailCleanly) {
  const std::string Dir = kvtest::MakeTempDir("kvrecord");
  kvtest::ChildResult R = Nerith({"--seed", "1", "--record", "x.avi"}, Dir);
  EXPECT_EQ(R.ExitCode, 2);
  REQUIRE_ASSETS();
  R = Nerith({"--seed", "1", "--record", Dir + "/missing/x.mp4"}, Dir);
  EXPECT_EQ(R.ExitCode, 1);
  EXPECT_EQ(std::count(R.Err.begin(), R.Err.end(), '\n'), 1) << R.Err;
  EXPECT_NE(R.Err.find("[Nerith]Record -> "), std::string::npos) << R.Err;
  EXPECT_FALSE(fs::exists(Dir + "/missing"));
  fs::remove_all(Dir);
}

// --start draws the frames before it unseen, so frame k is frame k of the
// whole run; --end and --frames stop the run at their last frame.
TEST(Record, StartAndFramesChooseFramesWithoutChangingThem) {
  REQUIRE_ASSETS();
  const std::string Dir = kvtest::MakeTempDir("kvrecord");
  kvtest::ChildResult R =
      Nerith({"--headless", "--seed", "5", "--dump-frames", "late", "--start", "10", "--end", "10.1", "--benchmark",
              "--quiet"},
             Dir);
  ASSERT_EQ(R.ExitCode, 0) << R.Err;
  EXPECT_NE(R.Out.find("whole run: 252 frames"), std::string::npos) << R.Out;  // none drawn after 10.08 s
  std::vector<std::string> Names;
  for (const auto& E : fs::directory_iterator(Dir + "/late")) Names.push_back(E.path().filename().string());
  std::sort(Names.begin(), Names.end());
  EXPECT_EQ(Names, (std::vector<std::string>{"frame_00250.png", "frame_00251.png", "frame_00252.png"}));
  R = Nerith({"--headless", "--seed", "5", "--dump-frames", "whole", "--frames", "250,252", "--benchmark", "--quiet"},
             Dir);
  ASSERT_EQ(R.ExitCode, 0) << R.Err;
  EXPECT_NE(R.Out.find("whole run: 252 frames"), std::string::npos) << R.Out;
  for (const char* Name : {"frame_00250.png", "frame_00252.png"}) {
    const std::vector<uint8_t> Late = PngRgb(Dir + "/late/" + Name);
    ASSERT_FALSE(Late.empty());
    EXPECT_TRUE(Late == PngRgb(Dir + "/whole/" + Name)) << Name;
  }
  fs::remove_all(Dir);
}

// The studio-range BT.601 values every player expects for the corners of
// the colour cube.
// BT.709 for HD sizes, from its definition (Kr 0.2126, Kb 0.0722, luma
// 16..235, chroma 16..240) in floating point, to within one step; every
// grey has no colour.
TEST(Record, Bt709StudioRangeForHd) {
  EXPECT_EQ(YuvMatrixFor(480), YuvMatrix::Bt601);
  EXPECT_EQ(YuvMatrixFor(576), YuvMatrix::Bt601);
  EXPECT_EQ(YuvMatrixFor(720), YuvMatrix::Bt709);
  EXPECT_EQ(YuvMatrixFor(1080), YuvMatrix::Bt709);
  const double Kr = 0.2126, Kb = 0.0722, Kg = 1 - Kr - Kb;
  for (int R = 0; R < 256; R += 15)
    for (int G = 0; G < 256; G += 15)
      for (int B = 0; B < 256; B += 15) {
        const std::vector<uint8_t> Rgb = {uint8_t(R), uint8_t(G), uint8_t(B), uint8_t(R), uint8_t(G), uint8_t(B),
                                          uint8_t(R), uint8_t(G), uint8_t(B), uint8_t(R), uint8_t(G), uint8_t(B)};
        uint8_t Y[4], Cb, Cr;
        RgbToYuv420(Rgb.data(), 2, 2, Y, 2, &Cb, 1, &Cr, 1, YuvMatrix::Bt709);
        const double L = Kr * R + Kg * G + Kb * B;
        EXPECT_NEAR(Y[0], 16 + 219 * L / 255, 1.0) << R << "," << G << "," << B;
        EXPECT_NEAR(Cb, 128 + 224 * (B - L) / (2 * (1 - Kb)) / 255, 1.0) << R << "," << G << "," << B;
        EXPECT_NEAR(Cr, 128 + 224 * (R - L) / (2 * (1 - Kr)) / 255, 1.0) << R << "," << G << "," << B;
        if (R == G && G == B) {
          EXPECT_EQ(Cb, 128);
          EXPECT_EQ(Cr, 128);
        }
      }
}

// The conversion works by whole rows (luma, then the 2 x 2 sums and chroma
// at every column, then the even ones): each value must be its own pixel's
// or block's, on noise, at both matrices and at widths that leave a vector
// part-filled.
TEST(Record, YuvRowsGiveEachPixelAndBlockItsOwnValue) {
  for (const YuvMatrix Matrix : {YuvMatrix::Bt601, YuvMatrix::Bt709})
    for (const int W : {2, 6, 34, 98}) {
      const int H = 4;
      std::vector<uint8_t> Rgb(size_t(W) * H * 3);
      uint32_t Seed = uint32_t(W);
      for (uint8_t& V : Rgb) V = uint8_t((Seed = Seed * 1664525u + 1013904223u) >> 24);
      std::vector<uint8_t> Y(size_t(W) * H), U(size_t(W) * H / 4), V(U.size());
      RgbToYuv420(Rgb.data(), W, H, Y.data(), W, U.data(), W / 2, V.data(), W / 2, Matrix);
      // Each pixel alone, and each block as one flat 2 x 2 picture of its mean.
      auto Pixel = [&](int X, int Row) { return &Rgb[(size_t(Row) * W + X) * 3]; };
      for (int Row = 0; Row < H; ++Row)
        for (int X = 0; X < W; ++X) {
          const uint8_t* P = Pixel(X, Row);
          const uint8_t Flat[12] = {P[0], P[1], P[2], P[0], P[1], P[2], P[0], P[1], P[2], P[0], P[1], P[2]};
          uint8_t Y1[4], U1, V1;
          RgbToYuv420(Flat, 2, 2, Y1, 2, &U1, 1, &V1, 1, Matrix);
          ASSERT_EQ(Y[size_t(Row) * W + X], Y1[0]) << W << " " << X << "," << Row;
          if (Row % 2 || X % 2) continue;
          uint8_t Mean[12];
          for (int C = 0; C < 3; ++C)
            Mean[C] = uint8_t((P[C] + P[C + 3] + Pixel(X, Row + 1)[C] + Pixel(X, Row + 1)[C + 3] + 2) >> 2);
          for (int K = 3; K < 12; ++K) Mean[K] = Mean[K % 3];
          RgbToYuv420(Mean, 2, 2, Y1, 2, &U1, 1, &V1, 1, Matrix);
          ASSERT_EQ(U[size_t(Row / 2) * (W / 2) + X / 2], U1) << W << " " << X << "," << Row;
          ASSERT_EQ(V[size_t(Row / 2) * (W / 2) + X / 2], V1) << W << " " << X << "," << Row;
        }
    }
}

TEST(Record, Bt601StudioRange) {
  struct Case {
    uint8_t R, G, B, Y, Cb, Cr;
  };
  const Case Cases[] = {{0, 0, 0, 16, 128, 128},      {255, 255, 255, 235, 128, 128}, {255, 0, 0, 81, 90, 240},
                        {0, 255, 0, 145, 54, 34},     {0, 0, 255, 41, 240, 110},      {128, 128, 128, 126, 128, 128}};
  for (const Case& C : Cases) {
    std::vector<uint8_t> Rgb(2 * 2 * 3);
    for (size_t I = 0; I < 4; ++I) {
      Rgb[I * 3] = C.R;
      Rgb[I * 3 + 1] = C.G;
      Rgb[I * 3 + 2] = C.B;
    }
    uint8_t Y[4], Cb, Cr;
    RgbToYuv420(Rgb.data(), 2, 2, Y, 2, &Cb, 1, &Cr, 1);
    for (uint8_t V : Y) EXPECT_NEAR(V, C.Y, 1) << int(C.R) << "," << int(C.G) << "," << int(C.B);
    EXPECT_NEAR(Cb, C.Cb, 1) << int(C.R) << "," << int(C.G) << "," << int(C.B);
    EXPECT_NEAR(Cr, C.Cr, 1) << int(C.R) << "," << int(C.G) << "," << int(C.B);
  }
}

// --scale: a dumped frame at 2 and a recorded frame at 3 are the plain
// frame with every pixel made a square block.
TEST(Record, ScaleMakesEachPixelASquareBlock) {
  REQUIRE_ASSETS();
  const std::string Dir = kvtest::MakeTempDir("kvrecord");
  ASSERT_EQ(Nerith({"--headless", "--seed", "2", "--depth", "16", "--dump-frames", "one", "--frames", "2", "--quiet"},
                   Dir)
                .ExitCode,
            0);
  ASSERT_EQ(Nerith({"--headless", "--seed", "2", "--depth", "16", "--dump-frames", "two", "--frames", "2", "--scale",
                    "2", "--quiet"},
                   Dir)
                .ExitCode,
            0);
  ASSERT_EQ(Nerith({"--seed", "2", "--depth", "16", "--record", "three.mkv", "--scale", "3", "--end", "0.1",
                    "--no-music", "--quiet"},
                   Dir)
                .ExitCode,
            0);
  const std::vector<uint8_t> One = PngRgb(Dir + "/one/frame_00002.png");
  const std::vector<uint8_t> Two = PngRgb(Dir + "/two/frame_00002.png");
  const Decoded Three = Decode(Dir + "/three.mkv", true);
  ASSERT_EQ(One.size(), 640u * 480 * 3);
  ASSERT_EQ(Two.size(), One.size() * 4);
  ASSERT_EQ(Three.Rgb.size(), 2u);  // frames drawn at 40 and 80 ms
  ASSERT_EQ(Three.Width, 1920);
  const std::vector<uint8_t>& Big = Three.Rgb[1];
  size_t Wrong2 = 0, Wrong3 = 0;
  for (int Y = 0; Y < 480; ++Y)
    for (int X = 0; X < 640; ++X)
      for (int C = 0; C < 3; ++C) {
        const uint8_t V = One[(size_t(Y) * 640 + X) * 3 + C];
        for (int D = 0; D < 4; ++D)
          Wrong2 += Two[((size_t(Y) * 2 + D / 2) * 1280 + X * 2 + D % 2) * 3 + C] != V;
        for (int D = 0; D < 9; ++D)
          Wrong3 += Big[((size_t(Y) * 3 + D / 3) * 1920 + X * 3 + D % 3) * 3 + C] != V;
      }
  EXPECT_EQ(Wrong2, 0u);
  EXPECT_EQ(Wrong3, 0u);
  fs::remove_all(Dir);
}

// --- sizes for video sites ------------------------------------------------------

namespace {

struct ColourTags {
  int Width = 0, Height = 0, Space = -1, Primaries = -1, Transfer = -1, Range = -1;
};

// The video stream's size and colour description as libavformat reads them.
ColourTags ReadTags(const std::string& Path) {
  ColourTags T;
  AVFormatContext* In = kvtest::OpenMediaFile(Path);
  if (!In) return T;
  for (unsigned I = 0; I < In->nb_streams; ++I) {
    const AVCodecParameters* P = In->streams[I]->codecpar;
    if (P->codec_type != AVMEDIA_TYPE_VIDEO) continue;
    T = {P->width, P->height, P->color_space, P->color_primaries, P->color_trc, P->color_range};
  }
  avformat_close_input(&In);
  return T;
}

}  // namespace

// --size 1080p: a 1920 x 1080 file with the frame at 1440 x 1080 between
// black bars, each output pixel the mean of the frame over its area (within
// one step: the weights are in 1/256), as is the frame dumped at that size;
// with --integer-scale the frame is 1280 x 960 (2 x), every pixel a 2 x 2
// block. The .mp4 says BT.709 throughout; an SD one says BT.601 (smpte170m).
TEST(Record, SizeLetterboxesTheFrameAndTagsTheColours) {
  REQUIRE_ASSETS();
  const std::string Dir = kvtest::MakeTempDir("kvrecord");
  auto Run = [&](std::vector<std::string> Args) {
    Args.insert(Args.end(), {"--seed", "2", "--end", "0.1", "--no-music", "--quiet"});
    const kvtest::ChildResult R = Nerith(Args, Dir);
    EXPECT_EQ(R.ExitCode, 0) << R.Err;
  };
  Run({"--record", "hd.mp4", "--size", "1080p"});
  Run({"--record", "sd.mp4"});
  Run({"--record", "fit.mkv", "--size", "1080p"});
  Run({"--record", "whole.mkv", "--size", "1080p", "--integer-scale"});
  ASSERT_EQ(Nerith({"--headless", "--seed", "2", "--dump-frames", "one", "--frames", "2", "--quiet"}, Dir).ExitCode, 0);
  ASSERT_EQ(Nerith({"--headless", "--seed", "2", "--dump-frames", "big", "--frames", "2", "--size", "1080p", "--quiet"},
                   Dir).ExitCode, 0);

  const ColourTags Hd = ReadTags(Dir + "/hd.mp4");
  EXPECT_EQ(Hd.Width, 1920);
  EXPECT_EQ(Hd.Height, 1080);
  EXPECT_EQ(Hd.Space, AVCOL_SPC_BT709);
  EXPECT_EQ(Hd.Primaries, AVCOL_PRI_BT709);
  EXPECT_EQ(Hd.Transfer, AVCOL_TRC_BT709);
  EXPECT_EQ(Hd.Range, AVCOL_RANGE_MPEG);
  const ColourTags Sd = ReadTags(Dir + "/sd.mp4");
  EXPECT_EQ(Sd.Height, 480);
  EXPECT_EQ(Sd.Space, AVCOL_SPC_SMPTE170M);
  EXPECT_EQ(Sd.Primaries, AVCOL_PRI_SMPTE170M);
  EXPECT_EQ(Sd.Transfer, AVCOL_TRC_SMPTE170M);

  const std::vector<uint8_t> One = PngRgb(Dir + "/one/frame_00002.png");
  ASSERT_EQ(One.size(), 640u * 480 * 3);
  auto Pixel = [](const std::vector<uint8_t>& Rgb, int Width, int X, int Y) {
    const size_t I = (size_t(Y) * Width + X) * 3;
    return uint32_t(Rgb[I]) << 16 | uint32_t(Rgb[I + 1]) << 8 | Rgb[I + 2];
  };
  const Decoded Fit = Decode(Dir + "/fit.mkv", true);
  const Decoded Whole = Decode(Dir + "/whole.mkv", true);
  ASSERT_EQ(Fit.Rgb.size(), 2u);
  ASSERT_EQ(Whole.Rgb.size(), 2u);
  ASSERT_EQ(Fit.Width, 1920);
  ASSERT_EQ(Fit.Height, 1080);
  // 1440 / 640 = 1080 / 480 = 9/4: output pixel x covers the frame from
  // 4x/9 to 4(x+1)/9, i.e. one or two frame pixels, weighted by overlap.
  auto Mean = [&](int X, int Y, int C) {
    double Sum = 0;
    for (int J = 4 * Y / 9; J <= (4 * Y + 3) / 9; ++J)
      for (int I = 4 * X / 9; I <= (4 * X + 3) / 9; ++I) {
        const double Wx = std::min(4.0 * (X + 1), 9.0 * (I + 1)) - std::max(4.0 * X, 9.0 * I);
        const double Wy = std::min(4.0 * (Y + 1), 9.0 * (J + 1)) - std::max(4.0 * Y, 9.0 * J);
        Sum += Wx * Wy * One[(size_t(J) * 640 + I) * 3 + C];
      }
    return Sum / 16;
  };
  const std::vector<uint8_t> Big = PngRgb(Dir + "/big/frame_00002.png");
  EXPECT_TRUE(Big == Fit.Rgb[1]) << "the dumped frame is the recorded one";
  size_t WrongFit = 0, WrongWhole = 0, LitBars = 0;
  for (int Y = 0; Y < 1080; ++Y)
    for (int X = 0; X < 1920; ++X) {
      const uint32_t F = Pixel(Fit.Rgb[1], 1920, X, Y), W = Pixel(Whole.Rgb[1], 1920, X, Y);
      if (X < 240 || X >= 1680)
        LitBars += F != 0;
      else
        for (int C = 0; C < 3; ++C)
          WrongFit += std::fabs(Fit.Rgb[1][(size_t(Y) * 1920 + X) * 3 + C] - Mean(X - 240, Y, C)) > 1.0;
      const bool InWhole = X >= 320 && X < 1600 && Y >= 60 && Y < 1020;
      WrongWhole += W != (InWhole ? Pixel(One, 640, (X - 320) / 2, (Y - 60) / 2) : 0);
    }
  EXPECT_EQ(LitBars, 0u);
  EXPECT_EQ(WrongFit, 0u);
  EXPECT_EQ(WrongWhole, 0u);
  fs::remove_all(Dir);
}

// An .mp4 has its index (the moov box) before the media data (mdat), so a
// player can start it while it downloads.
TEST(Record, Mp4IndexComesFirst) {
  REQUIRE_ASSETS();
  const std::string Dir = kvtest::MakeTempDir("kvrecord");
  ASSERT_EQ(Nerith({"--seed", "1", "--record", "i.mp4", "--end", "0.2", "--quiet"}, Dir).ExitCode, 0);
  const std::string File = kvtest::ReadFile(Dir + "/i.mp4");
  std::vector<std::string> Boxes;  // top-level box types in file order
  for (size_t At = 0; At + 8 <= File.size();) {
    uint64_t Size = uint64_t(uint8_t(File[At])) << 24 | uint64_t(uint8_t(File[At + 1])) << 16 |
                    uint64_t(uint8_t(File[At + 2])) << 8 | uint8_t(File[At + 3]);
    if (Size == 1 && At + 16 <= File.size()) {  // 64-bit size after the type
      Size = 0;
      for (int I = 0; I < 8; ++I) Size = Size << 8 | uint8_t(File[At + 8 + I]);
    }
    Boxes.push_back(File.substr(At + 4, 4));
    if (Size < 8) break;
    At += Size;
  }
  const auto Moov = std::find(Boxes.begin(), Boxes.end(), "moov"), Mdat = std::find(Boxes.begin(), Boxes.end(), "mdat");
  ASSERT_NE(Moov, Boxes.end());
  ASSERT_NE(Mdat, Boxes.end());
  EXPECT_LT(Moov - Boxes.begin(), Mdat - Boxes.begin());
  fs::remove_all(Dir);
}
