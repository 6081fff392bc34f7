// TInputKv: is a key held down right now. Keys are numbered as the classic
// PC scan codes (Escape = 1, 1..0 = 2..11, Q = 16, A = 30, Z = 44,
// Space = 57, F1 = 59 ...; the extended keys as 0x80 | code, e.g. Up = 0xC8).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Platform.h"

class TKelvra;

class TInputKv {
 public:
  explicit TInputKv(TKelvra* Display);
  virtual ~TInputKv();

  bool KeyDown(uint8_t Key);
  [[noreturn]] void Error(const std::string& Step, const std::string& Message);

  uint32_t Window = 0;
  KvDeviceRef Device;       // the display's device: keyboard state source
  bool HasJoystick = false; // no joystick is opened; kept for the record
  int32_t JoyButtonCount = 0;
  std::vector<std::string> JoyButtonNames;
};

// Maps an SDL scancode to the engine's key numbering (0 when unmapped).
uint8_t KvKeyFromSdlScancode(int Scancode);
