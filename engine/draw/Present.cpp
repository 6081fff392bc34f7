// Present: the finished frame to the screen, unconverted.
#include "BufferKv.h"

void TBufferKv::Present(bool WaitRetrace) {
  if (!Surface || !DirectDraw) return;
  for (;;) {
    const KvResult Result = DirectDraw->Present(*Surface, WaitRetrace);
    if (Result == KV_OK) {
      KvSurface* Target = FullScreen ? BackSurface.get() : PrimarySurface.get();
      if (Target)
        while (DirectDraw->BltStatus(*Target) != KV_OK) {
        }
      return;
    }
    if (Result == KVERR_SURFACELOST) {
      RestoreSurfaces();  // this frame is not shown
      return;
    }
    if (Result != KVERR_WASSTILLDRAWING) return;  // skipped silently
  }
}
