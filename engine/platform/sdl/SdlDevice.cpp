// SDL2 display device: a framed window centred on the desktop, or the whole
// desktop (SDL_WINDOW_FULLSCREEN_DESKTOP, no mode switch), showing frames
// through one streaming texture.
//
// Depends on: SDL2 (video and events only), Platform.h, the headless device
// (for the memory side: surfaces, colour fill, keyed copy - one
// implementation of those for every device), Errors.h (the fatal hooks).
//
//   Set-up        KvMakeSdlDevice, CreateWindow, CreateScreen
//   Presenting    Present: upload unconverted, scale to the client area
//   Messages      PeekMessage over our own FIFO fed by SDL_PollEvent
//   Keyboard      KeyboardState through KvKeyFromSdlScancode
//   Fatal hooks   restore the desktop, message box
//
// Pixel formats: the engine's four layouts are all formats SDL textures take
// directly, so a frame is never converted by us:
//   15 -> SDL_PIXELFORMAT_RGB555, 16 -> RGB565,
//   24 -> BGR24 (bytes B, G, R in memory), 32 -> RGB888 (0x00RRGGBB).
// Full-screen takes "the depth asked for" literally: the desktop keeps its
// mode and the texture format emulates the requested depth.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

#include "../../Errors.h"
#include "../../Input.h"
#include "../../Platform.h"
#include "XErrorRouting.h"

namespace {

// Whether Renderer is OpenGL drawn by Mesa's CPU rasterizers (llvmpipe,
// softpipe, the old swrast): a machine without a GPU.
bool IsSoftwareGl(SDL_Renderer* Renderer) {
  SDL_RendererInfo Info;
  if (SDL_GetRendererInfo(Renderer, &Info) != 0 || std::strncmp(Info.name, "opengl", 6) != 0) return false;
  using GetStringFn = const unsigned char* (*)(unsigned);
  const auto GetString = reinterpret_cast<GetStringFn>(SDL_GL_GetProcAddress("glGetString"));
  if (!GetString) return false;
  const char* Name = reinterpret_cast<const char*>(GetString(0x1F01));  // GL_RENDERER
  return Name && (std::strstr(Name, "llvmpipe") || std::strstr(Name, "softpipe") ||
                  std::strstr(Name, "Software Rasterizer"));
}

uint32_t SdlFormatForDepth(int Depth) {
  switch (Depth) {
    case 15:
      return SDL_PIXELFORMAT_RGB555;
    case 16:
      return SDL_PIXELFORMAT_RGB565;
    case 24:
      return SDL_PIXELFORMAT_BGR24;
    case 32:
      return SDL_PIXELFORMAT_RGB888;
    default:
      return SDL_PIXELFORMAT_UNKNOWN;
  }
}

// The desktop's format as bit count + green mask. A 2-byte format counts 16
// bits (its green mask tells 5-5-5 from 5-6-5), 3 bytes 24 and any 4-byte
// format 32, whatever its masks: the engine's depth rule needs no more.
KvPixelFormat PixelFormatOfSdl(uint32_t Format) {
  KvPixelFormat Out;
  int Bpp = 0;
  Uint32 R = 0, G = 0, B = 0, A = 0;
  if (!SDL_PixelFormatEnumToMasks(Format, &Bpp, &R, &G, &B, &A)) return Out;
  const int Bytes = SDL_BYTESPERPIXEL(Format);
  Out.RGBBitCount = (Bytes >= 2 && Bytes <= 4) ? uint32_t(Bytes * 8) : uint32_t(Bpp);
  Out.GreenMask = G;
  return Out;
}

KvPixelFormat PixelFormatOfDepth(int Depth) {
  KvPixelFormat Out;
  Out.RGBBitCount = Depth == 15 ? 16 : uint32_t(Depth);
  Out.GreenMask = Depth == 15 ? 0x3E0 : Depth == 16 ? 0x7E0 : 0xFF00;
  return Out;
}

// --- fatal hooks -------------------------------------------------------
// Plain functions (FatalError takes function pointers); they work on SDL's
// global state only, so they are safe after the device itself is gone.

std::string MessageBoxCaption = "Kelvra";

void RestoreDesktop(const char*) {
  // Closing the video subsystem destroys every window: a full-screen window
  // gives the desktop back, a frozen window disappears before the report.
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void ShowFatalBox(const char* Text) {
  // A box waits for a click; unattended runs (scripts, CI under Xvfb) can
  // opt out and still get the log line and the line on standard error.
  const char* Off = std::getenv("KELVRA_NO_MESSAGEBOX");
  if (Off && *Off && std::strcmp(Off, "0") != 0) return;
  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, MessageBoxCaption.c_str(), Text, nullptr);
}

// Events that become messages. High-rate input (mouse motion, wheel, text
// editing, touch) is left out: one message is handled per frame, and a queue
// of motion events would hold a close request back for seconds.
bool IsMessageWorthy(const SDL_Event& E) {
  switch (E.type) {
    case SDL_QUIT:
    case SDL_WINDOWEVENT:
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
    case SDL_RENDER_TARGETS_RESET:
    case SDL_RENDER_DEVICE_RESET:
      return true;
    case SDL_KEYDOWN:
      return E.key.repeat == 0;
    case SDL_KEYUP:
      return true;
    default:
      return false;
  }
}

class SdlDevice final : public KvDevice {
 public:
  ~SdlDevice() override {
    ReleaseScreen();
    DestroyWindow();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }

  // --- set-up -----------------------------------------------------------
  uint32_t CreateWindow(const char* Caption, int32_t Width, int32_t Height, bool FullScreen) override {
    if (Window || Width <= 0 || Height <= 0) return 0;
    CaptionText = Caption ? Caption : "";
    MessageBoxCaption = CaptionText.empty() ? "Kelvra" : CaptionText;
    Uint32 Flags = SDL_WINDOW_SHOWN;
    int X = SDL_WINDOWPOS_CENTERED, Y = SDL_WINDOWPOS_CENTERED, W = Width, H = Height;
    SDL_DisplayMode Desktop;
    if (FullScreen) {
      // Borderless over the whole desktop from the start, so the window is
      // right even where no window manager carries out the full-screen state.
      Flags |= SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS;
      if (SDL_GetDesktopDisplayMode(0, &Desktop) == 0 && Desktop.w > 0 && Desktop.h > 0) {
        X = 0;
        Y = 0;
        W = Desktop.w;
        H = Desktop.h;
      }
    }
    // Windowed: centred by the client size; SDL adds the frame around it.
    Window = SDL_CreateWindow(CaptionText.c_str(), X, Y, W, H, Flags);
    if (!Window) {
      std::fprintf(stderr, "SDL_CreateWindow: %s\n", SDL_GetError());
      return 0;
    }
    SDL_ShowCursor(FullScreen ? SDL_DISABLE : SDL_ENABLE);
    SDL_RaiseWindow(Window);
    return SDL_GetWindowID(Window);
  }

  void DestroyWindow() override {
    if (!Window) return;
    SDL_DestroyWindow(Window);
    Window = nullptr;
    SDL_ShowCursor(SDL_ENABLE);
  }

  KvResult CreateScreen(int32_t Width, int32_t Height, int32_t Depth, bool FullScreen, KvSurfaceRef* Primary,
                        KvSurfaceRef* Back) override {
    if (!Window) return KVERR_NODISPLAY;
    if (FullScreen) {
      if (SdlFormatForDepth(Depth) == SDL_PIXELFORMAT_UNKNOWN) return KVERR_INVALIDMODE;
      Format = PixelFormatOfDepth(Depth);
      ScreenDepth = Depth;
    } else {
      SDL_DisplayMode Mode;
      const int Index = SDL_GetWindowDisplayIndex(Window);
      if (SDL_GetDesktopDisplayMode(Index < 0 ? 0 : Index, &Mode) != 0) {
        std::fprintf(stderr, "SDL_GetDesktopDisplayMode: %s\n", SDL_GetError());
        return KVERR_GENERIC;
      }
      Format = PixelFormatOfSdl(Mode.format);
      ScreenDepth = Format.GreenMask == 0x3E0 ? 15 : int(Format.RGBBitCount);
    }
    // The memory side; for a depth the engine does not draw in, it still
    // makes surfaces so that the display constructor can refuse the depth
    // with its own message.
    Memory = KvMakeHeadlessDevice(ScreenDepth);
    KvResult Result = Memory->CreateScreen(Width, Height, ScreenDepth, true, Primary, Back);
    if (Result != KV_OK) return Result;
    if (SdlFormatForDepth(ScreenDepth) == SDL_PIXELFORMAT_UNKNOWN) return KV_OK;

    Renderer = SDL_CreateRenderer(Window, -1, 0);
    // A 1:1 window on a machine without a GPU: software GL spends more than
    // twice the CPU time on drawing the frame as a textured quad than SDL's
    // own renderer spends copying it into the window (bench/README.md), so
    // the window takes the latter. A renderer named in SDL_RENDER_DRIVER is
    // kept as asked.
    if (Renderer && !FullScreen && !SDL_GetHint(SDL_HINT_RENDER_DRIVER) && IsSoftwareGl(Renderer)) {
      SDL_DestroyRenderer(Renderer);
      SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");  // the window surface without GL, too
      Renderer = SDL_CreateRenderer(Window, -1, SDL_RENDERER_SOFTWARE);
    }
    if (!Renderer) {
      std::fprintf(stderr, "SDL_CreateRenderer: %s\n", SDL_GetError());
      return KVERR_GENERIC;
    }
    CoversTarget = !FullScreen;
    // Full-screen shows the 4:3 picture with black bars on a wider screen;
    // the window's client area is the picture's own size.
    if (FullScreen) SDL_RenderSetLogicalSize(Renderer, Width, Height);
    SDL_SetRenderDrawColor(Renderer, 0, 0, 0, 255);
    SDL_RenderClear(Renderer);
    SDL_RenderPresent(Renderer);
    return KV_OK;
  }

  void ReleaseScreen() override {
    if (Texture) SDL_DestroyTexture(Texture);
    Texture = nullptr;
    if (Renderer) SDL_DestroyRenderer(Renderer);
    Renderer = nullptr;
    // Nothing else to restore: the desktop's mode was never changed.
  }

  KvResult GetPixelFormat(KvPixelFormat* Out) override {
    if (!Memory) return KVERR_NODISPLAY;
    *Out = Format;
    return KV_OK;
  }

  // --- memory side ------------------------------------------------------
  KvResult CreateSurface(int32_t Width, int32_t Height, bool VideoMemory, KvSurfaceRef* Out) override {
    if (!Memory) return KVERR_NODISPLAY;
    return Memory->CreateSurface(Width, Height, VideoMemory, Out);
  }
  KvResult Restore(KvSurface& Surface) override {
    // The texture is our only object that SDL can lose (a render device
    // reset); it is made again on the next Present.
    if (TextureLost) {
      if (Texture) SDL_DestroyTexture(Texture);
      Texture = nullptr;
      TextureLost = false;
    }
    Surface.Lost = false;
    return KV_OK;
  }
  KvResult ColorFill(KvSurface& Dest, const KvRect* Rect, uint32_t Color) override {
    if (!Memory) return KVERR_NODISPLAY;
    return Memory->ColorFill(Dest, Rect, Color);
  }
  KvResult KeyedCopy(KvSurface& Dest, int32_t X, int32_t Y, KvSurface& Src, const KvRect& SrcRect,
                     uint32_t Key) override {
    if (!Memory) return KVERR_NODISPLAY;
    return Memory->KeyedCopy(Dest, X, Y, Src, SrcRect, Key);
  }
  KvResult BltStatus(KvSurface&) override { return KV_OK; }

  // --- presenting -------------------------------------------------------
  KvResult Present(KvSurface& Src, bool WaitRetrace) override {
    if (!Renderer || !Src.Pixels) return KVERR_GENERIC;
    PumpEvents();
    if (TextureLost) return KVERR_SURFACELOST;
    const uint32_t TexFormat = SdlFormatForDepth(ScreenDepth);
    if (TexFormat == SDL_PIXELFORMAT_UNKNOWN) return KVERR_UNSUPPORTED;
    if (Texture && (TextureWidth != Src.Width || TextureHeight != Src.Height)) {
      SDL_DestroyTexture(Texture);
      Texture = nullptr;
    }
    if (!Texture) {
      Texture = SDL_CreateTexture(Renderer, TexFormat, SDL_TEXTUREACCESS_STREAMING, Src.Width, Src.Height);
      if (!Texture) return KVERR_GENERIC;
      TextureWidth = Src.Width;
      TextureHeight = Src.Height;
    }
    if (SDL_UpdateTexture(Texture, nullptr, Src.Pixels, Src.Pitch) != 0) return KVERR_GENERIC;
    if (WaitRetrace != VSyncOn) {
      // Best effort: renderers without vsync control keep presenting at once.
      if (SDL_RenderSetVSync(Renderer, WaitRetrace ? 1 : 0) == 0) VSyncOn = WaitRetrace;
    }
    // No destination rectangle: the whole client area (full-screen: the
    // logical 4:3 area set in CreateScreen, with bars to clear around it).
    if (!CoversTarget) SDL_RenderClear(Renderer);
    SDL_RenderCopy(Renderer, Texture, nullptr, nullptr);
    SDL_RenderPresent(Renderer);
    ReportXError("Present");
    return KV_OK;
  }

  // --- messages ---------------------------------------------------------
  bool PeekMessage(KvMessage* Message) override {
    PumpEvents();
    ReportXError("ProcessMessage");
    if (Queue.empty()) return false;
    *Message = Queue.front();
    Queue.pop_front();
    return true;
  }

  void PostQuit() override { Queue.push_back(KvMessage{KvMessageKind::Quit, 0}); }

  // --- keyboard ---------------------------------------------------------
  bool KeyboardState(uint8_t State[256]) override {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
    // Updates SDL's key array; the events stay in SDL's queue for
    // PeekMessage.
    SDL_PumpEvents();
    int Count = 0;
    const Uint8* Keys = SDL_GetKeyboardState(&Count);
    if (!Keys) return false;
    std::memset(State, 0, 256);
    for (int Code = 0; Code < Count; ++Code) {
      if (!Keys[Code]) continue;
      const uint8_t Key = KvKeyFromSdlScancode(Code);
      if (Key) State[Key] = 0x80;
    }
    return true;
  }

  void ShowMessageBox(const char* Caption, const char* Text) override {
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, Caption ? Caption : "", Text ? Text : "", Window);
  }

 private:
  // An X protocol error since the last step (a window destroyed from
  // outside) ends the program through the error convention.
  static void ReportXError(const char* Step) {
    std::string Text;
    if (KvTakeXError(&Text)) FatalError(KvErrorLine("[TKelvra]", Step, Text).c_str());
  }

  // Moves SDL's pending events into our FIFO, in order. A close request
  // becomes the quit message behind everything already queued.
  void PumpEvents() {
    SDL_Event E;
    while (SDL_PollEvent(&E)) {
      if (E.type == SDL_RENDER_TARGETS_RESET || E.type == SDL_RENDER_DEVICE_RESET) TextureLost = true;
      if (!IsMessageWorthy(E)) continue;
      const bool Close = E.type == SDL_QUIT ||
                         (E.type == SDL_WINDOWEVENT && E.window.event == SDL_WINDOWEVENT_CLOSE);
      if (Close) {
        PostQuit();
      } else {
        Queue.push_back(KvMessage{KvMessageKind::Other, E.type});
      }
    }
  }

  SDL_Window* Window = nullptr;
  SDL_Renderer* Renderer = nullptr;
  bool CoversTarget = false;  // the frame fills the whole window: no clear needed
  SDL_Texture* Texture = nullptr;
  int32_t TextureWidth = 0;
  int32_t TextureHeight = 0;
  bool TextureLost = false;
  bool VSyncOn = false;
  int ScreenDepth = 0;
  KvPixelFormat Format;
  KvDeviceRef Memory;
  std::string CaptionText;
  std::deque<KvMessage> Queue;
};

}  // namespace

KvDeviceRef KvMakeSdlDevice() {
  // The screen stays awake while the show runs, in either mode.
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "0");
  // One window, closed by the show itself: SDL turns the close box into
  // SDL_QUIT / SDL_WINDOWEVENT_CLOSE, which become the quit message.
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "1");
  KvRouteXErrors();
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    // The display object wraps this reason in its "DirectDrawCreate" error,
    // which also names --headless.
    KvSetDeviceCreateError(std::string("SDL video: ") + SDL_GetError() +
                           "; a window (--window) needs a desktop too");
    return nullptr;
  }
  // With no real display SDL falls back to its invisible "offscreen" driver
  // by itself; a show nobody can see is a failure, not a run. Asked for by
  // name (SDL_VIDEODRIVER), the invisible drivers are taken as they are.
  const char* Driver = SDL_GetCurrentVideoDriver();
  const char* Asked = SDL_getenv("SDL_VIDEODRIVER");
  const bool Invisible = Driver && (std::strcmp(Driver, "offscreen") == 0 || std::strcmp(Driver, "dummy") == 0);
  if (Invisible && !(Asked && *Asked)) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    KvSetDeviceCreateError("SDL found no X11 or Wayland display; --window needs one too");
    return nullptr;
  }
  SDL_DisableScreenSaver();
  KvSetRestoreDesktopHook(RestoreDesktop);
  KvSetMessageBoxHook(ShowFatalBox);
  return std::make_shared<SdlDevice>();
}
