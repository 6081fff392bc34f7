// The frame-output user of --dump-frames: each frame (or each listed one)
// as DIR/frame_NNNNN.png, 8-bit RGB, enlarged by --scale.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include <kelvra/Errors.h>
#include "FrameOutput.h"
#include "Options.h"

namespace {
class PngDumpOutput : public FrameOutput {
 public:
  PngDumpOutput(const std::string& F, int S) : Folder(F), Scale(S) {}

  void Take(const FinishedFrame& Frame) override {
    if (!Frame.Pixels) return;
    const std::vector<uint32_t>& List = Options.DumpFrames;
    if (!List.empty() && !std::binary_search(List.begin(), List.end(), Frame.Number)) return;
    CopyScaledFrame(Frame, Scale, &Copy);
    char Name[32];
    std::snprintf(Name, sizeof Name, "frame_%05u.png", Frame.Number);
    const std::string Path = (std::filesystem::path(Folder) / Name).string();
    std::string Why;
    if (!KvWriteFramePng(Copy, Path, &Why)) FatalError(KvErrorLine("[Nerith]", "DumpFrames", Why).c_str());
  }

 private:
  std::string Folder;
  int Scale;
  KvFrameCopy Copy;
};
}  // namespace

std::unique_ptr<FrameOutput> MakePngDumpOutput(const std::string& Folder, int Scale) {
  return std::make_unique<PngDumpOutput>(Folder, Scale);
}
