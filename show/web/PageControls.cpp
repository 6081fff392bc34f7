// What the page's controls call in the running show: pause and resume (the
// play button, Space, a hidden tab), and the show time and scene the control
// bar shows. The page calls these between the show's frames, while the show
// waits for the browser, never from inside a frame.
//
// Depends on: RunClock.h (PauseShow), Show.h (CurrentScene), Options.h
// (the A/V offset).
#include <emscripten.h>

#include <algorithm>

#include "../Options.h"
#include "../RunClock.h"
#include "../Show.h"

extern "C" {

EMSCRIPTEN_KEEPALIVE void kv_pause_show(int Paused) { PauseShow(Paused != 0); }

EMSCRIPTEN_KEEPALIVE int kv_show_paused() { return ShowPaused() ? 1 : 0; }

EMSCRIPTEN_KEEPALIVE double kv_show_time_ms() { return double(ShowTimeMs()); }

EMSCRIPTEN_KEEPALIVE int kv_show_scene() { return int(CurrentScene); }

// Where the music's first frame belongs on the show clock (the page's A/V check).
EMSCRIPTEN_KEEPALIVE double kv_music_cue_ms() { return double(MusicCueMs()); }

// The page's A/V setting changed while the show plays (--av-offset's range).
EMSCRIPTEN_KEEPALIVE void kv_set_av_offset(int Ms) { Options.AvOffsetMs = std::min(std::max(Ms, -2000), 2000); }

}  // extern "C"
