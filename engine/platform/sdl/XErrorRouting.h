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
// The handlers go in before SDL's video start-up: SDL keeps the handler it
// finds, chains its own to it and puts it back when video closes, so errors
// that reach Xlib while SDL closes the display (the destroyed window's own
// DestroyWindow request) still land here, not in Xlib's exit.
//
// Depends on: Errors.h; libX11, opened at run time when the system has it.
#pragma once

#include <string>

// Installs the handlers when the system has libX11 (the library SDL's X11
// driver loads too). Call before SDL's video start-up.
void KvRouteXErrors();
// A protocol error kept since the last call: true with its text.
bool KvTakeXError(std::string* Text);
