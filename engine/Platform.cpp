// Device factory and result-code texts (the PNG writer for presented frames
// is in FramePng.cpp, apart, because it needs libpng).
#include "Platform.h"

#include "buffer/PixelFormat.h"

namespace {
KvDeviceFactory Factory;
bool FactoryLocked = false;
std::string CreateError;
KvWindowOptions WindowOptions;
}  // namespace

void KvSetWindowOptions(const KvWindowOptions& Options) { WindowOptions = Options; }

void KvSetDeviceFactory(KvDeviceFactory NewFactory) {
  if (!FactoryLocked) Factory = std::move(NewFactory);
}

void KvLockDeviceFactory(KvDeviceFactory NewFactory) {
  Factory = std::move(NewFactory);
  FactoryLocked = true;
}

KvDeviceRef KvCreateDevice() {
  CreateError.clear();
  if (!Factory) return KvMakeSdlDevice(WindowOptions);
  return Factory();
}

const std::string& KvDeviceCreateError() { return CreateError; }
void KvSetDeviceCreateError(const std::string& Text) { CreateError = Text; }

const char* KvResultText(KvResult Code) {
  switch (Code) {
    case KV_OK:
      return "The request completed successfully.";
    case KVERR_SURFACELOST:
      return "Access to the surface was refused because the surface memory is gone.";
    case KVERR_WASSTILLDRAWING:
      return "The previous blit operation that is transferring information to or from this surface is incomplete.";
    case KVERR_OUTOFMEMORY:
      return "There is not enough memory to perform the operation.";
    case KVERR_INVALIDPARAMS:
      return "One or more of the parameters passed to the method are incorrect.";
    case KVERR_NODISPLAY:
      return "No display is available.";
    case KVERR_INVALIDMODE:
      return "The requested display mode is not supported.";
    case KVERR_UNSUPPORTED:
      return "The operation is not supported.";
    default:
      return "Generic failure.";
  }
}

std::vector<uint8_t> KvFrameRgb(const KvFrameCopy& Frame) {
  return KvFrameRgb(Frame.Pixels.get(), Frame.Width, Frame.Height, Frame.Pitch, Frame.Depth);
}

std::vector<uint8_t> KvFrameRgb(const uint8_t* Pixels, int32_t Width, int32_t Height, int32_t Pitch, int32_t Depth) {
  if (!Pixels || Width <= 0 || Height <= 0) return {};
  std::vector<uint8_t> Rgb(size_t(Width) * Height * 3);
  const int Bpp = Depth == 24 ? 3 : Depth == 32 ? 4 : 2;
  for (int y = 0; y < Height; ++y) {
    const uint8_t* Row = Pixels + size_t(y) * Pitch;
    uint8_t* Out = &Rgb[size_t(y) * Width * 3];
    for (int x = 0; x < Width; ++x) {
      const uint8_t* P = Row + size_t(x) * Bpp;
      uint32_t Value = Bpp == 2 ? uint32_t(P[0] | P[1] << 8) : uint32_t(P[0] | P[1] << 8 | P[2] << 16);
      uint8_t R = 0, G = 0, B = 0;
      UnpackColorDepth(Depth, Value, R, G, B);
      Out[x * 3] = R;
      Out[x * 3 + 1] = G;
      Out[x * 3 + 2] = B;
    }
  }
  return Rgb;
}
