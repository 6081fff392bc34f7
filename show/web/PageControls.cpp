// What the page's controls call in the running show: pause and resume (the
// play button, Space, a hidden tab), seeking, and the show time and scene
// the control bar shows. The page calls these between the show's frames, while the show
// waits for the browser, never from inside a frame.
//
// Depends on: RunClock.h (PauseShow), Show.h (CurrentScene), Options.h
// (the A/V offset).
#include <emscripten.h>

#include <emscripten/emscripten.h>

#include <algorithm>

#include "../Options.h"
#include "../RunClock.h"
#include "../Seeking.h"
#include "../Show.h"
#include "../ShowSnapshot.h"
#include "../ShowTime.h"

namespace {
// A catch-up (a link's start, a seek past the snapshots) gives the page a
// turn now and then: it shows the progress and can take a new seek.
EM_JS(void, kv_page_catch_up, (double NowMs, double TargetMs), {
  if (Module.kvCatchUp) Module.kvCatchUp(NowMs, TargetMs);
});
void OnCatchUp(uint32_t NowMs, uint32_t TargetMs) {
  kv_page_catch_up(NowMs, TargetMs);
  emscripten_sleep(0);
}
const bool HookSet = (CatchUpProgressHook = OnCatchUp, true);
}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void kv_pause_show(int Paused) { PauseShow(Paused != 0); }

EMSCRIPTEN_KEEPALIVE int kv_show_paused() { return ShowPaused() ? 1 : 0; }

EMSCRIPTEN_KEEPALIVE double kv_show_time_ms() { return double(ShowTimeMs()); }

EMSCRIPTEN_KEEPALIVE int kv_show_scene() { return int(CurrentScene); }

// The scenes as the show names them, and where each begins.
EMSCRIPTEN_KEEPALIVE int kv_scene_count() { return SceneCount; }
EMSCRIPTEN_KEEPALIVE const char* kv_scene_name(int Scene) {
  return Scene >= 1 && Scene <= SceneCount ? SceneNames[Scene - 1] : "";
}
EMSCRIPTEN_KEEPALIVE double kv_scene_start_ms(int Scene) {
  return Scene >= 1 && Scene <= SceneCount ? double(SceneSteps[Scene - 1]) * StepMs : 0.0;
}

// Seeking (the time bar, the arrow keys, #t= and ?scene= links): acted on
// at the end of the frame under way, or at once while paused.
EMSCRIPTEN_KEEPALIVE void kv_seek_show(double ShowMs) { RequestSeek(ShowMs > 0 ? uint32_t(ShowMs) : 0); }

// The show time a seek is catching up to, -1 when none is.
EMSCRIPTEN_KEEPALIVE double kv_seek_target_ms() {
  if (SeekPending()) return double(SeekBaseMs());
  return CatchingUp() ? double(CatchUpTargetMs()) : -1.0;
}
// What the seek snapshots hold, in bytes (bench/web_seek_times.mjs).
EMSCRIPTEN_KEEPALIVE double kv_snapshot_bytes() { return double(SnapshotBytes()); }
// Where the music's first frame belongs on the show clock (the page's A/V check).
EMSCRIPTEN_KEEPALIVE double kv_music_cue_ms() { return double(MusicCueMs()); }

// The page's A/V setting changed while the show plays (--av-offset's range).
EMSCRIPTEN_KEEPALIVE void kv_set_av_offset(int Ms) { Options.AvOffsetMs = std::min(std::max(Ms, -2000), 2000); }

}  // extern "C"
