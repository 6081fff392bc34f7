// Whether a window manager runs on the X server of SDL's window: it then
// frames, places and restores windows itself, and a device that also moves
// them by hand fights it.
//
// Depends on: SDL2 (the window's X connection); libX11, opened at run time
// when the system has it.
#pragma once

struct SDL_Window;

// false for other video drivers, or where no X library is found.
bool KvXWindowManagerRunning(SDL_Window* Window);
