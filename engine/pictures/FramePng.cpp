// KvWriteFramePng: a presented frame as an 8-bit RGB PNG (libpng). Kept
// apart from Platform.cpp so that builds without libpng (the browser build)
// can leave it out.
//
// The file is written through KvAtomicFile: under its name only when
// complete. libpng's own messages come back as the failure's reason instead
// of being printed.
#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "../core/AtomicFile.h"
#include "../core/Platform.h"

namespace {
struct PngSink {
  int Fd = -1;
  int WriteErrno = 0;  // the errno of a failed write, for the message
  char Message[256] = {};
  std::jmp_buf Jump;
};

void SinkError(png_structp Png, png_const_charp Message) {
  PngSink* Sink = static_cast<PngSink*>(png_get_error_ptr(Png));
  std::snprintf(Sink->Message, sizeof Sink->Message, "%s", Message ? Message : "libpng error");
  std::longjmp(Sink->Jump, 1);
}
void SinkWarning(png_structp, png_const_charp) {}

void SinkWrite(png_structp Png, png_bytep Data, png_size_t Size) {
  PngSink* Sink = static_cast<PngSink*>(png_get_io_ptr(Png));
  while (Size > 0) {
    const ssize_t Done = ::write(Sink->Fd, Data, Size);
    if (Done < 0 && errno == EINTR) continue;
    if (Done <= 0) {
      Sink->WriteErrno = Done < 0 ? errno : EIO;
      png_error(Png, std::strerror(Sink->WriteErrno));
    }
    Data += Done;
    Size -= size_t(Done);
  }
}
void SinkFlush(png_structp) {}

// libpng reports errors by longjmp; nothing with a destructor lives here.
bool WritePngRows(png_structp Png, png_infop Info, PngSink* Sink, int Width, int Height, const uint8_t* Rgb) {
  if (setjmp(Sink->Jump) != 0) return false;
  png_set_write_fn(Png, Sink, SinkWrite, SinkFlush);
  png_set_IHDR(Png, Info, Width, Height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(Png, 3);
  png_write_info(Png, Info);
  for (int y = 0; y < Height; ++y) png_write_row(Png, Rgb + size_t(y) * Width * 3);
  png_write_end(Png, nullptr);
  return true;
}
}  // namespace

bool KvWriteFramePng(const KvFrameCopy& Frame, const std::string& Path, std::string* Error, bool Sync) {
  std::string Ignored;
  std::string& Why = Error ? *Error : Ignored;
  if (!Frame.Pixels || Frame.Width <= 0 || Frame.Height <= 0) {
    Why = "cannot write \"" + Path + "\": the frame is empty";
    return false;
  }
  KvAtomicFile File;
  File.SetSync(Sync);
  if (!File.Create(Path, &Why)) return false;
  PngSink Sink;
  Sink.Fd = File.Fd();
  png_structp Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &Sink, SinkError, SinkWarning);
  png_infop Info = Png ? png_create_info_struct(Png) : nullptr;
  const std::vector<uint8_t> Rgb = KvFrameRgb(Frame);
  const bool Made = Png && Info;
  const bool Ok = Made && WritePngRows(Png, Info, &Sink, Frame.Width, Frame.Height, Rgb.data());
  png_destroy_write_struct(&Png, &Info);
  if (!Ok) {
    Why = "cannot write \"" + Path + "\": " + (Made ? Sink.Message : "out of memory");
    return false;  // File removes what was written
  }
  return File.Commit(&Why);
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
