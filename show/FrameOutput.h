// The frame-output seam: the one place where EndFrame hands over each
// finished frame.
//
// Users, each a small unit of its own, in this order:
//   PresentOutput.cpp    shows the frame (Screen->Present), always first
//   PngDumpOutput.cpp    --dump-frames: DIR/frame_NNNNN.png
//   ProgressOutput.cpp   the progress line of long offline runs
//   record/Recorder.cpp  --record: the video file
//   BenchmarkTiming.cpp  --benchmark: per-frame times, always last, and
//                        the only user that also sees frames outside the
//                        range (catching up to --start is timed too)
//
// The seam also owns the run's frame range (--start, --end, --frames):
// frames drawn before the range go to no user, and the run ends after the
// range's last frame.
//
// Depends on: engine/core/Platform.h (KvFrameCopy).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <kelvra/core/Platform.h>

// A finished frame as it was presented, valid only during Take.
struct FinishedFrame {
  const uint8_t* Pixels = nullptr;  // the display's pixel format
  int32_t Width = 0, Height = 0, Pitch = 0, Depth = 0;
  uint32_t Number = 0;     // FrameCount: 1 for the show's first frame
  uint32_t ShowMs = 0;     // show clock when the frame was drawn
  double CapWaitMs = 0.0;  // time EndFrame spent in the frame-rate cap
  bool Shown = false;      // in the range: handed to the users
};

class FrameOutput {
 public:
  virtual ~FrameOutput() = default;
  // Each frame of the range, in order, on the show's thread.
  virtual void Take(const FinishedFrame& Frame) = 0;
  // The prelude started the music at this show time.
  virtual void MusicStarts(uint32_t /*ShowMs*/) {}
  // The run is over (Interrupted: by a signal). Called once; what a user
  // prints goes to standard error, except the benchmark report.
  virtual void Finish(bool /*Interrupted*/) {}
};

// Builds the users the options ask for (present, dump, recorder, progress,
// benchmark). Fails through FatalError when a file cannot be made.
void OpenFrameOutputs();
// Adds a user before the benchmark timing (tests, later front ends).
void AddFrameOutput(std::unique_ptr<FrameOutput> Output);
// Hands Frame to every user when it lies in the range (the benchmark
// timing sees every frame). Returns false when the run should end after
// this frame (the range is done).
bool SendFrame(FinishedFrame Frame);
void SendMusicStart(uint32_t ShowMs);
// Finishes and drops every user but presenting; safe to call twice.
void CloseFrameOutputs(bool Interrupted);

// The range of frames handed on (set by OpenFrameOutputs from Options): show times in [FirstMs, EndMs), and with a
// frame list only up to its last frame (LastNumber, 0: no limit).
struct FrameRange {
  uint32_t FirstMs = 0;
  uint32_t EndMs = UINT32_MAX;
  uint32_t LastNumber = 0;
};
const FrameRange& CurrentFrameRange();

// Frame as a copy enlarged Scale times by nearest neighbour, in its own
// pixel format (Scale 1: a plain copy).
void CopyScaledFrame(const FinishedFrame& Frame, int Scale, KvFrameCopy* Out);

// The users' makers (one file each).
std::unique_ptr<FrameOutput> MakePresentOutput();
std::unique_ptr<FrameOutput> MakePngDumpOutput(const std::string& Folder, int Scale);
// Path's extension must be one RecordFormatOf accepts (record/VideoFile.h).
std::unique_ptr<FrameOutput> MakeRecorder(const std::string& Path, bool Music, bool Quiet);
std::unique_ptr<FrameOutput> MakeProgressOutput(uint32_t FirstNumber, uint32_t LastNumber);
std::unique_ptr<FrameOutput> MakeBenchmarkTiming();
// NERITH_FRAME_LOG=FILE (live runs): each shown frame's wall time and show
// time, for A/V measurements (FrameTimeLog.cpp).
void OpenFrameTimeLog();
