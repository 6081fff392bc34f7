// File writers (see Writers.h).
#include "Writers.h"

#include <png.h>

#include <csetjmp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

namespace assetgen {

namespace {

// Owns a FILE* opened for binary writing; reports the system's reason.
class OutFile {
 public:
  explicit OutFile(const std::string& Path) : Path_(Path), F_(std::fopen(Path.c_str(), "wb")) {
    if (!F_) throw std::runtime_error("cannot create " + Path + ": " + std::strerror(errno));
  }
  ~OutFile() {
    if (F_) std::fclose(F_);
  }
  OutFile(const OutFile&) = delete;
  OutFile& operator=(const OutFile&) = delete;
  FILE* Get() { return F_; }
  // Flushes and closes, turning a late write error (a full disk) into an error.
  void Close() {
    bool Bad = std::ferror(F_) != 0;
    bool CloseFailed = std::fclose(F_) != 0;
    F_ = nullptr;
    if (Bad || CloseFailed) throw std::runtime_error("cannot write " + Path_);
  }

 private:
  std::string Path_;
  FILE* F_;
};

void CheckImage(const std::string& Path, const Image8& Img) {
  if (Img.W <= 0 || Img.H <= 0 || Img.Rgb8.size() != size_t(Img.W) * Img.H * 3)
    throw std::runtime_error("internal error: empty or malformed picture for " + Path);
}

struct PngErr {
  jmp_buf Jump;
  char Message[256];
};
void PngError(png_structp Png, png_const_charp Message) {
  PngErr* E = static_cast<PngErr*>(png_get_error_ptr(Png));
  std::snprintf(E->Message, sizeof E->Message, "%s", Message);
  longjmp(E->Jump, 1);
}
void PngWarning(png_structp, png_const_charp) {}

// The libpng calls, kept apart from any C++ object so that libpng's longjmp
// leaves nothing undestroyed. Returns false with E->Message on failure.
// Rows holds Height rows of Width pixels of Channels bytes (3: RGB, 4: RGBA).
bool PngEncode(FILE* F, int Width, int Height, int Channels, const uint8_t* Rows, PngErr* E) {
  png_structp Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, E, PngError, PngWarning);
  if (!Png) {
    std::snprintf(E->Message, sizeof E->Message, "out of memory");
    return false;
  }
  png_infop Info = png_create_info_struct(Png);
  if (!Info || setjmp(E->Jump)) {
    png_destroy_write_struct(&Png, Info ? &Info : nullptr);
    if (!Info) std::snprintf(E->Message, sizeof E->Message, "out of memory");
    return false;
  }
  png_init_io(Png, F);
  png_set_compression_level(Png, 6);
  png_set_IHDR(Png, Info, png_uint_32(Width), png_uint_32(Height), 8,
               Channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(Png, Info);
  for (int Y = 0; Y < Height; ++Y) png_write_row(Png, const_cast<uint8_t*>(&Rows[size_t(Y) * Width * Channels]));
  png_write_end(Png, nullptr);
  png_destroy_write_struct(&Png, &Info);
  return true;
}

struct JpegErr {
  jpeg_error_mgr Pub;
  jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};
void JpegErrorExit(j_common_ptr Cinfo) {
  JpegErr* E = reinterpret_cast<JpegErr*>(Cinfo->err);
  (*Cinfo->err->format_message)(Cinfo, E->Message);
  longjmp(E->Jump, 1);
}

bool JpegEncode(FILE* F, const Image8& Img, int Quality, JpegErr* E) {
  jpeg_compress_struct Cinfo;
  Cinfo.err = jpeg_std_error(&E->Pub);
  E->Pub.error_exit = JpegErrorExit;
  if (setjmp(E->Jump)) {
    jpeg_destroy_compress(&Cinfo);
    return false;
  }
  jpeg_create_compress(&Cinfo);
  jpeg_stdio_dest(&Cinfo, F);
  Cinfo.image_width = JDIMENSION(Img.W);
  Cinfo.image_height = JDIMENSION(Img.H);
  Cinfo.input_components = 3;
  Cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&Cinfo);
  jpeg_set_quality(&Cinfo, Quality, TRUE);
  Cinfo.optimize_coding = TRUE;
  // Full-resolution chroma: the pictures are full of thin coloured detail.
  for (int C = 0; C < Cinfo.num_components; ++C) {
    Cinfo.comp_info[C].h_samp_factor = 1;
    Cinfo.comp_info[C].v_samp_factor = 1;
  }
  jpeg_start_compress(&Cinfo, TRUE);
  while (Cinfo.next_scanline < Cinfo.image_height) {
    JSAMPROW Row = const_cast<JSAMPROW>(&Img.Rgb8[size_t(Cinfo.next_scanline) * Img.W * 3]);
    jpeg_write_scanlines(&Cinfo, &Row, 1);
  }
  jpeg_finish_compress(&Cinfo);
  jpeg_destroy_compress(&Cinfo);
  return true;
}

}  // namespace

void WritePng(const std::string& Path, const Image8& Img) {
  CheckImage(Path, Img);
  OutFile F(Path);
  PngErr E{};
  if (!PngEncode(F.Get(), Img.W, Img.H, 3, Img.Rgb8.data(), &E))
    throw std::runtime_error("libpng failed writing " + Path + ": " + E.Message);
  F.Close();
}

void WritePngRgba(const std::string& Path, const Image8& Img, const std::vector<uint8_t>& Alpha) {
  CheckImage(Path, Img);
  if (Alpha.size() != size_t(Img.W) * Img.H)
    throw std::runtime_error("internal error: alpha of the wrong size for " + Path);
  std::vector<uint8_t> Rgba(Alpha.size() * 4);
  for (size_t I = 0; I < Alpha.size(); ++I) {
    Rgba[I * 4 + 0] = Img.Rgb8[I * 3 + 0];
    Rgba[I * 4 + 1] = Img.Rgb8[I * 3 + 1];
    Rgba[I * 4 + 2] = Img.Rgb8[I * 3 + 2];
    Rgba[I * 4 + 3] = Alpha[I];
  }
  OutFile F(Path);
  PngErr E{};
  if (!PngEncode(F.Get(), Img.W, Img.H, 4, Rgba.data(), &E))
    throw std::runtime_error("libpng failed writing " + Path + ": " + E.Message);
  F.Close();
}

void WriteJpeg(const std::string& Path, const Image8& Img, int Quality) {
  CheckImage(Path, Img);
  OutFile F(Path);
  JpegErr E{};
  if (!JpegEncode(F.Get(), Img, Quality, &E)) throw std::runtime_error("libjpeg failed writing " + Path + ": " + E.Message);
  F.Close();
}

namespace {
void Put16(std::vector<unsigned char>& B, uint32_t V) {
  B.push_back(uint8_t(V));
  B.push_back(uint8_t(V >> 8));
}
void Put32(std::vector<unsigned char>& B, uint32_t V) {
  Put16(B, V & 0xffffu);
  Put16(B, V >> 16);
}
}  // namespace

void WriteBmp24(const std::string& Path, const Image8& Img) {
  CheckImage(Path, Img);
  const uint32_t RowBytes = (uint32_t(Img.W) * 3u + 3u) & ~3u;
  const uint32_t PixelBytes = RowBytes * uint32_t(Img.H);
  std::vector<unsigned char> B;
  B.reserve(54 + PixelBytes);
  // BITMAPFILEHEADER
  B.push_back('B');
  B.push_back('M');
  Put32(B, 54 + PixelBytes);
  Put32(B, 0);
  Put32(B, 54);
  // BITMAPINFOHEADER: positive height = bottom-up rows, BI_RGB, 2835 px/m (72 dpi)
  Put32(B, 40);
  Put32(B, uint32_t(Img.W));
  Put32(B, uint32_t(Img.H));
  Put16(B, 1);
  Put16(B, 24);
  Put32(B, 0);
  Put32(B, PixelBytes);
  Put32(B, 2835);
  Put32(B, 2835);
  Put32(B, 0);
  Put32(B, 0);
  for (int Y = Img.H - 1; Y >= 0; --Y) {
    const uint8_t* Row = &Img.Rgb8[size_t(Y) * Img.W * 3];
    for (int X = 0; X < Img.W; ++X) {
      B.push_back(Row[X * 3 + 2]);  // stored blue, green, red
      B.push_back(Row[X * 3 + 1]);
      B.push_back(Row[X * 3 + 0]);
    }
    for (uint32_t P = uint32_t(Img.W) * 3u; P < RowBytes; ++P) B.push_back(0);
  }
  WriteBytes(Path, B);
}

void WriteBytes(const std::string& Path, const std::vector<unsigned char>& Bytes) {
  OutFile F(Path);
  if (!Bytes.empty() && std::fwrite(Bytes.data(), 1, Bytes.size(), F.Get()) != Bytes.size())
    throw std::runtime_error("cannot write " + Path + ": " + std::strerror(errno));
  F.Close();
}

void WriteText(const std::string& Path, const std::string& Text) {
  WriteBytes(Path, std::vector<unsigned char>(Text.begin(), Text.end()));
}

}  // namespace assetgen
