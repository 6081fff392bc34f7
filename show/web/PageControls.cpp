// What the page's controls call in the running show: pause and resume (the
// play button, Space, a hidden tab), seeking, and the show time and scene
// the control bar shows. The page calls these between the show's frames, while the show
// waits for the browser, never from inside a frame.
//
// Depends on: RunClock.h (PauseShow), Show.h (CurrentScene).
#include <emscripten.h>

#include "../RunClock.h"
#include "../Seeking.h"
#include "../Show.h"

extern "C" {

EMSCRIPTEN_KEEPALIVE void kv_pause_show(int Paused) { PauseShow(Paused != 0); }

EMSCRIPTEN_KEEPALIVE int kv_show_paused() { return ShowPaused() ? 1 : 0; }

EMSCRIPTEN_KEEPALIVE double kv_show_time_ms() { return double(ShowTimeMs()); }

EMSCRIPTEN_KEEPALIVE int kv_show_scene() { return int(CurrentScene); }

// Seeking (the time bar, the arrow keys, #t= and ?scene= links): acted on
// at the end of the frame under way, or at once while paused.
EMSCRIPTEN_KEEPALIVE void kv_seek_show(double ShowMs) { RequestSeek(ShowMs > 0 ? uint32_t(ShowMs) : 0); }

// The show time a seek is catching up to, -1 when none is.
EMSCRIPTEN_KEEPALIVE double kv_seek_target_ms() {
  if (SeekPending()) return double(SeekBaseMs());
  return CatchingUp() ? double(CatchUpTargetMs()) : -1.0;
}

}  // extern "C"
