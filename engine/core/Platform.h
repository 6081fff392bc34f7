// Platform layer: the one interface through which the engine reaches the
// operating system's display, window messages and keyboard, and the list of
// what every platform must supply.
//
// Everything above this header (display object, frame buffers, drawing) is
// platform-free. A platform supplies:
//   - a KvDevice (below): window, screen and surfaces, present, messages,
//     key state and the key presses of a frame, full screen on and off, the
//     window's icon, its own cursor policy (a window hides an idle pointer),
//     the message box. Every operation is pure virtual: a device that cannot
//     do one says so in its own code (headless: no full screen).
//   - its factory, KvMake<Name>Device, in a public header of its own
//     (platform/<name>/), and KvMakeDefaultDevice (below);
//   - the fatal hooks (Errors.h: KvSetRestoreDesktopHook, KvSetMessageBoxHook),
//     set by its factory;
//   - KvWriteFramePng, KvReadPngRgba and KvPicturesFolder (below);
//   - picture decoding: TBufferKv::LoadFromFile / LoadFromStream
//     (draw/ImageDecode.h, draw/BufferKv.h);
//   - glyphs: KvOpenFont (draw/FontKv.h);
//   - music: TSoundKv (Sound.h), natively through the audio output and the
//     decoders (audio/AudioOutput.h, audio/Decoder.h);
//   - the asset search of its programs (show/AssetSearch.h: the builds that
//     read the asset pack accept it in place of GFX/).
// Implementations (core/MemoryDevice.h: surfaces in memory, the base of
// them all):
//   platform/sdl/        SDL2 window or desktop full-screen, streaming
//                        texture (SdlDevice.h); PicturesFolder.cpp (XDG)
//   platform/headless/   keeps the last presented frame (HeadlessDevice.h)
//   platform/web/        the browser's canvas device (BrowserDevice.h)
//   platform/win32/      the Win32 window device (Win32Device.h)
//   FaultDevice (tests)  wraps another device and injects "lost" / "busy"
//
// Result codes follow the classic display-device convention: 0 is success,
// KVERR_SURFACELOST means "restore your surfaces and skip this operation once",
// KVERR_WASSTILLDRAWING means "busy, call again". Every other code is a
// failure whose text KvResultText() gives.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using KvResult = uint32_t;

// Marks a latched key press made while Alt was held (TakeKeyPresses).
constexpr uint8_t KvPressedWithAlt = 0x40;

constexpr KvResult KV_OK = 0;
constexpr KvResult KVERR_SURFACELOST = 0x887601C2u;
constexpr KvResult KVERR_WASSTILLDRAWING = 0x8876021Cu;
constexpr KvResult KVERR_GENERIC = 0x80004005u;
constexpr KvResult KVERR_OUTOFMEMORY = 0x8007000Eu;
constexpr KvResult KVERR_INVALIDPARAMS = 0x80070057u;
constexpr KvResult KVERR_NODISPLAY = 0x88760258u;      // no display to open
constexpr KvResult KVERR_INVALIDMODE = 0x88760078u;    // display mode refused
constexpr KvResult KVERR_UNSUPPORTED = 0x80004001u;

// Human-readable description of a result code (used as the Error message).
const char* KvResultText(KvResult Code);

struct KvRect {
  int32_t Left, Top, Right, Bottom;  // Right and Bottom exclusive
};

// A block of pixel memory with an address and pitch that stay valid for the
// surface's whole life. Pixels are in the display's format (BytesPerPixel 2,
// 3 or 4). Lost is set by a device that "loses" a surface; Restore clears it.
struct KvSurface {
  uint8_t* Pixels = nullptr;
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t Pitch = 0;
  int32_t BytesPerPixel = 0;
  bool VideoMemory = false;
  bool Lost = false;
  uint32_t ColorKey = 0;  // last key set for keyed copies from this surface
  std::unique_ptr<uint8_t[]> Storage;
};
using KvSurfaceRef = std::shared_ptr<KvSurface>;

// What the display reports about its pixel format (bit count + green mask is
// all the depth rule needs).
struct KvPixelFormat {
  uint32_t RGBBitCount = 0;
  uint32_t GreenMask = 0;
};

enum class KvMessageKind { Quit, Other };
struct KvMessage {
  KvMessageKind Kind = KvMessageKind::Other;
  uint32_t Code = 0;  // platform's own event code, for Other
};

// The display device. One per display object; frame buffers hold counted
// references to it (std::shared_ptr) so it outlives every buffer.
class KvDevice {
 public:
  virtual ~KvDevice() = default;

  // Window. Caption is not copied by the caller; the device copies it.
  // FullScreen: borderless desktop full-screen; otherwise a framed window of
  // client size Width x Height centred on the desktop. Returns a nonzero
  // window handle, or 0 on failure.
  virtual uint32_t CreateWindow(const char* Caption, int32_t Width, int32_t Height, bool FullScreen) = 0;
  virtual void DestroyWindow() = 0;

  // Display set-up. Depth is the depth asked for in full-screen mode and 0 in
  // windowed mode (then the desktop's format is used). Creates the primary
  // surface (what Present shows) and a back surface of the same size.
  virtual KvResult CreateScreen(int32_t Width, int32_t Height, int32_t Depth, bool FullScreen,
                                KvSurfaceRef* Primary, KvSurfaceRef* Back) = 0;
  virtual void ReleaseScreen() = 0;  // restores the desktop mode
  virtual KvResult GetPixelFormat(KvPixelFormat* Format) = 0;

  // Off-screen surface of exactly Width x Height in the display's format.
  virtual KvResult CreateSurface(int32_t Width, int32_t Height, bool VideoMemory, KvSurfaceRef* Out) = 0;
  virtual KvResult Restore(KvSurface& Surface) = 0;

  // Fill Rect (nullptr: the whole surface) with Color's low 16/24/32 bits.
  virtual KvResult ColorFill(KvSurface& Dest, const KvRect* Rect, uint32_t Color) = 0;
  // Copy SrcRect of Src to (X, Y) of Dest, leaving out the pixels whose value
  // equals the whole Key (a Key with bits above the pixel's 16/24/32 bits
  // equals no pixel, so everything is copied).
  virtual KvResult KeyedCopy(KvSurface& Dest, int32_t X, int32_t Y, KvSurface& Src, const KvRect& SrcRect,
                             uint32_t Key) = 0;
  // Non-zero while a blit on Surface is still running (always 0 here: every
  // operation completes before it returns). Kept so callers can poll as the
  // display interface requires.
  virtual KvResult BltStatus(KvSurface& Surface) = 0;

  // Show Src scaled to the window's client area (full-screen: to the 4:3
  // picture area of the screen). WaitRetrace waits for the vertical blank.
  virtual KvResult Present(KvSurface& Src, bool WaitRetrace) = 0;

  // Removes at most one pending message. false when the queue is empty.
  virtual bool PeekMessage(KvMessage* Message) = 0;
  // Queue a quit message behind the pending ones (window close request).
  virtual void PostQuit() = 0;

  // 256-byte key state in the engine's key numbering (Escape = 1); a byte of
  // 0x80 means held down. false when the keyboard cannot be read.
  virtual bool KeyboardState(uint8_t State[256]) = 0;

  // Show Text in a message box when a window system is present (best effort).
  virtual void ShowMessageBox(const char* Caption, const char* Text) = 0;

  // Keys pressed since the previous call, in the engine's key numbering
  // (0x80 for each, | KvPressedWithAlt when an Alt key was down at that
  // press), even those already released again: a tap shorter than a frame
  // is not lost, nor the Alt of a quick Alt+Enter. Devices without a
  // keyboard report none.
  virtual void TakeKeyPresses(uint8_t Pressed[256]) = 0;
  // Switches a window between the desktop's full screen and a window while
  // frames go on (the frame's size and depth stay), keeping the window's
  // place and maximised state for the way back. KVERR_UNSUPPORTED where
  // there is no window.
  virtual KvResult SetFullScreen(bool On) = 0;
  // The window's icon from Width x Height RGBA pixels (best effort).
  virtual void SetWindowIcon(const uint8_t* Rgba, int32_t Width, int32_t Height) = 0;
};
using KvDeviceRef = std::shared_ptr<KvDevice>;

// A colour fill with the device's recovery rules: busy -> call again; done ->
// wait until the device reports the fill finished; lost -> Restore() and skip
// this fill; any other failure -> skip it silently.
template <typename RestoreFn>
void KvFillWithRecovery(KvDevice& Device, KvSurface& Surface, const KvRect* Rect, uint32_t Color,
                        RestoreFn Restore) {
  for (;;) {
    const KvResult Result = Device.ColorFill(Surface, Rect, Color);
    if (Result == KV_OK) {
      while (Device.BltStatus(Surface) != KV_OK) {
      }
      return;
    }
    if (Result == KVERR_SURFACELOST) {
      Restore();
      return;
    }
    if (Result != KVERR_WASSTILLDRAWING) return;
  }
}

// Which device the display objects create. The show selects it from the
// command line; tests install headless or fault-injecting factories.
using KvDeviceFactory = std::function<KvDeviceRef()>;
void KvSetDeviceFactory(KvDeviceFactory Factory);
// Sets a factory that later KvSetDeviceFactory calls do not replace. The
// browser build locks its canvas device: the page's test mode is the show's
// offline run, which asks for the headless device, and must still draw on
// the page.
void KvLockDeviceFactory(KvDeviceFactory Factory);
// Returns nullptr when no device can be made (for instance no display);
// KvDeviceCreateError() then says why.
KvDeviceRef KvCreateDevice();
const std::string& KvDeviceCreateError();
void KvSetDeviceCreateError(const std::string& Text);

// How this build's window device looks. The defaults are a plain 640 x 480
// window for the engine's own programs.
struct KvWindowOptions {
  // Window size as a whole multiple of the frame; 0: the largest multiple
  // that fits the desktop's work area with the window's frame. A multiple
  // larger than that is lowered to it, and ScaleLowered hears of it.
  int32_t Scale = 1;
  std::function<void(int32_t Asked, int32_t Used)> ScaleLowered;
  // Frames shown only at whole multiples (centred, with bars), in the window
  // and full-screen; otherwise as large as fits at 4:3.
  bool IntegerScale = false;
  // Window class (X11) and app id (Wayland); empty: the platform's default.
  std::string AppId;
};
// The device KvCreateDevice makes when no factory is set: each build's
// platform part defines it (the SDL window, the Win32 window; the browser
// build refuses, its program locks the canvas device in).
KvDeviceRef KvMakeDefaultDevice(const KvWindowOptions& Options = KvWindowOptions());
// The options of that default device.
void KvSetWindowOptions(const KvWindowOptions& Options);

// The headless device's last presented frame, as a copy of the pixels in the
// display's format (KvHeadlessLastFrame, platform/headless/HeadlessDevice.h).
struct KvFrameCopy {
  int32_t Width = 0, Height = 0, Pitch = 0, Depth = 0;
  std::unique_ptr<uint8_t[]> Pixels;
};

// The frame's colours as 8-bit RGB, 3 bytes per pixel, rows top to bottom:
// what the PNG writer stores and what the browser's test mode hashes.
std::vector<uint8_t> KvFrameRgb(const KvFrameCopy& Frame);
// The same for pixels in place (Pitch bytes per row, Depth 15, 16, 24 or 32).
std::vector<uint8_t> KvFrameRgb(const uint8_t* Pixels, int32_t Width, int32_t Height, int32_t Pitch, int32_t Depth);
// One row of it: Width pixels at Src to 3 x Width bytes at Out. (Enlarging
// is the program's own: the show has one enlarger for every output.)
void KvRowToRgb(const uint8_t* Src, int32_t Width, int32_t Depth, uint8_t* Out);

// Write a frame copy as an 8-bit RGB PNG (png/FramePng.cpp): under Path only
// once complete, never half-written (AtomicFile.h). false on failure, with
// the reason (one line, naming Path) in Error when it is given.
// Sync false: not flushed to the disk one by one (a writer of many frames
// flushes them all at once at the end).
bool KvWriteFramePng(const KvFrameCopy& Frame, const std::string& Path, std::string* Error = nullptr,
                     bool Sync = true);
// The folder where the viewer saves screenshots; empty when there is none.
// Linux: $XDG_PICTURES_DIR, else the user-dirs file's XDG_PICTURES_DIR, else
// ~/Pictures when it exists. Windows: the Pictures known folder. The
// browser: none (the page offers a download instead).
std::string KvPicturesFolder();
// Read a PNG of at most MaxSide pixels a side as 8-bit RGBA (a window icon).
// false when it cannot be read or is larger.
bool KvReadPngRgba(const std::string& Path, int32_t MaxSide, std::vector<uint8_t>* Rgba, int32_t* Width,
                   int32_t* Height);
