// The frame-output user of --record: the show's thread turns each frame of
// the range into RGB and enlarges it to the file's size, then hands it to an
// encoder thread that encodes it and adds the music up to the frame's end.
// The show draws a frame in a fraction of the time the encoder takes, so the
// conversion and the fit run beside the encoder rather than in turn with it.
// The show's thread waits only when the encoder is a whole queue of frames
// behind.
//
// Depends on: FrameOutput.h, VideoFile.h, MusicTrack.h, FrameFit.h,
// SharpFit.h, Show.h (ShowMusicPath, the display's size).
extern "C" {
#include <libavutil/mem.h>
#include <libavutil/samplefmt.h>
}

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include <kelvra/core/Errors.h>
#include "../FrameFit.h"
#include "../FrameOutput.h"
#include "../Options.h"
#include "../RunClock.h"
#include "../SharpFit.h"
#include "../Show.h"
#include "MusicTrack.h"
#include "VideoFile.h"

namespace {

using Clock = std::chrono::steady_clock;
// The queue holds pictures of the file's size: up to 8, and no more than
// about 64 MB of them (two at 2160p).
constexpr size_t QueueFramesMost = 8;
constexpr size_t QueueBytes = size_t(64) << 20;
constexpr int FrameRate = 25;

[[noreturn]] void RecordError(const std::string& Text) {
  FatalError(KvErrorLine("[Nerith]", "Record", Text).c_str());
}

class Recorder : public FrameOutput {
  // A picture of the file's size, RGB.
  using Picture = std::vector<uint8_t>;

 public:
  Recorder(const std::string& P, bool Music, bool Q) : Path(P), Shown(KvEscapeControls(P)), Quiet(Q) {
    RecordFormat Format = RecordFormat::Mp4;
    RecordFormatOf(Path, &Format);
    std::string Error;
    OutputFrameSize(DisplayWidth, DisplayHeight, &Width, &Height);
    Fitted = Options.OutWidth > 0;
    Place = Fitted ? OutputFramePlace(DisplayWidth, DisplayHeight) : KvRect{0, 0, Width, Height};
    if (Fitted && WantsSharpFit(DisplayWidth, DisplayHeight, Place))
      Sharp = std::make_unique<SharpFit>(DisplayWidth, DisplayHeight, Width, Height, Place);
    if (!File.Open(Path, Format, Width, Height, Music, &Error, Options.Quality)) RecordError(Error);
    if (Music && !Track.Open(ShowMusicPath(), File.AudioWanted(), &Error)) RecordError(Error);
    HasAudio = Music;
    PictureBytes = size_t(Width) * size_t(Height) * 3;
    QueueFrames = std::clamp<size_t>(QueueBytes / PictureBytes, 2, QueueFramesMost);
    FrameRgb.resize(size_t(DisplayWidth) * size_t(DisplayHeight) * 3);
    Started = Clock::now();
    Worker = std::thread(&Recorder::Run, this);
  }

  ~Recorder() override { Stop(); }

  void MusicStarts(uint32_t ShowMs) override {
    CueMs = ShowMs;
    HasCue = true;
  }

  void Take(const FinishedFrame& Frame) override {
    if (!Frame.Pixels) return;
    if (Taken == 0) FirstShowMs = Frame.ShowMs;
    ++Taken;
    LastNumber = Frame.Number;
    std::unique_ptr<Picture> Copy;
    {
      std::unique_lock<std::mutex> L(Lock);
      // A stop signal ends the wait: the run ends after this frame, which
      // is not needed any more.
      while (!Space.wait_for(L, std::chrono::milliseconds(50),
                             [&] { return Queue.size() < QueueFrames || Failed; }))
        if (StopSignalNumber() != 0) return;
      if (Failed) {
        L.unlock();
        Abort();
      }
      if (!Spare.empty()) {
        Copy = std::move(Spare.back());
        Spare.pop_back();
      }
    }
    if (!Copy) Copy.reset(new Picture(PictureBytes));
    Prepare(Frame, Copy->data());
    {
      std::lock_guard<std::mutex> L(Lock);
      if (Taken == 1) MusicStartSeconds = HasCue ? (double(CueMs) - double(FirstShowMs)) / 1000.0 : -1e9;
      Queue.push_back(std::move(Copy));
    }
    Ready.notify_one();
  }

  void Finish(bool Interrupted) override {
    // Interrupted, the frames still queued are dropped: the file ends at the
    // last frame the encoder had, and the run ends at once.
    if (Interrupted) {
      std::lock_guard<std::mutex> L(Lock);
      while (!Queue.empty()) {
        Spare.push_back(std::move(Queue.front()));
        Queue.pop_front();
      }
    }
    Stop();
    if (Failed) Abort();
    if (File.FramesWritten() == 0) {
      // No frame, no file: a target that was there before stays as it was.
      File.Discard();
      std::fprintf(stderr, "nerith: %s before the first recorded frame; %s was not written\n",
                   Interrupted ? "interrupted" : "the run ended", Shown.c_str());
      std::fflush(stderr);
      return;
    }
    if (!File.Finish()) RecordError(File.Error());
    std::error_code Ec;
    const double Mb = double(std::filesystem::file_size(Path, Ec)) / 1e6;
    const double Seconds = double(File.FramesWritten()) / FrameRate;
    const double Took = std::chrono::duration<double>(Clock::now() - Started).count();
    if (Interrupted)
      std::fprintf(stderr, "nerith: interrupted after frame %u; %s holds what was recorded: %.1f MB, %.2f s, %lld frames, in %.1f s\n",
                   LastNumber, Shown.c_str(), Mb, Seconds, static_cast<long long>(File.FramesWritten()), Took);
    else if (!Quiet)
      std::fprintf(stderr, "nerith: wrote %s: %.1f MB, %.2f s, %lld frames, in %.1f s\n", Shown.c_str(), Mb, Seconds,
                   static_cast<long long>(File.FramesWritten()), Took);
    std::fflush(stderr);
  }

 private:
  // Ends the encoder thread after the queued frames.
  void Stop() {
    {
      std::lock_guard<std::mutex> L(Lock);
      Closing = true;
    }
    Ready.notify_one();
    if (Worker.joinable()) Worker.join();
  }

  // A write failed: the run ends with the error, and the error convention's
  // clean-up removes the unfinished file.
  [[noreturn]] void Abort() {
    Stop();
    RecordError(WorkerError);
  }

  void Run() {
    for (;;) {
      std::unique_ptr<Picture> Frame;
      double MusicStart = 0;
      {
        std::unique_lock<std::mutex> L(Lock);
        Ready.wait(L, [&] { return !Queue.empty() || Closing; });
        if (Queue.empty()) return;
        Frame = std::move(Queue.front());
        Queue.pop_front();
        MusicStart = MusicStartSeconds;
      }
      Space.notify_one();
      if (!Failed && !Encode(*Frame, MusicStart)) {
        std::lock_guard<std::mutex> L(Lock);
        Failed = true;
        Space.notify_all();
      }
      std::lock_guard<std::mutex> L(Lock);
      Spare.push_back(std::move(Frame));
    }
  }

  // On the show's thread: Frame as RGB at 1:1 (the PNG dump's unpacking, so
  // a lossless recording holds the dumped pictures), enlarged as the dump
  // enlarges, into Out (the file's size).
  void Prepare(const FinishedFrame& Frame, uint8_t* Out) {
    const bool Same = !Sharp && Width == Frame.Width && Height == Frame.Height;
    const size_t RowBytes = size_t(Frame.Width) * 3;
    uint8_t* Unpacked = Same ? Out : FrameRgb.data();
    for (int32_t Y = 0; Y < Frame.Height; ++Y)
      KvRowToRgb(Frame.Pixels + size_t(Y) * size_t(Frame.Pitch), Frame.Width, Frame.Depth,
                 Unpacked + size_t(Y) * RowBytes);
    if (Sharp)
      Sharp->Fit(Unpacked, Out);
    else if (!Same)
      FitPixels(Unpacked, Frame.Width, Frame.Height, int32_t(RowBytes), 3, Out, Width, Height, Width * 3, Place);
  }

  // On the encoder thread: one picture, then the sound up to its end.
  bool Encode(const Picture& Frame, double MusicStart) {
    if (File.FramesWritten() == 0 && HasAudio) Track.Place(MusicStart);
    const uint8_t* Out = Frame.data();
    if (!File.WriteVideo(Out)) return Fail(File.Error());
    if (!HasAudio) return true;
    const AudioInput In = File.AudioWanted();
    const int64_t Due = File.FramesWritten() * In.Rate / FrameRate;
    const int Samples = int(Due - File.SamplesWritten());
    if (Samples <= 0) return true;
    uint8_t** Planes = nullptr;
    int Linesize = 0;
    if (av_samples_alloc_array_and_samples(&Planes, &Linesize, 2, Samples, AVSampleFormat(In.SampleFormat), 0) < 0)
      return Fail("out of memory");
    const bool Ok = Track.Read(Planes, Samples) && File.WriteAudio(Planes, Samples);
    av_freep(&Planes[0]);
    av_freep(&Planes);
    if (!Ok) return Fail(File.Error().empty() ? "cannot decode the music" : File.Error());
    return true;
  }

  bool Fail(const std::string& Text) {
    WorkerError = Text;
    return false;
  }

  std::string Path;
  std::string Shown;  // Path as messages show it
  bool Quiet;
  bool HasAudio = false;
  VideoFile File;
  MusicTrack Track;
  int32_t Width = 0, Height = 0;  // of the file's pictures
  bool Fitted = false;            // --size: letterboxed into Width x Height
  KvRect Place = {0, 0, 0, 0};
  size_t PictureBytes = 0;
  size_t QueueFrames = QueueFramesMost;
  Clock::time_point Started;

  // Show thread only.
  std::unique_ptr<SharpFit> Sharp;  // Place not a whole multiple of the frame
  std::vector<uint8_t> FrameRgb;    // the frame at 1:1 before enlarging
  uint64_t Taken = 0;
  uint32_t FirstShowMs = 0, CueMs = 0, LastNumber = 0;
  bool HasCue = false;

  std::mutex Lock;
  std::condition_variable Ready, Space;
  std::deque<std::unique_ptr<Picture>> Queue;
  std::vector<std::unique_ptr<Picture>> Spare;
  double MusicStartSeconds = 0;
  bool Closing = false;
  bool Failed = false;
  std::string WorkerError;
  std::thread Worker;
};

}  // namespace

std::unique_ptr<FrameOutput> MakeRecorder(const std::string& Path, bool Music, bool Quiet) {
  return std::make_unique<Recorder>(Path, Music, Quiet);
}
