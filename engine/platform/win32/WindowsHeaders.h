// <windows.h> without the macros that clash with the engine's names: the
// device interface (Platform.h) has CreateWindow and PeekMessage members,
// which windows.h would turn into CreateWindowW and PeekMessageW.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#undef CreateWindow
#undef PeekMessage
