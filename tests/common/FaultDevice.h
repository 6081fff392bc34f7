// A display device for tests: wraps another device (normally the headless
// one) and makes chosen calls answer "surface lost" or "still drawing" the
// way a real display would, so the restore-and-skip and repeat paths of the
// engine run for real.
//
// A faulted call does no work: a "lost" answer also marks the surface Lost
// (Restore clears the flag), a "busy" answer leaves everything untouched.
// Every call is counted, faulted or not.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "engine/core/Platform.h"

namespace kvtest {

enum class FaultOp { ColorFill, Present, KeyedCopy, Count };

class FaultDevice final : public KvDevice {
 public:
  explicit FaultDevice(KvDeviceRef Inner);

  // The next calls of Op answer these codes, in order, one per call; then
  // calls go through to the inner device again.
  void Inject(FaultOp Op, std::vector<KvResult> Codes);
  // A steady rhythm of faults over all faultable calls together, after any
  // injected codes: every LostEvery-th call answers "surface lost", every
  // BusyEvery-th other call "still drawing" (0: never).
  void FaultEvery(int LostEvery, int BusyEvery);
  int PeriodicLost() const { return LostCount; }
  int PeriodicBusy() const { return BusyCount; }
  // Calls of Op so far (faulted ones included), and how many of those
  // reached the inner device.
  int Calls(FaultOp Op) const { return CallCount[int(Op)]; }
  int PassedThrough(FaultOp Op) const { return PassCount[int(Op)]; }
  // Restore calls so far, and the surfaces they were made on, in order.
  int Restores() const { return int(Restored.size()); }
  const std::vector<const KvSurface*>& RestoredSurfaces() const { return Restored; }
  void ResetCounts();

  // The next CreateScreen answers Code without making anything (a refused
  // display mode, no video memory, ...).
  void FailCreateScreen(KvResult Code) { CreateScreenFailure = Code; }

  // Keyboard control: a state to report instead of the inner device's, and
  // a number of reads that fail before reads work again.
  void SetKeyState(const uint8_t State[256]);
  void FailKeyboardReads(int Count) { KeyboardFailures = Count; }
  int KeyboardReads() const { return KeyboardReadCount; }

  // Messages queued by the test, handed out one per PeekMessage.
  void QueueMessage(const KvMessage& Message) { Messages.push_back(Message); }

  KvDevice& Inner() { return *InnerDevice; }

  // KvDevice
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
  KvResult Present(KvSurface& Src, bool WaitRetrace) override;
  bool PeekMessage(KvMessage* Message) override;
  void PostQuit() override;
  bool KeyboardState(uint8_t State[256]) override;
  void ShowMessageBox(const char* Caption, const char* Text) override;
  // Passed through unfaulted.
  void TakeKeyPresses(uint8_t Pressed[256]) override;
  KvResult SetFullScreen(bool On) override;
  void SetWindowIcon(const uint8_t* Rgba, int32_t Width, int32_t Height) override;

 private:
  // Counts the call; true (and *Code set) when it is to be faulted.
  bool TakeFault(FaultOp Op, KvSurface* Target, KvResult* Code);

  KvDeviceRef InnerDevice;
  std::deque<KvResult> Pending[int(FaultOp::Count)];
  int LostEvery = 0, BusyEvery = 0;
  int64_t PeriodicCalls = 0;
  int LostCount = 0, BusyCount = 0;
  int CallCount[int(FaultOp::Count)] = {};
  int PassCount[int(FaultOp::Count)] = {};
  std::vector<const KvSurface*> Restored;
  bool HasKeyState = false;
  uint8_t Keys[256] = {};
  int KeyboardFailures = 0;
  KvResult CreateScreenFailure = KV_OK;
  int KeyboardReadCount = 0;
  std::deque<KvMessage> Messages;
};

// Installs a device factory that makes a FaultDevice around a headless
// device of DesktopDepth. The device made last is returned by
// LastFaultDevice() (nullptr before the first).
void InstallFaultDeviceFactory(int DesktopDepth = 32);
std::shared_ptr<FaultDevice> LastFaultDevice();
// Back to the default factory (the SDL device).
void ResetDeviceFactory();

}  // namespace kvtest
