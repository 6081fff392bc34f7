// The frame-output seam: the list of users and the run's frame range.
#include "FrameOutput.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "FrameFit.h"
#include "Options.h"
#include "RunClock.h"

namespace {
std::vector<std::unique_ptr<FrameOutput>>& Users() {
  // Presenting is there from the start, so a frame loop driven without
  // OpenFrameOutputs (tests) still shows its frames.
  static std::vector<std::unique_ptr<FrameOutput>> List = [] {
    std::vector<std::unique_ptr<FrameOutput>> L;
    L.push_back(MakePresentOutput());
    return L;
  }();
  return List;
}
std::unique_ptr<FrameOutput> Timing;  // kept last
FrameRange Range;
bool Closed = false;
}  // namespace

void AddFrameOutput(std::unique_ptr<FrameOutput> Output) { Users().push_back(std::move(Output)); }

void OpenFrameOutputs() {
  Closed = false;
  Range = FrameRange();
  Range.FirstMs = Options.StartMs;
  Range.EndMs = Options.EndMs;
  // A frame list ends the run at its last frame, unless a recording needs
  // the rest.
  if (!Options.DumpFrames.empty() && Options.RecordPath.empty()) Range.LastNumber = Options.DumpFrames.back();
  if (!Options.DumpDir.empty()) AddFrameOutput(MakePngDumpOutput(Options.DumpDir, Options.Scale));
  if (Options.Offline && !Options.Quiet) {
    const uint32_t First = Range.FirstMs / OfflineFrameMs + (Range.FirstMs % OfflineFrameMs ? 1 : 0);
    uint32_t Last = OfflineFrameTotal;
    if (Range.EndMs != UINT32_MAX) Last = std::min(Last, (Range.EndMs - 1) / OfflineFrameMs);
    if (Range.LastNumber) Last = std::min(Last, Range.LastNumber);
    AddFrameOutput(MakeProgressOutput(std::max(First, 1u), Last));
  }
  // After the progress line, so that its closing line comes last.
  if (!Options.RecordPath.empty())
    AddFrameOutput(MakeRecorder(Options.RecordPath, !Options.NoMusic, Options.Quiet));
  if (Options.Benchmark) Timing = MakeBenchmarkTiming();
  OpenFrameTimeLog();
}

bool SendFrame(FinishedFrame Frame) {
  if (Frame.ShowMs >= Range.EndMs) return false;
  // Catching up (to --start, or after a seek) only the landing frame counts.
  // A live run may seek back before its --start: it shows those frames.
  Frame.Shown = (Frame.ShowMs >= Range.FirstMs || !Options.Offline) &&
                (!CatchingUp() || Frame.ShowMs >= CatchUpTargetMs());
  if (Frame.Shown)
    for (auto& User : Users()) User->Take(Frame);
  if (Timing) Timing->Take(Frame);
  if (Range.LastNumber && Frame.Number >= Range.LastNumber) return false;
  // Offline the next frame's time is known: do not draw it only to drop it.
  if (Options.Offline && Range.EndMs != UINT32_MAX && Frame.ShowMs + OfflineFrameMs >= Range.EndMs) return false;
  return true;
}

void SendMusicStart(uint32_t ShowMs) {
  for (auto& User : Users()) User->MusicStarts(ShowMs);
}

void CloseFrameOutputs(bool Interrupted) {
  if (Closed) return;
  Closed = true;
  auto& List = Users();
  for (auto& User : List) User->Finish(Interrupted);
  if (Timing) Timing->Finish(Interrupted);
  List.resize(1);
  Timing.reset();
}

const FrameRange& CurrentFrameRange() { return Range; }

void CopyScaledFrame(const FinishedFrame& Frame, int Scale, KvFrameCopy* Out) {
  const int Bpp = (Frame.Depth + 7) / 8;
  Out->Width = Frame.Width * Scale;
  Out->Height = Frame.Height * Scale;
  Out->Pitch = Out->Width * Bpp;
  Out->Depth = Frame.Depth;
  Out->Pixels.reset(new uint8_t[size_t(Out->Pitch) * size_t(Out->Height)]);
  FitPixels(Frame.Pixels, Frame.Width, Frame.Height, Frame.Pitch, Bpp, Out->Pixels.get(), Out->Width, Out->Height,
            Out->Pitch, KvRect{0, 0, Out->Width, Out->Height});
}
