// KvMemoryDevice: a device whose surfaces live in plain memory, the base of
// the headless device and the browser's canvas device. It makes the
// surfaces, fills and keyed copies (the same pixels on every platform that
// uses it), and keeps the message queue and the key states; a subclass adds
// what it does with a presented frame and with a message box.
//
// It reports a "desktop" of DesktopDepth to windowed displays and the depth
// asked for to full-screen ones.
//
// Depends on: Platform.h.
#pragma once

#include <cstdint>
#include <deque>

#include "Platform.h"

class KvMemoryDevice : public KvDevice {
 public:
  explicit KvMemoryDevice(int32_t Desktop) : DesktopDepth(Desktop) {}

  uint32_t CreateWindow(const char* Caption, int32_t Width, int32_t Height, bool FullScreen) override;
  void DestroyWindow() override;
  KvResult CreateScreen(int32_t Width, int32_t Height, int32_t Depth, bool FullScreen, KvSurfaceRef* Primary,
                        KvSurfaceRef* Back) override;
  void ReleaseScreen() override;
  KvResult GetPixelFormat(KvPixelFormat* Format) override;
  KvResult CreateSurface(int32_t Width, int32_t Height, bool VideoMemory, KvSurfaceRef* Out) override;
  KvResult Restore(KvSurface& Surface) override;
  KvResult ColorFill(KvSurface& Dest, const KvRect* Rect, uint32_t Color) override;
  KvResult KeyedCopy(KvSurface& Dest, int32_t X, int32_t Y, KvSurface& Src, const KvRect& SrcRect,
                     uint32_t Key) override;
  KvResult BltStatus(KvSurface& Surface) override;

  // Messages come out in the order they were queued (PostQuit, or the
  // platform's own events).
  bool PeekMessage(KvMessage* Message) override;
  void PostQuit() override;
  bool KeyboardState(uint8_t State[256]) override;

  void QueueMessage(const KvMessage& Message) { Queue.push_back(Message); }
  // Key is held down (0x80) or released, as KeyboardState reports it.
  void SetKey(uint8_t Key, bool Down) { Keys[Key] = Down ? 0x80 : 0; }

 protected:
  const int32_t DesktopDepth;
  int32_t ScreenDepth = 32;  // of the screen made last

 private:
  std::deque<KvMessage> Queue;
  uint8_t Keys[256] = {};
};
