// TSoundKv in the browser build: the page streams the music into a media
// element (the browser decodes it as it plays), heard through Web Audio.
// The failures keep the native player's step names; the count of objects
// and the error report are shared (SoundObject.cpp).
//
// Depends on: Sound.h, Errors.h, Kelvra.h, SmoothClock.h; the page's
// Module.kvMusic object (show/web/nerith.html): ready(), open(loop), play(),
// stop(), skip(seconds), close(), heardMs().
#include <emscripten.h>

#include "../../core/Errors.h"
#include "../../core/Kelvra.h"
#include "../../core/SmoothClock.h"
#include "../../core/Sound.h"

namespace {
EM_JS(int, kv_music_ready, (), { return Module.kvMusic && Module.kvMusic.ready() ? 1 : 0; });
EM_JS(void, kv_music_open, (int Loop), { Module.kvMusic.open(Loop !== 0); });
EM_JS(void, kv_music_play, (), { Module.kvMusic.play(); });
EM_JS(void, kv_music_stop, (), { Module.kvMusic.stop(); });
EM_JS(void, kv_music_skip, (double Seconds), { Module.kvMusic.skip(Seconds); });
EM_JS(void, kv_music_seek, (double Seconds), { Module.kvMusic.seekTo(Seconds); });
EM_JS(void, kv_music_close, (), { if (Module.kvMusic) Module.kvMusic.close(); });
// Milliseconds of music heard (the context's output and base latency taken
// off), or a negative number while none is heard. A page whose music object
// has heard() (seconds) and playing instead is read through those; one
// that is not sounding now (stalled, seeking, refused to play) is heard not
// at all, and the show runs on the steady clock until it is.
EM_JS(double, kv_music_heard_ms, (), {
  const m = Module.kvMusic;
  if (m.heardMs) return m.heardMs();
  return m.heard && m.playing && (!m.sounding || m.sounding()) ? m.heard() * 1000 : -1;
});

// The context's time moves in steps of its render quantum or coarser: the
// same smoothing as the native outputs, in milliseconds. Every reading of
// the show clock is a fresh reading of the context, whenever the show asks,
// so the clock may run on well past it: a context that stands still is seen
// by the readings themselves.
KvSmoothClock Heard(1000.0, 10.0, 0.25);  // as HeardMusic.cpp
constexpr double ReadingAheadMs = 100.0;
}  // namespace

TSoundKv::TSoundKv(TKelvra* Display, const std::string&, bool Loop) {
  BeginCreate(Display);
  // The page names the file it fetched; here there is only "the music".
  if (!kv_music_ready()) Error("FSOUND_Stream_OpenFile", "The page has no music ready to play");
  kv_music_open(Loop ? 1 : 0);
  CountIn();
}

void TSoundKv::Release() {
  if (CountOut()) kv_music_close();
}

// The page's player holds nothing more to close.
void TSoundKv::CloseAfterError() {}

void TSoundKv::Play() {
  if (Counted) kv_music_play();
}

void TSoundKv::Stop() {
  if (Counted) kv_music_stop();
}

void TSoundKv::Seek(uint32_t Milliseconds) {
  if (Counted) kv_music_seek(double(Milliseconds) / 1000.0);
}

void TSoundKv::Skip(uint32_t Milliseconds) {
  if (Counted) kv_music_skip(double(Milliseconds) / 1000.0);
}

bool TSoundKv::HeardMs(double& Ms) {
  const double Now = kv_music_heard_ms();
  if (!Counted || Now < 0) {
    Heard.Reset();
    return false;
  }
  const int64_t NowUs = int64_t(emscripten_get_now() * 1000.0);
  Heard.Measure(NowUs, Now, ReadingAheadMs);
  Ms = Heard.Read(NowUs);
  return true;
}
