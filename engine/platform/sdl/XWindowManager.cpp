// KvXWindowManagerRunning (see XWindowManager.h).
#include "XWindowManager.h"

#include <SDL.h>
#include <SDL_syswm.h>

#if defined(SDL_VIDEO_DRIVER_X11) && __has_include(<X11/Xlib.h>) && __has_include(<dlfcn.h>)
#include <X11/Xlib.h>
#include <dlfcn.h>

bool KvXWindowManagerRunning(SDL_Window* Shown) {
  SDL_SysWMinfo Info;
  SDL_VERSION(&Info.version);
  if (!Shown || !SDL_GetWindowWMInfo(Shown, &Info) || Info.subsystem != SDL_SYSWM_X11) return false;
  // The copy SDL uses (KvRouteXErrors keeps it loaded).
  void* X11 = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
  if (!X11) return false;
  using InternAtomFn = Atom (*)(Display*, const char*, Bool);
  using RootFn = ::Window (*)(Display*);
  using GetPropertyFn = int (*)(Display*, ::Window, Atom, long, long, Bool, Atom, Atom*, int*, unsigned long*,
                                unsigned long*, unsigned char**);
  using FreeFn = int (*)(void*);
  const auto InternAtom = reinterpret_cast<InternAtomFn>(dlsym(X11, "XInternAtom"));
  const auto Root = reinterpret_cast<RootFn>(dlsym(X11, "XDefaultRootWindow"));
  const auto GetProperty = reinterpret_cast<GetPropertyFn>(dlsym(X11, "XGetWindowProperty"));
  const auto Free = reinterpret_cast<FreeFn>(dlsym(X11, "XFree"));
  bool Running = false;
  if (InternAtom && Root && GetProperty && Free) {
    // A compliant window manager keeps this on the root window while it runs.
    Display* Connection = Info.info.x11.display;
    const Atom Check = InternAtom(Connection, "_NET_SUPPORTING_WM_CHECK", True);
    Atom Type = 0;
    int Bits = 0;
    unsigned long Items = 0, Left = 0;
    unsigned char* Data = nullptr;
    if (Check != 0 && GetProperty(Connection, Root(Connection), Check, 0, 1, False, AnyPropertyType, &Type, &Bits,
                                  &Items, &Left, &Data) == Success)
      Running = Items == 1;
    if (Data) Free(Data);
  }
  dlclose(X11);
  return Running;
}
#else
bool KvXWindowManagerRunning(SDL_Window*) { return false; }
#endif
