// What the Windows build's users of COM objects share (Media Foundation's
// reader, the WASAPI stream): releasing a held object, and a failed call's
// one-line reason.
//
// Depends on: WindowsHeaders.h.
#pragma once

#include <cstdio>
#include <string>

#include "WindowsHeaders.h"

// Releases Object, if there is one, and forgets it.
template <class T>
void KvRelease(T*& Object) {
  if (Object) Object->Release();
  Object = nullptr;
}

// "Step failed (0x88890004)".
inline std::string KvHresultText(const char* Step, HRESULT Code) {
  char Text[96];
  std::snprintf(Text, sizeof Text, "%s failed (0x%08lX)", Step, static_cast<unsigned long>(Code));
  return Text;
}
