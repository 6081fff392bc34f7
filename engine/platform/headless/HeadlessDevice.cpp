// Headless device: surfaces in plain memory (KvMemoryDevice), no window, no
// screen. It keeps a copy of the last presented frame for tests and the
// offline run, and takes messages and key states from the test controls in
// HeadlessTestHooks.h.
#include <cstring>
#include <memory>

#include "../../core/Input.h"
#include "../../core/MemoryDevice.h"
#include "HeadlessTestHooks.h"

namespace {

class HeadlessDevice final : public KvMemoryDevice {
 public:
  explicit HeadlessDevice(int32_t Desktop) : KvMemoryDevice(Desktop) {}

  KvResult Present(KvSurface& Src, bool) override {
    Last.Width = Src.Width;
    Last.Height = Src.Height;
    Last.Pitch = Src.Pitch;
    Last.Depth = ScreenDepth;
    const size_t Bytes = size_t(Src.Pitch) * Src.Height;
    if (LastBytes != Bytes) {
      Last.Pixels.reset(new uint8_t[Bytes]);
      LastBytes = Bytes;
    }
    std::memcpy(Last.Pixels.get(), Src.Pixels, Bytes);
    ++Presented;
    return KV_OK;
  }

  // No window: nothing to show a box, an icon or full screen in. The frame
  // keeps its size; the viewer's F11 finds full screen refused.
  void ShowMessageBox(const char*, const char*) override {}
  KvResult SetFullScreen(bool) override { return KVERR_UNSUPPORTED; }
  void SetWindowIcon(const uint8_t*, int32_t, int32_t) override {}

  void TakeKeyPresses(uint8_t Pressed[256]) override {
    std::memcpy(Pressed, Presses, 256);
    std::memset(Presses, 0, 256);
  }

  // A key going down is latched until the next TakeKeyPresses, with the Alt
  // keys' state at that moment, as the window device does.
  void PressKey(uint8_t Key, bool Down) {
    SetKey(Key, Down);
    if (!Down) return;
    uint8_t State[256];
    KeyboardState(State);
    Presses[Key] |= uint8_t(0x80 | ((State[KvKeyLeftAlt] | State[KvKeyRightAlt]) ? KvPressedWithAlt : 0));
  }

  KvFrameCopy Last;
  size_t LastBytes = 0;
  uint64_t Presented = 0;
  uint8_t Presses[256] = {};
};

HeadlessDevice* AsHeadless(KvDevice& Device) { return dynamic_cast<HeadlessDevice*>(&Device); }

}  // namespace

KvDeviceRef KvMakeHeadlessDevice(int32_t DesktopDepth) { return std::make_shared<HeadlessDevice>(DesktopDepth); }

bool KvHeadlessLastFrame(KvDevice& Device, KvFrameCopy* Out) {
  HeadlessDevice* H = AsHeadless(Device);
  if (!H || !H->Last.Pixels) return false;
  Out->Width = H->Last.Width;
  Out->Height = H->Last.Height;
  Out->Pitch = H->Last.Pitch;
  Out->Depth = H->Last.Depth;
  Out->Pixels.reset(new uint8_t[H->LastBytes]);
  std::memcpy(Out->Pixels.get(), H->Last.Pixels.get(), H->LastBytes);
  return true;
}

bool KvHeadlessPostMessage(KvDevice& Device, const KvMessage& Message) {
  HeadlessDevice* H = AsHeadless(Device);
  if (!H) return false;
  H->QueueMessage(Message);
  return true;
}

bool KvHeadlessSetKey(KvDevice& Device, uint8_t Key, bool Down) {
  HeadlessDevice* H = AsHeadless(Device);
  if (!H) return false;
  H->PressKey(Key, Down);
  return true;
}

uint64_t KvHeadlessPresentCount(KvDevice& Device) {
  HeadlessDevice* H = AsHeadless(Device);
  return H ? H->Presented : 0;
}
