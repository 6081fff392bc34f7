// SDL2 display device: a framed, resizable window centred on the desktop, or
// the whole desktop (SDL_WINDOW_FULLSCREEN_DESKTOP, no mode switch), showing
// frames through one streaming texture, 4:3 with black bars at any size,
// scaled by nearest neighbour in one step from the frame to the window's
// pixels (HiDPI: the drawable's own size, never the scaled points).
//
// Depends on: SDL2 (video and events only), Platform.h, the headless device
// (for the memory side: surfaces, colour fill, keyed copy - one
// implementation of those for every device), Errors.h (the fatal hooks).
//
//   Set-up        KvMakeSdlDevice, CreateWindow, CreateScreen
//   Presenting    Present: upload unconverted, letterbox into the drawable;
//                 redrawn from the texture on expose and resize
//   Full screen   SetFullScreen: switch while frames go on
//   Messages      PeekMessage over our own FIFO fed by SDL_PollEvent
//   Keyboard      KeyboardState through KvKeyFromSdlScancode; presses
//                 latched between reads (TakeKeyPresses)
//   Fatal hooks   restore the desktop, message box
//
// Pixel formats: the engine's four layouts are all formats SDL textures take
// directly, so a frame is never converted by us:
//   15 -> SDL_PIXELFORMAT_RGB555, 16 -> RGB565,
//   24 -> BGR24 (bytes B, G, R in memory), 32 -> RGB888 (0x00RRGGBB).
// Full-screen takes "the depth asked for" literally: the desktop keeps its
// mode and the texture format emulates the requested depth.
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

#include "../../Errors.h"
#include "../../Input.h"
#include "../../Letterbox.h"
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
  explicit SdlDevice(const KvWindowOptions& O) : Options(O) {}
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
    Uint32 Flags = SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
    const int Scale = WindowScale(Width, Height);
    int X = SDL_WINDOWPOS_CENTERED, Y = SDL_WINDOWPOS_CENTERED, W = Width * Scale, H = Height * Scale;
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
    // Smaller than the frame it could still be read; smaller than a quarter
    // of it, not.
    SDL_SetWindowMinimumSize(Window, Width / 2, Height / 2);
    // The window F11 goes to from full screen: the size a windowed start
    // would have had, centred.
    WindowedWidth = Width * Scale;
    WindowedHeight = Height * Scale;
    IsFullScreen = FullScreen;
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
      SDL_SetTextureScaleMode(Texture, SDL_ScaleModeNearest);
      TextureWidth = Src.Width;
      TextureHeight = Src.Height;
    }
    if (SDL_UpdateTexture(Texture, nullptr, Src.Pixels, Src.Pitch) != 0) return KVERR_GENERIC;
    if (WaitRetrace != VSyncOn) {
      // Best effort: renderers without vsync control keep presenting at once.
      if (SDL_RenderSetVSync(Renderer, WaitRetrace ? 1 : 0) == 0) VSyncOn = WaitRetrace;
    }
    Draw();
    ReportXError("Present");
    return KV_OK;
  }

  // --- full screen ------------------------------------------------------
  KvResult SetFullScreen(bool On) override {
    if (!Window) return KVERR_NODISPLAY;
    if (On == IsFullScreen) return KV_OK;
    // The geometry is set by hand as well as the full-screen state: where no
    // window manager carries the state out (a bare X server), the window
    // still covers the desktop, as one made full-screen from the start does.
    if (On) {
      SDL_GetWindowPosition(Window, &WindowedX, &WindowedY);
      SDL_GetWindowSize(Window, &WindowedWidth, &WindowedHeight);
      SDL_DisplayMode Desktop;
      const int Index = SDL_GetWindowDisplayIndex(Window);
      SDL_SetWindowBordered(Window, SDL_FALSE);
      if (SDL_GetDesktopDisplayMode(Index < 0 ? 0 : Index, &Desktop) == 0) {
        SDL_SetWindowPosition(Window, 0, 0);
        SDL_SetWindowSize(Window, Desktop.w, Desktop.h);
      }
      if (SDL_SetWindowFullscreen(Window, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) return KVERR_INVALIDMODE;
    } else {
      if (SDL_SetWindowFullscreen(Window, 0) != 0) return KVERR_INVALIDMODE;
      SDL_SetWindowBordered(Window, SDL_TRUE);
      SDL_SetWindowSize(Window, WindowedWidth, WindowedHeight);
      SDL_SetWindowPosition(Window, WindowedX, WindowedY);
    }
    IsFullScreen = On;
    SDL_ShowCursor(On ? SDL_DISABLE : SDL_ENABLE);
    Draw();
    return KV_OK;
  }

  void SetWindowIcon(const uint8_t* Rgba, int32_t Width, int32_t Height) override {
    if (!Window || !Rgba || Width <= 0 || Height <= 0) return;
    SDL_Surface* Icon = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t*>(Rgba), Width, Height, 32,
                                                           Width * 4, SDL_PIXELFORMAT_RGBA32);
    if (!Icon) return;
    SDL_SetWindowIcon(Window, Icon);
    SDL_FreeSurface(Icon);
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

  void TakeKeyPresses(uint8_t Pressed[256]) override {
    PumpEvents();
    std::memcpy(Pressed, Presses, 256);
    std::memset(Presses, 0, 256);
  }

  void ShowMessageBox(const char* Caption, const char* Text) override {
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, Caption ? Caption : "", Text ? Text : "", Window);
  }

 private:
  // The window's size as a multiple of the frame: the option's, or the
  // largest that fits the usable area of the desktop (panels left out).
  int WindowScale(int32_t Width, int32_t Height) const {
    if (Options.Scale > 0) return Options.Scale;
    SDL_Rect Usable;
    if (SDL_GetDisplayUsableBounds(0, &Usable) != 0 || Usable.w <= 0 || Usable.h <= 0) return 1;
    const int Fit = std::min(Usable.w / Width, Usable.h / Height);
    return Fit < 1 ? 1 : Fit;
  }

  // The texture (the last frame) into the drawable, letterboxed; the bars
  // are cleared to black every time, as the window's size may have changed.
  void Draw() {
    if (!Renderer) return;
    SDL_RenderClear(Renderer);
    if (Texture) {
      int W = 0, H = 0;
      if (SDL_GetRendererOutputSize(Renderer, &W, &H) != 0) SDL_GetWindowSize(Window, &W, &H);
      const KvRect R = KvLetterbox(W, H, TextureWidth, TextureHeight, Options.IntegerScale);
      const SDL_Rect Dest = {R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top};
      SDL_RenderCopy(Renderer, Texture, nullptr, &Dest);
    }
    SDL_RenderPresent(Renderer);
  }

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
      if (E.type == SDL_KEYDOWN && E.key.repeat == 0) {
        const uint8_t Key = KvKeyFromSdlScancode(E.key.keysym.scancode);
        if (Key) Presses[Key] |= uint8_t(0x80 | ((E.key.keysym.mod & KMOD_ALT) ? KvPressedWithAlt : 0));
      }
      // Expose and resize: the last frame again at once (a paused show
      // sends no new one).
      if (E.type == SDL_WINDOWEVENT &&
          (E.window.event == SDL_WINDOWEVENT_EXPOSED || E.window.event == SDL_WINDOWEVENT_SIZE_CHANGED))
        Draw();
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

  KvWindowOptions Options;
  SDL_Window* Window = nullptr;
  SDL_Renderer* Renderer = nullptr;
  bool IsFullScreen = false;
  int WindowedX = SDL_WINDOWPOS_CENTERED, WindowedY = SDL_WINDOWPOS_CENTERED;
  int WindowedWidth = 0, WindowedHeight = 0;  // the window's size to go back to
  uint8_t Presses[256] = {};
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

KvDeviceRef KvMakeSdlDevice(const KvWindowOptions& Options) {
  // The window class (X11) and app id (Wayland) that docks match against
  // the desktop entry's StartupWMClass; a value set outside wins.
  if (!Options.AppId.empty()) {
    setenv("SDL_VIDEO_X11_WMCLASS", Options.AppId.c_str(), 0);
    setenv("SDL_VIDEO_WAYLAND_WMCLASS", Options.AppId.c_str(), 0);
  }
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
  return std::make_shared<SdlDevice>(Options);
}
