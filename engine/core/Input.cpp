// TInputKv: the keyboard, read as a 256-byte state in PC scan-code numbering.
//
// Depends on: Platform.h (the display's device supplies the key state),
// Kelvra.h (the display), Errors.h. The SDL scancode table is
// platform/sdl/SdlKeys.cpp; SDL itself is only called by the device.
//
// Background reading: SDL reports keys only while one of its windows has the
// keyboard focus, and X11 offers no portable way around that, so a window
// that is not in front reads "no key down" (Escape then works once the show's
// window is in front again). The mouse and joystick are not opened: nothing
// reads them.
#include "Input.h"

#include <cstring>

#include "Errors.h"
#include "Kelvra.h"

TInputKv::TInputKv(TKelvra* Display) {
  if (!Display || !Display->DirectDraw) Error("DIObject", "Error creating object...");
  Window = Display->Window;
  Device = Display->DirectDraw;
  // The keyboard must be readable from the start, as the show asks for
  // Escape at the end of its first frame.
  uint8_t State[256];
  if (!Device->KeyboardState(State)) Error("AcquireK", "The keyboard state cannot be read.");
}

TInputKv::~TInputKv() { Device.reset(); }

bool TInputKv::KeyDown(uint8_t Key) {
  if (!Device) return false;
  uint8_t State[256];
  std::memset(State, 0, sizeof State);
  if (Device->KeyboardState(State)) return State[Key] == 0x80;
  // Not readable now: read again so the keyboard is taken back for the next
  // call, and report "not down" this time whatever the second read says.
  std::memset(State, 0, sizeof State);
  Device->KeyboardState(State);
  return false;
}

void TInputKv::ReadKeys() {
  std::memset(Held, 0, sizeof Held);
  std::memset(Pressed, 0, sizeof Pressed);
  if (!Device) return;
  if (!Device->KeyboardState(Held)) std::memset(Held, 0, sizeof Held);
  Device->TakeKeyPresses(Pressed);
}

void TInputKv::Error(const std::string& Step, const std::string& Message) {
  // Release what the object holds; the object itself is the caller's (it may
  // live on the stack), and the process ends below.
  Device.reset();
  JoyButtonNames.clear();
  FatalError(KvErrorLine("[TInputKv]", Step, Message).c_str());
}
