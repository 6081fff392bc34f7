// The Win32 display device (see Win32Device.h).
//
//   Set-up        KvMakeWin32Device, CreateWindow, CreateScreen
//   Presenting    Present: StretchDIBits into the picture area
//   Messages      the window procedure feeds our own FIFO and the key state
//   Fatal hooks   close the window, message box
#include "Win32Device.h"

#include "WindowsHeaders.h"

#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

#include "../../Errors.h"

namespace {

constexpr const wchar_t* WindowClass = L"KelvraWindow";

std::wstring Wide(const char* Text) {
  const int Size = MultiByteToWideChar(CP_UTF8, 0, Text, -1, nullptr, 0);
  if (Size <= 1) return std::wstring();
  std::wstring Out(size_t(Size - 1), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, Text, -1, Out.data(), Size);
  return Out;
}

// --- fatal hooks (plain functions over global state) --------------------
HWND FatalWindow = nullptr;
std::wstring BoxCaption = L"Kelvra";

void CloseForFatal(const char*) {
  // The window goes before the report, so a full-screen window gives the
  // desktop back and the box is not hidden behind it.
  if (FatalWindow) DestroyWindow(FatalWindow);
  FatalWindow = nullptr;
  ShowCursor(TRUE);
}

void FatalBox(const char* Text) {
  const char* Off = std::getenv("KELVRA_NO_MESSAGEBOX");
  if (Off && *Off && std::strcmp(Off, "0") != 0) return;
  MessageBoxW(nullptr, Wide(Text).c_str(), BoxCaption.c_str(), MB_OK | MB_ICONERROR);
}

// Per-monitor DPI awareness: version 2 where Windows has it (10 1703 on),
// version 1 through shcore on 8.1, the system-wide kind on 7. Looked up at
// run time so the exe still starts on Windows 7.
void BecomeDpiAware() {
  using ContextFn = BOOL(WINAPI*)(HANDLE);
  using ShcoreFn = HRESULT(WINAPI*)(int);
  if (HMODULE User = GetModuleHandleW(L"user32.dll")) {
    const auto SetContext =
        reinterpret_cast<ContextFn>(reinterpret_cast<void*>(GetProcAddress(User, "SetProcessDpiAwarenessContext")));
    if (SetContext && SetContext(reinterpret_cast<HANDLE>(-4))) return;  // PER_MONITOR_AWARE_V2
  }
  if (HMODULE Shcore = LoadLibraryW(L"shcore.dll")) {
    const auto SetAwareness =
        reinterpret_cast<ShcoreFn>(reinterpret_cast<void*>(GetProcAddress(Shcore, "SetProcessDpiAwareness")));
    if (SetAwareness && SUCCEEDED(SetAwareness(2))) return;  // PROCESS_PER_MONITOR_DPI_AWARE
  }
  SetProcessDPIAware();
}

UINT WindowDpi(HWND Window) {
  using DpiFn = UINT(WINAPI*)(HWND);
  static const auto GetDpi = reinterpret_cast<DpiFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  const UINT Dpi = GetDpi && Window ? GetDpi(Window) : 0;
  if (Dpi) return Dpi;
  HDC Screen = GetDC(nullptr);
  const int Logical = GetDeviceCaps(Screen, LOGPIXELSX);
  ReleaseDC(nullptr, Screen);
  return Logical > 0 ? UINT(Logical) : 96;
}

// The DIB header for a surface of the engine's layout: 15 is the DIB's own
// 16-bit default (5-5-5), 16 needs its masks, 24 is B, G, R bytes and 32 is
// 0x00RRGGBB, both as the engine stores them. Negative height: top row first.
struct DibHeader {
  BITMAPINFOHEADER Header;
  DWORD Masks[3];
};

DibHeader DibFor(int Depth, int32_t Width, int32_t Height) {
  DibHeader D = {};
  D.Header.biSize = sizeof(BITMAPINFOHEADER);
  D.Header.biWidth = Width;
  D.Header.biHeight = -Height;
  D.Header.biPlanes = 1;
  D.Header.biBitCount = WORD(Depth == 15 ? 16 : Depth);
  D.Header.biCompression = BI_RGB;
  if (Depth == 16) {
    D.Header.biCompression = BI_BITFIELDS;
    D.Masks[0] = 0xF800;
    D.Masks[1] = 0x07E0;
    D.Masks[2] = 0x001F;
  }
  return D;
}

KvPixelFormat PixelFormatOfDepth(int Depth) {
  KvPixelFormat Out;
  Out.RGBBitCount = Depth == 15 ? 16 : uint32_t(Depth);
  Out.GreenMask = Depth == 15 ? 0x3E0 : Depth == 16 ? 0x7E0 : 0xFF00;
  return Out;
}

// Set-1 scan code of a key message, extended keys as 0x80 | code.
uint8_t KeyOf(LPARAM Param) {
  const uint8_t Code = uint8_t((Param >> 16) & 0x7F);
  return (Param & (1 << 24)) ? uint8_t(0x80 | Code) : Code;
}

class Win32Device final : public KvDevice {
 public:
  ~Win32Device() override {
    ReleaseScreen();
    DestroyWindow();
  }

  // --- set-up -----------------------------------------------------------
  uint32_t CreateWindow(const char* Caption, int32_t Width, int32_t Height, bool FullScreen) override {
    if (Window || Width <= 0 || Height <= 0) return 0;
    FrameWidth = Width;
    FrameHeight = Height;
    Full = FullScreen;
    const std::wstring Title = Wide(Caption ? Caption : "");
    BoxCaption = Title.empty() ? L"Kelvra" : Title;
    HINSTANCE Instance = GetModuleHandleW(nullptr);
    if (FullScreen) {
      // The monitor the show starts on: the one under the window that was in
      // front when it started (the console or the file browser).
      HMONITOR Monitor = MonitorFromWindow(GetForegroundWindow(), MONITOR_DEFAULTTOPRIMARY);
      MONITORINFO Info = {};
      Info.cbSize = sizeof Info;
      GetMonitorInfoW(Monitor, &Info);
      const RECT& R = Info.rcMonitor;
      Window = CreateWindowExW(WS_EX_APPWINDOW, WindowClass, Title.c_str(), WS_POPUP, R.left, R.top,
                               R.right - R.left, R.bottom - R.top, nullptr, nullptr, Instance, this);
    } else {
      const DWORD Style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
      Window = CreateWindowExW(0, WindowClass, Title.c_str(), Style, CW_USEDEFAULT, CW_USEDEFAULT, Width, Height,
                               nullptr, nullptr, Instance, this);
      if (Window) FitWindow(WindowDpi(Window));
    }
    if (!Window) return 0;
    FatalWindow = Window;
    ShowWindow(Window, SW_SHOW);
    SetForegroundWindow(Window);
    UpdateWindow(Window);
    if (FullScreen) {
      ShowCursor(FALSE);
      CursorHidden = true;
    }
    return uint32_t(reinterpret_cast<uintptr_t>(Window) & 0xFFFFFFFFu) | 1u;
  }

  void DestroyWindow() override {
    if (!Window) return;
    HWND Old = Window;
    Window = nullptr;
    if (FatalWindow == Old) FatalWindow = nullptr;
    ::DestroyWindow(Old);
    if (CursorHidden) ShowCursor(TRUE);
    CursorHidden = false;
  }

  KvResult CreateScreen(int32_t Width, int32_t Height, int32_t Depth, bool FullScreen, KvSurfaceRef* Primary,
                        KvSurfaceRef* Back) override {
    if (!Window) return KVERR_NODISPLAY;
    // Full-screen takes the depth asked for literally (the desktop keeps its
    // mode; the DIB carries the depth). A window draws at 32 bits, the depth
    // of every desktop since Windows 8.
    if (FullScreen && Depth != 15 && Depth != 16 && Depth != 24 && Depth != 32) return KVERR_INVALIDMODE;
    ScreenDepth = FullScreen ? Depth : 32;
    Memory = KvMakeHeadlessDevice(ScreenDepth);
    return Memory->CreateScreen(Width, Height, ScreenDepth, true, Primary, Back);
  }
  void ReleaseScreen() override {}
  KvResult GetPixelFormat(KvPixelFormat* Out) override {
    if (!Memory) return KVERR_NODISPLAY;
    *Out = PixelFormatOfDepth(ScreenDepth);
    return KV_OK;
  }

  // --- memory side ------------------------------------------------------
  KvResult CreateSurface(int32_t Width, int32_t Height, bool VideoMemory, KvSurfaceRef* Out) override {
    if (!Memory) return KVERR_NODISPLAY;
    return Memory->CreateSurface(Width, Height, VideoMemory, Out);
  }
  KvResult Restore(KvSurface& Surface) override {
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
  KvResult Present(KvSurface& Src, bool) override {
    if (!Window || !Src.Pixels || Src.BytesPerPixel <= 0) return KVERR_GENERIC;
    Pump();
    if (!Window) return KVERR_GENERIC;
    LastFrame = &Src;
    HDC Dc = GetDC(Window);
    Draw(Dc, Src);
    ReleaseDC(Window, Dc);
    return KV_OK;
  }

  // --- messages ---------------------------------------------------------
  bool PeekMessage(KvMessage* Message) override {
    Pump();
    if (Queue.empty()) return false;
    *Message = Queue.front();
    Queue.pop_front();
    return true;
  }
  void PostQuit() override { Queue.push_back(KvMessage{KvMessageKind::Quit, 0}); }

  // A key pressed since the last read counts as down once, even if its
  // release came in the same batch of messages (a quick tap between frames).
  bool KeyboardState(uint8_t State[256]) override {
    Pump();
    for (int K = 0; K < 256; ++K) State[K] = uint8_t(Keys[K] | Tapped[K]);
    std::memset(Tapped, 0, sizeof Tapped);
    return true;
  }

  void ShowMessageBox(const char* Caption, const char* Text) override {
    MessageBoxW(Window, Wide(Text ? Text : "").c_str(), Wide(Caption ? Caption : "").c_str(), MB_OK | MB_ICONERROR);
  }

  static LRESULT CALLBACK Procedure(HWND Hwnd, UINT Message, WPARAM W, LPARAM L) {
    if (Message == WM_NCCREATE) {
      auto* Create = reinterpret_cast<CREATESTRUCTW*>(L);
      SetWindowLongPtrW(Hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Create->lpCreateParams));
    }
    auto* Self = reinterpret_cast<Win32Device*>(GetWindowLongPtrW(Hwnd, GWLP_USERDATA));
    if (Self) {
      LRESULT Result = 0;
      if (Self->Handle(Hwnd, Message, W, L, Result)) return Result;
    }
    return DefWindowProcW(Hwnd, Message, W, L);
  }

 private:
  // The client area at Dpi: the frame's size times the monitor's scale.
  void FitWindow(UINT Dpi) {
    RECT R = {0, 0, MulDiv(FrameWidth, int(Dpi), 96), MulDiv(FrameHeight, int(Dpi), 96)};
    const DWORD Style = DWORD(GetWindowLongW(Window, GWL_STYLE));
    AdjustWindowRectEx(&R, Style, FALSE, 0);
    const int W = R.right - R.left, H = R.bottom - R.top;
    RECT Work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &Work, 0);
    const int X = Work.left + ((Work.right - Work.left) - W) / 2;
    const int Y = Work.top + ((Work.bottom - Work.top) - H) / 2;
    SetWindowPos(Window, nullptr, X < Work.left ? Work.left : X, Y < Work.top ? Work.top : Y, W, H,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }

  // The picture's place in the client area: all of it in a window, the
  // largest rectangle of the frame's shape in full-screen, centred.
  RECT PictureArea() const {
    RECT Client;
    GetClientRect(Window, &Client);
    if (!Full) return Client;
    const int CW = Client.right, CH = Client.bottom;
    int W = CW, H = int(int64_t(CW) * FrameHeight / FrameWidth);
    if (H > CH) {
      H = CH;
      W = int(int64_t(CH) * FrameWidth / FrameHeight);
    }
    const int X = (CW - W) / 2, Y = (CH - H) / 2;
    return RECT{X, Y, X + W, Y + H};
  }

  void Draw(HDC Dc, const KvSurface& Src) {
    const RECT To = PictureArea();
    if (Full) {
      // Black bars around the picture (only where it does not cover).
      RECT Client;
      GetClientRect(Window, &Client);
      HBRUSH Black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
      const RECT Bars[4] = {{0, 0, Client.right, To.top},
                            {0, To.bottom, Client.right, Client.bottom},
                            {0, To.top, To.left, To.bottom},
                            {To.right, To.top, Client.right, To.bottom}};
      for (const RECT& Bar : Bars)
        if (Bar.right > Bar.left && Bar.bottom > Bar.top) FillRect(Dc, &Bar, Black);
    }
    // The DIB is as wide as the pitch, so rows are read in place; only the
    // frame's own columns are shown.
    const int32_t Stride = Src.Pitch / Src.BytesPerPixel;
    const DibHeader Dib = DibFor(ScreenDepth, Stride, Src.Height);
    SetStretchBltMode(Dc, COLORONCOLOR);
    StretchDIBits(Dc, To.left, To.top, To.right - To.left, To.bottom - To.top, 0, 0, Src.Width, Src.Height,
                  Src.Pixels, reinterpret_cast<const BITMAPINFO*>(&Dib), DIB_RGB_COLORS, SRCCOPY);
  }

  void Pump() {
    MSG Msg;
    while (Window && ::PeekMessageW(&Msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&Msg);
      DispatchMessageW(&Msg);
    }
  }

  bool Handle(HWND Hwnd, UINT Message, WPARAM W, LPARAM L, LRESULT& Result) {
    switch (Message) {
      case WM_CLOSE:
        // The show ends itself: the close box only asks.
        PostQuit();
        return true;
      case WM_KEYDOWN:
      case WM_SYSKEYDOWN:
        if (!(L & (1 << 30))) Queue.push_back(KvMessage{KvMessageKind::Other, Message});
        Keys[KeyOf(L)] = 0x80;
        Tapped[KeyOf(L)] = 0x80;
        return Message == WM_KEYDOWN;  // Alt+F4 and the system menu stay Windows'
      case WM_KEYUP:
      case WM_SYSKEYUP:
        Keys[KeyOf(L)] = 0;
        Queue.push_back(KvMessage{KvMessageKind::Other, Message});
        return Message == WM_KEYUP;
      case WM_KILLFOCUS:
        std::memset(Keys, 0, sizeof Keys);
        return false;
      case WM_SETCURSOR:
        if (Full && LOWORD(L) == HTCLIENT) {
          SetCursor(nullptr);
          Result = TRUE;
          return true;
        }
        return false;
      case WM_ERASEBKGND:
        Result = 1;  // Present and WM_PAINT cover every pixel
        return true;
      case WM_PAINT: {
        PAINTSTRUCT Paint;
        HDC Dc = BeginPaint(Hwnd, &Paint);
        if (LastFrame && LastFrame->Pixels) {
          Draw(Dc, *LastFrame);
        } else {
          RECT Client;
          GetClientRect(Hwnd, &Client);
          FillRect(Dc, &Client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        }
        EndPaint(Hwnd, &Paint);
        return true;
      }
      case 0x02E0:  // WM_DPICHANGED: keep the client area the frame's size at the new scale
        if (!Full) {
          const RECT* Suggested = reinterpret_cast<const RECT*>(L);
          SetWindowPos(Hwnd, nullptr, Suggested->left, Suggested->top, Suggested->right - Suggested->left,
                       Suggested->bottom - Suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        }
        (void)W;
        return true;
      default:
        return false;
    }
  }

  HWND Window = nullptr;
  bool Full = false;
  bool CursorHidden = false;
  int32_t FrameWidth = 0, FrameHeight = 0;
  int ScreenDepth = 32;
  KvDeviceRef Memory;
  const KvSurface* LastFrame = nullptr;  // the primary surface, alive while the screen is
  std::deque<KvMessage> Queue;
  uint8_t Keys[256] = {};
  uint8_t Tapped[256] = {};
};

bool RegisterWindowClass(std::string& Why) {
  static bool Registered = false;
  if (Registered) return true;
  WNDCLASSEXW Class = {};
  Class.cbSize = sizeof Class;
  Class.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
  Class.lpfnWndProc = Win32Device::Procedure;
  Class.hInstance = GetModuleHandleW(nullptr);
  Class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  Class.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  Class.lpszClassName = WindowClass;
  if (!RegisterClassExW(&Class)) {
    Why = "RegisterClassEx failed (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  Registered = true;
  return true;
}

}  // namespace

KvDeviceRef KvMakeWin32Device() {
  static bool Prepared = false;
  if (!Prepared) {
    BecomeDpiAware();
    // Sleep in 1 ms steps, as the frame cap expects (the default is 15.6 ms).
    timeBeginPeriod(1);
    Prepared = true;
  }
  std::string Why;
  if (!RegisterWindowClass(Why)) {
    KvSetDeviceCreateError(Why);
    return nullptr;
  }
  KvSetRestoreDesktopHook(CloseForFatal);
  KvSetMessageBoxHook(FatalBox);
  return std::make_shared<Win32Device>();
}

// The Windows build has no SDL2: the window device is its display.
KvDeviceRef KvMakeSdlDevice() { return KvMakeWin32Device(); }
