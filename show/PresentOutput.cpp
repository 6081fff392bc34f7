// The frame-output user that shows the frame: Screen to the display.
#include "FrameOutput.h"
#include "ScreenOverlay.h"
#include "Show.h"

namespace {
class PresentOutput : public FrameOutput {
 public:
  void Take(const FinishedFrame&) override {
    PresentWithOverlay();
  }
};
}  // namespace

std::unique_ptr<FrameOutput> MakePresentOutput() { return std::make_unique<PresentOutput>(); }
