// The display object and its two forms.
//
//   TKelvra          - base: display geometry, depth, the device and its
//                      primary and back surfaces, the message pump.
//   TSelfKelvra      - a framed window centred on the desktop, desktop depth.
//   TSelfFullKelvra  - the whole screen at a requested depth.
//
// Depends on: Platform.h (the device), Errors.h (Error / FatalError),
// draw/PixelFormat.h (DesktopDepth).
#pragma once

#include <cstdint>
#include <string>

#include "Platform.h"

class TKelvra {
 public:
  virtual ~TKelvra();

  // Takes at most one pending message; false when the quit message arrived.
  bool ProcessMessage();

  void CreateSurfaces(bool FullScreenMode);
  void ReleaseSurfaces();
  void RestoreScreen();
  void ClearBack(uint32_t Color);
  void ClearScreen(uint32_t Color);

  // Reports with the object's own tag: window class and window failures and
  // the constructors' own checks.
  [[noreturn]] void Error(const std::string& Step, const std::string& Message);

  uint32_t Window = 0;
  int32_t ScreenWidth = 0;
  int32_t ScreenHeight = 0;
  int32_t HalfWidth = 0;
  int32_t HalfHeight = 0;
  int32_t MaxX = 0;
  int32_t MaxY = 0;
  uint8_t Depth = 0;
  KvDeviceRef DirectDraw;       // the display device (counted reference)
  KvSurfaceRef PrimarySurface;  // what Present shows
  KvSurfaceRef BackSurface;     // full-screen flip target / windowed spare
  bool FullScreen = false;

 protected:
  TKelvra() = default;
  // ScreenWidth, ScreenHeight and the derived MaxX, MaxY, HalfWidth, HalfHeight.
  void SetGeometry(int32_t Width, int32_t Height);
  // Display set-up failures (the device, the display mode, the surfaces,
  // the pixel format) belong to TKelvra's own set-up and carry its tag,
  // whichever form of display is being made.
  [[noreturn]] void SetupError(const std::string& Step, const std::string& Message);
  const char* Tag = "[TKelvra]";

 private:
  [[noreturn]] void ReportAndEnd(const char* WithTag, const std::string& Step, const std::string& Message);
};

// Nil-safe message pump: false for a nil display.
bool ProcessMessage(TKelvra* Display);

class TSelfKelvra : public TKelvra {
 public:
  TSelfKelvra(int32_t Width, int32_t Height, const char* Caption);
  ~TSelfKelvra() override;

  void* Instance = nullptr;
  const char* Caption = nullptr;
};

class TSelfFullKelvra : public TKelvra {
 public:
  TSelfFullKelvra(int32_t Width, int32_t Height, int32_t Depth, const char* Caption);
  ~TSelfFullKelvra() override;

  void* Instance = nullptr;
  const char* Caption = nullptr;

 private:
  bool OwnsClass = false;  // this display registered the full-screen class
};

// Depth from a reported pixel format: the bit count, but 15 when the green
// mask is 0x3E0.
uint8_t KvDepthFromFormat(const KvPixelFormat& Format);
