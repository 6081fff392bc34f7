// SDL2 display device: a framed, resizable window centred on the desktop, or
// the whole desktop (SDL_WINDOW_FULLSCREEN_DESKTOP, no mode switch), showing
// frames through one streaming texture, 4:3 with black bars at any size,
// scaled by nearest neighbour in one step from the frame to the window's
// pixels (HiDPI: the drawable's own size, never the scaled points).
//
// Depends on: SDL2 (video and events only), Platform.h, KvMemoryDevice (the
// memory side: surfaces, colour fill, keyed copy and the message queue - one
// implementation of those for every device), Errors.h (the fatal hooks).
//
//   Set-up        KvMakeSdlDevice, CreateWindow (sized and placed in the work
//                 area, frame included), CreateScreen
//   Presenting    Present: upload unconverted, letterbox into the drawable;
//                 redrawn from the texture on expose and resize
//   Full screen   SetFullScreen: switch while frames go on; a window manager
//                 keeps place and maximised state, on a bare X server we do
//   Messages      PeekMessage over the memory device's FIFO, fed by
//                 SDL_PollEvent
//   Keyboard      KeyboardState through KvKeyFromSdlScancode; presses
//                 latched between reads (TakeKeyPresses)
//   Cursor        hidden over a window after 2 s without motion, and in
//                 full screen
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
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "../../core/Errors.h"
#include "../../core/Input.h"
#include "../../core/Letterbox.h"
#include "../../core/Platform.h"
#include "../../core/MemoryDevice.h"
#include "../../core/PlatformSleep.h"
#include "SdlDevice.h"
#include "XErrorRouting.h"
#include "XWindowManager.h"

namespace {

enum class GlKind { None, Software, Hardware };

// What OpenGL draws with here, asked on a hidden window of its own: the
// show's window then gets its one renderer made once. Making a GL renderer
// on it, destroying that and making a software one on the same window
// crashed inside Mesa's GLX now and then (and SDL made the window again for
// GL, which lost its place). Software: Mesa's CPU rasterizers (llvmpipe,
// softpipe, the old swrast), a machine without a GPU. The GL library stays
// loaded until the device goes (KeepsGl), so it is not unloaded and loaded
// again between the probe and the window.
GlKind ProbeGl(bool* KeepsGl) {
  *KeepsGl = SDL_GL_LoadLibrary(nullptr) == 0;
  if (!*KeepsGl) return GlKind::None;
  SDL_Window* Probe = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL);
  if (!Probe) return GlKind::None;
  GlKind Kind = GlKind::None;
  if (SDL_GLContext Context = SDL_GL_CreateContext(Probe)) {
    using GetStringFn = const unsigned char* (*)(unsigned);
    const auto GetString = reinterpret_cast<GetStringFn>(SDL_GL_GetProcAddress("glGetString"));
    const char* Name = GetString ? reinterpret_cast<const char*>(GetString(0x1F01)) : nullptr;  // GL_RENDERER
    if (Name) {
      Kind = (std::strstr(Name, "llvmpipe") || std::strstr(Name, "softpipe") || std::strstr(Name, "Software Rasterizer"))
                 ? GlKind::Software
                 : GlKind::Hardware;
    }
    SDL_GL_MakeCurrent(Probe, nullptr);
    SDL_GL_DeleteContext(Context);
  }
  SDL_DestroyWindow(Probe);
  return Kind;
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

// Milliseconds without mouse motion after which a window hides the pointer.
constexpr Uint32 CursorIdleMs = 2000;

class SdlDevice final : public KvMemoryDevice {
 public:
  // The desktop's depth is known once a screen is made (CreateScreen).
  explicit SdlDevice(const KvWindowOptions& O) : KvMemoryDevice(32), Options(O) {}
  ~SdlDevice() override {
    ReleaseScreen();
    DestroyWindow();
    if (KeepsGl) SDL_GL_UnloadLibrary();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }

  // --- set-up -----------------------------------------------------------
  uint32_t CreateWindow(const char* Caption, int32_t Width, int32_t Height, bool FullScreen) override {
    if (Window || Width <= 0 || Height <= 0) return 0;
    CaptionText = Caption ? Caption : "";
    MessageBoxCaption = CaptionText.empty() ? "Kelvra" : CaptionText;
    FrameWidth = Width;
    FrameHeight = Height;
    Uint32 Flags = SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
    const SDL_Rect Area = WorkArea(0);
    // Without the frame yet: a window manager puts it on once the window is
    // there (Fit, below).
    Scale = ScaleThatFits(Area, 0, 0);
    int X = Area.x + (Area.w - Width * Scale) / 2, Y = Area.y + (Area.h - Height * Scale) / 2;
    int W = Width * Scale, H = Height * Scale;
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
    // A 1:1 window on a machine without a GPU: software GL spends more than
    // twice the CPU time on drawing the frame as a textured quad than SDL's
    // own renderer spends copying it into the window (bench/README.md), so
    // the window takes the latter. Otherwise the window is made for GL from
    // the start, so SDL need not make it again for its GL renderer. A
    // renderer named in SDL_RENDER_DRIVER is kept as asked.
    if (!SDL_GetHint(SDL_HINT_RENDER_DRIVER)) {
      const GlKind Gl = ProbeGl(&KeepsGl);
      SoftwareRenderer = Gl == GlKind::Software && !FullScreen;
      if (SoftwareRenderer)
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");  // the window surface without GL, too
      else if (Gl != GlKind::None)
        Flags |= SDL_WINDOW_OPENGL;
    }
    Window = SDL_CreateWindow(CaptionText.c_str(), X, Y, W, H, Flags);
    if (!Window) {
      std::fprintf(stderr, "SDL_CreateWindow: %s\n", SDL_GetError());
      return 0;
    }
    // Smaller than the frame it could still be read; smaller than a quarter
    // of it, not.
    SDL_SetWindowMinimumSize(Window, Width / 2, Height / 2);
    IsFullScreen = FullScreen;
    if (!FullScreen) Fit();
    if (Options.Scale > Scale && Options.ScaleLowered) Options.ScaleLowered(Options.Scale, Scale);
    LastMotion = SDL_GetTicks();
    ShowCursor(!FullScreen);
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
    // The memory side at the depth just chosen; for a depth the engine does
    // not draw in, it still makes surfaces so that the display constructor
    // can refuse the depth with its own message.
    KvResult Result = KvMemoryDevice::CreateScreen(Width, Height, ScreenDepth, true, Primary, Back);
    if (Result != KV_OK) return Result;
    HasScreen = true;
    if (SdlFormatForDepth(ScreenDepth) == SDL_PIXELFORMAT_UNKNOWN) return KV_OK;

    Renderer = SDL_CreateRenderer(Window, -1, SoftwareRenderer ? SDL_RENDERER_SOFTWARE : 0);
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
    HasScreen = false;
    // Nothing else to restore: the desktop's mode was never changed.
  }

  // The desktop's own masks in a window (the memory device knows only depths).
  KvResult GetPixelFormat(KvPixelFormat* Out) override {
    if (!HasScreen) return KVERR_NODISPLAY;
    *Out = Format;
    return KV_OK;
  }

  KvResult Restore(KvSurface& Surface) override {
    // The texture is our only object that SDL can lose (a render device
    // reset); it is made again on the next Present.
    if (TextureLost) {
      if (Texture) SDL_DestroyTexture(Texture);
      Texture = nullptr;
      TextureLost = false;
    }
    return KvMemoryDevice::Restore(Surface);
  }

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
    // A window manager carries the full-screen state out and, on the way
    // back, restores the window's frame, place and maximised state itself:
    // moving or sizing the window by hand then only fights it (each round
    // trip put the window a title bar lower). Without one (a bare X server)
    // the geometry is ours to set, as for a window made full-screen from
    // the start.
    const bool Managed = HasWindowManager();
    if (On) {
      WasMaximized = (SDL_GetWindowFlags(Window) & SDL_WINDOW_MAXIMIZED) != 0;
      SDL_GetWindowPosition(Window, &WindowedX, &WindowedY);
      SDL_GetWindowSize(Window, &WindowedWidth, &WindowedHeight);
      WindowedKnown = true;
      if (!Managed) {
        SDL_DisplayMode Desktop;
        const int Index = SDL_GetWindowDisplayIndex(Window);
        SDL_SetWindowBordered(Window, SDL_FALSE);
        if (SDL_GetDesktopDisplayMode(Index < 0 ? 0 : Index, &Desktop) == 0) {
          SDL_SetWindowPosition(Window, 0, 0);
          SDL_SetWindowSize(Window, Desktop.w, Desktop.h);
        }
      }
      if (SDL_SetWindowFullscreen(Window, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) return KVERR_INVALIDMODE;
    } else {
      if (SDL_SetWindowFullscreen(Window, 0) != 0) return KVERR_INVALIDMODE;
      SDL_SetWindowBordered(Window, SDL_TRUE);
      if (!WindowedKnown) {
        // Made full-screen from the start: the window a windowed start
        // would have opened.
        IsFullScreen = false;
        Fit();
        WindowedKnown = true;
      } else if (!Managed) {
        SDL_SetWindowSize(Window, WindowedWidth, WindowedHeight);
        SDL_SetWindowPosition(Window, WindowedX, WindowedY);
      } else if (WasMaximized) {
        // SDL forgets the state while full screen and asks the window
        // manager to drop it on the way back; ask for it again after that.
        SDL_MaximizeWindow(Window);
      }
    }
    IsFullScreen = On;
    LastMotion = SDL_GetTicks();
    ShowCursor(!On);
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
    return KvMemoryDevice::PeekMessage(Message);
  }

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
  // The usable part of a display: panels and docks left out (the whole
  // display where nobody says).
  static SDL_Rect WorkArea(int Display) {
    SDL_Rect Area = {0, 0, 0, 0};
    if (SDL_GetDisplayUsableBounds(Display, &Area) == 0 && Area.w > 0 && Area.h > 0) return Area;
    if (SDL_GetDisplayBounds(Display, &Area) == 0 && Area.w > 0 && Area.h > 0) return Area;
    return SDL_Rect{0, 0, 0, 0};
  }

  // The window's multiple of the frame: the option's, at most the largest
  // whose window, with a frame of FrameW x FrameH around it, fits Area.
  int ScaleThatFits(const SDL_Rect& Area, int FrameW, int FrameH) const {
    int Fit = std::min((Area.w - FrameW) / FrameWidth, (Area.h - FrameH) / FrameHeight);
    if (Area.w <= 0 || Area.h <= 0) Fit = Options.Scale > 0 ? Options.Scale : 1;  // nothing known
    Fit = std::max(Fit, 1);
    return Options.Scale > 0 ? std::min(Options.Scale, Fit) : Fit;
  }

  // Whether a window manager places our window (and restores it after
  // full screen): one framed it, or one runs (X11).
  bool HasWindowManager() {
    if (!Managed) Managed = WindowManagerRunning();
    return Managed;
  }

  // The windowed size and place, now that the frame is known: the largest
  // multiple that fits the work area with the frame, the frame centred in it.
  void Fit() {
    int Top = 0, Left = 0, Bottom = 0, Right = 0;
    // A window manager sets the frame's size as it maps the window, which
    // SDL waited for; it may still be on its way.
    const Uint32 Deadline = SDL_GetTicks() + 200;
    while (SDL_GetWindowBordersSize(Window, &Top, &Left, &Bottom, &Right) == 0 && !(Top || Left || Bottom || Right) &&
           WindowManagerRunning() && !SDL_TICKS_PASSED(SDL_GetTicks(), Deadline)) {
      SDL_PumpEvents();
      SDL_Delay(5);
    }
    if (Top || Left || Bottom || Right) Managed = true;
    const int Index = SDL_GetWindowDisplayIndex(Window);
    const SDL_Rect Area = WorkArea(Index < 0 ? 0 : Index);
    Scale = ScaleThatFits(Area, Left + Right, Top + Bottom);
    const int W = FrameWidth * Scale, H = FrameHeight * Scale;
    SDL_SetWindowSize(Window, W, H);
    if (Area.w > 0 && Area.h > 0) {
      // SDL places the client area; the frame goes around it.
      const int X = Area.x + std::max(0, (Area.w - W - Left - Right) / 2) + Left;
      const int Y = Area.y + std::max(0, (Area.h - H - Top - Bottom) / 2) + Top;
      SDL_SetWindowPosition(Window, X, Y);
    }
    WindowedWidth = W;
    WindowedHeight = H;
  }

  bool WindowManagerRunning() const { return KvXWindowManagerRunning(Window); }

  // The pointer over a window: shown while it moves, hidden after 2 s still
  // and always in full screen.
  void ShowCursor(bool Show) {
    if (Show == CursorShown) return;
    SDL_ShowCursor(Show ? SDL_ENABLE : SDL_DISABLE);
    CursorShown = Show;
  }
  void UpdateCursor() {
    if (!Window || IsFullScreen) return;
    if (CursorShown && SDL_TICKS_PASSED(SDL_GetTicks(), LastMotion + CursorIdleMs)) ShowCursor(false);
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

  // Moves SDL's pending events into the message FIFO, in order. A close
  // request becomes the quit message behind everything already queued.
  void PumpEvents() {
    SDL_Event E;
    while (SDL_PollEvent(&E)) {
      if (E.type == SDL_RENDER_TARGETS_RESET || E.type == SDL_RENDER_DEVICE_RESET) TextureLost = true;
      if (E.type == SDL_KEYDOWN && E.key.repeat == 0) {
        const uint8_t Key = KvKeyFromSdlScancode(E.key.keysym.scancode);
        if (Key) Presses[Key] |= uint8_t(0x80 | ((E.key.keysym.mod & KMOD_ALT) ? KvPressedWithAlt : 0));
      }
      if (E.type == SDL_MOUSEMOTION) {
        LastMotion = SDL_GetTicks();
        if (!IsFullScreen) ShowCursor(true);
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
        QueueMessage(KvMessage{KvMessageKind::Other, E.type});
      }
    }
    UpdateCursor();
  }

  KvWindowOptions Options;
  SDL_Window* Window = nullptr;
  SDL_Renderer* Renderer = nullptr;
  int32_t FrameWidth = 0, FrameHeight = 0;
  int Scale = 1;  // of the window as it opened
  bool IsFullScreen = false;
  bool Managed = false;        // a window manager has framed the window
  bool WindowedKnown = false;  // the window's own place and size were seen
  bool WasMaximized = false;   // before full screen
  int WindowedX = 0, WindowedY = 0;
  int WindowedWidth = 0, WindowedHeight = 0;  // the window's size to go back to
  bool CursorShown = true;
  Uint32 LastMotion = 0;
  uint8_t Presses[256] = {};
  SDL_Texture* Texture = nullptr;
  int32_t TextureWidth = 0;
  int32_t TextureHeight = 0;
  bool TextureLost = false;
  bool VSyncOn = false;
  bool HasScreen = false;
  bool SoftwareRenderer = false;  // decided with the window (ProbeGl)
  bool KeepsGl = false;           // the GL library loaded by the probe
  KvPixelFormat Format;
  std::string CaptionText;
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
    // The display object wraps this reason in its "DirectDrawCreate" error.
    KvSetDeviceCreateError(std::string("SDL video: ") + SDL_GetError());
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
    KvSetDeviceCreateError("SDL found no X11 or Wayland display");
    return nullptr;
  }
  SDL_DisableScreenSaver();
  KvSetRestoreDesktopHook(RestoreDesktop);
  KvSetMessageBoxHook(ShowFatalBox);
  return std::make_shared<SdlDevice>(Options);
}

// The SDL build's display is the SDL window.
KvDeviceRef KvMakeDefaultDevice(const KvWindowOptions& Options) { return KvMakeSdlDevice(Options); }

void KvPlatformSleep(uint32_t Milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(Milliseconds)); }
