// Float pictures and masks: the working form of every generated picture.
//
// Colours are linear-ish floats with 1.0 = full intensity (255 after
// quantising). A picture is composed in floats and turned into 8-bit RGB once,
// by Quantize, which also dithers and enforces the transparent-black rule of
// keyed sprites.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace assetgen {

struct Rgb {
  float R = 0.0f, G = 0.0f, B = 0.0f;
};
inline Rgb operator+(Rgb A, Rgb B) { return {A.R + B.R, A.G + B.G, A.B + B.B}; }
inline Rgb operator-(Rgb A, Rgb B) { return {A.R - B.R, A.G - B.G, A.B - B.B}; }
inline Rgb operator*(Rgb A, float K) { return {A.R * K, A.G * K, A.B * K}; }
inline Rgb operator*(Rgb A, Rgb B) { return {A.R * B.R, A.G * B.G, A.B * B.B}; }
inline Rgb Mix(Rgb A, Rgb B, float T) { return A + (B - A) * T; }
// An 8-bit colour written as 0..255 components.
inline Rgb C8(int R, int G, int B) { return {R / 255.0f, G / 255.0f, B / 255.0f}; }
// Screen blend: brightens without exceeding 1 (for glows over colour).
inline Rgb Screen(Rgb A, Rgb B) {
  return {1.0f - (1.0f - A.R) * (1.0f - B.R), 1.0f - (1.0f - A.G) * (1.0f - B.G), 1.0f - (1.0f - A.B) * (1.0f - B.B)};
}

// A colour ramp: stops at increasing positions, smooth (cubic) between them.
struct RampStop {
  float At;
  Rgb Color;
};
Rgb Ramp(const std::vector<RampStop>& Stops, float T);

// One float per pixel (coverage, height or intensity). Reads outside are 0.
struct Mask {
  int W = 0, H = 0;
  std::vector<float> V;
  Mask() = default;
  Mask(int Width, int Height, float Fill = 0.0f) : W(Width), H(Height), V(size_t(Width) * Height, Fill) {}
  float& At(int X, int Y) { return V[size_t(Y) * W + X]; }
  float Get(int X, int Y) const { return (X < 0 || Y < 0 || X >= W || Y >= H) ? 0.0f : V[size_t(Y) * W + X]; }
  float Sample(float X, float Y) const;  // bilinear, 0 outside
};

struct Image {
  int W = 0, H = 0;
  std::vector<Rgb> P;
  Image() = default;
  Image(int Width, int Height, Rgb Fill = {}) : W(Width), H(Height), P(size_t(Width) * Height, Fill) {}
  Rgb& At(int X, int Y) { return P[size_t(Y) * W + X]; }
  const Rgb& At(int X, int Y) const { return P[size_t(Y) * W + X]; }
  Rgb Sample(float X, float Y) const;  // bilinear, clamped to the edge
};

// An 8-bit RGB picture, rows top to bottom, 3 bytes per pixel.
struct Image8 {
  int W = 0, H = 0;
  std::vector<uint8_t> Rgb8;
};

// Visit(Dx, Dy, Sx, Sy) for each pixel of a SrcW x SrcH block placed at
// (X, Y) that lands inside a DstW x DstH picture, row by row: every stamp,
// copy and blend of one picture onto another clips here.
template <typename F>
void ForEachInside(int DstW, int DstH, int SrcW, int SrcH, int X, int Y, F Visit) {
  for (int Sy = 0; Sy < SrcH; ++Sy) {
    const int Dy = Y + Sy;
    if (Dy < 0 || Dy >= DstH) continue;
    for (int Sx = 0; Sx < SrcW; ++Sx) {
      const int Dx = X + Sx;
      if (Dx < 0 || Dx >= DstW) continue;
      Visit(Dx, Dy, Sx, Sy);
    }
  }
}

// Gaussian blur with standard deviation Sigma (pixels); outside counts as 0.
Mask Blur(const Mask& M, float Sigma);
Image Blur(const Image& Img, float Sigma);
// Grey-scale dilation by a disc of the given radius (max filter).
Mask Dilate(const Mask& M, float Radius);
// Copy of M shifted by (Dx, Dy) pixels (whole pixels), 0 where uncovered.
Mask Shift(const Mask& M, int Dx, int Dy);

// Options for turning a float picture into bytes.
struct QuantizeOptions {
  uint64_t DitherSeed = 0;  // 0: plain rounding; otherwise triangular dither
  float BlackCut = 0.0f;    // pixels whose brightest channel is below this become exact black
};
Image8 Quantize(const Image& Img, const QuantizeOptions& Opt);

// Copies Src into Dst with its top-left corner at (X, Y), clipped.
void Blit(Image8& Dst, const Image8& Src, int X, int Y);
// Adds Src onto Dst (saturating per channel), clipped: the show's additive draw.
void BlitAdd(Image8& Dst, const Image8& Src, int X, int Y);
// Copies Src onto Dst skipping pixels that are exact black: the show's keyed draw.
void BlitKeyed(Image8& Dst, const Image8& Src, int X, int Y);
// Fills a rectangle of Dst.
void FillRect(Image8& Dst, int X, int Y, int W, int H, uint8_t R, uint8_t G, uint8_t B);

}  // namespace assetgen
