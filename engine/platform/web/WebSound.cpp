// TSoundKv in the browser build: the page streams the music into a media
// element (the browser decodes it as it plays), heard through Web Audio.
// The failures keep the native player's step names; the count of objects
// and the error report are shared (SoundObject.cpp).
//
// Depends on: Sound.h, Errors.h, Kelvra.h; the page's Module.kvMusic object
// (show/web/nerith.html): ready(), open(loop), play(), stop(), close().
#include <emscripten.h>

#include "../../Errors.h"
#include "../../Kelvra.h"
#include "../../Sound.h"

namespace {
EM_JS(int, kv_music_ready, (), { return Module.kvMusic && Module.kvMusic.ready() ? 1 : 0; });
EM_JS(void, kv_music_open, (int Loop), { Module.kvMusic.open(Loop !== 0); });
EM_JS(void, kv_music_play, (), { Module.kvMusic.play(); });
EM_JS(void, kv_music_stop, (), { Module.kvMusic.stop(); });
EM_JS(void, kv_music_skip, (double Seconds), { Module.kvMusic.skip(Seconds); });
EM_JS(void, kv_music_close, (), { if (Module.kvMusic) Module.kvMusic.close(); });
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

void TSoundKv::Skip(uint32_t Milliseconds) {
  if (Counted) kv_music_skip(double(Milliseconds) / 1000.0);
}
