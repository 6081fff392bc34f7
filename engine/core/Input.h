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
  // Once per frame: takes the keys held now and those pressed since the
  // previous ReadKeys (a tap between two frames is latched by the device).
  void ReadKeys();
  // Key was held at the last ReadKeys or pressed just before it.
  bool KeyHit(uint8_t Key) const { return (Held[Key] | Pressed[Key]) != 0; }
  // Key went down just before the last ReadKeys (holding it is one press).
  bool KeyPressed(uint8_t Key) const { return Pressed[Key] != 0; }
  // ... and an Alt key was down at that moment.
  bool KeyPressedWithAlt(uint8_t Key) const { return (Pressed[Key] & KvPressedWithAlt) != 0; }
  [[noreturn]] void Error(const std::string& Step, const std::string& Message);

  uint32_t Window = 0;
  KvDeviceRef Device;       // the display's device: keyboard state source
  bool HasJoystick = false; // no joystick is opened; kept for the record
  int32_t JoyButtonCount = 0;
  std::vector<std::string> JoyButtonNames;

 private:
  uint8_t Held[256] = {};
  uint8_t Pressed[256] = {};
};

// Keys the viewer uses (engine numbering).
constexpr uint8_t KvKeyEscape = 0x01;
constexpr uint8_t KvKeyP = 0x19;
constexpr uint8_t KvKeyEnter = 0x1C;
constexpr uint8_t KvKeyLeftAlt = 0x38;
constexpr uint8_t KvKeySpace = 0x39;
constexpr uint8_t KvKeyF11 = 0x57;
constexpr uint8_t KvKeyF12 = 0x58;
constexpr uint8_t KvKeyKeypadEnter = 0x9C;
constexpr uint8_t KvKeyRightAlt = 0xB8;
