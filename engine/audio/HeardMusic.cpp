// KvHeard* (see HeardMusic.h).
#include "HeardMusic.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <mutex>

#include "../core/SmoothClock.h"
#include "Decoder.h"

namespace {

struct Block {
  int64_t OutStart;
  size_t Frames;
  int64_t MusicStart;  // < 0: no music in it
  size_t MusicFrames;
};

// A quarter of the show's frame (40 ms) is the most the clock may be off
// before it is put right at once, well inside the half frame the picture
// may be off; smaller errors melt away in 250 ms.
constexpr double StepLimitFrames = KvMixRate * 0.010;
constexpr double SlewSeconds = 0.25;
// Blocks kept: far more than any output queues (about 3 s of 1024 frames).
constexpr size_t KeptBlocks = 128;
// An output that has said nothing for this long is not followed.
constexpr int64_t SilentOutputUs = 1000000;

struct HeardState {
  std::mutex Lock;
  std::deque<Block> Blocks;
  int64_t Written = 0;
  KvSmoothClock Out{double(KvMixRate), StepLimitFrames, SlewSeconds};
};

HeardState& State() {
  static HeardState S;
  return S;
}

}  // namespace

int64_t KvHeardNowUs() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void KvHeardReset() {
  HeardState& S = State();
  std::lock_guard<std::mutex> G(S.Lock);
  S.Blocks.clear();
  S.Written = 0;
  S.Out.Reset();
}

void KvHeardBlock(size_t Frames, int64_t MusicStart, size_t MusicFrames) {
  HeardState& S = State();
  std::lock_guard<std::mutex> G(S.Lock);
  if (MusicFrames == 0) MusicStart = -1;
  S.Blocks.push_back({S.Written, Frames, MusicStart, std::min(MusicFrames, Frames)});
  if (S.Blocks.size() > KeptBlocks) S.Blocks.pop_front();
  S.Written += int64_t(Frames);
}

void KvHeardAt(int64_t NowUs, int64_t HeardFrame, size_t Ahead) {
  HeardState& S = State();
  std::lock_guard<std::mutex> G(S.Lock);
  S.Out.Measure(NowUs, double(HeardFrame), double(Ahead));
}

void KvHeardQueued(int64_t NowUs, size_t QueuedFrames, size_t Ahead) {
  HeardState& S = State();
  std::lock_guard<std::mutex> G(S.Lock);
  S.Out.Measure(NowUs, double(S.Written - int64_t(QueuedFrames)), double(Ahead));
}

bool KvHeardMusicFrame(int64_t NowUs, double& Frame) {
  HeardState& S = State();
  std::lock_guard<std::mutex> G(S.Lock);
  if (!S.Out.Known() || S.Blocks.empty() || NowUs - S.Out.LastReadingUs() > SilentOutputUs) return false;
  const double Heard = S.Out.Read(NowUs);
  // The block under the listener: the last one that starts at or before it.
  auto It = std::upper_bound(S.Blocks.begin(), S.Blocks.end(), Heard,
                             [](double H, const Block& B) { return H < double(B.OutStart); });
  if (It == S.Blocks.begin()) return false;
  const Block& B = *--It;
  if (B.MusicStart < 0) return false;
  // Past the music's frames of the block (the ring ran dry, or the listener
  // is beyond what was written): the music stands at its last frame.
  const double Into = std::min(Heard - double(B.OutStart), double(B.MusicFrames));
  Frame = double(B.MusicStart) + Into;
  return true;
}
