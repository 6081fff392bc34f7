// Device factory and result-code texts (the PNG writer for presented frames
// is in png/FramePng.cpp, apart, because it needs zlib).
#include "Platform.h"


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
  if (!Factory) return KvMakeDefaultDevice(WindowOptions);
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
