// Test picture writers (see PictureFiles.h). Independent of the engine's
// loader: libpng's and libjpeg's encoders, and BMP bytes laid out by hand.
#include "PictureFiles.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace pictest {

int PngChannels(int ColorType) {
  switch (ColorType) {
    case PNG_COLOR_TYPE_GRAY: return 1;
    case PNG_COLOR_TYPE_PALETTE: return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    default: return 4;
  }
}

namespace {

void AppendToString(png_structp Png, png_bytep Data, size_t Count) {
  static_cast<std::string*>(png_get_io_ptr(Png))->append(reinterpret_cast<const char*>(Data), Count);
}
void FlushNothing(png_structp) {}

// libpng's writer; Rows are the packed rows. Plain code under setjmp.
bool WritePng(const PngRecipe& S, png_bytepp Rows, std::string* Out) {
  png_structp Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop Info = Png ? png_create_info_struct(Png) : nullptr;
  if (!Png || !Info) return false;
  if (setjmp(png_jmpbuf(Png))) {
    png_destroy_write_struct(&Png, &Info);
    return false;
  }
  png_set_write_fn(Png, Out, AppendToString, FlushNothing);
  png_set_IHDR(Png, Info, png_uint_32(S.Width), png_uint_32(S.Height), S.BitDepth, S.ColorType,
               S.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_color Palette[256];
  png_byte Alpha[256];
  if (S.ColorType == PNG_COLOR_TYPE_PALETTE) {
    for (size_t i = 0; i < S.Palette.size() && i < 256; ++i) Palette[i] = {S.Palette[i].R, S.Palette[i].G, S.Palette[i].B};
    png_set_PLTE(Png, Info, Palette, int(S.Palette.size()));
    if (!S.PaletteAlpha.empty()) {
      for (size_t i = 0; i < S.PaletteAlpha.size() && i < 256; ++i) Alpha[i] = S.PaletteAlpha[i];
      png_set_tRNS(Png, Info, Alpha, int(S.PaletteAlpha.size()), nullptr);
    }
  }
  if (S.HasTransparentColour) {
    png_color_16 Colour;
    std::memset(&Colour, 0, sizeof(Colour));
    Colour.gray = S.TransparentR;
    Colour.red = S.TransparentR;
    Colour.green = S.TransparentG;
    Colour.blue = S.TransparentB;
    png_set_tRNS(Png, Info, nullptr, 0, &Colour);
  }
  png_write_info(Png, Info);
  if (S.Interlaced) png_set_interlace_handling(Png);
  png_write_image(Png, Rows);
  png_write_end(Png, nullptr);
  png_destroy_write_struct(&Png, &Info);
  return true;
}

void PutBigEndian32(std::string& Out, uint32_t V) {
  for (int Shift = 24; Shift >= 0; Shift -= 8) Out.push_back(char(V >> Shift));
}

void PutLe(std::string& Out, uint32_t V, int Bytes) {
  for (int i = 0; i < Bytes; ++i) Out.push_back(char(V >> (8 * i)));
}

}  // namespace

std::string EncodePng(const PngRecipe& S) {
  const int Channels = PngChannels(S.ColorType);
  const size_t RowBytes = (size_t(S.Width) * size_t(Channels) * size_t(S.BitDepth) + 7) / 8;
  std::vector<uint8_t> Packed(RowBytes * size_t(S.Height), 0);
  std::vector<png_bytep> Rows(size_t(S.Height));
  for (int y = 0; y < S.Height; ++y) {
    uint8_t* Row = Packed.data() + size_t(y) * RowBytes;
    Rows[size_t(y)] = Row;
    for (int i = 0; i < S.Width * Channels; ++i) {
      const uint16_t V = S.Samples[size_t(y) * size_t(S.Width) * size_t(Channels) + size_t(i)];
      if (S.BitDepth == 16) {
        Row[i * 2] = uint8_t(V >> 8);
        Row[i * 2 + 1] = uint8_t(V);
      } else if (S.BitDepth == 8) {
        Row[i] = uint8_t(V);
      } else {  // 1, 2, 4 bits: leftmost sample in the high bits
        const int PerByte = 8 / S.BitDepth;
        const int Shift = 8 - S.BitDepth * (1 + i % PerByte);
        Row[i / PerByte] |= uint8_t(V << Shift);
      }
    }
  }
  std::string Out;
  if (!WritePng(S, Rows.data(), &Out)) return std::string();
  return Out;
}

std::string EncodePngRgb(int W, int H, const std::vector<Rgb>& Pixels) {
  PngRecipe S;
  S.Width = W;
  S.Height = H;
  for (const Rgb& P : Pixels) S.Samples.insert(S.Samples.end(), {P.R, P.G, P.B});
  return EncodePng(S);
}

std::string PngHeaderOnly(uint32_t W, uint32_t H, int ColorType, int BitDepth) {
  std::string Out("\x89PNG\r\n\x1a\n", 8);
  std::string Ihdr = "IHDR";
  PutBigEndian32(Ihdr, W);
  PutBigEndian32(Ihdr, H);
  Ihdr.push_back(char(BitDepth));
  Ihdr.push_back(char(ColorType));
  Ihdr.append(3, '\0');  // compression, filter, interlace
  PutBigEndian32(Out, 13);
  Out += Ihdr;
  PutBigEndian32(Out, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(Ihdr.data()), uInt(Ihdr.size()))));
  PutBigEndian32(Out, 100);  // an IDAT of 100 bytes that never comes
  Out += "IDAT";
  return Out;
}

std::string EncodeJpeg(int W, int H, int Components, const std::vector<uint8_t>& Samples, int Quality,
                       bool Progressive) {
  jpeg_compress_struct C;
  jpeg_error_mgr Errors;
  C.err = jpeg_std_error(&Errors);  // test pictures are well-formed: libjpeg's exit on error is enough
  jpeg_create_compress(&C);
  unsigned char* Buffer = nullptr;
  unsigned long Size = 0;
  jpeg_mem_dest(&C, &Buffer, &Size);
  C.image_width = JDIMENSION(W);
  C.image_height = JDIMENSION(H);
  C.input_components = Components;
  C.in_color_space = Components == 1 ? JCS_GRAYSCALE : Components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&C);
  jpeg_set_quality(&C, Quality, TRUE);
  for (int i = 0; i < C.num_components; ++i) C.comp_info[i].h_samp_factor = C.comp_info[i].v_samp_factor = 1;
  if (Progressive) jpeg_simple_progression(&C);
  jpeg_start_compress(&C, TRUE);
  while (C.next_scanline < C.image_height) {
    JSAMPROW Row = const_cast<JSAMPROW>(Samples.data() + size_t(C.next_scanline) * size_t(W) * size_t(Components));
    jpeg_write_scanlines(&C, &Row, 1);
  }
  jpeg_finish_compress(&C);
  jpeg_destroy_compress(&C);
  std::string Out(reinterpret_cast<const char*>(Buffer), Size);
  std::free(Buffer);
  return Out;
}

std::vector<Rgb> DecodeJpegReference(const std::string& Jpeg, int* W, int* H) {
  jpeg_decompress_struct D;
  jpeg_error_mgr Errors;
  D.err = jpeg_std_error(&Errors);
  jpeg_create_decompress(&D);
  jpeg_mem_src(&D, reinterpret_cast<const unsigned char*>(Jpeg.data()), static_cast<unsigned long>(Jpeg.size()));
  jpeg_read_header(&D, TRUE);
  D.out_color_space = JCS_RGB;
  D.dct_method = JDCT_ISLOW;
  jpeg_start_decompress(&D);
  *W = int(D.output_width);
  *H = int(D.output_height);
  std::vector<uint8_t> Bytes(size_t(*W) * size_t(*H) * 3);
  while (D.output_scanline < D.output_height) {
    JSAMPROW Row = Bytes.data() + size_t(D.output_scanline) * size_t(*W) * 3;
    jpeg_read_scanlines(&D, &Row, 1);
  }
  jpeg_finish_decompress(&D);
  jpeg_destroy_decompress(&D);
  std::vector<Rgb> Pixels;
  for (size_t i = 0; i + 2 < Bytes.size(); i += 3) Pixels.push_back({Bytes[i], Bytes[i + 1], Bytes[i + 2]});
  return Pixels;
}

namespace {

// File header and BITMAPINFOHEADER for a bottom-up picture.
std::string BmpHeaders(int W, int H, int BitCount, int PaletteEntries, size_t PixelBytes) {
  const uint32_t Offset = 14 + 40 + uint32_t(PaletteEntries) * 4;
  std::string Out = "BM";
  PutLe(Out, Offset + uint32_t(PixelBytes), 4);
  PutLe(Out, 0, 4);
  PutLe(Out, Offset, 4);
  PutLe(Out, 40, 4);
  PutLe(Out, uint32_t(W), 4);
  PutLe(Out, uint32_t(H), 4);
  PutLe(Out, 1, 2);
  PutLe(Out, uint32_t(BitCount), 2);
  PutLe(Out, 0, 4);  // BI_RGB
  PutLe(Out, uint32_t(PixelBytes), 4);
  PutLe(Out, 2835, 4);
  PutLe(Out, 2835, 4);
  PutLe(Out, uint32_t(PaletteEntries), 4);
  PutLe(Out, 0, 4);
  return Out;
}

}  // namespace

std::string EncodeBmp24(int W, int H, const std::vector<Rgb>& Pixels) {
  const size_t Stride = (size_t(W) * 3 + 3) & ~size_t(3);
  std::string Out = BmpHeaders(W, H, 24, 0, Stride * size_t(H));
  for (int y = H - 1; y >= 0; --y) {
    std::string Row;
    for (int x = 0; x < W; ++x) {
      const Rgb& P = Pixels[size_t(y) * size_t(W) + size_t(x)];
      Row += {char(P.B), char(P.G), char(P.R)};
    }
    Row.resize(Stride, '\0');
    Out += Row;
  }
  return Out;
}

std::string EncodeBmp8(int W, int H, const std::vector<Rgb>& Palette, const std::vector<uint8_t>& Indices) {
  const size_t Stride = (size_t(W) + 3) & ~size_t(3);
  std::string Out = BmpHeaders(W, H, 8, int(Palette.size()), Stride * size_t(H));
  for (const Rgb& P : Palette) Out += {char(P.B), char(P.G), char(P.R), '\0'};
  for (int y = H - 1; y >= 0; --y) {
    std::string Row(reinterpret_cast<const char*>(Indices.data()) + size_t(y) * size_t(W), size_t(W));
    Row.resize(Stride, '\0');
    Out += Row;
  }
  return Out;
}

}  // namespace pictest
