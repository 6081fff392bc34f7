// KvWriteFramePng: a presented frame as an 8-bit RGB PNG (libpng). Kept
// apart from Platform.cpp so that builds without libpng (the browser build)
// can leave it out.
#include <png.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "Platform.h"

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
  const std::vector<uint8_t> Rgb = KvFrameRgb(Frame);
  const bool Ok = Png && Info && WritePngRows(Png, Info, File, Frame.Width, Frame.Height, Rgb.data());
  png_destroy_write_struct(&Png, &Info);
  return std::fclose(File) == 0 && Ok;
}

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
