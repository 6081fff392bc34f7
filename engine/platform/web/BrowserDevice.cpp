// The browser device (see BrowserDevice.h).
#include "BrowserDevice.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "../../pack/AssetPack.h"
#include "../../core/Errors.h"
#include "../../core/MemoryDevice.h"
#include "../../core/PlatformSleep.h"

namespace {

std::vector<uint32_t> TestFrames;

// The canvas is the page's element with id "screen"; the page scales it to
// fit, 4:3 (its CSS).
EM_JS(void, kv_put_frame, (const uint8_t* Rgba, int Width, int Height), {
  const canvas = document.getElementById('screen');
  if (canvas.width !== Width || canvas.height !== Height) {
    canvas.width = Width;
    canvas.height = Height;
  }
  const pixels = new Uint8ClampedArray(HEAPU8.buffer, Rgba, Width * Height * 4);
  canvas.getContext('2d').putImageData(new ImageData(pixels, Width, Height), 0, 0);
  if (Module.kvOnFrame) Module.kvOnFrame();
});

EM_JS(void, kv_set_title, (const char* Text), {
  document.title = UTF8ToString(Text);
  (Module.kvFrameTitles = Module.kvFrameTitles || []).push(document.title);
});

EM_JS(void, kv_show_progress, (int Frame), {
  if (Module.kvShowProgress) Module.kvShowProgress(Frame);
});

EM_JS(void, kv_show_fatal, (const char* Text), {
  if (Module.kvShowError) Module.kvShowError(UTF8ToString(Text));
});

// Until the browser's next animation frame; the show's stack is unwound
// meanwhile (ASYNCIFY, listed in the link's ASYNCIFY_IMPORTS). The show's
// end (exit) unwinds through here as ExitStatus: that is the normal end, and
// the page hears of it through onExit, not as an uncaught error.
EM_JS(void, kv_wait_animation_frame, (), {
  Asyncify.handleSleep(function(wakeUp) {
    requestAnimationFrame(function() {
      try {
        wakeUp();
      } catch (e) {
        if (!(e instanceof ExitStatus)) throw e;
      }
    });
  });
});

// DOM KeyboardEvent.code to the engine's numbering (PC set-1 scan codes,
// extended keys as 0x80 | code). Only keys a show might read.
struct DomKey {
  const char* Code;
  uint8_t Key;
};
const DomKey DomKeys[] = {
    {"Escape", 0x01}, {"Digit1", 0x02}, {"Digit2", 0x03}, {"Digit3", 0x04}, {"Digit4", 0x05},
    {"Digit5", 0x06}, {"Digit6", 0x07}, {"Digit7", 0x08}, {"Digit8", 0x09}, {"Digit9", 0x0A},
    {"Digit0", 0x0B}, {"Backspace", 0x0E}, {"Tab", 0x0F}, {"KeyQ", 0x10}, {"KeyW", 0x11},
    {"KeyE", 0x12}, {"KeyR", 0x13}, {"KeyT", 0x14}, {"KeyY", 0x15}, {"KeyU", 0x16},
    {"KeyI", 0x17}, {"KeyO", 0x18}, {"KeyP", 0x19}, {"Enter", 0x1C}, {"ControlLeft", 0x1D},
    {"KeyA", 0x1E}, {"KeyS", 0x1F}, {"KeyD", 0x20}, {"KeyF", 0x21}, {"KeyG", 0x22},
    {"KeyH", 0x23}, {"KeyJ", 0x24}, {"KeyK", 0x25}, {"KeyL", 0x26}, {"ShiftLeft", 0x2A},
    {"KeyZ", 0x2C}, {"KeyX", 0x2D}, {"KeyC", 0x2E}, {"KeyV", 0x2F}, {"KeyB", 0x30},
    {"KeyN", 0x31}, {"KeyM", 0x32}, {"ShiftRight", 0x36}, {"AltLeft", 0x38}, {"Space", 0x39},
    {"ArrowUp", 0xC8}, {"ArrowLeft", 0xCB}, {"ArrowRight", 0xCD}, {"ArrowDown", 0xD0},
};

// A turn of the browser's event loop in test mode, at once: a message to
// ourselves (a zero timeout called from a timeout's own callback waits 4 ms
// after a few rounds, idle time that weighed on the test's clock).
EM_JS(void, kv_yield_to_browser, (), {
  Asyncify.handleSleep(function(wakeUp) {
    var channel = new MessageChannel();
    channel.port1.onmessage = function() {
      channel.port1.close();
      try {
        wakeUp();
      } catch (e) {
        if (!(e instanceof ExitStatus)) throw e;
      }
    };
    channel.port2.postMessage(0);
  });
});

constexpr uint8_t EscapeKey = 0x01;

// Wall-clock milliseconds between the browser's turns in test mode: often
// enough for the page to stay alive, rare enough to cost nothing.
constexpr double TestYieldMs = 100.0;

class BrowserDevice final : public KvMemoryDevice {
 public:
  // A page has no desktop mode: a window gets a "desktop" of 32 bits.
  BrowserDevice() : KvMemoryDevice(32) {
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, this, true, OnKey);
    emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, this, true, OnKey);
  }
  ~BrowserDevice() override {
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, true, nullptr);
    emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, true, nullptr);
  }

  KvResult Present(KvSurface& Src, bool) override {
    ++Presented;
    if (TestFrames.empty()) {
      Show(Src);
      kv_wait_animation_frame();
      return KV_OK;
    }
    if (std::binary_search(TestFrames.begin(), TestFrames.end(), Presented)) {
      const std::vector<uint8_t> Rgb = Show(Src);
      char Title[64];
      std::snprintf(Title, sizeof Title, "frame %llu rgb-fnv1a32 %08x", static_cast<unsigned long long>(Presented),
                    KvFnv1a32(Rgb.data(), Rgb.size()));
      kv_set_title(Title);
      if (Presented == TestFrames.back()) PostQuit();
    }
    if (emscripten_get_now() - LastYield >= TestYieldMs) {
      kv_show_progress(int(Presented));
      kv_yield_to_browser();
      LastYield = emscripten_get_now();
    }
    return KV_OK;
  }

  // A key pressed and released between two readings still reads as down
  // once: the show looks once a frame, a quick tap can be shorter.
  bool KeyboardState(uint8_t State[256]) override {
    KvMemoryDevice::KeyboardState(State);
    for (int K = 0; K < 256; ++K) {
      if (ReleaseAfterRead[K]) SetKey(uint8_t(K), false);
      ReleaseAfterRead[K] = false;
      Unread[K] = false;
    }
    return true;
  }

  // None: the viewer's keys are the page's (Space pauses through its
  // button, F and F12 are its own); reported here as well they would act
  // twice. Escape reaches the show through KeyboardState, a quick tap
  // included.
  void TakeKeyPresses(uint8_t Pressed[256]) override { std::memset(Pressed, 0, 256); }

  // Full screen is the page's (its button, F, a double click): a program may
  // not take it without a gesture of the user's. The page's icon is its
  // own <link rel="icon">.
  KvResult SetFullScreen(bool) override { return KVERR_UNSUPPORTED; }
  void SetWindowIcon(const uint8_t*, int32_t, int32_t) override {}

  void ShowMessageBox(const char*, const char* Text) override { kv_show_fatal(Text); }

 private:
  // Puts Src on the canvas; returns its RGB bytes.
  std::vector<uint8_t> Show(const KvSurface& Src) {
    std::vector<uint8_t> Rgb = KvFrameRgb(Src.Pixels, Src.Width, Src.Height, Src.Pitch, ScreenDepth);
    Rgba.resize(size_t(Src.Width) * Src.Height * 4);
    for (size_t i = 0, j = 0; i < Rgb.size(); i += 3, j += 4) {
      Rgba[j] = Rgb[i];
      Rgba[j + 1] = Rgb[i + 1];
      Rgba[j + 2] = Rgb[i + 2];
      Rgba[j + 3] = 255;
    }
    kv_put_frame(Rgba.data(), Src.Width, Src.Height);
    return Rgb;
  }

  // A key with Ctrl, Alt or Meta is the browser's (reload, find, save...):
  // the show neither sees it nor cancels it. Of the rest only Escape, the
  // one key the show reads, has its default action cancelled; the page's
  // own keys (Space, F, M) are the page's.
  static EM_BOOL OnKey(int EventType, const EmscriptenKeyboardEvent* Event, void* User) {
    auto* Self = static_cast<BrowserDevice*>(User);
    const bool Down = EventType == EMSCRIPTEN_EVENT_KEYDOWN;
    if (Down && (Event->ctrlKey || Event->altKey || Event->metaKey)) return EM_FALSE;
    for (const DomKey& K : DomKeys) {
      if (std::strcmp(Event->code, K.Code) != 0) continue;
      if (Down) {
        Self->SetKey(K.Key, true);
        Self->Unread[K.Key] = true;
      } else if (Self->Unread[K.Key]) {
        Self->ReleaseAfterRead[K.Key] = true;
      } else {
        Self->SetKey(K.Key, false);
      }
      return K.Key == EscapeKey ? EM_TRUE : EM_FALSE;
    }
    return EM_FALSE;
  }

  uint64_t Presented = 0;
  double LastYield = 0;
  bool Unread[256] = {};            // down since the last reading
  bool ReleaseAfterRead[256] = {};  // and already up again
  std::vector<uint8_t> Rgba;
};

// A fatal error leaves the show: its line goes on the page, over the canvas.
void ShowFatalOnPage(const char* Text) { kv_show_fatal(Text); }

}  // namespace

KvDeviceRef KvMakeBrowserDevice() {
  KvSetRestoreDesktopHook(ShowFatalOnPage);
  return std::make_shared<BrowserDevice>();
}

void KvBrowserSetTestFrames(std::vector<uint32_t> Frames) {
  std::sort(Frames.begin(), Frames.end());
  TestFrames = std::move(Frames);
}

// The browser build has no window device: the canvas, which its program
// locks in, is its only display.
KvDeviceRef KvMakeDefaultDevice(const KvWindowOptions&) {
  KvSetDeviceCreateError("the browser build has no window device");
  return nullptr;
}

// A page cannot block: hand the time back to the browser (ASYNCIFY).
void KvPlatformSleep(uint32_t Milliseconds) { emscripten_sleep(Milliseconds); }

// Screenshots are the page's: F12 there offers the canvas as a download.
std::string KvPicturesFolder() { return std::string(); }

// Nor libpng: a page has no folder to write frames into (--dump-frames then
// stops the show with the engine's "Cannot write" line).
bool KvWriteFramePng(const KvFrameCopy&, const std::string&, std::string*, bool) { return false; }
bool KvReadPngRgba(const std::string&, int32_t, std::vector<uint8_t>*, int32_t*, int32_t*) { return false; }
