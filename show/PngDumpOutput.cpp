// The frame-output user of --dump-frames: each frame (or each listed one)
// as DIR/frame_NNNNN.png, 8-bit RGB, enlarged by --scale. The frames are
// not flushed to the disk one by one: one syncfs at the end does it for all.
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <utility>
#include <vector>

#include <kelvra/core/Errors.h>
#include "FrameFit.h"
#include "FrameOutput.h"
#include "Options.h"
#include "SharpFit.h"

namespace {
class PngDumpOutput : public FrameOutput {
 public:
  PngDumpOutput(const std::string& F, int S) : Folder(F), Scale(S) {}

  void Take(const FinishedFrame& Frame) override {
    if (!Frame.Pixels) return;
    const std::vector<uint32_t>& List = Options.DumpFrames;
    if (!List.empty() && !std::binary_search(List.begin(), List.end(), Frame.Number)) return;
    if (Options.OutWidth > 0)
      FitFrame(Frame);
    else
      CopyScaledFrame(Frame, Scale, &Copy);
    char Name[32];
    std::snprintf(Name, sizeof Name, "frame_%05u.png", Frame.Number);
    // UTF-8 both ways (fs::path(std::string) would read it otherwise on Windows).
    const std::string Path = (std::filesystem::u8path(Folder) / Name).u8string();
    std::string Why;
    if (!KvWriteFramePng(Copy, Path, &Why, false)) FatalError(KvErrorLine("[Nerith]", "DumpFrames", Why).c_str());
    Written = true;
  }

  void Finish(bool) override {
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)  // the page's files live in memory
    if (!Written) return;
    const int Fd = open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (Fd < 0) return;
    syncfs(Fd);
    close(Fd);
#endif
  }

 private:
  // --size: the frame letterboxed into the output size, in its own format,
  // or as 24-bit pixels when the sharp fit blends neighbours.
  void FitFrame(const FinishedFrame& Frame) {
    OutputFrameSize(Frame.Width, Frame.Height, &Copy.Width, &Copy.Height);
    const KvRect Place = OutputFramePlace(Frame.Width, Frame.Height);
    if (WantsSharpFit(Frame.Width, Frame.Height, Place)) {
      SharpFitFrame(Frame, Place);
      return;
    }
    const int32_t Bpp = (Frame.Depth + 7) / 8;
    Copy.Pitch = Copy.Width * Bpp;
    Copy.Depth = Frame.Depth;
    Copy.Pixels.reset(new uint8_t[size_t(Copy.Pitch) * size_t(Copy.Height)]);
    FitPixels(Frame.Pixels, Frame.Width, Frame.Height, Frame.Pitch, Bpp, Copy.Pixels.get(), Copy.Width, Copy.Height,
              Copy.Pitch, Place);
  }

  void SharpFitFrame(const FinishedFrame& Frame, const KvRect& Place) {
    if (!Sharp) Sharp = std::make_unique<SharpFit>(Frame.Width, Frame.Height, Copy.Width, Copy.Height, Place);
    const std::vector<uint8_t> Rgb = KvFrameRgb(Frame.Pixels, Frame.Width, Frame.Height, Frame.Pitch, Frame.Depth);
    Copy.Pitch = Copy.Width * 3;
    Copy.Depth = 24;
    Copy.Pixels.reset(new uint8_t[size_t(Copy.Pitch) * size_t(Copy.Height)]);
    uint8_t* P = Copy.Pixels.get();
    Sharp->Fit(Rgb.data(), P);
    // 24-bit pixels hold blue in their first byte.
    for (size_t I = 0, N = size_t(Copy.Width) * size_t(Copy.Height); I < N; ++I, P += 3) std::swap(P[0], P[2]);
  }

  std::string Folder;
  int Scale;
  bool Written = false;
  KvFrameCopy Copy;
  std::unique_ptr<SharpFit> Sharp;
};
}  // namespace

std::unique_ptr<FrameOutput> MakePngDumpOutput(const std::string& Folder, int Scale) {
  return std::make_unique<PngDumpOutput>(Folder, Scale);
}
