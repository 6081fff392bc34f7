// The display object: window, screen surfaces, message pump.
#include "Kelvra.h"

#include "Errors.h"
#include "../draw/PixelFormat.h"

namespace {

// Window classes. The windowed class is registered once and reused; the
// full-screen class is registered by every full-screen display, so a second
// one while the first exists is refused.
bool WindowedClassRegistered = false;
bool FullScreenClassRegistered = false;

// Stand-in for the program's module handle.
char ModuleInstance;

constexpr const char* DepthNotSupported = "Desktop color depth not supported (only 15,16,24,32bit)";

bool SupportedDepth(int32_t Depth) { return Depth == 15 || Depth == 16 || Depth == 24 || Depth == 32; }

std::string NoDeviceMessage() {
  std::string Text = "No display available";
  const std::string& Why = KvDeviceCreateError();
  if (!Why.empty()) Text += " (" + Why + ")";
  return Text;
}

}  // namespace

uint8_t KvDepthFromFormat(const KvPixelFormat& Format) {
  if (Format.GreenMask == 0x3E0) return 15;
  return uint8_t(Format.RGBBitCount);
}

TKelvra::~TKelvra() {
  ReleaseSurfaces();
  DirectDraw.reset();
}

bool TKelvra::ProcessMessage() {
  if (!DirectDraw) return false;
  KvMessage Message;
  if (!DirectDraw->PeekMessage(&Message)) return true;
  // Other messages were handled by the device when it read them.
  return Message.Kind != KvMessageKind::Quit;
}

bool ProcessMessage(TKelvra* Display) { return Display ? Display->ProcessMessage() : false; }

void TKelvra::CreateSurfaces(bool FullScreenMode) {
  if (!DirectDraw) SetupError("DirectDrawCreate", NoDeviceMessage());
  const KvResult Result =
      DirectDraw->CreateScreen(ScreenWidth, ScreenHeight, FullScreenMode ? Depth : 0, FullScreenMode,
                               &PrimarySurface, &BackSurface);
  if (Result != KV_OK) SetupError(FullScreenMode ? "SetDisplayMode" : "CreateSurface", KvResultText(Result));
  KvPixelFormat Format;
  const KvResult FormatResult = DirectDraw->GetPixelFormat(&Format);
  if (FormatResult != KV_OK) SetupError("GetPixelFormat", KvResultText(FormatResult));
  Depth = KvDepthFromFormat(Format);
  DesktopDepth = Depth;
}

void TKelvra::SetGeometry(int32_t Width, int32_t Height) {
  ScreenWidth = Width;
  ScreenHeight = Height;
  MaxX = Width - 1;
  MaxY = Height - 1;
  HalfWidth = int32_t(uint32_t(Width) >> 1);
  HalfHeight = int32_t(uint32_t(Height) >> 1);
}

void TKelvra::ReleaseSurfaces() {
  BackSurface.reset();
  PrimarySurface.reset();
  if (DirectDraw) DirectDraw->ReleaseScreen();
}

void TKelvra::RestoreScreen() {
  if (!DirectDraw) return;
  if (PrimarySurface) DirectDraw->Restore(*PrimarySurface);
  if (!FullScreen && BackSurface) DirectDraw->Restore(*BackSurface);
}

void TKelvra::ClearBack(uint32_t Color) {
  if (DirectDraw && BackSurface) KvFillWithRecovery(*DirectDraw, *BackSurface, nullptr, Color, [this] { RestoreScreen(); });
}

void TKelvra::ClearScreen(uint32_t Color) {
  if (DirectDraw && PrimarySurface) KvFillWithRecovery(*DirectDraw, *PrimarySurface, nullptr, Color, [this] { RestoreScreen(); });
}

void TKelvra::Error(const std::string& Step, const std::string& Message) { ReportAndEnd(Tag, Step, Message); }

void TKelvra::SetupError(const std::string& Step, const std::string& Message) {
  ReportAndEnd("[TKelvra]", Step, Message);
}

void TKelvra::ReportAndEnd(const char* WithTag, const std::string& Step, const std::string& Message) {
  // Release what the object holds before the program ends (the object itself
  // may live on the stack, so it is not deleted here).
  ReleaseSurfaces();
  if (DirectDraw) DirectDraw->DestroyWindow();
  const std::string Line = KvErrorLine(WithTag, Step, Message);
  DirectDraw.reset();
  FatalError(Line.c_str());
}

TSelfKelvra::TSelfKelvra(int32_t Width, int32_t Height, const char* CaptionText) {
  Tag = "[TSelfKelvra]";
  ReleaseSurfaces();
  Caption = CaptionText;
  Instance = &ModuleInstance;
  if (!WindowedClassRegistered) WindowedClassRegistered = true;

  DirectDraw = KvCreateDevice();
  if (!DirectDraw) SetupError("DirectDrawCreate", NoDeviceMessage());
  Window = DirectDraw->CreateWindow(Caption ? Caption : "", Width, Height, false);
  if (Window == 0) Error("CreateWindowEx", "Error creating window...");

  SetGeometry(Width, Height);
  FullScreen = false;

  CreateSurfaces(false);
  if (!SupportedDepth(DesktopDepth)) Error("Create", DepthNotSupported);
  Depth = DesktopDepth;
  ClearScreen(0);
  ClearBack(0);
  FullScreenActive = FullScreen;
}

TSelfKelvra::~TSelfKelvra() {
  FullScreen = false;
  if (DirectDraw) DirectDraw->DestroyWindow();
  // The class stays registered while another windowed display may reuse it;
  // unregistering the last one changes nothing visible.
}

TSelfFullKelvra::TSelfFullKelvra(int32_t Width, int32_t Height, int32_t RequestedDepth, const char* CaptionText) {
  Tag = "[TSelfFullKelvra]";
  ReleaseSurfaces();
  Caption = CaptionText;
  Instance = &ModuleInstance;
  if (FullScreenClassRegistered) Error("RegisterClass", "Error registering window class...");
  FullScreenClassRegistered = true;
  OwnsClass = true;

  DirectDraw = KvCreateDevice();
  if (!DirectDraw) SetupError("DirectDrawCreate", NoDeviceMessage());
  Window = DirectDraw->CreateWindow(Caption ? Caption : "", Width, Height, true);
  if (Window == 0) Error("CreateWindowEx", "Error creating window...");

  SetGeometry(Width, Height);

  // The requested depth is checked before the display mode is touched.
  if (!SupportedDepth(RequestedDepth)) Error("Create", DepthNotSupported);
  Depth = uint8_t(RequestedDepth);
  FullScreen = true;
  CreateSurfaces(true);
  ClearScreen(0);
  ClearBack(0);
  FullScreenActive = FullScreen;
}

TSelfFullKelvra::~TSelfFullKelvra() {
  ReleaseSurfaces();
  FullScreen = false;
  if (DirectDraw) DirectDraw->DestroyWindow();
  if (OwnsClass) FullScreenClassRegistered = false;
}
