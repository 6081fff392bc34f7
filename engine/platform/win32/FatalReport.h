// How a fatal error is seen on Windows (hooks of FatalError, Errors.h).
//
// A double-clicked show has no console, so the message box is the report:
// the hooks are installed before anything can fail (the asset pack is read
// before any window exists). A full-screen window is closed first, so the
// box is never hidden behind it. KVR_ERR.txt goes to the current folder;
// where that cannot be written (a read-only folder, a zip opened in
// Explorer), to %LOCALAPPDATA%\Nerith\KVR_ERR.txt, and the box says where.
// KELVRA_NO_MESSAGEBOX=1 leaves the box out (tests), nothing else.
//
// Depends on: Errors.h, KnownFolders.h.
#pragma once

#include "WindowsHeaders.h"

void KvInstallWin32FatalHooks();
// The window a fatal error closes first (nullptr: none).
void KvSetFatalWindow(HWND Window);
// The message box's caption (the window's title once there is one).
void KvSetFatalCaption(const wchar_t* Caption);
