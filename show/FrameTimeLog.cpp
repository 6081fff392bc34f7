// For A/V measurements (bench/wine_av.sh): with NERITH_FRAME_LOG=FILE set,
// a live run writes one line per frame shown, "UTC_MICROSECONDS SHOW_MS
// CUE_MS", when the frame was handed on after its present; CUE_MS is the
// show time of the music's first frame (the music at P ms belongs to the
// picture at CUE_MS + P). The wall clock is the
// system's (UTC): a recorder outside Wine stamps the music with the same
// clock.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "FrameOutput.h"
#include "Options.h"
#include "RunClock.h"

namespace {
class FrameTimeLog : public FrameOutput {
 public:
  explicit FrameTimeLog(std::FILE* F) : File(F) {}
  ~FrameTimeLog() override { std::fclose(File); }
  void Take(const FinishedFrame& Frame) override {
    using namespace std::chrono;
    const long long Us = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    std::fprintf(File, "%lld %u %u\n", Us, Frame.ShowMs, MusicCueMs());
  }
  void Finish(bool) override { std::fflush(File); }

 private:
  std::FILE* File;
};
}  // namespace

void OpenFrameTimeLog() {
  const char* Path = std::getenv("NERITH_FRAME_LOG");
  if (!Path || !*Path || Options.Offline) return;
  std::FILE* File = std::fopen(Path, "w");
  if (!File) {
    std::fprintf(stderr, "nerith: NERITH_FRAME_LOG: cannot write %s\n", Path);
    return;
  }
  AddFrameOutput(std::make_unique<FrameTimeLog>(File));
}
