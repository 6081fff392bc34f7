// Test pictures written independently of the engine's loader: PNG through
// libpng's writer, JPEG through libjpeg's compressor (and a reference decode
// with libjpeg), BMP byte by byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pictest {

struct Rgb {
  uint8_t R, G, B;
};

// A PNG of any colour type and bit depth. Samples holds W x H x channels
// sample values in the file's own range (0 .. 2^BitDepth - 1; palette
// indices for colour type 3), row by row.
struct PngRecipe {
  int Width = 0, Height = 0;
  int ColorType = 2;  // PNG_COLOR_TYPE_*
  int BitDepth = 8;
  bool Interlaced = false;
  std::vector<uint16_t> Samples;
  std::vector<Rgb> Palette;        // colour type 3
  std::vector<uint8_t> PaletteAlpha;  // tRNS for colour type 3
  bool HasTransparentColour = false;  // tRNS for colour types 0 and 2
  uint16_t TransparentR = 0, TransparentG = 0, TransparentB = 0;  // grey uses TransparentR
};
std::string EncodePng(const PngRecipe& Recipe);
int PngChannels(int ColorType);

// An 8-bit RGB PNG of the given pixels (W x H).
std::string EncodePngRgb(int W, int H, const std::vector<Rgb>& Pixels);

// A PNG that ends right after the first IDAT chunk's header: enough for a
// loader to learn the size, nothing more. CRCs are correct.
std::string PngHeaderOnly(uint32_t W, uint32_t H, int ColorType = 2, int BitDepth = 8);

// A baseline (or progressive) JPEG, 4:4:4, of W x H RGB pixels, or greyscale
// (Components 1: one byte per pixel) or Adobe CMYK (Components 4, stored as
// 255 - ink, the Adobe convention).
std::string EncodeJpeg(int W, int H, int Components, const std::vector<uint8_t>& Samples, int Quality,
                       bool Progressive = false);
// libjpeg's own decode with the accurate integer DCT, as RGB.
std::vector<Rgb> DecodeJpegReference(const std::string& Jpeg, int* W, int* H);

// An uncompressed bottom-up BMP: 24-bit, or 8-bit with a palette (Indices
// then select palette entries).
std::string EncodeBmp24(int W, int H, const std::vector<Rgb>& Pixels);
std::string EncodeBmp8(int W, int H, const std::vector<Rgb>& Palette, const std::vector<uint8_t>& Indices);

}  // namespace pictest
