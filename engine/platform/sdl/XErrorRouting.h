// The X library's own error reports, routed into the error convention.
// Left alone, Xlib prints a several-line dump for a protocol error (a window
// destroyed from outside: BadWindow) and exits, and on a lost connection to
// the X server prints its own lines and exits, both past KVR_ERR.txt.
//
// A protocol error is only kept by the handler (Xlib must not be called
// from within it) and reported by the device at its next step through
// KvTakeXError. A lost connection is reported at once, with the hooks that
// would talk to the lost server switched off.
//
// Depends on: Errors.h; libX11, looked up in the process (SDL loads it).
#pragma once

#include <string>

// Installs the handlers, when this process has libX11 loaded (SDL's X11
// video driver). Call after SDL's video start-up.
void KvRouteXErrors();
// A protocol error kept since the last call: true with its text.
bool KvTakeXError(std::string* Text);
