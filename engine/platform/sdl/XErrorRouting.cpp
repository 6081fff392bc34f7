// KvRouteXErrors, KvTakeXError (see XErrorRouting.h).
#include "XErrorRouting.h"

#if __has_include(<X11/Xlib.h>) && __has_include(<dlfcn.h>)
#include <X11/Xlib.h>
#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "../../core/Errors.h"

namespace {
using SetErrorHandlerFn = XErrorHandler (*)(XErrorHandler);
using SetIOErrorHandlerFn = XIOErrorHandler (*)(XIOErrorHandler);
using GetErrorTextFn = int (*)(Display*, int, char*, int);
using DisplayStringFn = char* (*)(Display*);

GetErrorTextFn GetErrorText = nullptr;
DisplayStringFn DisplayName = nullptr;

char KeptError[512];
std::atomic<bool> ErrorKept{false};

// Only the first error counts: the ones after it follow from it.
int OnProtocolError(Display* Connection, XErrorEvent* Event) {
  if (ErrorKept.load()) return 0;
  char Name[160] = "";
  if (GetErrorText) GetErrorText(Connection, Event->error_code, Name, sizeof Name);
  const bool WindowGone = Event->error_code == BadWindow || Event->error_code == BadDrawable;
  std::snprintf(KeptError, sizeof KeptError, "X error %s (request %u.%u)%s", Name[0] ? Name : "?",
                unsigned(Event->request_code), unsigned(Event->minor_code),
                WindowGone ? ": the window was closed from outside" : "");
  ErrorKept.store(true);
  return 0;
}

// Xlib exits when this returns: it must not.
int OnLostConnection(Display* Connection) {
  const char* Where = DisplayName && Connection ? DisplayName(Connection) : "";
  std::string Text = std::string("Lost the connection to the X server") + (Where && *Where ? " " : "") + Where;
  // Restoring the desktop and a message box would both talk to the server
  // that is gone.
  KvSetRestoreDesktopHook(nullptr);
  KvSetMessageBoxHook(nullptr);
  FatalError(KvErrorLine("[TKelvra]", "ProcessMessage", Text).c_str());
}
}  // namespace

void KvRouteXErrors() {
  // Kept open for the life of the process: SDL's own dlopen then finds this
  // copy, handlers included. No X library on the system: nothing to route.
  static void* X11 = dlopen("libX11.so.6", RTLD_LAZY | RTLD_GLOBAL);
  if (!X11) return;
  const auto SetError = reinterpret_cast<SetErrorHandlerFn>(dlsym(X11, "XSetErrorHandler"));
  const auto SetIOError = reinterpret_cast<SetIOErrorHandlerFn>(dlsym(X11, "XSetIOErrorHandler"));
  GetErrorText = reinterpret_cast<GetErrorTextFn>(dlsym(X11, "XGetErrorText"));
  DisplayName = reinterpret_cast<DisplayStringFn>(dlsym(X11, "XDisplayString"));
  if (SetError) SetError(OnProtocolError);
  if (SetIOError) SetIOError(OnLostConnection);
}

bool KvTakeXError(std::string* Text) {
  if (!ErrorKept.load()) return false;
  *Text = KeptError;
  return true;
}
#else
// No X library on this system: nothing to route.
void KvRouteXErrors() {}
bool KvTakeXError(std::string*) { return false; }
#endif
