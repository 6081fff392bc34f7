// FaultDevice: see FaultDevice.h.
#include "FaultDevice.h"

#include <cstring>
#include <utility>
#include "engine/platform/headless/HeadlessDevice.h"

namespace kvtest {

FaultDevice::FaultDevice(KvDeviceRef Inner) : InnerDevice(std::move(Inner)) {}

void FaultDevice::Inject(FaultOp Op, std::vector<KvResult> Codes) {
  for (KvResult Code : Codes) Pending[int(Op)].push_back(Code);
}

void FaultDevice::FaultEvery(int Lost, int Busy) {
  LostEvery = Lost;
  BusyEvery = Busy;
  PeriodicCalls = 0;
}

void FaultDevice::ResetCounts() {
  for (int i = 0; i < int(FaultOp::Count); ++i) CallCount[i] = PassCount[i] = 0;
  Restored.clear();
  KeyboardReadCount = 0;
}

void FaultDevice::SetKeyState(const uint8_t State[256]) {
  std::memcpy(Keys, State, 256);
  HasKeyState = true;
}

bool FaultDevice::TakeFault(FaultOp Op, KvSurface* Target, KvResult* Code) {
  ++CallCount[int(Op)];
  std::deque<KvResult>& Queue = Pending[int(Op)];
  if (!Queue.empty()) {
    *Code = Queue.front();
    Queue.pop_front();
  } else {
    ++PeriodicCalls;
    if (LostEvery > 0 && PeriodicCalls % LostEvery == 0) {
      *Code = KVERR_SURFACELOST;
      ++LostCount;
    } else if (BusyEvery > 0 && PeriodicCalls % BusyEvery == 0) {
      *Code = KVERR_WASSTILLDRAWING;
      ++BusyCount;
    } else {
      ++PassCount[int(Op)];
      return false;
    }
  }
  if (*Code == KVERR_SURFACELOST && Target) Target->Lost = true;
  return true;
}

uint32_t FaultDevice::CreateWindow(const char* Caption, int32_t Width, int32_t Height, bool FullScreen) {
  return InnerDevice->CreateWindow(Caption, Width, Height, FullScreen);
}
void FaultDevice::DestroyWindow() { InnerDevice->DestroyWindow(); }
KvResult FaultDevice::CreateScreen(int32_t Width, int32_t Height, int32_t Depth, bool FullScreen,
                                   KvSurfaceRef* Primary, KvSurfaceRef* Back) {
  if (CreateScreenFailure != KV_OK) return std::exchange(CreateScreenFailure, KV_OK);
  return InnerDevice->CreateScreen(Width, Height, Depth, FullScreen, Primary, Back);
}
void FaultDevice::ReleaseScreen() { InnerDevice->ReleaseScreen(); }
KvResult FaultDevice::GetPixelFormat(KvPixelFormat* Format) { return InnerDevice->GetPixelFormat(Format); }
KvResult FaultDevice::CreateSurface(int32_t Width, int32_t Height, bool VideoMemory, KvSurfaceRef* Out) {
  return InnerDevice->CreateSurface(Width, Height, VideoMemory, Out);
}

KvResult FaultDevice::Restore(KvSurface& Surface) {
  Restored.push_back(&Surface);
  return InnerDevice->Restore(Surface);
}

KvResult FaultDevice::ColorFill(KvSurface& Dest, const KvRect* Rect, uint32_t Color) {
  KvResult Code = KV_OK;
  if (TakeFault(FaultOp::ColorFill, &Dest, &Code)) return Code;
  return InnerDevice->ColorFill(Dest, Rect, Color);
}

KvResult FaultDevice::KeyedCopy(KvSurface& Dest, int32_t X, int32_t Y, KvSurface& Src, const KvRect& SrcRect,
                                uint32_t Key) {
  KvResult Code = KV_OK;
  if (TakeFault(FaultOp::KeyedCopy, &Dest, &Code)) return Code;
  return InnerDevice->KeyedCopy(Dest, X, Y, Src, SrcRect, Key);
}

KvResult FaultDevice::BltStatus(KvSurface& Surface) { return InnerDevice->BltStatus(Surface); }

KvResult FaultDevice::Present(KvSurface& Src, bool WaitRetrace) {
  KvResult Code = KV_OK;
  // A lost display loses the screen, not the frame being shown.
  if (TakeFault(FaultOp::Present, nullptr, &Code)) return Code;
  return InnerDevice->Present(Src, WaitRetrace);
}

bool FaultDevice::PeekMessage(KvMessage* Message) {
  if (!Messages.empty()) {
    *Message = Messages.front();
    Messages.pop_front();
    return true;
  }
  return InnerDevice->PeekMessage(Message);
}

void FaultDevice::PostQuit() { Messages.push_back(KvMessage{KvMessageKind::Quit, 0}); }

bool FaultDevice::KeyboardState(uint8_t State[256]) {
  ++KeyboardReadCount;
  if (KeyboardFailures > 0) {
    --KeyboardFailures;
    return false;
  }
  if (HasKeyState) {
    std::memcpy(State, Keys, 256);
    return true;
  }
  return InnerDevice->KeyboardState(State);
}

void FaultDevice::ShowMessageBox(const char* Caption, const char* Text) {
  InnerDevice->ShowMessageBox(Caption, Text);
}

void FaultDevice::TakeKeyPresses(uint8_t Pressed[256]) { InnerDevice->TakeKeyPresses(Pressed); }
KvResult FaultDevice::SetFullScreen(bool On) { return InnerDevice->SetFullScreen(On); }
void FaultDevice::SetWindowIcon(const uint8_t* Rgba, int32_t Width, int32_t Height) {
  InnerDevice->SetWindowIcon(Rgba, Width, Height);
}

namespace {
std::weak_ptr<FaultDevice> Last;
}

void InstallFaultDeviceFactory(int DesktopDepth) {
  KvSetDeviceFactory([DesktopDepth]() -> KvDeviceRef {
    auto Device = std::make_shared<FaultDevice>(KvMakeHeadlessDevice(DesktopDepth));
    Last = Device;
    return Device;
  });
}

std::shared_ptr<FaultDevice> LastFaultDevice() { return Last.lock(); }

void ResetDeviceFactory() { KvSetDeviceFactory(nullptr); }

}  // namespace kvtest
