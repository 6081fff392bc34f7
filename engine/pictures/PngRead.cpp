// KvReadPngRgba with libpng: the window icon's picture (the native build;
// the writer of frames is png/FramePng.cpp, on zlib).
#include <png.h>

#include <cstring>
#include <vector>

#include "../core/Platform.h"

bool KvReadPngRgba(const std::string& Path, int32_t MaxSide, std::vector<uint8_t>* Rgba, int32_t* Width,
                   int32_t* Height) {
  png_image Image;
  std::memset(&Image, 0, sizeof Image);
  Image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&Image, Path.c_str())) return false;
  if (Image.width == 0 || Image.height == 0 || Image.width > uint32_t(MaxSide) || Image.height > uint32_t(MaxSide)) {
    png_image_free(&Image);
    return false;
  }
  Image.format = PNG_FORMAT_RGBA;
  Rgba->resize(PNG_IMAGE_SIZE(Image));
  if (!png_image_finish_read(&Image, nullptr, Rgba->data(), 0, nullptr)) return false;
  *Width = int32_t(Image.width);
  *Height = int32_t(Image.height);
  return true;
}
