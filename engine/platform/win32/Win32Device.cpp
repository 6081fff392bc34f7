// The Win32 display device (see Win32Device.h).
//
//   Set-up        KvMakeWin32Device, CreateWindow, CreateScreen
//   Presenting    Present: StretchDIBits into the letterboxed picture area
//   Full screen   SetFullScreen: a borderless window over the monitor and back
//   Messages      the window procedure feeds the memory device's FIFO, the
//                 key state and the presses latched between reads
#include "Win32Device.h"

#include "WindowsHeaders.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "../../core/Letterbox.h"
#include "../../core/MemoryDevice.h"
#include "../../core/PlatformSleep.h"
#include "FatalReport.h"
#include "WideText.h"

namespace {

constexpr const wchar_t* WindowClass = L"KelvraWindow";
constexpr DWORD WindowedStyle = WS_OVERLAPPEDWINDOW;
constexpr DWORD FullStyle = WS_POPUP;
constexpr UINT CoverAgain = WM_APP + 1;  // full screen: cover the monitor again
// A window hides the pointer that rests over the picture this long.
constexpr UINT_PTR IdleTimer = 1;
constexpr UINT PointerIdleMs = 2000;

// Per-monitor DPI awareness: version 2 where Windows has it (10 1703 on),
// version 1 through shcore on 8.1, the system-wide kind on 7. The manifest
// asks for the same; this covers a copy of the exe that lost it. Looked up
// at run time so the exe still starts on Windows 7.
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

// The engine's number of a key message: its set-1 scan code, extended keys
// as 0x80 | code. A message without a scan code (some injected keys) gets
// the one of its virtual key.
uint8_t KeyOf(WPARAM Virtual, LPARAM Param) {
  uint8_t Code = uint8_t((Param >> 16) & 0x7F);
  if (Code == 0) Code = uint8_t(MapVirtualKeyW(UINT(Virtual), MAPVK_VK_TO_VSC) & 0x7F);
  return (Param & (1 << 24)) ? uint8_t(0x80 | Code) : Code;
}

RECT WorkAreaOf(HWND Window) {
  MONITORINFO Info = {};
  Info.cbSize = sizeof Info;
  GetMonitorInfoW(MonitorFromWindow(Window, MONITOR_DEFAULTTOPRIMARY), &Info);
  return Info.rcWork;
}

class Win32Device final : public KvMemoryDevice {
 public:
  explicit Win32Device(const KvWindowOptions& O) : KvMemoryDevice(32), Options(O) {}
  ~Win32Device() override {
    ReleaseScreen();
    DestroyWindow();
    if (Icon) DestroyIcon(Icon);
  }

  // --- set-up -----------------------------------------------------------
  uint32_t CreateWindow(const char* Caption, int32_t Width, int32_t Height, bool FullScreen) override {
    if (Window || Width <= 0 || Height <= 0) return 0;
    FrameWidth = Width;
    FrameHeight = Height;
    const std::wstring Title = KvWide(Caption ? Caption : "");
    KvSetFatalCaption(Title.c_str());
    // Made hidden in its windowed place, so that a full-screen start has a
    // window to come back to.
    Window = CreateWindowExW(0, WindowClass, Title.c_str(), WindowedStyle, CW_USEDEFAULT, CW_USEDEFAULT, Width,
                             Height, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    if (!Window) return 0;
    PlaceWindow();
    if (FullScreen) EnterFullScreen();
    KvSetFatalWindow(Window);
    ShowWindow(Window, SW_SHOW);
    SetForegroundWindow(Window);
    UpdateWindow(Window);
    return uint32_t(reinterpret_cast<uintptr_t>(Window) & 0xFFFFFFFFu) | 1u;
  }

  void DestroyWindow() override {
    if (!Window) return;
    HWND Old = Window;
    Window = nullptr;
    KvSetFatalWindow(nullptr);
    ::DestroyWindow(Old);
    if (Full) ShowCursor(TRUE);
    Full = false;
  }

  KvResult CreateScreen(int32_t Width, int32_t Height, int32_t Depth, bool FullScreen, KvSurfaceRef* Primary,
                        KvSurfaceRef* Back) override {
    if (!Window) return KVERR_NODISPLAY;
    // Full-screen takes the depth asked for literally (the desktop keeps its
    // mode; the DIB carries the depth). A window draws at 32 bits, the depth
    // of every desktop since Windows 8.
    if (FullScreen && Depth != 15 && Depth != 16 && Depth != 24 && Depth != 32) return KVERR_INVALIDMODE;
    LastFrame = nullptr;
    return KvMemoryDevice::CreateScreen(Width, Height, Depth, FullScreen, Primary, Back);
  }
  void ReleaseScreen() override { LastFrame = nullptr; }

  // --- presenting -------------------------------------------------------
  KvResult Present(KvSurface& Src, bool) override {
    if (!Window || !Src.Pixels || Src.BytesPerPixel <= 0) return KVERR_GENERIC;
    Pump();
    if (!Window) return KVERR_GENERIC;
    LastFrame = &Src;
    HDC Dc = GetDC(Window);
    Draw(Dc);
    ReleaseDC(Window, Dc);
    return KV_OK;
  }

  // --- full screen ------------------------------------------------------
  KvResult SetFullScreen(bool On) override {
    if (!Window) return KVERR_NODISPLAY;
    if (On == Full) return KV_OK;
    if (On)
      EnterFullScreen();
    else
      LeaveFullScreen();
    InvalidateRect(Window, nullptr, FALSE);
    return KV_OK;
  }

  void SetWindowIcon(const uint8_t* Rgba, int32_t Width, int32_t Height) override {
    if (!Window || !Rgba || Width <= 0 || Height <= 0) return;
    // A top-down 32-bit DIB with alpha: B, G, R, A.
    BITMAPV5HEADER Header = {};
    Header.bV5Size = sizeof Header;
    Header.bV5Width = Width;
    Header.bV5Height = -Height;
    Header.bV5Planes = 1;
    Header.bV5BitCount = 32;
    Header.bV5Compression = BI_BITFIELDS;
    Header.bV5RedMask = 0x00FF0000;
    Header.bV5GreenMask = 0x0000FF00;
    Header.bV5BlueMask = 0x000000FF;
    Header.bV5AlphaMask = 0xFF000000;
    void* Bits = nullptr;
    HDC Screen = GetDC(nullptr);
    HBITMAP Color = CreateDIBSection(Screen, reinterpret_cast<BITMAPINFO*>(&Header), DIB_RGB_COLORS, &Bits, nullptr, 0);
    ReleaseDC(nullptr, Screen);
    if (!Color || !Bits) return;
    uint8_t* Out = static_cast<uint8_t*>(Bits);
    for (size_t I = 0, N = size_t(Width) * size_t(Height) * 4; I < N; I += 4) {
      Out[I] = Rgba[I + 2];
      Out[I + 1] = Rgba[I + 1];
      Out[I + 2] = Rgba[I];
      Out[I + 3] = Rgba[I + 3];
    }
    HBITMAP Mask = CreateBitmap(Width, Height, 1, 1, nullptr);
    ICONINFO Info = {TRUE, 0, 0, Mask, Color};
    HICON Made = CreateIconIndirect(&Info);
    DeleteObject(Mask);
    DeleteObject(Color);
    if (!Made) return;
    SendMessageW(Window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(Made));
    SendMessageW(Window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(Made));
    if (Icon) DestroyIcon(Icon);
    Icon = Made;
  }

  // --- messages and keys ------------------------------------------------
  bool PeekMessage(KvMessage* Message) override {
    Pump();
    return KvMemoryDevice::PeekMessage(Message);
  }

  bool KeyboardState(uint8_t State[256]) override {
    Pump();
    return KvMemoryDevice::KeyboardState(State);
  }

  void TakeKeyPresses(uint8_t Pressed[256]) override {
    Pump();
    std::memcpy(Pressed, Presses, 256);
    std::memset(Presses, 0, 256);
  }

  void ShowMessageBox(const char* Caption, const char* Text) override {
    MessageBoxW(Window, KvWide(Text ? Text : "").c_str(), KvWide(Caption ? Caption : "").c_str(), MB_OK | MB_ICONERROR);
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
  // The window's client area as a whole multiple of the frame, centred on
  // the work area: the option's multiple, or the largest that fits with
  // the window's frame (a multiple that does not fit is made smaller).
  void PlaceWindow() {
    const RECT Work = WorkAreaOf(Window);
    const int WorkW = Work.right - Work.left, WorkH = Work.bottom - Work.top;
    RECT Frame = {0, 0, 0, 0};
    AdjustWindowRectEx(&Frame, WindowedStyle, FALSE, 0);
    const int ExtraW = Frame.right - Frame.left, ExtraH = Frame.bottom - Frame.top;
    const int Fit = std::max(1, std::min((WorkW - ExtraW) / FrameWidth, (WorkH - ExtraH) / FrameHeight));
    int Scale = Options.Scale > 0 ? Options.Scale : Fit;
    if (Scale > Fit) {
      std::fprintf(stderr, "Kelvra: a window %d times the frame does not fit the screen; %d times is used\n", Scale,
                   Fit);
      std::fflush(stderr);
      Scale = Fit;
    }
    const int W = FrameWidth * Scale + ExtraW, H = FrameHeight * Scale + ExtraH;
    SetWindowPos(Window, nullptr, Work.left + std::max(0, (WorkW - W) / 2), Work.top + std::max(0, (WorkH - H) / 2),
                 W, H, SWP_NOZORDER | SWP_NOACTIVATE);
  }

  // The windowed place and state (maximised or not) are kept, so that
  // leaving full screen gives back the same window.
  void EnterFullScreen() {
    Placement.length = sizeof Placement;
    GetWindowPlacement(Window, &Placement);
    const LONG_PTR Visible = GetWindowLongPtrW(Window, GWL_STYLE) & WS_VISIBLE;
    SetWindowLongPtrW(Window, GWL_STYLE, LONG_PTR(FullStyle) | Visible);
    Full = true;
    Corrections = 0;
    CoverMonitor();
    ShowCursor(FALSE);
  }

  RECT MonitorRect() const {
    MONITORINFO Info = {};
    Info.cbSize = sizeof Info;
    GetMonitorInfoW(MonitorFromWindow(Window, MONITOR_DEFAULTTOPRIMARY), &Info);
    return Info.rcMonitor;
  }

  void CoverMonitor() {
    const RECT R = MonitorRect();
    SetWindowPos(Window, HWND_TOP, R.left, R.top, R.right - R.left, R.bottom - R.top,
                 SWP_NOOWNERZORDER | SWP_FRAMECHANGED);
  }

  // A full-screen window that something else moved or sized (an X window
  // manager answering an older request, under Wine) covers the monitor
  // again; a few times per switch, so that nothing is fought for ever.
  void KeepCoveringMonitor() {
    if (!Full || Corrections >= 8) return;
    RECT Now, Want = MonitorRect();
    GetWindowRect(Window, &Now);
    if (EqualRect(&Now, &Want)) return;
    ++Corrections;
    PostMessageW(Window, CoverAgain, 0, 0);
  }

  void LeaveFullScreen() {
    const LONG_PTR Visible = GetWindowLongPtrW(Window, GWL_STYLE) & WS_VISIBLE;
    SetWindowLongPtrW(Window, GWL_STYLE, LONG_PTR(WindowedStyle) | Visible);
    SetWindowPlacement(Window, &Placement);
    SetWindowPos(Window, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_FRAMECHANGED);
    Full = false;
    ShowCursor(TRUE);
  }

  bool PointerOverClient() const {
    POINT P;
    RECT Client;
    if (!GetCursorPos(&P) || WindowFromPoint(P) != Window) return false;
    ScreenToClient(Window, &P);
    GetClientRect(Window, &Client);
    return PtInRect(&Client, P) != FALSE;
  }

  // The last frame letterboxed in the client area, the bars black.
  void Draw(HDC Dc) {
    RECT Client;
    GetClientRect(Window, &Client);
    HBRUSH Black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    if (!LastFrame || !LastFrame->Pixels) {
      FillRect(Dc, &Client, Black);
      return;
    }
    const KvSurface& Src = *LastFrame;
    const KvRect To = KvLetterbox(Client.right, Client.bottom, Src.Width, Src.Height, Options.IntegerScale);
    const RECT Bars[4] = {{0, 0, Client.right, To.Top},
                          {0, To.Bottom, Client.right, Client.bottom},
                          {0, To.Top, To.Left, To.Bottom},
                          {To.Right, To.Top, Client.right, To.Bottom}};
    for (const RECT& Bar : Bars)
      if (Bar.right > Bar.left && Bar.bottom > Bar.top) FillRect(Dc, &Bar, Black);
    // The DIB is as wide as the pitch, so rows are read in place; only the
    // frame's own columns are shown.
    const int32_t Stride = Src.Pitch / Src.BytesPerPixel;
    const DibHeader Dib = DibFor(ScreenDepth, Stride, Src.Height);
    SetStretchBltMode(Dc, COLORONCOLOR);
    StretchDIBits(Dc, To.Left, To.Top, To.Right - To.Left, To.Bottom - To.Top, 0, 0, Src.Width, Src.Height,
                  Src.Pixels, reinterpret_cast<const BITMAPINFO*>(&Dib), DIB_RGB_COLORS, SRCCOPY);
  }

  void Pump() {
    MSG Msg;
    while (Window && ::PeekMessageW(&Msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&Msg);
      DispatchMessageW(&Msg);
    }
  }

  void KeyDown(UINT Message, WPARAM W, LPARAM L) {
    const uint8_t Key = KeyOf(W, L);
    if (!(L & (1 << 30))) {  // not a repeat
      QueueMessage(KvMessage{KvMessageKind::Other, Message});
      const bool Alt = (L & (1 << 29)) || GetKeyState(VK_MENU) < 0;
      Presses[Key] = uint8_t(0x80 | (Alt ? KvPressedWithAlt : 0));
    }
    SetKey(Key, true);
  }

  bool Handle(HWND Hwnd, UINT Message, WPARAM W, LPARAM L, LRESULT& Result) {
    switch (Message) {
      case WM_CLOSE:
        // The show ends itself: the close box only asks.
        PostQuit();
        return true;
      case WM_KEYDOWN:
        KeyDown(Message, W, L);
        return true;
      case WM_SYSKEYDOWN:
        KeyDown(Message, W, L);
        return W != VK_F4;  // Alt+F4 stays Windows' (it closes the window)
      case WM_KEYUP:
      case WM_SYSKEYUP:
        SetKey(KeyOf(W, L), false);
        QueueMessage(KvMessage{KvMessageKind::Other, Message});
        return Message == WM_KEYUP || W == VK_MENU || W == VK_F10;  // no menu mode: there is no menu
      case WM_SYSCHAR:
        return true;  // Alt+Enter and Alt+letters: no beep
      case WM_SYSCOMMAND:
        if ((W & 0xFFF0) == SC_KEYMENU) return true;
        return false;
      case WM_KILLFOCUS:
        for (int K = 0; K < 256; ++K) SetKey(uint8_t(K), false);
        return false;
      case WM_SETCURSOR:
        if ((Full || PointerIdle) && LOWORD(L) == HTCLIENT) {
          SetCursor(nullptr);
          Result = TRUE;
          return true;
        }
        return false;
      case WM_MOUSEMOVE:
        // Windows also sends one when nothing moved (a window changed
        // under the pointer): only a new place counts.
        if (L != LastPointer) {
          LastPointer = L;
          if (PointerIdle) SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
          PointerIdle = false;
          SetTimer(Hwnd, IdleTimer, PointerIdleMs, nullptr);
        }
        return false;
      case WM_TIMER:
        if (W != IdleTimer) return false;
        // The pointer still over the picture hides (the next WM_SETCURSOR
        // keeps it hidden) until it moves again.
        KillTimer(Hwnd, IdleTimer);
        PointerIdle = true;
        if (PointerOverClient()) SetCursor(nullptr);
        return true;
      case WM_GETMINMAXINFO:
        // Smaller than a quarter of the frame it cannot be read.
        if (FrameWidth > 0) {
          RECT R = {0, 0, FrameWidth / 2, FrameHeight / 2};
          AdjustWindowRectEx(&R, WindowedStyle, FALSE, 0);
          auto* Info = reinterpret_cast<MINMAXINFO*>(L);
          Info->ptMinTrackSize.x = R.right - R.left;
          Info->ptMinTrackSize.y = R.bottom - R.top;
        }
        return true;
      case WM_WINDOWPOSCHANGED:
        KeepCoveringMonitor();
        return false;
      case CoverAgain:
        if (Full) CoverMonitor();
        return true;
      case WM_ERASEBKGND:
        Result = 1;  // Present and WM_PAINT cover every pixel
        return true;
      case WM_PAINT: {
        PAINTSTRUCT Paint;
        HDC Dc = BeginPaint(Hwnd, &Paint);
        Draw(Dc);
        EndPaint(Hwnd, &Paint);
        return true;
      }
      case 0x02E0:  // WM_DPICHANGED: Windows' suggested place at the new scale
        if (!Full) {
          const RECT* Suggested = reinterpret_cast<const RECT*>(L);
          SetWindowPos(Hwnd, nullptr, Suggested->left, Suggested->top, Suggested->right - Suggested->left,
                       Suggested->bottom - Suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        }
        return true;
      default:
        return false;
    }
  }

  const KvWindowOptions Options;
  HWND Window = nullptr;
  HICON Icon = nullptr;
  bool Full = false;
  WINDOWPLACEMENT Placement = {};
  bool PointerIdle = false;
  LPARAM LastPointer = -1;
  int Corrections = 0;  // KeepCoveringMonitor's, since the last switch to full screen
  int32_t FrameWidth = 0, FrameHeight = 0;
  const KvSurface* LastFrame = nullptr;  // the primary surface, alive while the screen is
  uint8_t Presses[256] = {};
};

bool RegisterWindowClass(std::string& Why) {
  static bool Registered = false;
  if (Registered) return true;
  HINSTANCE Instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW Class = {};
  Class.cbSize = sizeof Class;
  Class.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
  Class.lpfnWndProc = Win32Device::Procedure;
  Class.hInstance = Instance;
  Class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  // The exe's own icon (resource 1, show/win32/nerith.rc), else Windows'.
  Class.hIcon = LoadIconW(Instance, MAKEINTRESOURCEW(1));
  if (!Class.hIcon) Class.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  Class.lpszClassName = WindowClass;
  if (!RegisterClassExW(&Class)) {
    Why = "RegisterClassEx failed (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  Registered = true;
  return true;
}

}  // namespace

KvDeviceRef KvMakeWin32Device(const KvWindowOptions& Options) {
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
  KvInstallWin32FatalHooks();
  return std::make_shared<Win32Device>(Options);
}

// The Windows build's display is its own window device.
KvDeviceRef KvMakeDefaultDevice(const KvWindowOptions& Options) { return KvMakeWin32Device(Options); }

void KvPlatformSleep(uint32_t Milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(Milliseconds)); }
