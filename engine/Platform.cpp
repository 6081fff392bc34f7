// Device factory, result-code texts and the PNG writer for presented frames.
#include "Platform.h"

#include <png.h>

#include <cstdio>
#include <vector>

#include "buffer/PixelFormat.h"

namespace {
KvDeviceFactory Factory;
std::string CreateError;
}  // namespace

void KvSetDeviceFactory(KvDeviceFactory NewFactory) { Factory = std::move(NewFactory); }

KvDeviceRef KvCreateDevice() {
  CreateError.clear();
  if (!Factory) return KvMakeSdlDevice();
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

namespace {
// libpng reports errors by longjmp; nothing with a destructor lives here.
bool WritePngRows(png_structp Png, png_infop Info, std::FILE* File, int Width, int Height, const uint8_t* Rgb) {
  if (setjmp(png_jmpbuf(Png)) != 0) return false;
  png_init_io(Png, File);
  png_set_IHDR(Png, Info, Width, Height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(Png, 3);
  png_write_info(Png, Info);
  for (int y = 0; y < Height; ++y) png_write_row(Png, Rgb + size_t(y) * Width * 3);
  png_write_end(Png, nullptr);
  return true;
}
}  // namespace

bool KvWriteFramePng(const KvFrameCopy& Frame, const std::string& Path) {
  if (!Frame.Pixels || Frame.Width <= 0 || Frame.Height <= 0) return false;
  std::FILE* File = std::fopen(Path.c_str(), "wb");
  if (!File) return false;
  png_structp Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop Info = Png ? png_create_info_struct(Png) : nullptr;
  std::vector<uint8_t> Rgb(size_t(Frame.Width) * Frame.Height * 3);
  const int Bpp = Frame.Depth == 24 ? 3 : Frame.Depth == 32 ? 4 : 2;
  for (int y = 0; y < Frame.Height; ++y) {
    const uint8_t* Row = Frame.Pixels.get() + size_t(y) * Frame.Pitch;
    uint8_t* Out = &Rgb[size_t(y) * Frame.Width * 3];
    for (int x = 0; x < Frame.Width; ++x) {
      const uint8_t* P = Row + size_t(x) * Bpp;
      uint32_t Value = Bpp == 2 ? uint32_t(P[0] | P[1] << 8) : uint32_t(P[0] | P[1] << 8 | P[2] << 16);
      uint8_t R = 0, G = 0, B = 0;
      UnpackColorDepth(Frame.Depth, Value, R, G, B);
      Out[x * 3] = R;
      Out[x * 3 + 1] = G;
      Out[x * 3 + 2] = B;
    }
  }
  const bool Ok = Png && Info && WritePngRows(Png, Info, File, Frame.Width, Frame.Height, Rgb.data());
  png_destroy_write_struct(&Png, &Info);
  return std::fclose(File) == 0 && Ok;
}
